#pragma once

#include <QString>

#include <optional>

namespace polllog {

// Where a poll log is: a SQLite file, or a PostgreSQL database named
// postgresql://USER@HOST:PORT/DB. A password never travels in the address:
// the client library takes it from ~/.pgpass or PGPASSWORD.
struct LogAddress {
    bool server = false;
    QString file; // the SQLite file
    QString user; // empty: the system user's name
    QString host;
    int port = 5432;
    QString database;
};

bool isServerAddress(const QString& text);
// Nothing when text names a server wrongly; error then says why (without
// any password the text held).
std::optional<LogAddress> parseLogAddress(const QString& text, QString* error);
// The address as shown to the engineer: never with a password.
QString shownAddress(const LogAddress& address);

} // namespace polllog
