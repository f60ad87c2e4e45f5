#pragma once

#include "cli/CliOptions.h"

#include <optional>

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of flash (or its file), empty when nothing is.
QString flashWrongWords(const QStringList& args);
// K of flash controller, keyboard and emergency; none for flash sensor.
std::optional<int> flashControllerNumber(const QStringList& args);
// flash controller|keyboard K FILE.hex [--emergency], flash sensor N
// FILE.hex [--emergency]: LINK, PROG and FREE as the update pages do them,
// then the version and date the restarted device reports. flash emergency K
// on|off|get: the controller's emergency update flag.
int runFlashCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
