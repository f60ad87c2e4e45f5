#include "ui/SavedFiles.h"

#include "app/FileReader.h"

#include <QFile>

QStringList savedFileProblems(const app::ConfigEntries& entries) {
    struct Saved {
        const char* key;
        const char* what;
    };
    static constexpr Saved kSaved[] = {
        {"MAIN_FILE", "ФАЙЛ ПРОШИВКИ MAIN CPU НЕ ОТКРЫТ: "},
        {"SLAVE_FILE", "ФАЙЛ ПРОШИВКИ KBD/LCD CPU НЕ ОТКРЫТ: "},
        {"SENS_FILE", "ФАЙЛ ПРОШИВКИ ДАТЧИКА НЕ ОТКРЫТ: "},
        {"SecDBName", "БАЗА СЕКЦИЙ НЕ ОТКРЫТА: "},
    };
    QStringList problems;
    for (const Saved& saved : kSaved) {
        const QString path = app::ConfigFile::value(entries, QLatin1String(saved.key));
        if (path.isEmpty())
            continue;
        QFile file;
        // Without waiting: a pipe is refused, never read.
        if (const app::FileResult r = app::openRegularFile(file, path, QIODevice::ReadOnly);
            !r.ok())
            problems << QString::fromUtf8(saved.what) + r.message();
    }
    return problems;
}
