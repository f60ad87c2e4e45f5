#pragma once

#include "cli/CliOptions.h"

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of status and health, empty when nothing is.
QString statusWrongWords(const QStringList& args);
QString healthWrongWords(const QStringList& args);
// status [--extended | --overview] [--log FILE.sqlite] [--every SECONDS] [--count N]
int runStatusCommand(bus::SerialLink& link, const CliOptions& o);
// health [--log FILE.sqlite]: who is not normal after one poll; exit 1 if anyone.
int runHealthCommand(bus::SerialLink& link, const CliOptions& o);
// log-export FILE.sqlite OUT.csv [--extended | --overview] [--from T] [--to T] [--sensor N]
//            [--decimal-point]
int runLogExport(const QStringList& args);
// log-prune LOG --keep DAYSd: polls older than that dropped, of every site.
int runLogPrune(const QStringList& args);
// log-sites LOG: every site's last poll, its sensors not in norm, whether
// its line answered; exit 1 when any site is not all well.
int runLogSites(const QStringList& args);

} // namespace cli
