#pragma once

#include <QString>

class QCoreApplication;

// The window speaks Russian throughout, Qt's own dialogs and buttons and the
// system's file error texts included.

// Loads Qt's Russian translations (qtbase_ru) into the application; false
// when the installation has none.
bool installQtTranslations(QCoreApplication& app);
