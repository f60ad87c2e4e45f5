#pragma once

#include <QString>

class QCoreApplication;

// The window speaks Russian throughout, Qt's own dialogs and buttons and the
// system's file error texts included.

// Loads Qt's Russian translations (qtbase_ru) into the application; false
// when the installation has none.
bool installQtTranslations(QCoreApplication& app);

// The text with the system's English explanations of the common file errors
// (no such file, permission denied, no space left, is a directory, read-only
// file system) replaced by Russian ones; everything else kept as it is.
QString withRussianFileErrors(QString text);
