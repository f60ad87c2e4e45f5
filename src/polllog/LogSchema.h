#pragma once

#include <QString>
#include <QStringList>

// The tables of the poll log and everything in its SQL that differs
// between the two engines.
namespace polllog {

enum class Engine { Sqlite, Postgres };

// Marks our databases: "ORV2" (SQLite's application_id; the first half of
// PostgreSQL's advisory lock keys).
inline constexpr int kApplicationId = 0x4F525632;

// The tables of the current version, made when missing.
QStringList createStatements(Engine engine);
// A SQLite file of an earlier version (1 or 2) brought to the current one:
// the site column added, the existing polls belonging to the site "".
QStringList upgradeStatements(int fromVersion);
// Views over a file of an earlier version opened only to read it, under
// the current tables' names: the same queries read it.
QStringList readViewsOf(bool hasExtended, bool hasOverview);

// The last ("?" placeholders): the site's id by name, made when missing.
QString addSiteStatement();

// The columns of the extended table after site, sensor and poll, in order.
QString extendedColumns(const QString& prefix);
// The general readings' value columns: fuel .. mass.
extern const char* const kValueColumns[6];

} // namespace polllog
