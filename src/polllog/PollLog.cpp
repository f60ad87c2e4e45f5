#include "polllog/PollLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <limits>
#include <mutex>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace polllog {
namespace {

// Marks our files among other SQLite databases: "ORV2".
constexpr int kApplicationId = 0x4F525632;
// Past this many pages (4 KiB each) in the write-ahead log a commit copies
// it into the file itself: only when the checkpoints between polls did not
// happen (a reader held them up for long). Far above one poll's pages.
constexpr int kBackstopPages = 10000;
// The page cache of a connection, in KiB (negative for SQLite): the pages
// the next poll writes to stay in memory.
constexpr int kCacheKiB = 16384;

const char* const kColumns[kQuantities] = {"fuel",    "water",  "temperature",
                                           "density", "volume", "mass"};

// The readings are clustered by sensor, then poll: the poll ids grow with
// time, so a sensor's stretch of time is one range of the table. Version 1
// had polls and readings only; version 2 adds the extended status and the
// configuration overview, each row of them a sensor's row of the page.
QStringList schema() {
    QString channels;
    for (const char letter : {'t', 'd'})
        for (int n = 1; n <= kChannels; ++n)
            channels += QStringLiteral("%1%2 REAL, %1%2_code INTEGER, ")
                            .arg(QLatin1Char(letter))
                            .arg(n);
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS polls(id INTEGER PRIMARY KEY, "
                       "time INTEGER NOT NULL, kind INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS polls_time ON polls(time)"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS readings(sensor INTEGER NOT NULL, poll INTEGER NOT NULL, "
            "s1 INTEGER, s2 INTEGER, fuel REAL, fuel_code INTEGER, water REAL, water_code INTEGER, "
            "temperature REAL, temperature_code INTEGER, density REAL, density_code INTEGER, "
            "volume REAL, volume_code INTEGER, mass REAL, mass_code INTEGER, "
            "normal INTEGER NOT NULL, PRIMARY KEY(sensor, poll)) WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS extended(sensor INTEGER NOT NULL, "
                       "poll INTEGER NOT NULL, %1PRIMARY KEY(sensor, poll)) WITHOUT ROWID")
            .arg(channels),
        QStringLiteral("CREATE TABLE IF NOT EXISTS overview(sensor INTEGER NOT NULL, "
                       "poll INTEGER NOT NULL, version TEXT, height INTEGER, "
                       "thermometers INTEGER, density_meters INTEGER, "
                       "PRIMARY KEY(sensor, poll)) WITHOUT ROWID"),
    };
}

// The columns of the extended table after sensor and poll, in order.
QString extendedColumns(const QString& prefix) {
    QStringList names;
    for (const char letter : {'t', 'd'})
        for (int n = 1; n <= kChannels; ++n)
            names << QStringLiteral("%1%2%3, %1%2%3_code").arg(prefix).arg(QLatin1Char(letter)).arg(n);
    return names.join(QStringLiteral(", "));
}

// SQLite's primary result codes.
enum SqliteCode {
    Perm = 3,
    ReadOnly = 8,
    IoErr = 10,
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

// Why a write in folder fails now, told by trying one beside the log: SQLite
// reports a refused write as a bare I/O error, the system knows better (no
// space, over the file-size limit). Failed when the probe went through.
app::FileFault probeWrite(const QString& folder) {
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return app::FileFault::Failed;
#else
    static std::atomic<int> sequence{0};
    const QByteArray name = QFile::encodeName(
        QDir(folder).filePath(QStringLiteral(".orvant2-probe-%1-%2")
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(++sequence)));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return app::faultOfErrno(errno);
    const QByteArray block(4096, '\0');
    const ssize_t wrote = ::write(fd, block.constData(), static_cast<size_t>(block.size()));
    const int error = errno;
    ::close(fd);
    ::unlink(name.constData());
    if (wrote == block.size())
        return app::FileFault::Failed;
    return wrote < 0 ? app::faultOfErrno(error) : app::FileFault::NoSpace;
#endif
}

QVariant optional(const std::optional<int>& v) {
    return v ? QVariant(*v) : QVariant();
}

QVariant optional(const std::optional<Value>& v, bool code) {
    if (!v)
        return {};
    return code ? QVariant(v->code) : QVariant(v->value);
}

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

bool hasTable(const QSqlDatabase& db, const QString& name) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.bindValue(0, name);
    return q.exec() && q.next();
}

QString uniqueConnection() {
    static std::atomic<int> sequence{0};
    return QStringLiteral("polllog-%1").arg(++sequence);
}

} // namespace

Page pageOf(PollKind kind) {
    switch (kind) {
    case PollKind::Extended:
        return Page::Extended;
    case PollKind::Overview:
        return Page::Overview;
    default:
        break;
    }
    return Page::General;
}

// Checkpoints of one log on a thread of its own with a connection of its
// own: a PASSIVE checkpoint waits for no reader or writer, and the poll
// that asked for it never waits for the disk. Requests made while one runs
// come to one more.
class PollLog::Checkpointer {
  public:
    explicit Checkpointer(QString path) : m_path(std::move(path)) {
        m_thread.reset(QThread::create([this] { run(); }));
        m_thread->start(QThread::LowPriority);
    }
    ~Checkpointer() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread->wait();
    }
    void request() {
        {
            const std::lock_guard lock(m_mutex);
            m_wanted = true;
        }
        m_wake.notify_all();
    }
    // SQLite's code of the last checkpoint that failed; empty when the
    // last one worked.
    QString failure() {
        const std::lock_guard lock(m_mutex);
        return m_failure;
    }

  private:
    void run() {
        const QString name = uniqueConnection();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_path);
            for (;;) {
                {
                    std::unique_lock lock(m_mutex);
                    m_wake.wait(lock, [this] { return m_wanted || m_stop; });
                    if (m_stop)
                        break;
                    m_wanted = false;
                }
                QString code = QStringLiteral("-1");
                if (db.isOpen() || db.open()) {
                    QSqlQuery q(db);
                    code = q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"))
                               ? QString()
                               : q.lastError().nativeErrorCode();
                } else {
                    code = db.lastError().nativeErrorCode();
                }
                const std::lock_guard lock(m_mutex);
                m_failure = code;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    QString m_path;
    std::unique_ptr<QThread> m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_wanted = false;
    bool m_stop = false;
    QString m_failure;
};

PollLog::PollLog() : m_connection(uniqueConnection()) {}

PollLog::~PollLog() {
    close();
}

void PollLog::close() {
    // Its connection goes first: the last one closed folds the write-ahead
    // log into the file.
    m_checkpointer.reset();
    m_pending = false;
    if (!m_db.isValid())
        return;
    m_db.close();
    // The driver keeps the connection until no handle to it is left.
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

QString PollLog::failure(const QString& nativeCode) {
    const QFileInfo fi(m_path);
    app::FileFault fault = app::FileFault::Failed;
    switch (nativeCode.toInt() & 0xFF) {
    case Full:
        fault = app::FileFault::NoSpace;
        break;
    case IoErr:
        fault = probeWrite(fi.absolutePath());
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
        m_fault = app::FileFault::Broken;
        return m_path + QStringLiteral(": ") + notALog();
    default:
        // Whatever SQLite called it: the system may know why.
        fault = probeWrite(fi.absolutePath());
        break;
    }
    m_fault = fault;
    return app::FileResult{fault, m_path}.message();
}

QString PollLog::refuse(app::FileFault fault, const QString& why) {
    close();
    m_fault = fault;
    return m_path + QStringLiteral(": ") + why;
}

QString PollLog::open(const QString& path, Access access) {
    close();
    m_path = path;
    m_access = access;
    m_fault = app::FileFault::None;
    m_made = false;
    m_recorded = 0;
    m_checkpointFailure.clear();
    m_checkpointSaid = false;
    const QFileInfo fi(path);
    const bool writing = access == Access::Record;
    if (fi.exists()) {
        if (!fi.isFile())
            return refuse(app::FileFault::NotAFile,
                          app::fileFaultText(app::FileFault::NotAFile));
        // Told apart before SQLite sees it: another file must stay untouched.
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return refuse(app::FileFault::NoAccess, app::fileFaultText(app::FileFault::NoAccess));
        const QByteArray head = f.read(16);
        if (fi.size() > 0 && head != QByteArray("SQLite format 3", 16))
            return refuse(app::FileFault::Broken, notALog());
        if (const app::FileFault f = writing ? writeFault(path) : app::FileFault::None;
            f != app::FileFault::None)
            return refuse(f, app::fileFaultText(f));
    } else if (!writing) {
        return refuse(app::FileFault::Missing, app::fileFaultText(app::FileFault::Missing));
    } else if (!fi.absoluteDir().exists()) {
        return refuse(app::FileFault::NoFolder, app::fileFaultText(app::FileFault::NoFolder));
    }
    // The write-ahead log of every commit is a file beside the log.
    if (const app::FileFault f = writing ? writeFault(fi.absolutePath()) : app::FileFault::None;
        f != app::FileFault::None)
        return refuse(f, app::fileFaultText(f));
    if (!fi.exists()) {
        // Made by the first poll that has answers.
        m_pending = true;
        return {};
    }
    // SQLite may make the write-ahead files of a file it then finds broken:
    // a file refused as such leaves none of them behind. (A log another
    // program holds is left alone: its files are that program's.)
    QStringList madeHere;
    for (const char* suffix : {"-wal", "-shm"})
        if (!QFileInfo::exists(path + QLatin1String(suffix)))
            madeHere << path + QLatin1String(suffix);
    const QString why = openConnection();
    if (!why.isEmpty() && m_fault == app::FileFault::Broken)
        for (const QString& file : madeHere)
            QFile::remove(file);
    return why;
}

QString PollLog::openConnection() {
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_path);
    auto failed = [&](const QString& nativeCode) {
        const QString why = failure(nativeCode);
        const app::FileFault fault = m_fault;
        close();
        m_fault = fault;
        return why;
    };
    if (!m_db.open())
        return failed(m_db.lastError().nativeErrorCode());
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("PRAGMA application_id")) || !q.next())
        return failed(q.lastError().nativeErrorCode());
    const int id = q.value(0).toInt();
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
        return failed(q.lastError().nativeErrorCode());
    const bool empty = q.value(0).toInt() == 0;
    if (!empty && id != kApplicationId)
        return refuse(app::FileFault::Broken, notALog());
    if (!q.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kCacheKiB)))
        return failed(q.lastError().nativeErrorCode());
    if (m_access == Access::Read) {
        if (!q.exec(QStringLiteral("PRAGMA query_only=1")))
            return failed(q.lastError().nativeErrorCode());
        return {};
    }
    // Write-ahead: a commit costs no wait for the disk, and a killed
    // program still leaves every committed poll. The log is copied into the
    // file between polls (checkpoint()), not by the commit of a poll.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
        !q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kBackstopPages)))
        return failed(q.lastError().nativeErrorCode());
    if (!empty && schemaVersion() >= kSchemaVersion)
        return {};
    // A new file, or one of an earlier version: the tables it lacks.
    if (!m_db.transaction())
        return failed(m_db.lastError().nativeErrorCode());
    for (const QString& statement : schema())
        if (!q.exec(statement)) {
            const QString code = q.lastError().nativeErrorCode();
            m_db.rollback();
            return failed(code);
        }
    if (!q.exec(QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId)) ||
        !q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion))) {
        const QString code = q.lastError().nativeErrorCode();
        m_db.rollback();
        return failed(code);
    }
    if (!m_db.commit()) {
        const QString code = m_db.lastError().nativeErrorCode();
        m_db.rollback();
        return failed(code);
    }
    return {};
}

QString PollLog::make() {
    // A file that appeared meanwhile is taken as it is, and never removed.
    m_made = !QFileInfo::exists(m_path);
    m_pending = false;
    const QString why = openConnection();
    if (!why.isEmpty()) {
        const app::FileFault fault = m_fault;
        if (m_made)
            discardMade();
        m_pending = true;
        m_fault = fault;
    }
    return why;
}

void PollLog::discardMade() {
    const app::FileFault fault = m_fault;
    close();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(m_path + QLatin1String(suffix));
    m_made = false;
    m_pending = true;
    m_fault = fault;
}

int PollLog::schemaVersion() const {
    if (!m_db.isOpen())
        return 0;
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("PRAGMA user_version")) && q.next() ? q.value(0).toInt() : 0;
}

QString PollLog::recordPoll(PollKind kind, qint64 timeMs, bool hasData, const RowWriter& write) {
    m_fault = app::FileFault::None;
    if (m_access != Access::Record || !isOpen())
        return failure({});
    if (!m_db.isOpen()) {
        // Nothing heard yet: no file for it.
        if (!hasData)
            return {};
        if (const QString why = make(); !why.isEmpty())
            return why;
    }
    // BEGIN and COMMIT as statements: a failed commit keeps SQLite's code
    // (the driver's commit() drops it), which tells a full disk apart.
    QSqlQuery q(m_db);
    auto undo = [&](const QString& why) {
        q.exec(QStringLiteral("ROLLBACK"));
        // A file made for this poll and holding none is not left behind.
        if (m_made && m_recorded == 0)
            discardMade();
        return why;
    };
    if (!q.exec(QStringLiteral("BEGIN")))
        return undo(failure(q.lastError().nativeErrorCode()));
    q.prepare(QStringLiteral("INSERT INTO polls(time, kind) VALUES(?, ?)"));
    q.bindValue(0, timeMs);
    q.bindValue(1, static_cast<int>(kind));
    if (!q.exec())
        return undo(failure(q.lastError().nativeErrorCode()));
    if (!write(q, q.lastInsertId().toLongLong()))
        return undo(failure(q.lastError().nativeErrorCode()));
    if (!q.exec(QStringLiteral("COMMIT")))
        return undo(failure(q.lastError().nativeErrorCode()));
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
    const bool heard =
        std::any_of(rows.begin(), rows.end(), [](const SensorRow& r) { return r.hasData(); });
    return recordPoll(kind, timeMs, heard, [&](QSqlQuery& q, qint64 poll) {
        if (!q.prepare(QStringLiteral("INSERT INTO readings VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                      "?, ?, ?, ?, ?, ?, ?)")))
            return false;
        for (const SensorRow& r : rows) {
            q.bindValue(0, r.sensor);
            q.bindValue(1, poll);
            q.bindValue(2, optional(r.s1));
            q.bindValue(3, optional(r.s2));
            for (int i = 0; i < kQuantities; ++i) {
                const auto& v = r.values[static_cast<std::size_t>(i)];
                q.bindValue(4 + 2 * i, optional(v, false));
                q.bindValue(5 + 2 * i, optional(v, true));
            }
            q.bindValue(16, r.normal() ? 1 : 0);
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
        if (auto row = extendedRowOfGrids(thermometers.rows[r],
                                          r < densities.rows.size() ? densities.rows[r]
                                                                    : QStringList()))
            rows.push_back(*row);
    return recordExtended(rows, timeMs);
}

QString PollLog::recordExtended(const std::vector<ExtendedRow>& rows, qint64 timeMs) {
    const bool heard =
        std::any_of(rows.begin(), rows.end(), [](const ExtendedRow& r) { return r.hasData(); });
    return recordPoll(PollKind::Extended, timeMs, heard, [&](QSqlQuery& q, qint64 poll) {
        QStringList marks;
        for (int i = 0; i < 2 + 4 * kChannels; ++i)
            marks << QStringLiteral("?");
        if (!q.prepare(QStringLiteral("INSERT INTO extended(sensor, poll, %1) VALUES(%2)")
                           .arg(extendedColumns(QString()), marks.join(QStringLiteral(", ")))))
            return false;
        for (const ExtendedRow& r : rows) {
            q.bindValue(0, r.sensor);
            q.bindValue(1, poll);
            int at = 2;
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
    const bool heard =
        std::any_of(rows.begin(), rows.end(), [](const OverviewRow& r) { return r.hasData(); });
    return recordPoll(PollKind::Overview, timeMs, heard, [&](QSqlQuery& q, qint64 poll) {
        if (!q.prepare(QStringLiteral("INSERT INTO overview(sensor, poll, version, height, "
                                      "thermometers, density_meters) VALUES(?, ?, ?, ?, ?, ?)")))
            return false;
        for (const OverviewRow& r : rows) {
            q.bindValue(0, r.sensor);
            q.bindValue(1, poll);
            q.bindValue(2, r.version.isEmpty() ? QVariant() : QVariant(r.version));
            q.bindValue(3, optional(r.height));
            q.bindValue(4, optional(r.thermometers));
            q.bindValue(5, optional(r.densityMeters));
            if (!q.exec())
                return false;
        }
        return true;
    });
}

void PollLog::checkpoint() {
    if (!m_db.isOpen() || m_access != Access::Record)
        return;
    QSqlQuery q(m_db);
    m_checkpointFailure = q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"))
                              ? QString()
                              : q.lastError().nativeErrorCode();
}

QString PollLog::checkpointProblem() {
    if (m_checkpointer)
        m_checkpointFailure = m_checkpointer->failure();
    if (m_checkpointFailure.isEmpty()) {
        // Said again should it fail once more after working.
        m_checkpointSaid = false;
        return {};
    }
    if (m_checkpointSaid)
        return {};
    m_checkpointSaid = true;
    const app::FileFault fault = m_fault;
    const QString why = failure(m_checkpointFailure);
    m_fault = fault;
    return QStringLiteral("ЖУРНАЛ ОПРОСА НЕ ПЕРЕНОСИТСЯ В ФАЙЛ, ЕГО -wal РАСТЁТ: ") + why;
}

void PollLog::checkpointInBackground() {
    if (!m_db.isOpen() || m_access != Access::Record)
        return;
    if (!m_checkpointer)
        m_checkpointer = std::make_unique<Checkpointer>(m_path);
    m_checkpointer->request();
}

Series PollLog::series(const std::vector<int>& sensors, Quantity quantity, qint64 fromMs,
                       qint64 toMs) const {
    Series out;
    if (!m_db.isOpen())
        return out;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    // The time index holds the poll ids: no row of polls is read.
    q.prepare(QStringLiteral("SELECT id, time FROM polls WHERE time BETWEEN ? AND ?"));
    q.bindValue(0, fromMs);
    q.bindValue(1, toMs);
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
    const QString column = QString::fromLatin1(kColumns[static_cast<int>(quantity)]);
    q.prepare(QStringLiteral("SELECT poll, CASE WHEN IFNULL(s2, 1) <> 0 AND %1_code BETWEEN 0 AND "
                             "15 THEN %1 END FROM readings WHERE sensor = ? AND poll BETWEEN ? "
                             "AND ? ORDER BY poll")
                  .arg(column));
    constexpr double gap = std::numeric_limits<double>::quiet_NaN();
    for (int sensor : sensors) {
        std::vector<Point>& points = out[sensor];
        q.bindValue(0, sensor);
        q.bindValue(1, polls.front().first);
        q.bindValue(2, polls.back().first);
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
        "WHERE r.sensor = ? AND r.poll > IFNULL((SELECT poll FROM readings WHERE sensor = ? "
        "AND normal = 1 ORDER BY poll DESC LIMIT 1), 0) ORDER BY r.poll LIMIT 1"));
    q.bindValue(0, sensor);
    q.bindValue(1, sensor);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

int PollLog::pollCount() const {
    if (!m_db.isOpen())
        return 0;
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT count(*) FROM polls")) && q.next() ? q.value(0).toInt()
                                                                            : 0;
}

int PollLog::pollCount(Page page) const {
    if (!m_db.isOpen())
        return 0;
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT count(*) FROM polls WHERE kind IN (%1)")
                      .arg(kindsOf(page))) &&
                   q.next()
               ? q.value(0).toInt()
               : 0;
}

std::vector<int> PollLog::sensors() const {
    if (!m_db.isOpen())
        return {};
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
        for (int i = 0; i < kQuantities; ++i)
            row.row.values[static_cast<std::size_t>(i)] = valueAt(q, 5 + 2 * i);
        visit(row);
    }
    return q.lastError().type() == QSqlError::NoError;
}

bool PollLog::forEachExtendedRow(
    qint64 fromMs, qint64 toMs, std::optional<int> sensor,
    const std::function<void(const LoggedExtendedRow&)>& visit) const {
    // A file of version 1 opened for reading has none.
    if (m_db.isOpen() && !hasTable(m_db, QStringLiteral("extended")))
        return true;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT p.time, e.sensor, %1 FROM extended e "
                             "JOIN polls p ON p.id = e.poll WHERE p.time BETWEEN ? AND ?%2 "
                             "ORDER BY e.poll, e.sensor")
                  .arg(extendedColumns(QStringLiteral("e.")),
                       sensor ? QStringLiteral(" AND e.sensor = ?") : QString()));
    q.bindValue(0, fromMs);
    q.bindValue(1, toMs);
    if (sensor)
        q.bindValue(2, *sensor);
    if (!q.exec())
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

bool PollLog::forEachOverviewRow(
    qint64 fromMs, qint64 toMs, std::optional<int> sensor,
    const std::function<void(const LoggedOverviewRow&)>& visit) const {
    if (m_db.isOpen() && !hasTable(m_db, QStringLiteral("overview")))
        return true;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT p.time, o.sensor, o.version, o.height, o.thermometers, "
                             "o.density_meters FROM overview o JOIN polls p ON p.id = o.poll "
                             "WHERE p.time BETWEEN ? AND ?%1 ORDER BY o.poll, o.sensor")
                  .arg(sensor ? QStringLiteral(" AND o.sensor = ?") : QString()));
    q.bindValue(0, fromMs);
    q.bindValue(1, toMs);
    if (sensor)
        q.bindValue(2, *sensor);
    if (!q.exec())
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

} // namespace polllog
