#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of sensor, empty when nothing is.
QString sensorWrongWords(const QStringList& args);
// sensor N get | sensor N set key=value ...: the settings stored in sensor
// number N (address N - 1), as the properties page reads and writes them.
int runSensorCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
