#include "polllog/PollRows.h"

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

std::optional<SensorRow> rowOfGrid(const QStringList& cells) {
    bool ok = false;
    SensorRow row;
    row.sensor = cells.value(sensor::ColNumber).toInt(&ok);
    if (!ok)
        return std::nullopt;
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

} // namespace polllog
