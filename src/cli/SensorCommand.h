#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// sensor N get | sensor N set key=value ...: the settings stored in sensor
// number N (address N - 1), as the properties page reads and writes them.
int runSensorCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
