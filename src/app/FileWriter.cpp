#include "app/FileWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace app {
namespace {

bool flushToDisk(int fd) {
#ifdef Q_OS_WIN
    return ::_commit(fd) == 0;
#else
    return ::fsync(fd) == 0;
#endif
}

// The rename itself reaches the disk only with the folder synced. A folder
// that cannot be synced (some file systems refuse) changes nothing about the
// file, which is already in place.
void flushFolder(const QString& folder) {
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

bool processAlive(qint64 pid) {
#ifdef Q_OS_WIN
    Q_UNUSED(pid);
    return true;
#else
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
#endif
}

// Temporary files of writers that were killed: their process is gone.
void removeLeftovers(const QFileInfo& target) {
    const QString prefix = temporaryPrefix(target.fileName());
    const QDir dir = target.absoluteDir();
    const QStringList names =
        dir.entryList({prefix + QStringLiteral("*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        // prefix, pid, "-", sequence, ".tmp"
        if (!name.endsWith(QLatin1String(".tmp")))
            continue;
        const QString middle = name.mid(prefix.size(), name.size() - prefix.size() - 4);
        bool ok = false;
        const qint64 pid = middle.section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
        if (ok && pid != QCoreApplication::applicationPid() && !processAlive(pid))
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

QString fileFaultText(FileFault fault) {
    switch (fault) {
    case FileFault::None:
        return {};
    case FileFault::NoSpace:
        return QStringLiteral("НЕТ МЕСТА НА ДИСКЕ");
    case FileFault::TooLarge:
        return QStringLiteral("ФАЙЛ СЛИШКОМ ВЕЛИК");
    case FileFault::NoAccess:
        return QStringLiteral("НЕТ ДОСТУПА");
    case FileFault::ReadOnlyFs:
        return QStringLiteral("ДИСК ТОЛЬКО ДЛЯ ЧТЕНИЯ");
    case FileFault::NoFolder:
        return QStringLiteral("НЕТ ПАПКИ");
    case FileFault::NotAFile:
        return QStringLiteral("НЕ ФАЙЛ");
    case FileFault::Missing:
        return QStringLiteral("ФАЙЛ НЕ НАЙДЕН");
    case FileFault::Broken:
        return QStringLiteral("ФАЙЛ ИСПОРЧЕН");
    case FileFault::Busy:
        return QStringLiteral("ФАЙЛ ЗАНЯТ");
    case FileFault::Failed:
        break;
    }
    return QStringLiteral("ОШИБКА ВВОДА-ВЫВОДА");
}

FileFault faultOfErrno(int error) {
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileFault::NoSpace;
    case EFBIG:
        return FileFault::TooLarge;
    case EACCES:
    case EPERM:
        return FileFault::NoAccess;
    case EROFS:
        return FileFault::ReadOnlyFs;
    case ENOENT:
    case ENOTDIR:
        return FileFault::NoFolder;
    case EISDIR:
        return FileFault::NotAFile;
    default:
        return FileFault::Failed;
    }
}

QString FileResult::message() const {
    return path + QStringLiteral(": ") + fileFaultText(fault);
}

QString writableFolder(const QString& wanted) {
    const QFileInfo fi(wanted);
    if (fi.isDir() && fi.isWritable())
        return wanted;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString mine = QDir(documents).filePath(QStringLiteral("orvant2"));
    if (!documents.isEmpty() && QDir().mkpath(mine) && QFileInfo(mine).isWritable())
        return mine;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return config;
}

bool removeAbandonedLock(const QString& lockPath, int minAgeMs) {
    const QFileInfo fi(lockPath);
    if (!fi.isFile() || fi.size() != 0 ||
        fi.lastModified().msecsTo(QDateTime::currentDateTime()) < minAgeMs)
        return false;
#ifdef Q_OS_WIN
    // An open lock file cannot be removed there: removing is the test.
    return QFile::remove(lockPath);
#else
    // A live holder keeps a lock on the open file.
    const QByteArray name = QFile::encodeName(lockPath);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool removed = free && ::unlink(name.constData()) == 0;
    ::close(fd);
    return removed;
#endif
}

QString temporaryPrefix(const QString& path) {
    return QLatin1Char('.') + QFileInfo(path).fileName() + QLatin1Char('.');
}

namespace {

// Checks the target, then writes bytes into a new temporary file beside it
// and flushes it to disk. On success temp names the file, on failure it is
// already removed.
FileResult writeTemporary(QFileInfo& target, const QString& path, const Producer& produce,
                          bool privateFile, QString& temp) {
    FileResult r{FileFault::None, path};
    // A link is followed: the file it names is replaced, the link stays.
    if (target.isSymLink() && target.exists())
        target = QFileInfo(target.canonicalFilePath());
    if (target.exists() && !target.isFile()) {
        r.fault = FileFault::NotAFile;
        return r;
    }
    if (!target.absoluteDir().exists()) {
        r.fault = FileFault::NoFolder;
        return r;
    }
    removeLeftovers(target);

    static std::atomic<int> sequence{0};
    temp = target.absoluteDir().filePath(
        temporaryPrefix(target.fileName()) +
        QStringLiteral("%1-%2.tmp").arg(QCoreApplication::applicationPid()).arg(++sequence));
    QFile f(temp);
    auto fail = [&](int error) {
        r.fault = faultOfErrno(error);
        f.close();
        QFile::remove(temp);
        return r;
    };
    // Unbuffered, so that every write reports its own failure at once.
    errno = 0;
    const auto mode = QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    const bool opened =
        privateFile ? f.open(mode, QFileDevice::ReadOwner | QFileDevice::WriteOwner) : f.open(mode);
    if (!opened)
        return fail(errno);
    if (target.exists() && !privateFile)
        f.setPermissions(target.permissions());
    int writeError = 0;
    const auto put = [&](const QByteArray& bytes) {
        for (qsizetype done = 0; done < bytes.size() && writeError == 0;) {
            errno = 0;
            const qint64 n = f.write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0)
                writeError = errno ? errno : EIO;
            else
                done += n;
        }
        return writeError == 0;
    };
    const bool produced = produce(put);
    if (writeError != 0)
        return fail(writeError);
    if (!produced) {
        // The source failed: no file of half of it.
        f.close();
        QFile::remove(temp);
        r.fault = FileFault::Broken;
        return r;
    }
    if (!flushToDisk(f.handle()))
        return fail(errno);
    f.close();
    if (f.error() != QFileDevice::NoError)
        return fail(EIO);
    return r;
}

FileResult writeAtomically(const QString& path, const Producer& produce, bool privateFile) {
    QFileInfo target(path);
    QString temp;
    FileResult r = writeTemporary(target, path, produce, privateFile, temp);
    if (!r.ok())
        return r;
    std::error_code ec;
    // Replaces the target in one step, on Windows too.
    std::filesystem::rename(std::filesystem::path(temp.toStdU16String()),
                            std::filesystem::path(target.absoluteFilePath().toStdU16String()), ec);
    if (ec) {
        QFile::remove(temp);
        r.fault = faultOfErrno(ec.default_error_condition().value());
        return r;
    }
    flushFolder(target.absolutePath());
    return r;
}

} // namespace

static Producer bytesOf(const QByteArray& bytes) {
    return [&bytes](const Put& put) { return put(bytes); };
}

FileResult writeFileAtomically(const QString& path, const QByteArray& bytes) {
    return writeAtomically(path, bytesOf(bytes), false);
}

FileResult writeFileInPieces(const QString& path, const Producer& produce) {
    return writeAtomically(path, produce, false);
}

FileResult writePrivateFileAtomically(const QString& path, const QByteArray& bytes) {
    return writeAtomically(path, bytesOf(bytes), true);
}

FileResult checkRoomFor(const QString& path, qint64 bytes) {
    QFileInfo target(path);
    QString temp;
    const QByteArray zeros(static_cast<qsizetype>(bytes), '\0');
    const FileResult r = writeTemporary(target, path, bytesOf(zeros), true, temp);
    if (r.ok())
        QFile::remove(temp);
    return r;
}

} // namespace app
