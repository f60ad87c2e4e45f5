// Programs a full 128 KiB controller image over the simulated 9600-baud
// line: the rate as a share of what the wire allows (frames of 271
// characters, the replies and the device's turnaround; the link's 5 ms
// pause a request counts as overhead), and the longest gap between UI events.
#include "firmware/ControllerProgramming.h"
#include "link/LinkObserver.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"
#include "ui/TPForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

struct Counter : bus::LinkObserver {
    qint64 chars = 0;
    int requests = 0;
    void frameSent(qint64, QByteArrayView f) override {
        chars += f.size();
        ++requests;
    }
    void charactersReceived(qint64, QByteArrayView c) override { chars += c.size(); }
};

} // namespace

int main(int argc, char** argv) {
    constexpr int kTurnaroundMs = 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    sim::Scenario scenario;
    scenario.type = 1;
    scenario.turnaroundMs = kTurnaroundMs;
    scenario.controllers.push_back({0, 0, 4, sim::Fault::None});
    auto installation = std::make_shared<sim::Installation>(scenario);
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
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            longest = std::max(longest, now - last);
        last = now;
    });
    probe.start();

    if (!firmware::ControllerLink(link, 0x80, 0xFF, true).linked)
        return 1;
    Counter counter;
    link.setObserver(&counter);
    QElapsedTimer t;
    t.start();
    const auto r = firmware::ProgramController(link, 0xFF, image, progress);
    const double ms = t.nsecsElapsed() / 1e6;
    const double charMs = 10.0 * 1000.0 / 9600.0;
    const double limit = counter.chars * charMs + counter.requests * kTurnaroundMs;
    std::printf("128 KiB controller image over 9600 baud (%s)\n", qPrintable(r.mess));
    std::printf("  %d frames, %lld characters, %.1f s; %.0f bytes/s, the wire allows %.0f\n",
                counter.requests, counter.chars, ms / 1000, image.end / ms * 1000,
                image.end / limit * 1000);
    std::printf("  share %.3f (target >= 0.97)\n", limit / ms);
    std::printf("  longest gap between UI events %.2f ms (target < 16 ms)\n", longest / 1e6);
    return r.done ? 0 : 1;
}
