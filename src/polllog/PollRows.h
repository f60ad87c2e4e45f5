#pragma once

#include "sensor/StatusGrid.h"

#include <QString>

#include <array>
#include <optional>

// The rows of the overview grids as numbers: what the log keeps.
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

// One row of the general status grid.
struct SensorRow {
    int sensor = 0; // number as shown: address + 1
    std::optional<int> s1, s2;
    std::array<std::optional<Value>, kQuantities> values;

    // Answered, present, S1 clear and every value shown normal.
    bool normal() const;
    // Anything shown besides the number.
    bool hasData() const;
};

// The channels of the extended status page: thermometers T1..T8 and density
// channels D1..D8 (grid columns 1..8).
inline constexpr int kChannels = 8;

// One row of each grid of the extended status page, for one sensor.
struct ExtendedRow {
    int sensor = 0;
    std::array<std::optional<Value>, kChannels> thermometers;
    std::array<std::optional<Value>, kChannels> densities;

    bool hasData() const;
};

// One row of the configuration overview: what the page shows, as shown.
struct OverviewRow {
    int sensor = 0;
    QString version; // empty: not read
    std::optional<int> height, thermometers, densityMeters;

    bool hasData() const;
};

// "123.4 (00)" -> 123.4 and 0x00; nothing for an empty or unreadable cell.
std::optional<Value> parseValueCell(const QString& cell);
// Nothing for a row without a sensor number.
std::optional<SensorRow> rowOfGrid(const QStringList& cells);
// The rows of the thermometer and density grids for one sensor; nothing
// without a sensor number.
std::optional<ExtendedRow> extendedRowOfGrids(const QStringList& thermometers,
                                              const QStringList& densities);
std::optional<OverviewRow> overviewRowOfGrid(const QStringList& cells);

inline bool isNormalCode(int code) {
    return code >= 0 && code <= 0x0F;
}

} // namespace polllog
