// Programs a full 128 KiB controller image over the simulated 9600-baud
// line: the rate as a share of what the wire allows (frames of 271
// characters, the replies and the device's turnaround; the link's 5 ms
// pause a request counts as overhead), and the longest gap between UI events.
#include "BenchSupport.h"
#include "firmware/ControllerProgramming.h"
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto installation = std::make_shared<sim::Installation>(oneController(kTurnaroundMs));
    bus::SerialLink link;
    link.attach(std::make_unique<sim::SimulatedLine>(installation, true));
    link.setPump([] { QApplication::processEvents(); });

    firmware::FirmwareImage image;
    image.data = QByteArray(firmware::kImageSpace, '\0');
    for (int a = 0; a < image.data.size(); ++a)
        image.data[a] = static_cast<char>((a * 7 + 3) & 0xFF);
    image.start = 0;
    image.end = firmware::kImageSpace;
    image.usable = true;

    QWidget window;
    window.resize(800, 600);
    window.show();
    bool breakFlag = false;
    TPForm progress(breakFlag, &window);
    GapProbe probe;

    if (!firmware::ControllerLink(link, 0x80, 0xFF, true).linked)
        return 1;
    WireCounter counter;
    link.setObserver(&counter);
    QElapsedTimer t;
    t.start();
    const auto r = firmware::ProgramController(link, 0xFF, image, progress);
    const double ms = t.nsecsElapsed() / 1e6;
    const double limit = counter.wireMs() + counter.requests * kTurnaroundMs;
    std::printf("128 KiB controller image over 9600 baud (%s)\n", qPrintable(r.mess));
    std::printf("  %d frames, %lld characters, %.1f s; %.0f bytes/s, the wire allows %.0f\n",
                counter.requests, counter.chars, ms / 1000, image.end / ms * 1000,
                image.end / limit * 1000);
    std::printf("  share %.3f (target >= 0.97)\n", limit / ms);
    std::printf("  longest gap between UI events %.2f ms (target < 16 ms)\n", probe.longestMs());
    return r.done ? 0 : 1;
}
