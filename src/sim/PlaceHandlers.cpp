#include "sim/PlaceHandlers.h"

#include "sim/Bytes.h"
#include "sim/OneWire.h"

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

// 0x41 [n, 0xBE, 1, 5, 4]: the meter's correction, then 1 when it has one.
std::optional<Answer> densityExchange(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() != 5 || byteAt(req, 1) != 0xBE)
        return std::nullopt;
    const int n = byteAt(req, 0);
    if (n < 1 || n > 8 || n > s.densityCount)
        return std::nullopt;
    return Answer{QByteArray(1, static_cast<char>(n)) + floatBytes(s.densityCorrections[n - 1]) +
                      QByteArray(1, s.densityInitialised[n - 1] ? 1 : 0),
                  {}};
}

// 0x40 [n, 0x4E, 5, 5, four bytes, their CRC-8]: a correction taken only
// with a sound CRC.
std::optional<Answer> checkedBlock(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
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
        s.densityInitialised[n - 1] = true;
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
