#include "link/SystemText.h"

QString withRussianFileErrors(QString text) {
    // Qt spells some causes itself and takes the others from the C library,
    // both in English; the Russian is Qt's own where its translations have
    // the text, so a message reads the same either way.
    static const char* const causes[][2] = {
        {"No such file or directory", "Файл или каталог не существует"},
        {"Permission denied", "Доступ запрещён"},
        {"No space left on device", "Нет свободного места на устройстве"},
        {"file to open is a directory", "открываемый файл является каталогом"},
        {"Is a directory", "Является каталогом"},
        {"Read-only file system", "Файловая система только для чтения"},
    };
    for (const auto& c : causes)
        text.replace(QLatin1String(c[0]), QString::fromUtf8(c[1]));
    return text;
}
