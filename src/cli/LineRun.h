#pragma once

namespace bus {
class SerialLink;
}

namespace cli {

struct Command;
struct CliOptions;

// A command on a line that is open: read-only as asked, the command run,
// then what the engineer must hear of it whatever it said (a write refused
// in read-only, a controller perhaps left in transit or service mode).
// Returns the exit code.
int runOnLine(bus::SerialLink& link, const Command& command, const CliOptions& options);

} // namespace cli
