#pragma once

#include "cli/CliOptions.h"

#include <QStringList>

namespace bus {
class SerialLink;
}

namespace cli {

// db-find FILE.dbf NUMBER: the factory record of that nameplate number as
// the thermometer tab would take it, eight lines "i<TAB>identifier<TAB>height".
int runDbFind(const QStringList& args);

// What is wrong with the words of db-save and db-load, empty when nothing is.
QString dbSaveWrongWords(const QStringList& args);
QString dbLoadWrongWords(const QStringList& args);
// db-save FILE.dbf sensor N [--yes] | db-load FILE.dbf sensor N: the user
// file's "Сохранить" with what sensor N holds, or "Загрузить" written to it.
int runDbCommand(bus::SerialLink& link, const CliOptions& options);

} // namespace cli
