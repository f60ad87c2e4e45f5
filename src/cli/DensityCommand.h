#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of density, empty when nothing is.
QString densityWrongWords(const QStringList& args);
// density N [--meter M] | density N --meter M set-correction X | density N
// --meter M --init: what "ЗАПРОСИТЬ ВСЁ" shows, or the correction written,
// or the meter initialised.
int runDensityCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
