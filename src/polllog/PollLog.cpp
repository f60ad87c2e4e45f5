#include "polllog/PollLog.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
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

// Past this many pages (4 KiB each) in the write-ahead log a commit copies
// it into the file itself: only when the checkpoints between polls did not
// happen (a reader held them up for long). Far above one poll's pages.
constexpr int kBackstopPages = 10000;
// The page cache of a connection, in KiB (negative for SQLite): the pages
// the next poll writes to stay in memory.
constexpr int kCacheKiB = 16384;

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
    const QByteArray name =
        QFile::encodeName(QDir(folder).filePath(QStringLiteral(".orvant2-probe-%1-%2")
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

// PostgreSQL's SQLSTATE classes the engineer is told apart.
app::FileFault serverFault(const QSqlError& e) {
    const QString state = e.nativeErrorCode();
    // Refused at connect, before any SQLSTATE: the client library's words.
    const QString text = e.databaseText();
    if (state.isEmpty() && (text.contains(QLatin1String("authentication failed")) ||
                            text.contains(QLatin1String("no password supplied"))))
        return app::FileFault::NoAccess;
    if (state.isEmpty() && text.contains(QLatin1String("database \"")) &&
        text.contains(QLatin1String("does not exist")))
        return app::FileFault::Missing;
    if (state.startsWith(QLatin1String("28")) || state == QLatin1String("42501"))
        return app::FileFault::NoAccess;
    if (state == QLatin1String("3D000"))
        return app::FileFault::Missing;
    if (state.startsWith(QLatin1String("53")))
        return app::FileFault::NoSpace;
    return app::FileFault::Failed;
}

QString serverFaultText(const QSqlError& e, app::FileFault fault) {
    if (e.type() == QSqlError::NoError)
        return QStringLiteral("ЖУРНАЛ НЕ ОТКРЫТ ДЛЯ ЗАПИСИ");
    switch (fault) {
    case app::FileFault::NoAccess:
        return QStringLiteral("НЕТ ДОСТУПА (пароль берётся из ~/.pgpass или PGPASSWORD)");
    case app::FileFault::Missing:
        return QStringLiteral("НЕТ ТАКОЙ БАЗЫ ДАННЫХ");
    case app::FileFault::NoSpace:
        return QStringLiteral("НЕТ МЕСТА НА СЕРВЕРЕ");
    default:
        break;
    }
    // Before a connection there is no SQLSTATE: the server is not there.
    const QString text = e.databaseText().trimmed();
    // Class 08 (connection) and 57 (the server shut down) alike.
    const QString state = e.nativeErrorCode();
    if (state.isEmpty() || e.type() == QSqlError::ConnectionError ||
        state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57")))
        return QStringLiteral("НЕТ СВЯЗИ С СЕРВЕРОМ БАЗЫ ДАННЫХ") +
               (text.isEmpty()
                    ? QString()
                    : QStringLiteral(" (%1)").arg(text.section(QLatin1Char('\n'), 0, 0)));
    return QStringLiteral("ОШИБКА СЕРВЕРА БАЗЫ ДАННЫХ (%1 %2)")
        .arg(e.nativeErrorCode(), text.section(QLatin1Char('\n'), 0, 0));
}

QString busyText(const QString& site) {
    return QStringLiteral("объект \"%1\" уже записывает другой наблюдатель").arg(site);
}

QString uniqueConnection() {
    static std::atomic<int> sequence{0};
    return QStringLiteral("polllog-%1").arg(++sequence);
}

} // namespace

bool PollLog::hasTable(const QSqlDatabase& db, const QString& name) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = ?"));
    q.bindValue(0, name);
    return q.exec() && q.next();
}

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

// The one writer of a site in a SQLite log: a lock file beside it, freed by
// the system when its holder dies. (A server's site is locked by the
// server, for the life of the writer's connection.)
class PollLog::SiteLock {
  public:
    explicit SiteLock(const QString& path) : m_lock(path) { m_lock.setStaleLockTime(0); }
    bool take() { return m_lock.tryLock(0); }
    // Held by another writer, as against a lock file that could not be made.
    bool heldElsewhere() const { return m_lock.error() == QLockFile::LockFailedError; }

  private:
    QLockFile m_lock;
};

PollLog::PollLog() : m_connection(uniqueConnection()) {}

PollLog::~PollLog() {
    close();
}

void PollLog::close() {
    closeConnection();
    m_siteLock.reset();
}

void PollLog::closeConnection() {
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

QString PollLog::failure(const QSqlError& error) {
    if (m_address.server) {
        m_fault = serverFault(error);
        return m_path + QStringLiteral(": ") + serverFaultText(error, m_fault);
    }
    const QString nativeCode = error.nativeErrorCode();
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
    closeConnection();
    m_fault = fault;
    return m_path + QStringLiteral(": ") + why;
}

QString PollLog::open(const QString& path, Access access, const QString& site) {
    close();
    m_access = access;
    // "" and not NULL: the site of the line at hand has a name too.
    m_site = site.isNull() ? QStringLiteral("") : site;
    m_siteId = 0;
    m_fault = app::FileFault::None;
    m_made = false;
    m_recorded = 0;
    m_checkpointFailure.clear();
    m_checkpointSaid = false;
    QString wrong;
    const auto address = parseLogAddress(path, &wrong);
    if (!address) {
        m_path = path;
        m_address = {};
        m_fault = app::FileFault::Broken;
        return wrong;
    }
    m_address = *address;
    m_path = shownAddress(m_address);
    if (m_address.server)
        return openConnection();
    const QFileInfo fi(path);
    const bool writing = access != Access::Read;
    if (fi.exists()) {
        if (!fi.isFile())
            return refuse(app::FileFault::NotAFile, app::fileFaultText(app::FileFault::NotAFile));
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
    } else if (access != Access::Record) {
        return refuse(app::FileFault::Missing, app::fileFaultText(app::FileFault::Missing));
    } else if (!fi.absoluteDir().exists()) {
        return refuse(app::FileFault::NoFolder, app::fileFaultText(app::FileFault::NoFolder));
    }
    // The write-ahead log of every commit is a file beside the log.
    if (const app::FileFault f = writing ? writeFault(fi.absolutePath()) : app::FileFault::None;
        f != app::FileFault::None)
        return refuse(f, app::fileFaultText(f));
    if (const QString why = lockSite(); !why.isEmpty())
        return why;
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
    if (!why.isEmpty())
        m_siteLock.reset();
    if (!why.isEmpty() && m_fault == app::FileFault::Broken)
        for (const QString& file : madeHere)
            QFile::remove(file);
    return why;
}

QString PollLog::openConnection() {
    if (m_address.server) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
        m_db.setHostName(m_address.host);
        m_db.setPort(m_address.port);
        if (!m_address.user.isEmpty())
            m_db.setUserName(m_address.user);
        m_db.setDatabaseName(m_address.database);
        // A server that is not there is said within seconds; the password
        // is the client library's to find.
        m_db.setConnectOptions(QStringLiteral("connect_timeout=5;application_name=orvant2"));
    } else {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        m_db.setDatabaseName(m_path);
    }
    auto failed = [&](const QSqlError& e) {
        const QString why = failure(e);
        const app::FileFault fault = m_fault;
        closeConnection();
        m_fault = fault;
        return why;
    };
    if (!m_db.isValid())
        return refuse(app::FileFault::Failed,
                      QStringLiteral("нет драйвера базы данных %1").arg(m_db.driverName()));
    if (!m_db.open())
        return failed(m_db.lastError());
    QString why;
    if (m_address.server) {
        why = prepareServer();
    } else {
        QSqlQuery q(m_db);
        // Both in one read: a writer making the file between two reads
        // would show its tables without its mark.
        if (!q.exec(QStringLiteral("SELECT application_id, (SELECT count(*) FROM sqlite_master) "
                                   "FROM pragma_application_id")) ||
            !q.next())
            return failed(q.lastError());
        const int id = q.value(0).toInt();
        const bool empty = q.value(1).toInt() == 0;
        if (!empty && id != kApplicationId)
            return refuse(app::FileFault::Broken, notALog());
        // A statement left open holds a read transaction.
        q.finish();
        why = prepareFile(empty);
        // An empty file read before any poll made it a log: no site, no polls.
        if (why.isEmpty() && empty && m_access == Access::Read)
            return {};
    }
    if (why.isEmpty())
        why = takeSite();
    if (!why.isEmpty() && m_db.isValid()) {
        const app::FileFault fault = m_fault;
        closeConnection();
        m_fault = fault;
    }
    return why;
}

// Pragmas, and the tables this version wants. Failures leave m_fault set.
QString PollLog::prepareFile(bool empty) {
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kCacheKiB)))
        return failure(q.lastError());
    const int version = empty ? 0 : schemaVersion();
    if (m_access == Access::Read) {
        // An earlier version is read through views under today's names.
        if (!empty && version < 3)
            for (const QString& view : readViewsOf(hasTable(m_db, QStringLiteral("extended")),
                                                   hasTable(m_db, QStringLiteral("overview"))))
                if (!q.exec(view))
                    return failure(q.lastError());
        if (!q.exec(QStringLiteral("PRAGMA query_only=1")))
            return failure(q.lastError());
        return {};
    }
    // Write-ahead: a commit costs no wait for the disk, and a killed
    // program still leaves every committed poll. The log is copied into the
    // file between polls (checkpoint()), not by the commit of a poll.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
        !q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kBackstopPages)) ||
        !q.exec(QStringLiteral("PRAGMA busy_timeout=5000")))
        return failure(q.lastError());
    if (!empty && version >= kSchemaVersion)
        return {};
    // A new file, or one of an earlier version: made or brought up in one
    // transaction, so that a failure leaves it as it was.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure(q.lastError());
    const QStringList statements =
        empty ? createStatements(Engine::Sqlite) : upgradeStatements(version);
    for (const QString& statement :
         statements + QStringList{QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId),
                                  QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)})
        if (!q.exec(statement)) {
            const QSqlError e = q.lastError();
            q.exec(QStringLiteral("ROLLBACK"));
            return failure(e);
        }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QSqlError e = q.lastError();
        q.exec(QStringLiteral("ROLLBACK"));
        return failure(e);
    }
    return {};
}

// A database of our own, made or brought to this version by the first
// writer; writers starting together wait for each other there.
QString PollLog::prepareServer() {
    QSqlQuery q(m_db);
    // The server's notices ("already exists, skipping") are no news for the
    // engineer's terminal or the watcher's journal.
    if (!q.exec(QStringLiteral("SET client_min_messages = warning")))
        return failure(q.lastError());
    // Compiling a plan costs 0.1-0.25 s, more than the log's queries gain
    // from it: a site's hourly export of a week took 0.6 s with it, 0.35 s
    // without.
    if (!q.exec(QStringLiteral("SET jit = off")))
        return failure(q.lastError());
    if (!q.exec(QStringLiteral("SELECT to_regclass('orvant2_log') IS NOT NULL, "
                               "to_regclass('polls') IS NOT NULL")) ||
        !q.next())
        return failure(q.lastError());
    const bool ours = q.value(0).toBool();
    if (!ours && q.value(1).toBool())
        return refuse(app::FileFault::Broken, notALog());
    if (m_access == Access::Read) {
        if (!ours)
            return refuse(app::FileFault::Missing, QStringLiteral("В БАЗЕ НЕТ ЖУРНАЛА ОПРОСА"));
        if (!q.exec(QStringLiteral("SET default_transaction_read_only = on")))
            return failure(q.lastError());
        return {};
    }
    auto undo = [&](const QSqlError& e) {
        const QString why = failure(e);
        q.exec(QStringLiteral("ROLLBACK"));
        return why;
    };
    if (!q.exec(QStringLiteral("BEGIN")))
        return failure(q.lastError());
    if (!q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, 0)").arg(kApplicationId)))
        return undo(q.lastError());
    for (const QString& statement : createStatements(Engine::Postgres))
        if (!q.exec(statement))
            return undo(q.lastError());
    if (!q.exec(QStringLiteral("SELECT max(version) FROM orvant2_log")) || !q.next())
        return undo(q.lastError());
    const QVariant version = q.value(0);
    if (version.isNull() &&
        !q.exec(QStringLiteral("INSERT INTO orvant2_log(version) VALUES(%1)").arg(kSchemaVersion)))
        return undo(q.lastError());
    if (!q.exec(QStringLiteral("COMMIT")))
        return undo(q.lastError());
    return {};
}

// The site's id: made by a writer, looked up by a reader.
QString PollLog::takeSite() {
    QSqlQuery q(m_db);
    if (m_access == Access::Record) {
        q.prepare(addSiteStatement());
        q.bindValue(0, m_site);
        if (!q.exec())
            return failure(q.lastError());
    }
    q.prepare(QStringLiteral("SELECT id FROM sites WHERE name = ?"));
    q.bindValue(0, m_site);
    if (!q.exec())
        return failure(q.lastError());
    if (q.next()) {
        m_siteId = q.value(0).toInt();
    } else if (m_site.isEmpty() && q.exec(QStringLiteral("SELECT id, name FROM sites")) &&
               q.next()) {
        // The only site of a log read without naming one.
        const int id = q.value(0).toInt();
        const QString name = q.value(1).toString();
        if (!q.next()) {
            m_siteId = id;
            m_site = name;
        }
    }
    if (m_address.server && m_access == Access::Record && !m_site.isEmpty())
        return lockSite();
    return {};
}

// One writer per site: the server's lock lives as long as the connection,
// a file's as long as the process.
QString PollLog::lockSite() {
    if (m_access != Access::Record || m_site.isEmpty())
        return {};
    if (m_address.server) {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("SELECT pg_try_advisory_lock(%1, %2)")
                        .arg(kApplicationId)
                        .arg(m_siteId)) ||
            !q.next())
            return failure(q.lastError());
        if (!q.value(0).toBool()) {
            m_fault = app::FileFault::Busy;
            return m_path + QStringLiteral(": ") + busyText(m_site);
        }
        return {};
    }
    const QByteArray key =
        QCryptographicHash::hash(m_site.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    auto lock = std::make_unique<SiteLock>(m_path + QStringLiteral("-site-") +
                                           QString::fromLatin1(key) + QStringLiteral(".lock"));
    if (!lock->take()) {
        if (lock->heldElsewhere())
            return refuse(app::FileFault::Busy, busyText(m_site));
        // The lock file beside the log could not be made (a full disk).
        const app::FileFault f = probeWrite(QFileInfo(m_path).absolutePath());
        return refuse(f, app::fileFaultText(f));
    }
    m_siteLock = std::move(lock);
    return {};
}

// A server connection lost (the server restarted, the network went): one
// new connection, with the site's lock taken again.
bool PollLog::reconnect() {
    m_db.close();
    if (!m_db.open())
        return false;
    return lockSite().isEmpty();
}

QString PollLog::make() {
    // A file that appeared meanwhile is taken as it is, and never removed:
    // made here only when this connection made it (a watcher's sites, each
    // with a connection of its own, start together).
    QFile claim(m_path);
    m_made = claim.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    claim.close();
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
    closeConnection();
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
    const QString ask = m_address.server ? QStringLiteral("SELECT max(version) FROM orvant2_log")
                                         : QStringLiteral("PRAGMA user_version");
    return q.exec(ask) && q.next() ? q.value(0).toInt() : 0;
}
void PollLog::checkpoint() {
    if (!m_db.isOpen() || m_access == Access::Read || m_address.server)
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

int PollLog::prune(qint64 beforeMs, bool everySite) {
    m_fault = app::FileFault::None;
    if (!m_db.isOpen() || m_access == Access::Read)
        return 0;
    std::vector<int> siteIds;
    QSqlQuery q(m_db);
    if (everySite) {
        if (!q.exec(QStringLiteral("SELECT id FROM sites")))
            return failure(q.lastError()), -1;
        while (q.next())
            siteIds.push_back(q.value(0).toInt());
    } else {
        siteIds.push_back(m_siteId);
    }
    // Short transactions of a few hundred polls each: a writer waits for
    // one of them at most, never for the whole prune.
    constexpr int kBatch = 200;
    int dropped = 0;
    for (int site : siteIds) {
        for (;;) {
            q.prepare(QStringLiteral("SELECT id FROM polls WHERE site = ? AND time < ? "
                                     "ORDER BY id LIMIT %1")
                          .arg(kBatch));
            q.bindValue(0, site);
            q.bindValue(1, beforeMs);
            if (!q.exec())
                return failure(q.lastError()), -1;
            QStringList ids;
            while (q.next())
                ids << QString::number(q.value(0).toLongLong());
            if (ids.isEmpty())
                break;
            const QString list = ids.join(QLatin1Char(','));
            auto undo = [&] {
                const QString why = failure(q.lastError());
                q.exec(QStringLiteral("ROLLBACK"));
                return -1;
            };
            if (!q.exec(QStringLiteral("BEGIN")))
                return undo();
            // Along each table's key: site, sensor, poll.
            for (const char* table : {"readings", "extended", "overview"}) {
                q.prepare(QStringLiteral("DELETE FROM %1 WHERE site = ? AND sensor = ? AND "
                                         "poll IN (%2)")
                              .arg(QString::fromLatin1(table), list));
                for (int sensor = 1; sensor <= 128; ++sensor) {
                    q.bindValue(0, site);
                    q.bindValue(1, sensor);
                    if (!q.exec())
                        return undo();
                }
            }
            if (!q.exec(QStringLiteral("DELETE FROM polls WHERE id IN (%1)").arg(list)) ||
                !q.exec(QStringLiteral("COMMIT")))
                return undo();
            dropped += static_cast<int>(ids.size());
        }
    }
    return dropped;
}

void PollLog::checkpointInBackground() {
    if (!m_db.isOpen() || m_access != Access::Record || m_address.server)
        return;
    if (!m_checkpointer)
        m_checkpointer = std::make_unique<Checkpointer>(m_path);
    m_checkpointer->request();
}

} // namespace polllog
