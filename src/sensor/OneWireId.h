#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

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

enum class IdFamily : std::uint8_t { Thermometer = 0x10, DensityMeter = 0x44 };
enum class IdProblem { Length, NotHex, Family, Crc };

struct IdCheck;

// An identifier that passed every check; the only thing a write takes, so
// nothing unchecked reaches a frame.
class Identifier {
  public:
    const QString& text() const { return m_text; }
    IdFamily family() const { return m_family; }

  private:
    friend IdCheck parseIdentifier(const QString& text, IdFamily family);
    Identifier(QString text, IdFamily family) : m_text(std::move(text)), m_family(family) {}
    QString m_text;
    IdFamily m_family;
};

// Either the identifier or what is wrong with the text.
struct IdCheck {
    std::optional<Identifier> id;
    std::optional<IdProblem> problem;
};
// Checks in this order: 16 characters, upper-case hex, the family's code
// first, the CRC-8 of the first seven bytes in the eighth.
IdCheck parseIdentifier(const QString& text, IdFamily family);
// The refusal the page and the CLI show: the setting, the value, what is
// wrong and what is allowed.
QString idRefusal(const QString& setting, const QString& value, IdProblem problem, IdFamily family);

// Spaces removed; with 14 characters or more, the first 14 as 7 bytes and
// their CRC appended; shorter text comes back as it is.
QString completeDensityId(const QString& text);
// What Enter makes of a density identifier field: empty → the prefix;
// up to 4 hex digits → the prefix and those digits, zero-padded (all zeros
// → sixteen "0"); 5..13 characters → empty; then completed.
QString densityIdOnEnter(const QString& text);

} // namespace sensor
