#pragma once

#include <QStringList>

namespace bus {
class SerialLink;
}

namespace cli {

struct CliOptions;

// What is wrong with the words of each command, empty when nothing is.
QString scanWrongWords(const QStringList& args);
QString setAddressWrongWords(const QStringList& args);

// scan: the layout as configuration lines.
int runScan(bus::SerialLink& link, const CliOptions& options);
// set-address N: the lone sensor on the line takes number N.
int runSetAddress(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
