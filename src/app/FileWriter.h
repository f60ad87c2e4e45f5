#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace app {

// Why a file could not be written or read, as the user is told.
enum class FileFault {
    None,
    NoSpace,    // disk or quota full
    TooLarge,   // over the file-size limit of the system or of the format
    NoAccess,   // permissions
    ReadOnlyFs, // the disk is mounted read-only
    NoFolder,   // the folder is missing
    NotAFile,   // a folder, a pipe, a device
    Missing,    // reading: no such file
    Broken,     // reading: the contents are not what the format allows
    Busy,       // another save holds the file
    Failed,     // any other error of the system
};

// "НЕТ МЕСТА НА ДИСКЕ", "НЕТ ДОСТУПА", ...
QString fileFaultText(FileFault fault);
// The fault an errno value stands for.
FileFault faultOfErrno(int error);

struct FileResult {
    FileFault fault = FileFault::None;
    QString path;
    bool ok() const { return fault == FileFault::None; }
    // "<path>: <reason>".
    QString message() const;
};

// The one way files are written: a temporary file beside the target, every
// write and the flush to disk checked, then renamed over the target. On any
// failure the temporary file is removed and the target is left as it was.
// Temporary files left by a killed writer are removed by the next write of
// the same target.
FileResult writeFileAtomically(const QString& path, const QByteArray& bytes);
// The same for a file made piece by piece (an export of millions of rows,
// in constant memory): produce hands each piece to put, which says false
// once a write has failed. When produce returns false (its source failed)
// the target is left as it was and the fault is Broken.
using Put = std::function<bool(const QByteArray&)>;
using Producer = std::function<bool(const Put&)>;
FileResult writeFileInPieces(const QString& path, const Producer& produce);
// The same for a file that holds secrets: readable and writable by its
// owner only, from its first byte on, whatever the file it replaces allowed.
FileResult writePrivateFileAtomically(const QString& path, const QByteArray& bytes);
// Whether a file of about bytes could be written at path now, found by
// writing a temporary file of that size beside it and removing it again.
// For work that takes minutes on the line before its file is written.
FileResult checkRoomFor(const QString& path, qint64 bytes);

// The folder files made for the user go to: wanted when it can be written
// (the program's folder of a portable copy), else the user's documents
// folder "orvant2", else the configuration folder.
QString writableFolder(const QString& wanted);

// Removes a lock file (as QLockFile makes) that is empty, older than
// minAgeMs and held by no process: its maker was killed before it wrote
// who it is, so the lock's own staleness check cannot tell. True when it
// was removed.
bool removeAbandonedLock(const QString& lockPath, int minAgeMs);

// The name prefix of the temporary files of a target, for the tests that
// look for leftovers.
QString temporaryPrefix(const QString& path);

} // namespace app
