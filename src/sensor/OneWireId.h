#pragma once

#include <QString>

#include <cstdint>

// 1-Wire registration numbers as the sensors keep them: 16 upper-case hex
// characters, family code first, the CRC-8 last.
namespace sensor {

inline constexpr int kIdLength = 16;
// Family codes as text.
inline const QString kThermometerFamily = QStringLiteral("10");
// Density meters of this system share family and serial prefix; the user
// types only the last two serial bytes.
inline const QString kDensityPrefix = QStringLiteral("4453705400");

// Dallas/Maxim CRC-8: x^8 + x^5 + x^4 + 1, least significant bit first,
// initial value 0.
std::uint8_t oneWireCrc(const std::uint8_t* bytes, int count);
// The identifier of 8 bytes, as text.
QString idText(const std::uint8_t* bytes);
// Whether 8 bytes carry their own CRC in the last one.
bool crcMatches(const std::uint8_t* bytes);

// Spaces removed; with 14 characters or more, the first 14 as 7 bytes and
// their CRC appended; shorter text comes back as it is.
QString completeDensityId(const QString& text);
// What Enter makes of a density identifier field: empty → the prefix;
// up to 4 hex digits → the prefix and those digits, zero-padded (all zeros
// → sixteen "0"); 5..13 characters → empty; then completed.
QString densityIdOnEnter(const QString& text);

} // namespace sensor
