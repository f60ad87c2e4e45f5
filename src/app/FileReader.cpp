#include "app/FileReader.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace app {
namespace {

FileFault readFault(int error) {
    return error == ENOENT ? FileFault::Missing : faultOfErrno(error);
}

} // namespace

FileResult openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode) {
    FileResult r{FileFault::None, path};
#ifdef Q_OS_WIN
    const QFileInfo fi(path);
    if (!fi.exists())
        r.fault = FileFault::Missing;
    else if (!fi.isFile())
        r.fault = FileFault::NotAFile;
    else if (file.setFileName(path), !file.open(mode))
        r.fault =
            file.error() == QFileDevice::PermissionsError ? FileFault::NoAccess : FileFault::Failed;
    return r;
#else
    const int flags = ((mode & QIODevice::WriteOnly) ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0) {
        r.fault = readFault(errno);
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        r.fault = FileFault::NotAFile;
        return r;
    }
    // Regular files never block; later reads and writes behave as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        r.fault = FileFault::Failed;
    }
    return r;
#endif
}

FileRead readRegularFile(const QString& path, qint64 maxBytes) {
    FileRead out;
    QFile f;
    out.result = openRegularFile(f, path, QIODevice::ReadOnly);
    if (!out.result.ok())
        return out;
    if (f.size() > maxBytes) {
        out.result.fault = FileFault::TooLarge;
        return out;
    }
    // The size may change while reading: never more than the limit. Each
    // read asks for what the file holds now and one byte more, to see its end.
    while (out.bytes.size() <= maxBytes) {
        const qint64 have = out.bytes.size();
        const QByteArray chunk =
            f.read(std::min(maxBytes + 1 - have, std::max<qint64>(f.size() - have, 0) + 1));
        if (chunk.isEmpty())
            break;
        out.bytes += chunk;
    }
    if (out.bytes.size() > maxBytes) {
        out.bytes.clear();
        out.result.fault = FileFault::TooLarge;
    } else if (f.error() != QFileDevice::NoError) {
        out.bytes.clear();
        out.result.fault = FileFault::Failed;
    }
    return out;
}

} // namespace app
