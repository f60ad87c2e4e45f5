#include "polllog/PollLog.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Recording: one transaction a poll, the file made by the first one.
namespace polllog {
namespace {

QVariant optional(const std::optional<int>& v) {
    return v ? QVariant(*v) : QVariant();
}

QVariant optional(const std::optional<Value>& v, bool code) {
    if (!v)
        return {};
    return code ? QVariant(v->code) : QVariant(v->value);
}

// "?, ?, ..." for n values.
QString marks(int n) {
    QStringList m;
    for (int i = 0; i < n; ++i)
        m << QStringLiteral("?");
    return m.join(QStringLiteral(", "));
}

} // namespace

QString PollLog::recordPoll(PollKind kind, qint64 timeMs, int answered, const RowWriter& write) {
    const bool hasData = answered > 0;
    m_fault = app::FileFault::None;
    // A server connection lost at an earlier poll: tried again now.
    if (m_address.server && m_access == Access::Record && m_db.isValid() && !m_db.isOpen() &&
        !reconnect())
        return failure(m_db.lastError());
    if (m_access != Access::Record || !isOpen())
        return failure({});
    if (!m_db.isOpen()) {
        // Nothing heard yet: no file for it, unless another writer (a
        // watcher's other site) has made it meanwhile.
        if (!hasData && !m_makeOnAnyPoll && !QFileInfo::exists(m_path))
            return {};
        if (const QString why = make(); !why.isEmpty())
            return why;
    }
    // BEGIN and COMMIT as statements: a failed commit keeps SQLite's code
    // (the driver's commit() drops it), which tells a full disk apart.
    QSqlQuery q(m_db);
    auto undo = [&](const QSqlError& e) {
        const QString why = failure(e);
        q.exec(QStringLiteral("ROLLBACK"));
        // A file made for this poll and holding none is not left behind.
        if (m_made && m_recorded == 0)
            discardMade();
        return why;
    };
    if (!q.exec(QStringLiteral("BEGIN"))) {
        // A server that went away and came back: a new connection.
        if (!m_address.server || !reconnect())
            return undo(q.lastError());
        q = QSqlQuery(m_db);
        if (!q.exec(QStringLiteral("BEGIN")))
            return undo(q.lastError());
    }
    q.prepare(QStringLiteral(
        "INSERT INTO polls(site, time, kind, answered) VALUES(?, ?, ?, ?) RETURNING id"));
    q.bindValue(0, m_siteId);
    q.bindValue(1, timeMs);
    q.bindValue(2, static_cast<int>(kind));
    q.bindValue(3, answered);
    if (!q.exec() || !q.next())
        return undo(q.lastError());
    const qint64 poll = q.value(0).toLongLong();
    if (!write(q, poll))
        return undo(q.lastError());
    if (!q.exec(QStringLiteral("COMMIT")))
        return undo(q.lastError());
    ++m_recorded;
    return {};
}

QString PollLog::record(const sensor::StatusGrid& grid, PollKind kind, qint64 timeMs) {
    std::vector<SensorRow> rows;
    for (const QStringList& cells : grid.rows)
        if (auto row = rowOfGrid(cells))
            rows.push_back(*row);
    return record(rows, kind, timeMs);
}

QString PollLog::record(const std::vector<SensorRow>& rows, PollKind kind, qint64 timeMs) {
    const int heard = static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [](const SensorRow& r) { return r.hasData(); }));
    return recordPoll(kind, timeMs, heard, [&](QSqlQuery& q, qint64 poll) {
        QString columns;
        for (const char* c : kValueColumns)
            columns += QStringLiteral("%1, %1_code, ").arg(QString::fromLatin1(c));
        if (!q.prepare(QStringLiteral("INSERT INTO readings(site, sensor, poll, s1, s2, %1normal) "
                                      "VALUES(%2)")
                           .arg(columns, marks(18))))
            return false;
        for (const SensorRow& r : rows) {
            q.bindValue(0, m_siteId);
            q.bindValue(1, r.sensor);
            q.bindValue(2, poll);
            q.bindValue(3, optional(r.s1));
            q.bindValue(4, optional(r.s2));
            for (int i = 0; i < kQuantities; ++i) {
                const auto& v = r.values[static_cast<std::size_t>(i)];
                q.bindValue(5 + 2 * i, optional(v, false));
                q.bindValue(6 + 2 * i, optional(v, true));
            }
            q.bindValue(17, r.normal() ? 1 : 0);
            if (!q.exec())
                return false;
        }
        return true;
    });
}

QString PollLog::recordExtended(const sensor::StatusGrid& thermometers,
                                const sensor::StatusGrid& densities, qint64 timeMs) {
    std::vector<ExtendedRow> rows;
    for (std::size_t r = 0; r < thermometers.rows.size(); ++r)
        if (auto row =
                extendedRowOfGrids(thermometers.rows[r],
                                   r < densities.rows.size() ? densities.rows[r] : QStringList()))
            rows.push_back(*row);
    return recordExtended(rows, timeMs);
}

QString PollLog::recordExtended(const std::vector<ExtendedRow>& rows, qint64 timeMs) {
    const int heard = static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [](const ExtendedRow& r) { return r.hasData(); }));
    return recordPoll(PollKind::Extended, timeMs, heard, [&](QSqlQuery& q, qint64 poll) {
        if (!q.prepare(QStringLiteral("INSERT INTO extended(site, sensor, poll, %1) VALUES(%2)")
                           .arg(extendedColumns(QString()), marks(3 + 4 * kChannels))))
            return false;
        for (const ExtendedRow& r : rows) {
            q.bindValue(0, m_siteId);
            q.bindValue(1, r.sensor);
            q.bindValue(2, poll);
            int at = 3;
            for (const auto* channels : {&r.thermometers, &r.densities})
                for (const auto& v : *channels) {
                    q.bindValue(at++, optional(v, false));
                    q.bindValue(at++, optional(v, true));
                }
            if (!q.exec())
                return false;
        }
        return true;
    });
}

QString PollLog::recordOverview(const sensor::StatusGrid& grid, qint64 timeMs) {
    std::vector<OverviewRow> rows;
    for (const QStringList& cells : grid.rows)
        if (auto row = overviewRowOfGrid(cells))
            rows.push_back(*row);
    return recordOverview(rows, timeMs);
}

QString PollLog::recordOverview(const std::vector<OverviewRow>& rows, qint64 timeMs) {
    const int heard = static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [](const OverviewRow& r) { return r.hasData(); }));
    return recordPoll(PollKind::Overview, timeMs, heard, [&](QSqlQuery& q, qint64 poll) {
        if (!q.prepare(QStringLiteral("INSERT INTO overview(site, sensor, poll, version, height, "
                                      "thermometers, density_meters) VALUES(?, ?, ?, ?, ?, ?, ?)")))
            return false;
        for (const OverviewRow& r : rows) {
            q.bindValue(0, m_siteId);
            q.bindValue(1, r.sensor);
            q.bindValue(2, poll);
            q.bindValue(3, r.version.isEmpty() ? QVariant() : QVariant(r.version));
            q.bindValue(4, optional(r.height));
            q.bindValue(5, optional(r.thermometers));
            q.bindValue(6, optional(r.densityMeters));
            if (!q.exec())
                return false;
        }
        return true;
    });
}

} // namespace polllog
