#pragma once

#include <QString>

// Help pages beside the program, in its folder "help": one HTML page per
// page name, and index.html. Returns the file to show, or empty when the
// help is not installed (the help command then does nothing).
QString helpFileFor(const QString& programFolder, const QString& pageName);
