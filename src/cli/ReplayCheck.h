#pragma once

#include <QStringList>

namespace bus {
class LineRecorder;
}

namespace cli {

struct CliOptions;

// Puts the command's words (and the configuration file it names, whose
// text the office will not have) into the recording, so that replay-check
// can run it again. Returns 0, or the exit code after saying why not.
int noteCommand(bus::LineRecorder& recorder, const CliOptions& options);

// replay-check FILE: the recorded command run again on the recording's
// answers (in a temporary folder, on its own clock): what this version of
// the tool shows for them, on standard output and error, with its exit
// code. Requests the recording does not hold are named on standard error.
int runReplayCheck(const QStringList& args);

} // namespace cli
