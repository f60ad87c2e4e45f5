#pragma once

#include "snapshot/Snapshot.h"

// A commissioning report from a snapshot: the layout, a table per
// controller and per sensor, thermometers and density meters with their
// heights, firmware versions and the date. Needs a GUI application object
// (fonts) for the PDF.
namespace snapshot {

QString reportHtml(const Snapshot& s);
enum class ReportFormat { Pdf, Html, Unknown };
// By the file's extension: ".pdf", ".html" or ".htm".
ReportFormat reportFormat(const QString& path);
// HTML or PDF by the file's extension (nothing is written for another
// one); written whole or not at all.
bool writeReport(const Snapshot& s, const QString& path, QString* error);

} // namespace snapshot
