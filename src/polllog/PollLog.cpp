#include "polllog/PollLog.h"

#include "app/FileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace polllog {
namespace {

// Marks our files among other SQLite databases: "ORV2".
constexpr int kApplicationId = 0x4F525632;
constexpr int kSchemaVersion = 1;

const char* const kColumns[kQuantities] = {"fuel",    "water",  "temperature",
                                           "density", "volume", "mass"};

// The readings are clustered by sensor, then poll: the poll ids grow with
// time, so a sensor's stretch of time is one range of the table.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS polls(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, "
    "kind INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS polls_time ON polls(time)",
    "CREATE TABLE IF NOT EXISTS readings(sensor INTEGER NOT NULL, poll INTEGER NOT NULL, "
    "s1 INTEGER, s2 INTEGER, fuel REAL, fuel_code INTEGER, water REAL, water_code INTEGER, "
    "temperature REAL, temperature_code INTEGER, density REAL, density_code INTEGER, "
    "volume REAL, volume_code INTEGER, mass REAL, mass_code INTEGER, normal INTEGER NOT NULL, "
    "PRIMARY KEY(sensor, poll)) WITHOUT ROWID",
};

// SQLite's primary result codes.
enum SqliteCode {
    Perm = 3,
    ReadOnly = 8,
    Corrupt = 11,
    Full = 13,
    CantOpen = 14,
    Auth = 23,
    NotADb = 26
};

QString notALog() {
    return QStringLiteral("НЕ ЖУРНАЛ ОПРОСА");
}

// Why the system would refuse to write there; None when it would not.
app::FileFault writeFault(const QString& path) {
#ifdef Q_OS_WIN
    return QFileInfo(path).isWritable() ? app::FileFault::None : app::FileFault::NoAccess;
#else
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return app::FileFault::None;
    return app::faultOfErrno(errno);
#endif
}

QVariant optional(const std::optional<int>& v) {
    return v ? QVariant(*v) : QVariant();
}

std::optional<int> intAt(const QSqlQuery& q, int i) {
    const QVariant v = q.value(i);
    return v.isNull() ? std::nullopt : std::optional<int>(v.toInt());
}

} // namespace

PollLog::PollLog() {
    static std::atomic<int> sequence{0};
    m_connection = QStringLiteral("polllog-%1").arg(++sequence);
}

PollLog::~PollLog() {
    close();
}

void PollLog::close() {
    if (!m_db.isValid())
        return;
    m_db.close();
    // The driver keeps the connection until no handle to it is left.
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

QString PollLog::failure(const QString& nativeCode) const {
    const QFileInfo fi(m_path);
    app::FileFault fault = app::FileFault::Failed;
    switch (nativeCode.toInt() & 0xFF) {
    case Full:
        fault = app::FileFault::NoSpace;
        break;
    case ReadOnly:
    case CantOpen:
        fault = writeFault(fi.absolutePath());
        if (fault == app::FileFault::None && fi.exists())
            fault = writeFault(m_path);
        if (fault == app::FileFault::None)
            fault = app::FileFault::ReadOnlyFs;
        break;
    case Perm:
    case Auth:
        fault = app::FileFault::NoAccess;
        break;
    case Corrupt:
        fault = app::FileFault::Broken;
        break;
    case NotADb:
        return m_path + QStringLiteral(": ") + notALog();
    default:
        break;
    }
    return app::FileResult{fault, m_path}.message();
}

QString PollLog::open(const QString& path) {
    close();
    m_path = path;
    const QFileInfo fi(path);
    auto refuse = [&](const QString& why) {
        close();
        return path + QStringLiteral(": ") + why;
    };
    if (fi.exists()) {
        if (!fi.isFile())
            return refuse(app::fileFaultText(app::FileFault::NotAFile));
        // Told apart before SQLite sees it: another file must stay untouched.
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return refuse(app::fileFaultText(app::FileFault::NoAccess));
        const QByteArray head = f.read(16);
        if (fi.size() > 0 && head != QByteArray("SQLite format 3", 16))
            return refuse(notALog());
        if (const app::FileFault f = writeFault(path); f != app::FileFault::None)
            return refuse(app::fileFaultText(f));
    } else if (!fi.absoluteDir().exists()) {
        return refuse(app::fileFaultText(app::FileFault::NoFolder));
    }
    // The journal of every commit is a file beside the log.
    if (const app::FileFault f = writeFault(fi.absolutePath()); f != app::FileFault::None)
        return refuse(app::fileFaultText(f));

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(path);
    if (!m_db.open()) {
        const QString why = failure(m_db.lastError().nativeErrorCode());
        close();
        return why;
    }
    QSqlQuery q(m_db);
    auto failed = [&] {
        const QString why = failure(q.lastError().nativeErrorCode());
        close();
        return why;
    };
    if (!q.exec(QStringLiteral("PRAGMA application_id")) || !q.next())
        return failed();
    const int id = q.value(0).toInt();
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
        return failed();
    if (q.value(0).toInt() > 0 && id != kApplicationId)
        return refuse(notALog());
    // Write-ahead: a commit costs no wait for the disk, and a killed
    // program still leaves every committed poll.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return failed();
    if (!m_db.transaction())
        return failure(m_db.lastError().nativeErrorCode());
    for (const char* statement : kSchema)
        if (!q.exec(QString::fromLatin1(statement))) {
            m_db.rollback();
            return failed();
        }
    if (!q.exec(QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId)) ||
        !q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)) || !m_db.commit()) {
        m_db.rollback();
        return failed();
    }
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
    if (!m_db.transaction())
        return failure(m_db.lastError().nativeErrorCode());
    QSqlQuery q(m_db);
    auto failed = [&] {
        const QString why = failure(q.lastError().nativeErrorCode());
        m_db.rollback();
        return why;
    };
    q.prepare(QStringLiteral("INSERT INTO polls(time, kind) VALUES(?, ?)"));
    q.bindValue(0, timeMs);
    q.bindValue(1, static_cast<int>(kind));
    if (!q.exec())
        return failed();
    const qint64 poll = q.lastInsertId().toLongLong();
    if (!q.prepare(QStringLiteral("INSERT INTO readings VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                  "?, ?, ?, ?, ?, ?)")))
        return failed();
    for (const SensorRow& r : rows) {
        q.bindValue(0, r.sensor);
        q.bindValue(1, poll);
        q.bindValue(2, optional(r.s1));
        q.bindValue(3, optional(r.s2));
        for (int i = 0; i < kQuantities; ++i) {
            const auto& v = r.values[static_cast<std::size_t>(i)];
            q.bindValue(4 + 2 * i, v ? QVariant(v->value) : QVariant());
            q.bindValue(5 + 2 * i, v ? QVariant(v->code) : QVariant());
        }
        q.bindValue(16, r.normal() ? 1 : 0);
        if (!q.exec())
            return failed();
    }
    if (!m_db.commit())
        return failure(m_db.lastError().nativeErrorCode());
    return {};
}

Series PollLog::series(const std::vector<int>& sensors, Quantity quantity, qint64 fromMs,
                       qint64 toMs) const {
    Series out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id, time FROM polls WHERE time BETWEEN ? AND ? ORDER BY id"));
    q.bindValue(0, fromMs);
    q.bindValue(1, toMs);
    if (!q.exec())
        return out;
    std::vector<std::pair<qint64, qint64>> polls; // id, time
    while (q.next())
        polls.emplace_back(q.value(0).toLongLong(), q.value(1).toLongLong());
    if (polls.empty())
        return out;
    const QString column = QString::fromLatin1(kColumns[static_cast<int>(quantity)]);
    q.prepare(QStringLiteral("SELECT poll, %1, %1_code, s2 FROM readings WHERE sensor = ? AND poll "
                             "BETWEEN ? AND ? ORDER BY poll")
                  .arg(column));
    constexpr double gap = std::numeric_limits<double>::quiet_NaN();
    for (int sensor : sensors) {
        std::vector<Point>& points = out[sensor];
        q.bindValue(0, sensor);
        q.bindValue(1, polls.front().first);
        q.bindValue(2, polls.back().first);
        if (!q.exec())
            continue;
        auto at = polls.begin();
        while (q.next()) {
            const qint64 poll = q.value(0).toLongLong();
            // A clock set back can put a poll of the id range outside the
            // time range.
            at = std::lower_bound(at, polls.end(), poll,
                                  [](const auto& p, qint64 id) { return p.first < id; });
            if (at == polls.end())
                break;
            if (at->first != poll)
                continue;
            const QVariant value = q.value(1);
            const QVariant code = q.value(2);
            // Status 00 00: no sensor at the address, whatever it sent.
            const bool absent = !q.value(3).isNull() && q.value(3).toInt() == 0;
            const bool shown =
                !absent && !value.isNull() && !code.isNull() && isNormalCode(code.toInt());
            points.push_back({at->second, shown ? value.toDouble() : gap});
        }
    }
    return out;
}

std::optional<qint64> PollLog::faultSince(int sensor) const {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT p.time FROM readings r JOIN polls p ON p.id = r.poll "
        "WHERE r.sensor = ? AND r.poll > IFNULL((SELECT poll FROM readings WHERE sensor = ? "
        "AND normal = 1 ORDER BY poll DESC LIMIT 1), 0) ORDER BY r.poll LIMIT 1"));
    q.bindValue(0, sensor);
    q.bindValue(1, sensor);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

int PollLog::pollCount() const {
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT count(*) FROM polls")) && q.next() ? q.value(0).toInt()
                                                                            : 0;
}

std::vector<int> PollLog::sensors() const {
    // One step along the key per sensor instead of a walk over every row.
    std::vector<int> out;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT MIN(sensor) FROM readings WHERE sensor > ?"));
    int last = 0;
    for (;;) {
        q.bindValue(0, last);
        if (!q.exec() || !q.next() || q.value(0).isNull())
            return out;
        last = q.value(0).toInt();
        out.push_back(last);
    }
}

bool PollLog::forEachRow(qint64 fromMs, qint64 toMs, std::optional<int> sensor,
                         const std::function<void(const LoggedRow&)>& visit) const {
    QString columns;
    for (const char* c : kColumns)
        columns += QStringLiteral(", r.%1, r.%1_code").arg(QString::fromLatin1(c));
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT p.time, p.kind, r.sensor, r.s1, r.s2%1 FROM readings r "
                             "JOIN polls p ON p.id = r.poll WHERE p.time BETWEEN ? AND ?%2 "
                             "ORDER BY r.poll, r.sensor")
                  .arg(columns, sensor ? QStringLiteral(" AND r.sensor = ?") : QString()));
    q.bindValue(0, fromMs);
    q.bindValue(1, toMs);
    if (sensor)
        q.bindValue(2, *sensor);
    if (!q.exec())
        return false;
    LoggedRow row;
    while (q.next()) {
        row.timeMs = q.value(0).toLongLong();
        row.kind = static_cast<PollKind>(q.value(1).toInt());
        row.row.sensor = q.value(2).toInt();
        row.row.s1 = intAt(q, 3);
        row.row.s2 = intAt(q, 4);
        for (int i = 0; i < kQuantities; ++i) {
            auto& v = row.row.values[static_cast<std::size_t>(i)];
            v.reset();
            if (!q.value(5 + 2 * i).isNull())
                v = Value{q.value(5 + 2 * i).toDouble(), q.value(6 + 2 * i).toInt()};
        }
        visit(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}

} // namespace polllog
