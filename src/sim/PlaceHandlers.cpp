#include "sim/PlaceHandlers.h"

#include "sim/Bytes.h"
#include "sim/OneWire.h"

#include <cstdlib>
#include <cstring>

namespace sim::places {
namespace {

int byteAt(const bus::DecodedRequest& req, int i) {
    return static_cast<std::uint8_t>(req.payload[i]);
}

QByteArray floatBytes(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return rawBytes({static_cast<int>(bits), static_cast<int>(bits >> 8),
                     static_cast<int>(bits >> 16), static_cast<int>(bits >> 24)});
}

} // namespace

// 0x28 [1] starts the search, [2] fetches the codes found (byte 0 their
// count, then 8 bytes each), [3] ends it.
std::optional<Answer> thermometerSearch(Installation&, SimSensor& s,
                                        const bus::DecodedRequest& req) {
    if (req.payload.size() != 1)
        return std::nullopt;
    const int step = byteAt(req, 0);
    if (step != 2)
        return Answer{rawBytes({step, 1}), {}};
    QByteArray codes(1, static_cast<char>(s.thermometerCount));
    for (int i = 0; i < s.thermometerCount; ++i) {
        QByteArray code = QByteArray::fromHex(s.cells[0x81 + i]);
        if (i + 1 == s.badSearchCode)
            code[7] = static_cast<char>(code[7] ^ 0x5A);
        codes += code;
    }
    return Answer{codes, {}};
}

// 0x41 [n, register words...]: what the meter answers, its verdict last
// (1 = done; 0 = failed, its error code before it).
std::optional<Answer> densityExchange(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() < 3)
        return std::nullopt;
    const int n = byteAt(req, 0);
    if (n < 1 || n > 8 || n > s.densityCount)
        return std::nullopt;
    const QByteArray meter(1, static_cast<char>(n));
    const QByteArray done(1, 1);
    const Reading& channel = s.densityChannels[n - 1];
    switch (byteAt(req, 1)) {
    case 0xAA: // version 2.05
        return Answer{meter + rawBytes({2, 5}) + done, {}};
    case 0xA5: // status
        return Answer{meter + rawBytes({0x00, channel.code}) + done, {}};
    case 0x49: // corrected density, tenths
        return Answer{meter +
                          rawBytes({channel.tenths / 10 >> 8, channel.tenths / 10,
                                    std::abs(channel.tenths) % 10}) +
                          done,
                      {}};
    case 0x51: // temperature: sign, whole, tenth
        return Answer{
            meter +
                rawBytes({s.temperature.tenths < 0 ? 1 : 0, std::abs(s.temperature.tenths) / 10,
                          std::abs(s.temperature.tenths) % 10}) +
                done,
            {}};
    case 0xBE:
        break;
    default:
        return std::nullopt;
    }
    if (req.payload.size() != 5)
        return std::nullopt;
    const int p = byteAt(req, 3);
    if (s.meterErrorCode != 0 && p != 5)
        return Answer{meter + rawBytes({s.meterErrorCode, 0}), {}};
    switch (p) {
    case 5:
        return Answer{meter + floatBytes(s.densityCorrections[n - 1]) + done, {}};
    case 9:
    case 11: // converter readings
        return Answer{meter + rawBytes({0x12, 0x34 + p}) + done, {}};
    case 10:
    case 12: // periods
        return Answer{meter + rawBytes({0x03, 0x20 + p, 7}) + done, {}};
    case 13:
        return Answer{meter + floatBytes(static_cast<float>(channel.tenths) / 10000.0f) + done, {}};
    case 99:
        return Answer{meter + floatBytes(20.0f) + done, {}};
    case 100:
        return Answer{meter + floatBytes(0.8f) + done, {}};
    case 101:
        return Answer{meter + floatBytes(0.0005f) + done, {}};
    default:
        return Answer{meter + rawBytes({0x02, 0}), {}};
    }
}

// 0x40 [n, 0x4E, 5, 5, four bytes, their CRC-8]: a correction taken only
// with a sound CRC.
std::optional<Answer> checkedBlock(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    // [n, 0x43] starts a conversion; it is never answered.
    if (req.payload.size() == 2 && byteAt(req, 1) == 0x43) {
        ++s.triggers;
        return std::nullopt;
    }
    if (req.payload.size() != 9 || byteAt(req, 1) != 0x4E)
        return std::nullopt;
    const int n = byteAt(req, 0);
    const auto* x = reinterpret_cast<const std::uint8_t*>(req.payload.constData() + 4);
    const bool sound = n >= 1 && n <= s.densityCount && oneWireCrc(x, 4) == byteAt(req, 8);
    if (sound) {
        quint32 bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= quint32(x[i]) << (8 * i);
        std::memcpy(&s.densityCorrections[n - 1], &bits, sizeof bits);
    }
    return Answer{rawBytes({n, sound ? 1 : 0}), {}};
}

// 0x0F [n]: the 8 bytes of the controller's thermometer n.
std::optional<Answer> controllerThermometerId(Installation&, SimController& c,
                                              const bus::DecodedRequest& req) {
    if (req.payload.size() != 1 || byteAt(req, 0) < 1 || byteAt(req, 0) > 8)
        return std::nullopt;
    return Answer{QByteArray::fromHex(oneWireId(
                      0x10, static_cast<std::uint32_t>(1000 + 8 * c.index + byteAt(req, 0)))),
                  {}};
}

} // namespace sim::places
