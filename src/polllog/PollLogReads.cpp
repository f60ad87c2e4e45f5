#include "polllog/PollLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Reading: the sites' states, the trends, the rows and intervals of an export.
namespace polllog {
namespace {

// Sensor numbers as shown: 1..128.
constexpr int kSensorNumbers = 128;

std::optional<int> intAt(const QSqlQuery& q, int i) {
    const QVariant v = q.value(i);
    return v.isNull() ? std::nullopt : std::optional<int>(v.toInt());
}

std::optional<Value> valueAt(const QSqlQuery& q, int i) {
    if (q.value(i).isNull())
        return std::nullopt;
    return Value{q.value(i).toDouble(), q.value(i + 1).toInt()};
}

QString kindsOf(Page page) {
    switch (page) {
    case Page::General:
        return QStringLiteral("1, 2");
    case Page::Extended:
        return QStringLiteral("3");
    case Page::Overview:
        break;
    }
    return QStringLiteral("4");
}

} // namespace

bool PollLog::selectBetween(QSqlQuery& q, const QString& sql, qint64 fromMs, qint64 toMs,
                            std::optional<int> sensor, const QVariantList& first) const {
    q.setForwardOnly(true);
    q.prepare(sql);
    int at = 0;
    for (const QVariant& v : first)
        q.bindValue(at++, v);
    for (const QVariant& v :
         {QVariant(m_siteId), QVariant(m_siteId), QVariant(fromMs), QVariant(toMs)})
        q.bindValue(at++, v);
    if (sensor)
        q.bindValue(at, *sensor);
    return q.exec();
}

std::vector<SiteState> PollLog::siteStates() const {
    std::vector<SiteState> out;
    if (!m_db.isOpen())
        return out;
    QSqlQuery sites(m_db);
    if (!sites.exec(QStringLiteral("SELECT id, name FROM sites ORDER BY name")))
        return out;
    // Point lookups along the readings' key, whatever the engine plans.
    QStringList numbers;
    for (int n = 1; n <= kSensorNumbers; ++n)
        numbers << QString::number(n);
    const QString general = kindsOf(Page::General);
    QSqlQuery q(m_db);
    while (sites.next()) {
        SiteState s;
        const int site = sites.value(0).toInt();
        s.site = sites.value(1).toString();
        q.prepare(QStringLiteral("SELECT id, time, answered FROM polls WHERE site = ? AND kind "
                                 "IN (%1) ORDER BY time DESC, id DESC LIMIT 1")
                      .arg(general));
        q.bindValue(0, site);
        if (q.exec() && q.next()) {
            const qint64 poll = q.value(0).toLongLong();
            s.lastPollMs = q.value(1).toLongLong();
            const QVariant answered = q.value(2);
            q.prepare(QStringLiteral("SELECT count(*), COALESCE(SUM(CASE WHEN normal = 0 THEN 1 "
                                     "ELSE 0 END), 0), COUNT(s1) FROM readings WHERE site = ? "
                                     "AND sensor IN (%1) AND poll = ?")
                          .arg(numbers.join(QLatin1Char(','))));
            q.bindValue(0, site);
            q.bindValue(1, poll);
            if (q.exec() && q.next()) {
                s.sensors = q.value(0).toInt();
                s.notNormal = q.value(1).toInt();
                s.answered = answered.isNull() ? q.value(2).toInt() > 0 : answered.toInt() > 0;
            }
            if (!s.answered) {
                q.prepare(
                    QStringLiteral(
                        "SELECT MIN(time) FROM polls WHERE site = ? AND kind IN (%1) AND time > "
                        "COALESCE((SELECT MAX(time) FROM polls WHERE site = ? AND kind IN (%1) AND "
                        "(answered IS NULL OR answered > 0)), -1)")
                        .arg(general));
                q.bindValue(0, site);
                q.bindValue(1, site);
                if (q.exec() && q.next() && !q.value(0).isNull())
                    s.silentSinceMs = q.value(0).toLongLong();
            }
        }
        out.push_back(s);
    }
    return out;
}

std::vector<QString> PollLog::siteNames() const {
    std::vector<QString> out;
    QSqlQuery q(m_db);
    if (!m_db.isOpen() || !q.exec(QStringLiteral("SELECT name FROM sites ORDER BY name")))
        return out;
    while (q.next())
        out.push_back(q.value(0).toString());
    return out;
}

Series PollLog::series(const std::vector<int>& sensors, Quantity quantity, qint64 fromMs,
                       qint64 toMs) const {
    Series out;
    if (!m_db.isOpen())
        return out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // The time index holds the poll ids: no row of polls is read.
    q.prepare(QStringLiteral("SELECT id, time FROM polls WHERE site = ? AND time BETWEEN ? AND ?"));
    q.bindValue(0, m_siteId);
    q.bindValue(1, fromMs);
    q.bindValue(2, toMs);
    if (!q.exec())
        return out;
    std::vector<std::pair<qint64, qint64>> polls; // id, time
    while (q.next())
        polls.emplace_back(q.value(0).toLongLong(), q.value(1).toLongLong());
    if (polls.empty())
        return out;
    // In time order, which is id order unless the clock was set back.
    if (!std::is_sorted(polls.begin(), polls.end()))
        std::sort(polls.begin(), polls.end());
    // Only what is drawn crosses over: the number, or NULL where the value
    // has a fault code, is missing, or the address has no sensor (status
    // 00 00, whatever it sent).
    const QString column = QString::fromLatin1(kValueColumns[static_cast<int>(quantity)]);
    q.prepare(QStringLiteral("SELECT poll, CASE WHEN COALESCE(s2, 1) <> 0 AND %1_code BETWEEN 0 "
                             "AND 15 THEN %1 END FROM readings WHERE site = ? AND sensor = ? AND "
                             "poll BETWEEN ? AND ? ORDER BY poll")
                  .arg(column));
    constexpr double gap = std::numeric_limits<double>::quiet_NaN();
    for (int sensor : sensors) {
        std::vector<Point>& points = out[sensor];
        q.bindValue(0, m_siteId);
        q.bindValue(1, sensor);
        q.bindValue(2, polls.front().first);
        q.bindValue(3, polls.back().first);
        if (!q.exec())
            continue;
        points.reserve(polls.size());
        auto at = polls.begin();
        while (q.next()) {
            const qint64 poll = q.value(0).toLongLong();
            // Polls of other pages and, after a clock set back, polls of the
            // id range outside the time range have no place here.
            while (at != polls.end() && at->first < poll)
                ++at;
            if (at == polls.end())
                break;
            if (at->first != poll)
                continue;
            const QVariant value = q.value(1);
            points.push_back({at->second, value.isNull() ? gap : value.toDouble()});
        }
    }
    return out;
}

std::optional<qint64> PollLog::faultSince(int sensor) const {
    if (!m_db.isOpen())
        return std::nullopt;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT p.time FROM readings r JOIN polls p ON p.id = r.poll "
        "WHERE r.site = ? AND r.sensor = ? AND r.poll > COALESCE((SELECT poll FROM readings "
        "WHERE site = ? AND sensor = ? AND normal = 1 ORDER BY poll DESC LIMIT 1), 0) "
        "ORDER BY r.poll LIMIT 1"));
    q.bindValue(0, m_siteId);
    q.bindValue(1, sensor);
    q.bindValue(2, m_siteId);
    q.bindValue(3, sensor);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

int PollLog::pollCount() const {
    if (!m_db.isOpen())
        return 0;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM polls WHERE site = ?"));
    q.bindValue(0, m_siteId);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

int PollLog::pollCount(Page page) const {
    if (!m_db.isOpen())
        return 0;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM polls WHERE site = ? AND kind IN (%1)")
                  .arg(kindsOf(page)));
    q.bindValue(0, m_siteId);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

std::vector<int> PollLog::sensors() const {
    if (!m_db.isOpen())
        return {};
    // One step along the key per sensor instead of a walk over every row.
    std::vector<int> out;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT MIN(sensor) FROM readings WHERE site = ? AND sensor > ?"));
    int last = 0;
    for (;;) {
        q.bindValue(0, m_siteId);
        q.bindValue(1, last);
        if (!q.exec() || !q.next() || q.value(0).isNull())
            return out;
        last = q.value(0).toInt();
        out.push_back(last);
    }
}

bool PollLog::forEachRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                         const std::function<void(const LoggedRow&)>& visit) const {
    QString columns;
    for (const char* c : kValueColumns)
        columns += QStringLiteral(", r.%1, r.%1_code").arg(QString::fromLatin1(c));
    QSqlQuery q(m_db);
    if (!selectBetween(
            q,
            QStringLiteral("SELECT p.time, p.kind, r.sensor, r.s1, r.s2%1 FROM readings r "
                           "JOIN polls p ON p.id = r.poll WHERE p.site = ? AND r.site = ? AND "
                           "p.time BETWEEN ? AND ?%2 ORDER BY r.poll, r.sensor")
                .arg(columns, sensor ? QStringLiteral(" AND r.sensor = ?") : QString()),
            fromMs, toMs, sensor))
        return false;
    LoggedRow row;
    while (q.next()) {
        row.timeMs = q.value(0).toLongLong();
        row.kind = static_cast<PollKind>(q.value(1).toInt());
        row.row.sensor = q.value(2).toInt();
        row.row.s1 = intAt(q, 3);
        row.row.s2 = intAt(q, 4);
        for (int i = 0; i < kQuantities; ++i)
            row.row.values[static_cast<std::size_t>(i)] = valueAt(q, 5 + 2 * i);
        visit(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}

bool PollLog::forEachExtendedRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                                 const std::function<void(const LoggedExtendedRow&)>& visit) const {
    // A file of version 1 opened for reading has none.
    if (m_db.isOpen() && !m_address.server && !hasTable(m_db, QStringLiteral("extended")))
        return true;
    QSqlQuery q(m_db);
    if (!selectBetween(
            q,
            QStringLiteral("SELECT p.time, e.sensor, %1 FROM extended e "
                           "JOIN polls p ON p.id = e.poll WHERE p.site = ? AND e.site = ? AND "
                           "p.time BETWEEN ? AND ?%2 ORDER BY e.poll, e.sensor")
                .arg(extendedColumns(QStringLiteral("e.")),
                     sensor ? QStringLiteral(" AND e.sensor = ?") : QString()),
            fromMs, toMs, sensor))
        return false;
    LoggedExtendedRow row;
    while (q.next()) {
        row.timeMs = q.value(0).toLongLong();
        row.row.sensor = q.value(1).toInt();
        int at = 2;
        for (auto* channels : {&row.row.thermometers, &row.row.densities})
            for (auto& v : *channels) {
                v = valueAt(q, at);
                at += 2;
            }
        visit(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}

bool PollLog::forEachOverviewRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                                 const std::function<void(const LoggedOverviewRow&)>& visit) const {
    if (m_db.isOpen() && !m_address.server && !hasTable(m_db, QStringLiteral("overview")))
        return true;
    QSqlQuery q(m_db);
    if (!selectBetween(
            q,
            QStringLiteral("SELECT p.time, o.sensor, o.version, o.height, o.thermometers, "
                           "o.density_meters FROM overview o JOIN polls p ON p.id = o.poll "
                           "WHERE p.site = ? AND o.site = ? AND p.time BETWEEN ? AND ?%1 "
                           "ORDER BY o.poll, o.sensor")
                .arg(sensor ? QStringLiteral(" AND o.sensor = ?") : QString()),
            fromMs, toMs, sensor))
        return false;
    LoggedOverviewRow row;
    while (q.next()) {
        row.timeMs = q.value(0).toLongLong();
        row.row.sensor = q.value(1).toInt();
        row.row.version = q.value(2).toString();
        row.row.height = intAt(q, 3);
        row.row.thermometers = intAt(q, 4);
        row.row.densityMeters = intAt(q, 5);
        visit(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}

bool PollLog::forEachInterval(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 offsetMs,
                              std::optional<int> sensor,
                              const std::function<void(const IntervalRow&)>& visit) const {
    if (stepMs <= 0)
        return false;
    // A value counts where the sensor is there and its code is normal, as
    // the trends draw it.
    QString columns;
    for (const char* c : kValueColumns) {
        const QString value = QStringLiteral("CASE WHEN COALESCE(r.s2, 1) <> 0 AND r.%1_code "
                                             "BETWEEN 0 AND 15 THEN r.%1 END")
                                  .arg(QString::fromLatin1(c));
        columns += QStringLiteral(", MIN(%1), AVG(%1), MAX(%1)").arg(value);
    }
    QSqlQuery q(m_db);
    // Integer division in both engines.
    if (!selectBetween(
            q,
            QStringLiteral("SELECT (p.time - ?) / ? AS slot, r.sensor%1 FROM readings r "
                           "JOIN polls p ON p.id = r.poll WHERE p.site = ? AND r.site = ? AND "
                           "p.time BETWEEN ? AND ?%2 GROUP BY slot, r.sensor "
                           "ORDER BY slot, r.sensor")
                .arg(columns, sensor ? QStringLiteral(" AND r.sensor = ?") : QString()),
            fromMs, toMs, sensor, {offsetMs, stepMs}))
        return false;
    IntervalRow row;
    while (q.next()) {
        row.startMs = q.value(0).toLongLong() * stepMs + offsetMs;
        row.sensor = q.value(1).toInt();
        for (int i = 0; i < kQuantities; ++i) {
            const int at = 2 + 3 * i;
            auto& v = row.values[static_cast<std::size_t>(i)];
            if (q.value(at).isNull())
                v.reset();
            else
                v = Spread{q.value(at).toDouble(), q.value(at + 1).toDouble(),
                           q.value(at + 2).toDouble()};
        }
        visit(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}

} // namespace polllog
