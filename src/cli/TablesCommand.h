#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// tables K list | read TANK OUT.vlm | write TANK=FILE.vlm... [--no-verify] |
// clear: the calibration tables kept in controller K.
int runTablesCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
