#pragma once

#include <QStringList>

namespace cli {

struct Command;

// The commands that work on files: 0 on success, 2 with the status text on
// standard error for wrong words or a file that cannot be read, 1 when the
// output cannot be written.
int runFileCommand(const Command& command, const QStringList& args);

int runHexInfo(const QStringList& args);
int runHexBin(const QStringList& args);
int runTableCheck(const QStringList& args);
int runTableBin(const QStringList& args);
int runTableWrite(const QStringList& args);
int runDbfDump(const QStringList& args);

} // namespace cli
