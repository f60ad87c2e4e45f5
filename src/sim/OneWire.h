#pragma once

#include <QByteArray>

#include <cstdint>

namespace sim {

// Dallas/Maxim 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, least significant bit first).
std::uint8_t oneWireCrc(const std::uint8_t* bytes, int count);

// A registration number as 16 upper-case hex characters: the family code,
// six serial bytes made from seed, and the CRC.
QByteArray oneWireId(std::uint8_t family, std::uint32_t seed);
// A density meter's: "4453705400", the two serial bytes, the CRC.
QByteArray densityMeterId(std::uint16_t serial);

} // namespace sim
