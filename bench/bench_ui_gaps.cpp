// Longest gap between two processed UI events while the general status poll
// walks 128 simulated sensors over the 9600-baud line model.
#include "BenchSupport.h"
#include "link/SerialLink.h"
#include "sensor/StatusPolls.h"
#include "sim/SimulatedLine.h"
#include "ui/TPForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    sim::Scenario scenario;
    scenario.type = 0;
    for (int c = 0; c < 8; ++c)
        scenario.controllers.push_back({c, 16 * c, 16, sim::Fault::None});
    auto installation = std::make_shared<sim::Installation>(scenario);
    bus::SerialLink link;
    link.attach(std::make_unique<sim::SimulatedLine>(installation, true));
    link.setPump([] { QApplication::processEvents(); });

    app::ControllerLayout layout;
    layout.controllerType = 0;
    layout.controllersFound = 8;
    layout.selectedControllers = 0xFF;
    for (int c = 0; c < 8; ++c)
        layout.ControllerTable[c] = {16 * c, 16};

    QWidget window;
    window.resize(800, 600);
    window.show();
    bool breakFlag = false;
    TPForm progress(breakFlag, &window);

    GapProbe probe;

    sensor::StatusGrid grid = sensor::generalStatusGrid();
    QElapsedTimer total;
    total.start();
    const auto r = sensor::PollGeneralStatus(link, layout, progress, grid, false);
    const double seconds = total.elapsed() / 1000.0;
    int filled = 0;
    for (const QStringList& row : grid.rows)
        filled += row[1].isEmpty() ? 0 : 1;
    std::printf("general status poll of 128 sensors over 9600 baud\n");
    std::printf("  rows filled %d of %zu, %.1f s, %s\n", filled, grid.rows.size(), seconds,
                r.stopped ? "stopped" : "complete");
    std::printf("  UI events processed %d, longest gap %.2f ms (target < 20 ms)\n", probe.ticks(),
                probe.longestMs());
    return filled == 128 ? 0 : 1;
}
