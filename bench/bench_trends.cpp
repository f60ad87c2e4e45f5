// The trends dialog on a week of polls every minute for 16 sensors, one of
// which answers only two polls out of three (an intermittent sensor: its
// curve has a gap every third minute). Times the week from the choice to
// the chart drawn and painted (target under 1 s), and the longest stall of
// the window meanwhile (target under 100 ms).
//
//   bench_trends [--keep FILE.sqlite]
// --keep leaves the log there; a log already there is measured as it is.
#include "BenchSupport.h"
#include "polllog/PollLog.h"
#include "ui/TrendsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kSensors = 16;
constexpr qint64 kStepMs = 60'000;
constexpr qint64 kPolls = 7 * 24 * 60;
constexpr int kIntermittent = 5;

std::vector<polllog::SensorRow> pollAt(qint64 step) {
    std::vector<polllog::SensorRow> rows(kSensors);
    for (int s = 0; s < kSensors; ++s) {
        polllog::SensorRow& r = rows[static_cast<std::size_t>(s)];
        r.sensor = s + 1;
        // Silent: the row holds the number only.
        if (r.sensor == kIntermittent && step % 3 == 2)
            continue;
        r.s1 = 0;
        r.s2 = 0x13;
        const double phase = double(step) / 1440.0 * 2 * M_PI + s;
        const double fuel = std::round((1200 + 800 * std::sin(phase)) * 10) / 10;
        r.values[0] = polllog::Value{fuel, 0};
        for (std::size_t q = 1; q < r.values.size(); ++q)
            r.values[q] = polllog::Value{double(q), 0};
    }
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString keep;
    for (int i = 1; i + 1 < argc; i += 2)
        if (qstrcmp(argv[i], "--keep") == 0)
            keep = QString::fromLocal8Bit(argv[i + 1]);
    QTemporaryDir dir;
    const QString path = keep.isEmpty() ? dir.filePath(QStringLiteral("site.sqlite")) : keep;
    {
        polllog::PollLog log;
        if (const QString why = log.open(path); !why.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return 2;
        }
        if (log.pollCount() == 0) {
            QElapsedTimer t;
            t.start();
            // Ending now, so that "the last week" holds all of it.
            const qint64 start = QDateTime::currentMSecsSinceEpoch() - kPolls * kStepMs;
            for (qint64 p = 0; p < kPolls; ++p)
                if (const QString why =
                        log.record(pollAt(p), polllog::PollKind::Combined, start + p * kStepMs);
                    !why.isEmpty()) {
                    std::fprintf(stderr, "%s\n", qPrintable(why));
                    return 1;
                }
            log.checkpoint();
            std::printf("generated %lld polls of %d sensors in %.1f s\n", kPolls, kSensors,
                        t.nsecsElapsed() / 1e9);
        }
    }

    QWidget window;
    window.resize(1280, 720);
    window.show();
    TrendsDialog dialog([&] { return path; }, &window);
    dialog.resize(1000, 600);
    bool done = false;
    QObject::connect(&dialog, &TrendsDialog::loaded, [&] { done = true; });
    dialog.show();
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);

    std::vector<int> all;
    for (int s = 1; s <= kSensors; ++s)
        all.push_back(s);
    auto* range = dialog.findChild<QComboBox*>(QStringLiteral("cbRange"));
    QElapsedTimer t;
    GapProbe probe;
    t.start();
    done = false;
    {
        const QSignalBlocker quiet(range);
        range->setCurrentIndex(2); // the last week
    }
    dialog.selectSensors(all);
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Painted as well: the chart's items are laid out and drawn now.
    dialog.repaint();
    QApplication::processEvents();
    const double drawMs = t.nsecsElapsed() / 1e6;
    std::size_t points = 0;
    std::size_t breaks = 0;
    for (const auto& [sensor, thin] : dialog.drawn()) {
        points += thin.size();
        for (const polllog::Point& p : thin)
            breaks += std::isnan(p.value) ? 1 : 0;
    }
    std::printf("trends of a week, %d sensors every minute, sensor %d silent every third poll\n",
                kSensors, kIntermittent);
    std::printf("draw_ms=%.0f (target < 1000)\n", drawMs);
    std::printf("stall_ms=%.0f (target < 100)\n", probe.longestMs());
    std::fflush(stdout);
    std::printf("points drawn %zu, breaks %zu\n", points, breaks);
    std::fflush(stdout);
    // Read and drawn again, as after every poll recorded while the dialog
    // follows the log: the old curves are taken away first.
    t.restart();
    done = false;
    dialog.reload();
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    dialog.repaint();
    QApplication::processEvents();
    std::printf("redraw_ms=%.0f (read and drawn again)\n", t.nsecsElapsed() / 1e6);
    std::fflush(stdout);
    // Panned a little with the arrow key: thinned and drawn afresh.
    QWidget* view = dialog.findChild<QWidget*>(QStringLiteral("cvTrends"));
    t.restart();
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(view, &right);
    QApplication::processEvents();
    dialog.repaint();
    QApplication::processEvents();
    std::printf("pan_ms=%.0f\n", t.nsecsElapsed() / 1e6);
    std::printf("stall_ms=%.0f over all of it\n", probe.longestMs());
    return 0;
}
