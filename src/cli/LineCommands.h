#pragma once

namespace bus {
class SerialLink;
}

namespace cli {

struct CliOptions;

// scan: the layout as configuration lines.
int runScan(bus::SerialLink& link, const CliOptions& options);
// set-address N: the lone sensor on the line takes number N.
int runSetAddress(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
