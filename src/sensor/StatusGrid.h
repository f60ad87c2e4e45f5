#pragma once

#include <QStringList>

#include <vector>

namespace sensor {

// What an overview grid shows: column titles and one row of cell texts per
// sensor. Column 0 holds the sensor's bus address plus 1.
struct StatusGrid {
    QStringList header;
    std::vector<QStringList> rows;
    bool visible = false;

    explicit StatusGrid(QStringList titles = {}) : header(std::move(titles)) {}
    int columns() const { return static_cast<int>(header.size()); }
    // Keeps the rows that stay; new rows are empty.
    void resize(int rowCount);
    // Empties the row and numbers it for the sensor at address.
    void startRow(int row, int address);
    void set(int row, int column, const QString& text) { rows[row][column] = text; }
};

StatusGrid generalStatusGrid();
StatusGrid thermometerGrid();
StatusGrid densityGrid();
StatusGrid configOverviewGrid();

// Columns of the general status grid.
enum GeneralColumn {
    ColNumber,
    ColStatus,
    ColFuel,
    ColWater,
    ColTemperature,
    ColDensity,
    ColVolume,
    ColMass
};
// Columns of the configuration overview grid.
enum ConfigColumn { ColVersion = 1, ColHeight, ColThermometers, ColDensityMeters };

} // namespace sensor
