#include "polllog/Health.h"

#include "polllog/PollLog.h"
#include "polllog/PollRows.h"

#include <QDateTime>

namespace polllog {

std::vector<HealthItem> healthOf(const sensor::StatusGrid& grid,
                                 const sensor::StatusDecoder& decoder, const PollLog* log) {
    std::vector<HealthItem> items;
    for (int r = 0; r < static_cast<int>(grid.rows.size()); ++r) {
        const QStringList& cells = grid.rows[static_cast<std::size_t>(r)];
        const auto row = rowOfGrid(cells);
        if (!row || row->normal())
            continue;
        HealthItem item;
        item.sensor = row->sensor;
        item.row = r;
        QStringList parts;
        if (!row->s1) {
            parts << QStringLiteral("НЕТ ОТВЕТА");
        } else {
            const QString pair = decoder.DecodeStatusPair(cells[sensor::ColStatus]).simplified();
            if (*row->s1 != 0 || *row->s2 == 0)
                parts << pair;
            // The status summary's channels, where no value names the fault.
            if (*row->s2 != 0) {
                if (*row->s1 & 1)
                    item.column = sensor::ColFuel;
                else if (*row->s1 & 2)
                    item.column = sensor::ColTemperature;
                else if (*row->s1 & 4)
                    item.column = sensor::ColDensity;
            }
        }
        bool valueNamed = false;
        for (int q = 0; q < kQuantities; ++q) {
            const auto& v = row->values[static_cast<std::size_t>(q)];
            if (!v || isNormalCode(v->code))
                continue;
            QString what = decoder.DecodeCode(static_cast<std::uint8_t>(v->code), false).trimmed();
            if (what.isEmpty())
                what = QStringLiteral("КОД %1").arg(v->code, 2, 16, QLatin1Char('0')).toUpper();
            parts << quantityTitle(static_cast<Quantity>(q)) + QStringLiteral(": ") + what;
            if (!valueNamed)
                item.column = columnOf(static_cast<Quantity>(q));
            valueNamed = true;
        }
        item.text = parts.join(QStringLiteral("; "));
        if (log)
            item.sinceMs = log->faultSince(item.sensor);
        items.push_back(item);
    }
    return items;
}

QString sinceText(const std::optional<qint64>& sinceMs) {
    if (!sinceMs)
        return {};
    return QStringLiteral("с ") +
           QDateTime::fromMSecsSinceEpoch(*sinceMs).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

} // namespace polllog
