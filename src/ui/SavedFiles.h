#pragma once

#include "app/ConfigFile.h"

#include <QStringList>

// The files chosen in an earlier run (firmware images, the section
// database) that cannot be read now: a stick pulled, a file moved or
// replaced by a folder or a pipe. One text each, to be said at start; the
// pages refuse them again when used.
QStringList savedFileProblems(const app::ConfigEntries& entries);
