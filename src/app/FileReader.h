#pragma once

#include "app/FileWriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace app {

// Opens a regular file only: a pipe, a device or a folder is refused
// without waiting for it (a FIFO with no writer would block an ordinary
// open forever). mode is ReadOnly or ReadWrite.
FileResult openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode mode);

struct FileRead {
    FileResult result;
    QByteArray bytes;
};

// The whole of a regular file of at most maxBytes; a larger one is refused
// before anything is read.
FileRead readRegularFile(const QString& path, qint64 maxBytes);

} // namespace app
