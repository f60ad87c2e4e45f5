// Writes a 10 922-row calibration table into a simulated controller and
// reads it back over the 9600-baud line model: each direction's rate as a
// share of the rate the wire allows (the characters' time, the device's
// turnaround and the link's 5 ms pause before each request).
#include "BenchSupport.h"
#include "app/Progress.h"
#include "caltable/TableProgramming.h"
#include "link/LinkObserver.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kTurnaroundMs = 2;
constexpr int kPauseMs = 5;

void report(const char* what, int bytes, double ms, const WireCounter& c) {
    const double limitMs = c.wireMs() + c.requests * (kTurnaroundMs + kPauseMs);
    std::printf("  %s: %d bytes in %.1f s, %.0f bytes/s; the wire allows %.0f bytes/s; share "
                "%.3f (target >= 0.95)\n",
                what, bytes, ms / 1000, bytes / ms * 1000, bytes / limitMs * 1000, limitMs / ms);
}

} // namespace

int main() {
    auto installation = std::make_shared<sim::Installation>(oneController(kTurnaroundMs));
    bus::SerialLink link;
    link.attach(std::make_unique<sim::SimulatedLine>(installation, true));
    app::SilentProgress progress;

    QByteArray table(10922 * 6, '\0');
    for (qsizetype i = 0; i < table.size(); ++i)
        table[i] = static_cast<char>(i * 31 + 7);
    std::printf("a 10 922-row table over 9600 baud\n");

    WireCounter written;
    link.setObserver(&written);
    QElapsedTimer t;
    t.start();
    caltable::TablePlan plan;
    plan.tables = {{{0}, table}};
    plan.verify = false;
    const auto r = caltable::ProgramTables(link, {0x80, false, 264}, plan, progress);
    report("write", static_cast<int>(table.size()), t.nsecsElapsed() / 1e6, written);

    WireCounter read;
    link.setObserver(&read);
    t.restart();
    const auto back = caltable::ReadTableImage(link, 0x80, r.tables[0].entry, 264, progress);
    report("read", static_cast<int>(table.size()), t.nsecsElapsed() / 1e6, read);
    return back.image == table ? 0 : 1;
}
