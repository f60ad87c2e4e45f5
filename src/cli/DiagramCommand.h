#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of diagram, empty when nothing is.
QString diagramWrongWords(const QStringList& args);
// diagram N [--save FILE.dgr] [--png FILE.png] [--no-references]: reads the
// segment diagram of sensor N, prints its values, saves and draws it.
int runDiagramCommand(bus::SerialLink& link, const CliOptions& options);
// dgr-png FILE.dgr OUT.png: draws a saved diagram.
int dgrPng(const QStringList& args);

} // namespace cli
