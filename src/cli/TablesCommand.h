#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of tables (or the files to write), empty when
// nothing is.
QString tablesWrongWords(const QStringList& args);
// tables K list | read TANK OUT.vlm | write TANK=FILE.vlm... [--no-verify] |
// clear: the calibration tables kept in controller K.
int runTablesCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
