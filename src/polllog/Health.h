#pragma once

#include "sensor/StatusDecoder.h"
#include "sensor/StatusGrid.h"

#include <QString>

#include <optional>
#include <vector>

namespace polllog {

class PollLog;

// A sensor whose status after a poll is not normal.
struct HealthItem {
    int sensor = 0; // number as shown
    int row = 0;    // its row in the grid
    // The cell "УТОЧНИТЬ" would start from; -1 when there is no page for it.
    int column = -1;
    QString text;                  // the decoded status and every faulty value
    std::optional<qint64> sinceMs; // from the log: since when it is so
};

// Every sensor of the general status grid that is not normal, in grid
// order. With a log (the poll already recorded) each item knows since when.
std::vector<HealthItem> healthOf(const sensor::StatusGrid& grid,
                                 const sensor::StatusDecoder& decoder, const PollLog* log);

// "с 09.12.2026 05:40:01", local time; empty without a time.
QString sinceText(const std::optional<qint64>& sinceMs);

} // namespace polllog
