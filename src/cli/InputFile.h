#pragma once

#include <QString>

namespace cli {

// Why a file given to a command cannot be read, in one wording for every
// command: "ФАЙЛ НЕ НАЙДЕН" when it is missing, "НЕ ФАЙЛ" for a folder or a
// device or a pipe (without waiting for one), "НЕТ ДОСТУПА" and the like
// when it cannot be opened. Empty when it can.
QString inputFileProblem(const QString& path);

} // namespace cli
