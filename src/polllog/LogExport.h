#pragma once

#include "app/FileWriter.h"
#include "polllog/PollLog.h"

#include <limits>
#include <optional>

namespace polllog {

struct ExportOptions {
    qint64 fromMs = 0;
    qint64 toMs = std::numeric_limits<qint64>::max();
    std::optional<int> sensor;
    // false: ";" between fields and "," as decimal mark, what a Russian
    // spreadsheet opens directly; true: "," and ".".
    bool decimalPoint = false;
    // The polls of which page: the general status, the thermometers and
    // density channels of the extended status, the configuration overview.
    Page page = Page::General;
    // Not 0: the general readings as minimum, mean and maximum per sensor
    // per interval of this length (local hours or days), the time of each
    // the interval's start with its UTC offset.
    qint64 everyMs = 0;
    // With everyMs: one row per interval, three columns (min, mean, max)
    // per sensor of one quantity.
    bool wide = false;
    Quantity quantity = Quantity::Fuel;
};

// The rows as CSV for a spreadsheet, UTF-8 with BOM, local time; written
// through the one file writer piece by piece, so that a year of a hundred
// sensors takes no more memory than a day. A log that cannot be read is
// Broken.
app::FileResult exportCsv(const PollLog& log, const QString& path, const ExportOptions& options);

} // namespace polllog
