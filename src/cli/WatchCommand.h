#pragma once

namespace cli {

struct CliOptions;

// watch --log LOG [--keep DAYSd]: every site of the sites file polled at its
// period until a signal stops it.
int runWatch(const CliOptions& options);

} // namespace cli
