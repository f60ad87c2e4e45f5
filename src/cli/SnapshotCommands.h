#pragma once

#include "cli/CliOptions.h"

#include <QStringList>

namespace bus {
class SerialLink;
}

namespace cli {

// What is wrong with the words of snapshot and restore, empty when nothing is.
QString snapshotWrongWords(const QStringList& args);
QString restoreWrongWords(const QStringList& args);
// snapshot OUT.json: every setting of the line into one file.
// restore FILE.json [--sensor N | --controller K] [--dry-run] [--yes]: what
// differs written back; passwords and addresses only with --yes.
int runSnapshotCommand(bus::SerialLink& link, const CliOptions& options);

// snapshot-diff A.json B.json (exit 1 when they differ) and report
// FILE.json OUT.html|OUT.pdf: file work, no line.
int runSnapshotDiff(const QStringList& args);
int runSnapshotReport(const QStringList& args);

} // namespace cli
