// Median time of one ReadVersion transaction over the simulated 9600-baud
// line, against its limit: wire time of request and reply, the link's fixed
// delays, and the device's turnaround.
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main() {
    constexpr int kRuns = 60;
    constexpr int kTurnaroundMs = 2;
    constexpr double kFixedDelaysMs = 3 * 5.0; // the three 5 ms pauses a transaction may take
    sim::Scenario scenario = sim::Scenario::builtIn();
    scenario.turnaroundMs = kTurnaroundMs;
    auto installation = std::make_shared<sim::Installation>(scenario);
    bus::SerialLink link;
    link.attach(std::make_unique<sim::SimulatedLine>(installation, true));

    std::vector<double> times;
    int replyLength = 0;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        replyLength = bus::AskController(link, 0x80, bus::ctl::ReadVersion, bus::Form::Read);
        times.push_back(t.nsecsElapsed() / 1e6);
        if (replyLength <= 0) {
            std::fprintf(stderr, "no reply in run %d\n", i);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const int requestChars = 11;
    const int replyChars = 11 + 2 * replyLength; // with its CR
    const double charMs = 10.0 * 1000.0 / 9600.0;
    const double wire = (requestChars + replyChars) * charMs;
    const double limit = wire + kFixedDelaysMs + kTurnaroundMs;
    std::printf("ReadVersion transaction over 9600 baud (%d runs)\n", kRuns);
    std::printf("  request %d chars, reply %d chars, wire time %.2f ms\n", requestChars, replyChars,
                wire);
    std::printf("  median %.2f ms, min %.2f ms, max %.2f ms\n", median, times.front(),
                times.back());
    std::printf("  limit  %.2f ms (wire + %.0f ms fixed delays + %d ms turnaround)\n", limit,
                kFixedDelaysMs, kTurnaroundMs);
    std::printf("  ratio  %.3f (target <= 1.05)\n", median / limit);
    std::printf("  ratio to wire + turnaround + the one 5 ms pause actually taken: %.3f\n",
                median / (wire + 5 + kTurnaroundMs));
    return 0;
}
