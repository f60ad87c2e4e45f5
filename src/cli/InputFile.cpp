#include "cli/InputFile.h"

#include "app/FileReader.h"

namespace cli {

QString inputFileProblem(const QString& path) {
    QFile f;
    const app::FileResult r = app::openRegularFile(f, path, QIODevice::ReadOnly);
    return r.ok() ? QString() : r.message();
}

} // namespace cli
