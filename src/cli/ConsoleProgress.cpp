#include "cli/ConsoleProgress.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace cli {
namespace {
std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signals{0};
std::atomic<bool> g_readerGone{false};
void onInterrupt(int signal) {
    g_interrupted = true;
    ++g_signals;
    if (signal == SIGPIPE)
        g_readerGone = true;
}
bool g_tty = ::isatty(STDERR_FILENO) != 0;
} // namespace

void breakOnSignals() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    // A reader of the output gone (SIGPIPE) ends the work as well; the
    // writes that follow fail quietly.
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2})
        sigaction(s, &sa, nullptr);
}

int signalsReceived() {
    return g_signals.load();
}

bool pipeReaderGone() {
    return g_readerGone.load();
}

ConsoleProgress::ConsoleProgress() = default;

ConsoleProgress::~ConsoleProgress() {
    CloseProgress();
}

void ConsoleProgress::ShowProgress(int n) {
    // Ctrl+C ends the whole command: a loop that follows does not start afresh.
    m_max = n > 0 ? n : 0;
    m_position = 0;
    m_showing = true;
    draw();
}

void ConsoleProgress::StepProgress(int k) {
    m_position = k != 0 ? k : m_position + 1;
    draw();
}

void ConsoleProgress::CloseProgress() {
    if (m_showing && g_tty)
        std::fputs("\r\033[K", stderr);
    m_showing = false;
}

bool ConsoleProgress::breakRequested() const {
    return g_interrupted.load();
}

void ConsoleProgress::draw() {
    // Only a terminal gets the moving line; a log file would fill with it.
    if (!g_tty || !m_showing)
        return;
    if (m_max > 0)
        std::fprintf(stderr, "\r%d/%d", m_position, m_max);
    else
        std::fputs("\r...", stderr);
    std::fflush(stderr);
}

} // namespace cli
