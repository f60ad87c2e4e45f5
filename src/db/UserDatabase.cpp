#include "db/UserDatabase.h"

#include "app/FileReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QScopeGuard>
#include <QTimer>

#include <cerrno>

#ifndef Q_OS_WIN
#include <csignal>
#endif

namespace db {
namespace {

std::optional<int> wholeAtLeast(const QString& text, int least) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= least ? std::optional<int>(n) : std::nullopt;
}

std::optional<int> addressOf(const DbfTable& t) {
    bool ok = false;
    const int a = trimmedField(t, "S_ADR").toInt(&ok);
    return ok ? std::optional<int>(a) : std::nullopt;
}

int findAddress(DbfTable& t, int address) {
    for (int i = 0; i < t.RecordCount(); ++i)
        if (t.readLive(i) && addressOf(t) == address)
            return i;
    return -1;
}

QByteArray flagText(bool on) {
    return on ? "1" : "0";
}

// Far beyond any user file of 128 sensors and their history.
constexpr qint64 kMaxUserFileBytes = 64 * 1024 * 1024;

std::optional<QByteArray> readWithRetry(const QString& path, const LockedPrompt& locked) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const app::FileRead in = app::readRegularFile(path, kMaxUserFileBytes);
        if (in.result.ok())
            return in.bytes;
        if (attempt == 0 && locked)
            locked();
    }
    return std::nullopt;
}

QByteArray fileBytes(const QString& path) {
    return app::readRegularFile(path, kMaxUserFileBytes).bytes;
}

// The copy a save changes, beside the file, named after this process as
// the writer names its temporary files: two windows never share one, and
// one left by a killed save is removed with the writer's leftovers.
QString scratchPath(const QString& path) {
    const QFileInfo fi(path);
    return fi.absoluteDir().filePath(
        app::temporaryPrefix(path) +
        QStringLiteral("%1-work.tmp").arg(QCoreApplication::applicationPid()));
}

// Work copies of saves that were killed, and the temporary files their
// rebuilds left: named after a process that is gone.
void removeDeadWork(const QString& path) {
    const QDir dir = QFileInfo(path).absoluteDir();
    const QString prefix = app::temporaryPrefix(path);
    const QStringList names =
        dir.entryList({prefix + QStringLiteral("*-work.tmp*"),
                       QLatin1Char('.') + prefix + QStringLiteral("*-work.tmp*")},
                      QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString rest = name.mid(prefix.size() + (name.startsWith(QLatin1String("..")) ? 1 : 0));
        bool ok = false;
        const qint64 pid = rest.section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
        if (!ok || pid == QCoreApplication::applicationPid())
            continue;
#ifndef Q_OS_WIN
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            continue;
#else
        continue;
#endif
        QFile::remove(dir.filePath(name));
    }
}

} // namespace

const std::vector<FieldSpec>& userFields() {
    static const std::vector<FieldSpec> fields = [] {
        std::vector<FieldSpec> f{
            {"N_DU", 5}, {"N_SENS", 5}, {"L_SENS", 5}, {"S_ADD", 7}, {"UP_CRIT", 7}};
        for (int k = 1; k <= kThermometerFields; ++k)
            f.push_back({numbered("ID_T", k), 16});
        for (int k = 1; k <= kThermometerFields; ++k)
            f.push_back({numbered("H_T", k), 5});
        for (int k = 1; k <= kMeterFields; ++k)
            f.push_back({numbered("ID_D", k), 16});
        for (int k = 1; k <= kMeterFields; ++k)
            f.push_back({numbered("H_D", k), 5});
        f.push_back({"S_ADR", 3});
        for (const char* name : {"RST_B2", "RST_DN", "RETR", "ML_DIF"})
            f.push_back({name, 1});
        return f;
    }();
    return fields;
}

namespace {

// What a failed write of the table said, a plain failure when it said
// nothing.
app::FileFault faultOf(const DbfTable& t) {
    return t.lastWriteFault() == app::FileFault::None ? app::FileFault::Failed
                                                       : t.lastWriteFault();
}

// The new table built in a scratch file, field by field; why not, when
// it could not be.
app::FileFault buildUserBase(const QString& scratch) {
    DbfTable t(scratch);
    if (!t.IsOpen())
        return faultOf(t);
    for (const FieldSpec& f : userFields()) {
        t.AddField(f.name, 'C', f.length, 0);
        if (!t.lastAddFieldSucceeded())
            return faultOf(t);
    }
    return app::FileFault::None;
}

constexpr int kLockPollMs = 50;
// An empty lock file this old was left by a save killed as it began.
constexpr int kAbandonedLockMs = 1000;

QString lockPath(const QString& path) {
    return path + QStringLiteral(".lock");
}

// Waits for another save of the file, with the window alive meanwhile; a
// lock file that cannot be made (a full disk, a folder the user may not
// write) is said as such.
app::FileFault takeLock(QLockFile& lock) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        errno = 0;
        if (lock.tryLock(0))
            return app::FileFault::None;
        if (lock.error() != QLockFile::LockFailedError || waited.hasExpired(kSaveLockWaitMs))
            break;
        if (app::removeAbandonedLock(lock.fileName(), kAbandonedLockMs))
            continue;
        QEventLoop pause;
        QTimer::singleShot(kLockPollMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return app::FileFault::Busy;
    case QLockFile::PermissionError:
        return app::FileFault::NoAccess;
    default:
        return errno ? app::faultOfErrno(errno) : app::FileFault::Failed;
    }
}

} // namespace

QString userFilePath(const QString& path) {
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".dbf") : path;
}

bool CreateUserBase(const QString& path, const FileWriter& write) {
    QLockFile lock(lockPath(path));
    if (takeLock(lock) != app::FileFault::None)
        return false;
    removeDeadWork(path);
    const QString work = scratchPath(path);
    QFile::remove(work);
    const auto cleanup = qScopeGuard([&] { QFile::remove(work); });
    return buildUserBase(work) == app::FileFault::None && write(path, fileBytes(work)).ok();
}

LoadResult LoadUserRecord(const QString& path, int address, const LockedPrompt& locked) {
    LoadResult r;
    if (!CheckStructure(path, true, false)) {
        r.outcome = LoadOutcome::BadStructure;
        return r;
    }
    const auto t = openDatabase(path, locked);
    if (!t)
        return r;
    const int i = findAddress(*t, address);
    if (i < 0) {
        r.outcome = LoadOutcome::NoSuchAddress;
        return r;
    }
    t->ReadRecord(i);
    UserLoad& v = r.values;
    auto place = [&](const char* id, const char* height, int k, std::optional<QString>& idOut,
                     std::optional<int>& heightOut) {
        const QString text = trimmedField(*t, numbered(id, k + 1));
        if (text.size() != 16)
            return;
        idOut = text;
        heightOut = wholeAtLeast(trimmedField(*t, numbered(height, k + 1)), 1);
    };
    for (int k = 0; k < kThermometerFields; ++k)
        place("ID_T", "H_T", k, v.thermometerIds[k], v.thermometerHeights[k]);
    for (int k = 0; k < kMeterFields; ++k)
        place("ID_D", "H_D", k, v.meterIds[k], v.meterHeights[k]);
    v.size = wholeAtLeast(trimmedField(*t, "L_SENS"), 1);
    if (const QString c = trimmedField(*t, "S_ADD"); !c.isEmpty())
        v.correction = c;
    if (const QString c = trimmedField(*t, "UP_CRIT"); !c.isEmpty())
        v.criterion = c;
    auto flag = [&](const char* name) -> std::optional<bool> {
        if (const auto n = wholeAtLeast(trimmedField(*t, name), 0))
            return *n != 0;
        return std::nullopt;
    };
    v.resetOnLinkLoss = flag("RST_B2");
    v.resetOnDensity01 = flag("RST_DN");
    v.propagate = flag("RETR");
    v.separate = flag("ML_DIF");
    r.outcome = LoadOutcome::Loaded;
    return r;
}

SaveResult SaveUserRecord(const QString& path, const UserFields& fields, int number,
                          const std::function<bool()>& confirmOverwrite, const LockedPrompt& locked,
                          const FileWriter& write) {
    auto failed = [&](app::FileFault fault) {
        return SaveResult{fault == app::FileFault::Busy ? SaveOutcome::Busy : SaveOutcome::Failed,
                          app::FileResult{fault, path}.message()};
    };
    // Read, change and write back while no other save of the file runs: two
    // saves at once would each lose the other's record.
    QLockFile lock(lockPath(path));
    if (const app::FileFault fault = takeLock(lock); fault != app::FileFault::None)
        return failed(fault);
    const bool exists = QFileInfo::exists(path);
    if (exists && !CheckStructure(path, true, false))
        return {SaveOutcome::BadStructure, {}};
    // The change is made on a copy; the file itself is replaced whole, so
    // that a crash or a full disk never leaves half a record in it.
    removeDeadWork(path);
    const QString work = scratchPath(path);
    QFile::remove(work);
    const auto cleanup = qScopeGuard([&] { QFile::remove(work); });
    if (exists) {
        const auto bytes = readWithRetry(path, locked);
        if (!bytes)
            return {SaveOutcome::NotOpened, {}};
        if (const app::FileResult copied = app::writeFileAtomically(work, *bytes); !copied.ok())
            return failed(copied.fault);
    } else if (const app::FileFault fault = buildUserBase(work); fault != app::FileFault::None) {
        return failed(fault);
    }
    {
        DbfTable t(work);
        if (!t.IsOpen())
            return failed(faultOf(t));
        int i = findAddress(t, fields.address);
        if (i >= 0) {
            if (confirmOverwrite && !confirmOverwrite())
                return {SaveOutcome::Declined, {}};
            t.ReadRecord(i);
        } else {
            // A record marked deleted is never taken over: a new one is added.
            i = t.AppendBlank();
            if (i < 0)
                return failed(faultOf(t));
        }
        // A value cut to its field would be another value (an address 101
        // in a field of two would read back as 10).
        QByteArray tooLong;
        auto put = [&](const QByteArray& name, const QByteArray& text) {
            if (tooLong.isEmpty() && t.FieldIndex(name) >= 0 && !t.SetField(name, text))
                tooLong = name;
        };
        auto set = [&](const QByteArray& name, const QString& text) {
            put(name, text.trimmed().toLatin1());
        };
        if (number > 1)
            set("N_DU", QString::number(number));
        set("S_ADR", QString::number(fields.address));
        set("L_SENS", fields.size);
        set("S_ADD", fields.correction);
        set("UP_CRIT", fields.criterion);
        put("RST_B2", flagText(fields.resetOnLinkLoss));
        put("RST_DN", flagText(fields.resetOnDensity01));
        put("RETR", flagText(fields.propagate));
        put("ML_DIF", flagText(fields.separate));
        for (int k = 0; k < kThermometerFields; ++k) {
            set(numbered("ID_T", k + 1), fields.thermometerIds[k]);
            set(numbered("H_T", k + 1), fields.thermometerHeights[k]);
        }
        for (int k = 0; k < kMeterFields; ++k) {
            set(numbered("ID_D", k + 1), fields.meterIds[k]);
            set(numbered("H_D", k + 1), fields.meterHeights[k]);
        }
        if (!tooLong.isEmpty())
            return {SaveOutcome::TooLong,
                    QStringLiteral("%1: ПОЛЕ %2 ДЛИНОЙ %3 НЕ ВМЕЩАЕТ ЗНАЧЕНИЕ")
                        .arg(path, QString::fromLatin1(tooLong))
                        .arg(t.fieldLength(t.FieldIndex(tooLong)))};
        if (!t.WriteRecord(i))
            return failed(faultOf(t));
    }
    if (const app::FileResult r = write(path, fileBytes(work)); !r.ok())
        return failed(r.fault);
    return {SaveOutcome::Saved, {}};
}

} // namespace db
