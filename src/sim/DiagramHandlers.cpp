#include "sim/DiagramHandlers.h"

#include "sim/Bytes.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim::diagram {
namespace {

constexpr char kNone = static_cast<char>(0xFF);
constexpr int kDryCode = 40;
constexpr int kWetCode = 170;
constexpr int kWaterCode = 230;

int segmentsOf(const SimSensor& s) {
    const auto it = s.cells.find(0x91);
    if (it == s.cells.end() || it->second.size() < 2)
        return 0;
    return (static_cast<std::uint8_t>(it->second[0]) << 8) |
           static_cast<std::uint8_t>(it->second[1]);
}

int codesPerBlock(const SimSensor& s) {
    const int n = segmentsOf(s);
    return n > 0 && s.length / n == 31 ? 16 : 32;
}

// Index from the top of the probe where a level of tenths of a mm lies.
int segmentAt(const SimSensor& s, int tenths) {
    const int n = segmentsOf(s);
    if (n == 0 || tenths <= 0 || s.length <= 0)
        return 0;
    const int below = static_cast<int>(std::lround(tenths / 10.0 * n / s.length));
    return std::clamp(n - below, 0, n);
}

int fuelSegment(const SimSensor& s) {
    return segmentAt(s, s.fuel.tenths);
}

int waterSegment(const SimSensor& s) {
    return segmentAt(s, s.water.tenths);
}

// What each segment reads now: dry above the fuel, wet in it, water below.
int codeNow(const SimSensor& s, int i) {
    const int f = fuelSegment(s);
    const int w = waterSegment(s);
    const int base = i < f ? kDryCode : (w != 0 && i >= w ? kWaterCode : kWetCode);
    return base + ((i * 7 + s.polls) % 9) - 4;
}

// The learned references, made once: dry everywhere (with a few gaps on some
// probes), wet from a little above today's fuel down.
void learn(SimSensor& s) {
    const int n = segmentsOf(s);
    if (s.dryCodes.size() == n)
        return;
    s.dryCodes = QByteArray(n, kNone);
    s.wetCodes = QByteArray(n, kNone);
    const int f = fuelSegment(s);
    for (int i = 0; i < n; ++i) {
        s.dryCodes[i] = static_cast<char>(kDryCode + (i * 5) % 7);
        if (i >= std::max(f - 6, 0))
            s.wetCodes[i] = static_cast<char>(kWetCode + (i * 3) % 5);
    }
    if (s.address % 3 == 1)
        for (int i = 2; i < std::min(n, 5); ++i)
            s.dryCodes[i] = kNone;
}

// Block b of the array: reading from the last block down gives index 0
// first, so the last block holds the top of the probe.
std::optional<Answer> block(const SimSensor& s, const bus::DecodedRequest& req,
                            const std::function<char(int)>& code, int cut = 0) {
    if (req.payload.size() != 2 || req.payload[1] != 1)
        return std::nullopt;
    const int n = segmentsOf(s);
    const int per = codesPerBlock(s);
    const int blocks = (n + per - 1) / per;
    const int b = static_cast<std::uint8_t>(req.payload[0]);
    if (b < 1 || b > blocks)
        return std::nullopt;
    QByteArray data(1, static_cast<char>(b));
    if (cut != 0 && b <= cut)
        return Answer{data, {}}; // the rest of the array is not there
    const int from = (blocks - b) * per;
    for (int i = from; i < std::min(from + per, n); ++i)
        data.append(code(i));
    return Answer{data, {}};
}

void putFloat(QByteArray& out, int at, float v) {
    quint32 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    qToBigEndian(bits, out.data() + at);
}

} // namespace

// 0x0B (block, 1): the codes measured now.
std::optional<Answer> codeBlock(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    const SimSensor& c = s;
    return block(s, req, [&c](int i) { return static_cast<char>(codeNow(c, i)); });
}

// 0x34 and 0x35 (block, 1): the dry and wet references.
std::optional<Answer> dryBlock(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    learn(s);
    return block(s, req, [&s](int i) { return s.dryCodes[i]; });
}

std::optional<Answer> wetBlock(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    learn(s);
    return block(
        s, req, [&s](int i) { return s.wetCodes[i]; }, s.wetBlockCut);
}

// 0x20: 36 bytes; fuel segment at 6, noise at 10, scale at 16, delta at 26,
// water segment at 34.
std::optional<Answer> parameterBlock(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    QByteArray p(36, '\0');
    const int f = fuelSegment(s);
    const int w = waterSegment(s);
    p[0] = static_cast<char>(s.address);
    p[6] = static_cast<char>(f >> 8);
    p[7] = static_cast<char>(f);
    putFloat(p, 10, 0.75f + 0.125f * static_cast<float>(s.address % 4));
    p[16] = 0;
    p[17] = static_cast<char>(8 + s.address % 8); // × 0.125
    putFloat(p, 26, 12.5f);
    p[34] = static_cast<char>(w >> 8);
    p[35] = static_cast<char>(w);
    return Answer{p, {}};
}

// 0x18 [3 air, 4 fuel, 2 all]: forget references.
std::optional<Answer> clearCodes(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() != 1)
        return std::nullopt;
    learn(s);
    const int what = static_cast<std::uint8_t>(req.payload[0]);
    if (what != 2 && what != 3 && what != 4)
        return Answer{rawBytes({0}), {}};
    if (what != 4)
        s.dryCodes.fill(kNone);
    if (what != 3)
        s.wetCodes.fill(kNone);
    return Answer{rawBytes({what}), {}};
}

// 0x30: the dry references of the segments above the fuel, from now.
std::optional<Answer> computeAir(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    learn(s);
    for (int i = 0; i < fuelSegment(s) - 2; ++i)
        s.dryCodes[i] = static_cast<char>(codeNow(s, i));
    return Answer{rawBytes({1}), {}};
}

// 0x31: the wet references of the segments in the fuel, from now.
std::optional<Answer> computeFuel(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    learn(s);
    const int n = segmentsOf(s);
    const int w = waterSegment(s) ? waterSegment(s) : n;
    for (int i = std::max(fuelSegment(s) + 2, 0); i < w - 2 && i < n; ++i)
        s.wetCodes[i] = static_cast<char>(codeNow(s, i));
    return Answer{rawBytes({1}), {}};
}

// 0x38: every missing reference foretold.
std::optional<Answer> forecast(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    learn(s);
    for (qsizetype i = 0; i < s.dryCodes.size(); ++i) {
        if (s.dryCodes[i] == kNone || s.dryCodes[i] == 0)
            s.dryCodes[i] = static_cast<char>(kDryCode);
        if (s.wetCodes[i] == kNone || s.wetCodes[i] == 0)
            s.wetCodes[i] = static_cast<char>(kWetCode);
    }
    return Answer{rawBytes({1}), {}};
}

} // namespace sim::diagram
