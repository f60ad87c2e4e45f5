#include "cli/Output.h"

#include "app/FileWriter.h"
#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace cli {
namespace {

std::mutex g_mutex;
QString g_problem; // under g_mutex
std::atomic<bool> g_lost{false};
bool g_said = false; // under g_mutex

// Whether standard output is a file on a disk with no room left.
bool fullDisk() {
    struct stat st {};
    struct statvfs fs {};
    return ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) &&
           ::fstatvfs(STDOUT_FILENO, &fs) == 0 && fs.f_bavail == 0;
}

} // namespace

QString outputProblem() {
    const std::lock_guard lock(g_mutex);
    if (!g_problem.isEmpty())
        return g_problem;
    // The first flush after a failed write still fails with its errno
    // (the text is kept); later ones only leave the error flag.
    errno = 0;
    const bool failed = std::fflush(stdout) != 0;
    int error = failed ? errno : 0;
    if (!failed && !std::ferror(stdout))
        return {};
    // A write too long for the buffer fails on its own, and its errno is
    // gone by now: the pipe's signal or the disk tells.
    if (error == 0 && pipeReaderGone())
        error = EPIPE;
    if (error == 0)
        error = fullDisk() ? ENOSPC : EIO;
    g_problem = error == EPIPE ? kInterrupted
                               : QStringLiteral("ВЫВОД НЕ ЗАПИСАН: ") +
                                     app::fileFaultText(app::faultOfErrno(error));
    g_lost = true;
    return g_problem;
}

bool outputLost() {
    return g_lost.load();
}

int checkOutput(int code) {
    const QString problem = outputProblem();
    if (problem.isEmpty())
        return code;
    const std::lock_guard lock(g_mutex);
    if (!g_said)
        std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(problem));
    g_said = true;
    return std::max(code, 1);
}

} // namespace cli
