#include "sim/OneWire.h"

namespace sim {

std::uint8_t oneWireCrc(const std::uint8_t* bytes, int count) {
    std::uint8_t crc = 0;
    for (int i = 0; i < count; ++i) {
        std::uint8_t b = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ b) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            b >>= 1;
        }
    }
    return crc;
}

QByteArray oneWireId(std::uint8_t family, std::uint32_t seed) {
    std::uint8_t id[8] = {family};
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (int i = 1; i < 7; ++i) {
        x = x * 1103515245u + 12345u;
        id[i] = static_cast<std::uint8_t>(x >> 16);
    }
    id[7] = oneWireCrc(id, 7);
    return QByteArray(reinterpret_cast<const char*>(id), 8).toHex().toUpper();
}

QByteArray densityMeterId(std::uint16_t serial) {
    std::uint8_t id[8] = {0x44,
                          0x53,
                          0x70,
                          0x54,
                          0x00,
                          static_cast<std::uint8_t>(serial >> 8),
                          static_cast<std::uint8_t>(serial & 0xFF)};
    id[7] = oneWireCrc(id, 7);
    return QByteArray(reinterpret_cast<const char*>(id), 8).toHex().toUpper();
}

} // namespace sim
