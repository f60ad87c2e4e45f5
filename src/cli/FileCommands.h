#pragma once

#include <QStringList>

namespace cli {

// The commands that work on files: 0 on success, 2 with the status text on
// standard error on failure.
int runFileCommand(const QString& command, const QStringList& args);

} // namespace cli
