#pragma once

#include <QString>

#include <cstdint>

// The cell texts of the status grids, from the reply bytes.
namespace sensor {

// "%02X %02X"
QString formatStatusWord(std::uint8_t s1, std::uint8_t s2);
// Fuel and water: unsigned 16-bit integer part, tenths, code.
QString formatLevel(const std::uint8_t* bytes);
// Sign byte (non-zero = "-"), integer part, tenths, code.
QString formatTemperature(const std::uint8_t* bytes);
// Signed 16-bit integer part, fraction digit, code.
QString formatSigned16(const std::uint8_t* bytes);
// Signed 32-bit integer part, fraction digit, code.
QString formatSigned32(const std::uint8_t* bytes);

} // namespace sensor
