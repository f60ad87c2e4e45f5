#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// flash controller K FILE.hex [--emergency] | flash keyboard K FILE.hex
// [--emergency]: LINK, PROG and FREE as the update page does them, then the
// version and date the restarted processor reports.
int runFlashCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
