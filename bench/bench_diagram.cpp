// Reads the diagram of a 1000-segment probe over the simulated 9600-baud
// line: the time against the time the characters need on the wire (plus
// the device's turnaround), and the longest gap between UI events.
#include "BenchSupport.h"
#include "diagram/DiagramRead.h"
#include "link/LinkObserver.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"
#include "ui/TPForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    constexpr int kTurnaroundMs = 2;
    constexpr int kPauseMs = 5;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    sim::Scenario scenario;
    scenario.type = 2;
    scenario.directFirst = 0;
    scenario.directCount = 1;
    scenario.turnaroundMs = kTurnaroundMs;
    scenario.probes.push_back({0, 1000, 0});
    auto installation = std::make_shared<sim::Installation>(scenario);
    bus::SerialLink link;
    link.attach(std::make_unique<sim::SimulatedLine>(installation, true));
    link.setPump([] { QApplication::processEvents(); });
    WireCounter counter;
    link.setObserver(&counter);

    QWidget window;
    window.resize(800, 600);
    window.show();
    bool breakFlag = false;
    TPForm progress(breakFlag, &window);

    GapProbe probe;

    diagram::Diagram d;
    QElapsedTimer total;
    total.start();
    const auto r = diagram::ReadSegmentDiagram(link, 0, true, progress, d);
    const double ms = total.nsecsElapsed() / 1e6;
    const double wire = counter.wireMs();
    // Each request also takes the link's one 5 ms pause before it goes out,
    // the line discipline every transaction keeps.
    const double limit = wire + counter.requests * (kTurnaroundMs + kPauseMs);
    std::printf("diagram of a 1000-segment probe over 9600 baud (%s)\n",
                qPrintable(r.mess.trimmed()));
    std::printf("  %d requests, %lld characters on the wire\n", counter.requests, counter.chars);
    std::printf("  %.0f ms; wire-limited %.0f ms (wire %.0f + %d ms turnaround and the %d ms "
                "pause a request)\n",
                ms, limit, wire, kTurnaroundMs, kPauseMs);
    std::printf("  share %.3f (target <= 1.05); against the bare wire and turnaround %.3f\n",
                ms / limit, ms / (wire + counter.requests * kTurnaroundMs));
    std::printf("  longest gap between UI events %.2f ms (target < 16 ms)\n", probe.longestMs());
    return r.drawn ? 0 : 1;
}
