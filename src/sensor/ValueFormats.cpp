#include "sensor/ValueFormats.h"

namespace sensor {
namespace {

QString hex2(int v) {
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString value(qint64 whole, int fraction, int code) {
    return QStringLiteral("%1.%2 (%3)").arg(whole).arg(fraction).arg(hex2(code));
}

} // namespace

QString formatStatusWord(std::uint8_t s1, std::uint8_t s2) {
    return hex2(s1) + QLatin1Char(' ') + hex2(s2);
}

QString formatLevel(const std::uint8_t* b) {
    return value((b[0] << 8) | b[1], b[2], b[3]);
}

QString formatTemperature(const std::uint8_t* b) {
    return QStringLiteral("%1%2.%3 (%4)")
        .arg(QLatin1Char(b[0] != 0 ? '-' : '+'))
        .arg(b[1])
        .arg(b[2])
        .arg(hex2(b[3]));
}

QString formatSigned16(const std::uint8_t* b) {
    return value(static_cast<std::int16_t>((b[0] << 8) | b[1]), b[2], b[3]);
}

QString formatSigned32(const std::uint8_t* b) {
    const auto whole =
        static_cast<std::int32_t>((std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) |
                                  (std::uint32_t(b[2]) << 8) | b[3]);
    return value(whole, b[4], b[5]);
}

} // namespace sensor
