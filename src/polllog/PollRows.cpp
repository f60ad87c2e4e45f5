#include "polllog/PollRows.h"

#include <algorithm>

namespace polllog {

int columnOf(Quantity q) {
    return sensor::ColFuel + static_cast<int>(q);
}

QString quantityTitle(Quantity q) {
    return sensor::generalStatusGrid().header.at(columnOf(q));
}

bool SensorRow::normal() const {
    if (!s1 || !s2 || *s1 != 0 || *s2 == 0)
        return false;
    // Volume and mass stay empty where a trigger replaces them: no fault.
    for (const auto& v : values)
        if (v && !isNormalCode(v->code))
            return false;
    return true;
}

bool SensorRow::hasData() const {
    return s1 || std::any_of(values.begin(), values.end(), [](const auto& v) { return v; });
}

bool ExtendedRow::hasData() const {
    auto any = [](const auto& values) {
        return std::any_of(values.begin(), values.end(), [](const auto& v) { return v; });
    };
    return any(thermometers) || any(densities);
}

bool OverviewRow::hasData() const {
    return !version.isEmpty() || height || thermometers || densityMeters;
}

std::optional<Value> parseValueCell(const QString& cell) {
    const qsizetype open = cell.indexOf(QLatin1String(" ("));
    if (open < 0 || !cell.endsWith(QLatin1Char(')')))
        return std::nullopt;
    bool numberOk = false;
    bool codeOk = false;
    Value v;
    v.value = cell.left(open).toDouble(&numberOk);
    v.code = cell.mid(open + 2, cell.size() - open - 3).toInt(&codeOk, 16);
    if (!numberOk || !codeOk)
        return std::nullopt;
    return v;
}

namespace {

std::optional<int> sensorNumber(const QStringList& cells) {
    bool ok = false;
    const int n = cells.value(0).toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

std::optional<int> wholeNumber(const QString& cell) {
    bool ok = false;
    const int n = cell.toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

} // namespace

std::optional<SensorRow> rowOfGrid(const QStringList& cells) {
    const auto number = sensorNumber(cells);
    if (!number)
        return std::nullopt;
    SensorRow row;
    row.sensor = *number;
    const QStringList status =
        cells.value(sensor::ColStatus).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (status.size() == 2) {
        bool ok1 = false;
        bool ok2 = false;
        const int s1 = status[0].toInt(&ok1, 16);
        const int s2 = status[1].toInt(&ok2, 16);
        if (ok1 && ok2) {
            row.s1 = s1;
            row.s2 = s2;
        }
    }
    for (int q = 0; q < kQuantities; ++q)
        row.values[static_cast<std::size_t>(q)] =
            parseValueCell(cells.value(columnOf(static_cast<Quantity>(q))));
    return row;
}

std::optional<ExtendedRow> extendedRowOfGrids(const QStringList& thermometers,
                                              const QStringList& densities) {
    const auto number = sensorNumber(thermometers);
    if (!number)
        return std::nullopt;
    ExtendedRow row;
    row.sensor = *number;
    // The density grid's row belongs to the same sensor; a row of another
    // (never made by the poll) lends nothing.
    const bool sameSensor = sensorNumber(densities) == number;
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        row.thermometers[i] = parseValueCell(thermometers.value(n + 1));
        if (sameSensor)
            row.densities[i] = parseValueCell(densities.value(n + 1));
    }
    return row;
}

std::optional<OverviewRow> overviewRowOfGrid(const QStringList& cells) {
    const auto number = sensorNumber(cells);
    if (!number)
        return std::nullopt;
    OverviewRow row;
    row.sensor = *number;
    row.version = cells.value(sensor::ColVersion);
    row.height = wholeNumber(cells.value(sensor::ColHeight));
    row.thermometers = wholeNumber(cells.value(sensor::ColThermometers));
    row.densityMeters = wholeNumber(cells.value(sensor::ColDensityMeters));
    return row;
}

} // namespace polllog
