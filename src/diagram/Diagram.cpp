#include "diagram/Diagram.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace diagram {
namespace {

int word(const std::array<std::uint8_t, kParameterBytes>& p, int at) {
    return (p[at] << 8) | p[at + 1];
}

double floatAt(const std::array<std::uint8_t, kParameterBytes>& p, int at) {
    const quint32 bits = qFromBigEndian<quint32>(p.data() + at);
    float v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Any gap among the reference codes from..to (inclusive).
bool gapIn(const QByteArray& codes, int from, int to) {
    for (int i = std::max(from, 0); i <= to && i < codes.size(); ++i)
        if (noCode(static_cast<std::uint8_t>(codes[i])))
            return true;
    return false;
}

} // namespace

const QByteArray& Diagram::codes(CodeKind kind) const {
    switch (kind) {
    case CodeKind::Dry:
        return dry;
    case CodeKind::Wet:
        return wet;
    default:
        return sensor;
    }
}

int Diagram::fuelSegment() const {
    return word(parameters, 6);
}

int Diagram::waterSegment() const {
    return word(parameters, 34);
}

double Diagram::noise() const {
    return floatAt(parameters, 10);
}

double Diagram::scale() const {
    return word(parameters, 16) * 0.125;
}

double Diagram::delta() const {
    return floatAt(parameters, 26) * 0.5;
}

QString levelText(const std::array<std::uint8_t, kLevelBytes>& r) {
    return QStringLiteral("%1.%2(%3)")
        .arg((r[0] << 8) | r[1])
        .arg(r[2])
        .arg(r[3], 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString segmentText(int segment, int segments) {
    return QStringLiteral("%1 / %2").arg(segment).arg(segments - segment);
}

CorrectionButtons correctionButtons(const Diagram& d) {
    CorrectionButtons b;
    const int n = d.segments;
    const int fuel = d.fuelSegment();
    const int water = d.waterSegment();
    if (n < fuel || n < water) {
        b.sizeError = true;
        return b;
    }
    const int f = fuel ? fuel : n;
    const int w = water ? water : n;
    b.air = gapIn(d.dry, 0, f - 3);
    b.fuel = fuel != 0 && gapIn(d.wet, std::max(f - 2, 0) + 4, w - 3);
    const int at = f + 4;
    b.forecast = fuel != 0 && w >= f + 4 && at < d.dry.size() && at < d.wet.size() &&
                 !noCode(static_cast<std::uint8_t>(d.dry[at])) &&
                 !noCode(static_cast<std::uint8_t>(d.wet[at]));
    return b;
}

} // namespace diagram
