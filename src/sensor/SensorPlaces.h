#pragma once

#include "app/Setting.h"
#include "sensor/OneWireId.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace bus {
class SerialLink;
}

// The thermometers and density meters a sensor knows: for each of its eight
// places an identifier and a mounting height, for density meters also a
// correction. The caller puts the sensor's controller into transit.
namespace sensor {

inline constexpr int kPlaces = 8;

struct Place {
    bool answered = false; // the sensor answered the identifier's read
    QString id;            // empty when nothing usable was read
    std::optional<int> height;
    std::optional<float> correction; // density meters only
};
using Places = std::array<Place, kPlaces>;

// Memory cells of place n (1..8).
std::uint8_t thermometerIdCell(int n);
std::uint8_t thermometerHeightCell(int n);
std::uint8_t densityIdCell(int n);
std::uint8_t densityHeightCell(int n);

// Places whose identifier does not carry the family code stay empty.
Places ReadThermometers(bus::SerialLink& link, std::uint8_t sensor);
Places ReadDensityMeters(bus::SerialLink& link, std::uint8_t sensor);

// A checked identifier, sent as its text.
app::WriteOutcome WriteIdentifier(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                                  const Identifier& id);
// Empties a place: sixteen "0" carry no family, so the place reads empty.
app::WriteOutcome WriteEmptyPlace(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell);
// A memory cell's 16 bits, high byte first; taken when the answer is
// [cell, 0].
app::WriteOutcome WriteCellWord(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                                std::uint16_t word);
// A height of 0 (or past 16 bits) is never written.
app::WriteOutcome WriteHeight(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                              int height);
// The density meter's correction, its four bytes closed by their CRC-8; a
// value that is no finite number is never sent.
app::WriteOutcome WriteDensityCorrection(bus::SerialLink& link, std::uint8_t sensor, int n,
                                         float value);
// The correction as the meter holds it; nothing when it does not answer or
// is not initialised.
std::optional<float> ReadDensityCorrection(bus::SerialLink& link, std::uint8_t sensor, int n);

// How a thermometer search ended.
enum class SearchEnd {
    Done,     // the result came (or the sensor said at the start it found none)
    NoAnswer, // the start of the search got no answer
    NoResult, // the start was answered, its result never came
    LineLost, // the port went away
};
struct SearchResult {
    SearchEnd end = SearchEnd::NoAnswer;
    int found = 0;   // codes received, bad ones included
    QStringList ids; // the codes with a sound CRC, at most eight
};
SearchResult SearchThermometers(bus::SerialLink& link, std::uint8_t sensor);
// What the properties page's status line and the CLI say of a search.
QString searchText(const SearchResult& r);

// The rows the assembly builder hands over (columns: 1 height, 2
// identifier, 6 mark "V"), last row first: those with a thermometer
// identifier of 16 characters or more and the mark, at most eight, as
// (identifier, height) in place order.
std::vector<std::pair<QString, QString>> builderPlaces(const QList<QStringList>& rows);

// The identifier of the controller's own thermometer n (1..8).
std::optional<QString> ReadControllerThermometerId(bus::SerialLink& link, std::uint8_t controller,
                                                   int n);

} // namespace sensor
