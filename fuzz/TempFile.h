#pragma once

#include <QFile>
#include <QString>

#include <unistd.h>

// One scratch file per fuzzing process: in the folder tools/fuzz.sh names
// (and removes afterwards), else in memory where the system has it.
inline QString scratchFile(const char* suffix) {
    static const QString folder =
        qEnvironmentVariableIsEmpty("ORVANT_FUZZ_SCRATCH")
            ? (QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm")
                                                         : QStringLiteral("/tmp"))
            : qEnvironmentVariable("ORVANT_FUZZ_SCRATCH");
    static const QString path = QStringLiteral("%1/orvant2-fuzz-%2%3")
                                    .arg(folder)
                                    .arg(::getpid())
                                    .arg(QLatin1String(suffix));
    return path;
}

inline void writeScratch(const QString& path, const uint8_t* data, size_t size) {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
}
