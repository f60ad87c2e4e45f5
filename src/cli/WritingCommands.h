#pragma once

#include <QString>
#include <QStringList>

namespace cli {

// Whether a command on the line, with these words, changes what a device
// keeps: read-only refuses it before the port is opened, so that nothing of
// it goes out. Commands only read or write files say no.
bool commandWrites(const QString& command, const QStringList& args);
// Whether the command is known to the table above: every command on the
// line must be, so that a new one is judged before it runs read-only.
bool writingJudged(const QString& command);

} // namespace cli
