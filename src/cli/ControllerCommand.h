#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of controller, empty when nothing is.
QString controllerWrongWords(const QStringList& args);
// controller K get | set KEY=VALUE... | status [--keyboard]: the settings a
// controller keeps about itself, and the status words of its processors.
int runControllerCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
