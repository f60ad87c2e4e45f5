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
};

// The rows as CSV for a spreadsheet, UTF-8 with BOM, local time; written
// through the one file writer. A log that cannot be read is Broken.
app::FileResult exportCsv(const PollLog& log, const QString& path, const ExportOptions& options);

} // namespace polllog
