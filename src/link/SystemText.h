#pragma once

#include <QString>

// The text with the system's English explanations of the common errors (no
// such file, permission denied, no space left, is a directory, read-only
// file system) replaced by Russian ones; everything else kept as it is.
QString withRussianFileErrors(QString text);
