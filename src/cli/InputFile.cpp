#include "cli/InputFile.h"

#include <QFile>
#include <QFileInfo>

namespace cli {

QString inputFileProblem(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.exists())
        return path + QStringLiteral(": ФАЙЛ НЕ НАЙДЕН");
    if (!fi.isFile())
        return path + QStringLiteral(": НЕ ФАЙЛ");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return path + QStringLiteral(": ") + f.errorString();
    return {};
}

} // namespace cli
