#pragma once

#include "sensor/StatusGrid.h"

#include <QString>

#include <array>
#include <optional>

// One row of the general status grid as numbers: what the log keeps.
namespace polllog {

// The quantities a sensor reports, in the order of the grid's columns.
enum class Quantity { Fuel, Water, Temperature, Density, Volume, Mass };
inline constexpr int kQuantities = 6;

// The grid column of a quantity and its title there ("Топливо", ...).
int columnOf(Quantity q);
QString quantityTitle(Quantity q);

// A value cell: the number shown and the status code in brackets.
struct Value {
    double value = 0;
    int code = 0;
};

struct SensorRow {
    int sensor = 0; // number as shown: address + 1
    std::optional<int> s1, s2;
    std::array<std::optional<Value>, kQuantities> values;

    // Answered, present, S1 clear and every value shown normal.
    bool normal() const;
};

// "123.4 (00)" -> 123.4 and 0x00; nothing for an empty or unreadable cell.
std::optional<Value> parseValueCell(const QString& cell);
// Nothing for a row without a sensor number.
std::optional<SensorRow> rowOfGrid(const QStringList& cells);

inline bool isNormalCode(int code) {
    return code >= 0 && code <= 0x0F;
}

} // namespace polllog
