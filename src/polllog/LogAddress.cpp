#include "polllog/LogAddress.h"

#include <QUrl>

namespace polllog {

bool isServerAddress(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://")) ||
           text.startsWith(QLatin1String("postgres://"));
}

std::optional<LogAddress> parseLogAddress(const QString& text, QString* error) {
    LogAddress a;
    if (!isServerAddress(text)) {
        a.file = text;
        return a;
    }
    a.server = true;
    const QUrl url(text, QUrl::StrictMode);
    const QString shown = QStringLiteral("postgresql://…");
    if (!url.isValid() || url.host().isEmpty()) {
        *error = QStringLiteral("%1: нужен адрес вида postgresql://USER@HOST:PORT/DB")
                     .arg(url.isValid() ? url.toString(QUrl::RemovePassword) : shown);
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        *error = QStringLiteral("%1: пароль в адресе не принимается — его берут из ~/.pgpass "
                                "или PGPASSWORD")
                     .arg(url.toString(QUrl::RemovePassword));
        return std::nullopt;
    }
    a.user = url.userName();
    a.host = url.host();
    a.port = url.port(5432);
    a.database = url.path().mid(1);
    if (a.database.isEmpty() || a.database.contains(QLatin1Char('/')) || url.hasQuery()) {
        *error = QStringLiteral("%1: нужен адрес вида postgresql://USER@HOST:PORT/DB")
                     .arg(url.toString(QUrl::RemovePassword));
        return std::nullopt;
    }
    return a;
}

QString shownAddress(const LogAddress& a) {
    if (!a.server)
        return a.file;
    return QStringLiteral("postgresql://%1%2:%3/%4")
        .arg(a.user.isEmpty() ? QString() : a.user + QLatin1Char('@'), a.host)
        .arg(a.port)
        .arg(a.database);
}

} // namespace polllog
