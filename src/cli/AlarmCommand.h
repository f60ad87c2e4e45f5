#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of alarm, empty when nothing is.
QString alarmWrongWords(const QStringList& args);
// alarm N get | set KEY=VALUE... | state | off EVENT | ramtest: the alarm
// settings of sensor N kept in its controller, its alarm state, and its
// memory test.
int runAlarmCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
