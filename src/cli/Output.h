#pragma once

#include <QString>

namespace cli {

// Standard output, flushed and checked: empty while everything printed so
// far reached it, else why not ("ВЫВОД НЕ ЗАПИСАН: НЕТ МЕСТА НА ДИСКЕ"; the
// reader gone: "ПРЕРВАНО", as after Break). A loss is kept for the rest of
// the run.
QString outputProblem();
// Whether a check has found the output lost; cheap, from any thread.
bool outputLost();
// code, or at least 1 once the output is lost, which is then said on
// standard error (once a run). Every command ends through it, and a
// cyclic one checks it after each poll.
int checkOutput(int code);

} // namespace cli
