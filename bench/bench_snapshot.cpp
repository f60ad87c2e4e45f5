// A snapshot of the built-in installation (3 controllers, 16 sensors) over
// the 9600-baud line model, as a share of the sum of its transactions'
// wire-limited times: for an answered request its characters both ways,
// the device's turnaround and the link's 5 ms pause; for a request nobody
// answers, the wait it cannot do without. The pauses the sensor reads take
// between places (100 ms a thermometer, 10 ms a density meter) are shown
// apart: they are the devices' time, not the line's.
#include "app/ConfigFile.h"
#include "app/LayoutConfig.h"
#include "app/Progress.h"
#include "link/LinkObserver.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"
#include "snapshot/SnapshotRead.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr double kCharMs = 10.0 * 1000.0 / 9600.0;
constexpr int kTurnaroundMs = 2;
constexpr int kPauseMs = 5;

// One transaction from its request to the next.
struct Transactions : bus::LinkObserver {
    QElapsedTimer clock;
    double limitMs = 0;
    int answered = 0, silent = 0;
    double pausedMs = 0;
    qint64 requestChars = 0, replyChars = 0;
    qint64 startedNs = -1;
    void close(qint64 nowNs) {
        if (startedNs < 0)
            return;
        if (replyChars > 0) {
            limitMs += (requestChars + replyChars) * kCharMs + kTurnaroundMs + kPauseMs;
            ++answered;
        } else {
            limitMs += (nowNs - startedNs) / 1e6;
            ++silent;
        }
    }
    void frameSent(qint64, QByteArrayView f) override {
        const qint64 now = clock.nsecsElapsed();
        close(now);
        startedNs = now;
        requestChars = f.size();
        replyChars = 0;
    }
    void charactersReceived(qint64, QByteArrayView c) override { replyChars += c.size(); }
    // The pause closes the transaction before it; its time is the pause's.
    void idled(qint64, int ms) override {
        close(clock.nsecsElapsed());
        startedNs = -1;
        pausedMs += ms;
    }
};

} // namespace

int main() {
    const sim::Scenario scenario = sim::Scenario::builtIn();
    auto installation = std::make_shared<sim::Installation>(scenario);
    bus::SerialLink link;
    link.attach(std::make_unique<sim::SimulatedLine>(installation, true));
    app::WorkingState state;
    app::loadLayout(
        {{"KIP_TYP", "1"}, {"KIP_NUM", "3,7"}, {"KIP1", "0,6"}, {"KIP2", "6,6"}, {"KIP3", "12,4"}},
        state);
    app::SilentProgress progress;
    Transactions t;
    link.setObserver(&t);
    t.clock.start();
    QElapsedTimer elapsed;
    elapsed.start();
    const auto s = snapshot::TakeSnapshot(link, state.layout, progress);
    const double ms = elapsed.nsecsElapsed() / 1e6;
    t.close(t.clock.nsecsElapsed());
    if (!s)
        return 1;
    std::printf("snapshot of %zu controllers and %zu sensors over 9600 baud: %.1f s, %d answered "
                "and %d unanswered requests\n",
                s->controllers.size(), s->sensors.size(), ms / 1000, t.answered, t.silent);
    std::printf("  pauses between places %.1f s\n", t.pausedMs / 1000);
    std::printf("  wire-limited sum %.1f s; share %.3f (target <= 1.05); counting the pauses as "
                "the devices' time: share %.3f\n",
                t.limitMs / 1000, (ms - t.pausedMs) / t.limitMs, ms / (t.limitMs + t.pausedMs));
    return 0;
}
