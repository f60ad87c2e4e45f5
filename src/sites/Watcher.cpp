#include "sites/Watcher.h"

#include "app/LayoutConfig.h"
#include "app/Progress.h"
#include "app/WorkingState.h"
#include "link/SerialLink.h"
#include "polllog/PollLog.h"
#include "polllog/PollRows.h"
#include "sensor/StatusPolls.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

#include <memory>
#include <mutex>

namespace sites {
namespace {

constexpr qint64 kDayMs = 24LL * 3600 * 1000;

// The poll's progress, told to the report; Break only at once.
class SiteProgress final : public app::Progress {
  public:
    SiteProgress(int site, const WatchOptions& o, std::mutex& m) : m_site(site), m_o(o), m_m(m) {}
    void ShowProgress(int n) override {
        m_steps = n;
        m_step = 0;
        tell(0);
    }
    // 0 is one step on.
    void StepProgress(int k) override {
        m_step = k != 0 ? k : m_step + 1;
        tell(m_step);
    }
    void CloseProgress() override {}
    bool breakRequested() const override { return m_o.stopAtOnce && m_o.stopAtOnce(); }
    void processEvents() override {}

  private:
    void tell(int step) {
        if (!m_o.report)
            return;
        SiteEvent e;
        e.kind = SiteEvent::Kind::Progress;
        e.site = m_site;
        e.step = step;
        e.steps = m_steps;
        const std::lock_guard lock(m_m);
        m_o.report(e);
    }
    int m_site;
    const WatchOptions& m_o;
    std::mutex& m_m;
    int m_steps = 0;
    int m_step = 0;
};

// The sensors of a layout, numbered as shown: the rows of a poll nobody
// answered.
std::vector<polllog::SensorRow> silentRows(const app::ControllerLayout& layout) {
    std::vector<polllog::SensorRow> rows;
    const int controllers = layout.isNoControllerType() ? 1 : app::kControllerSlots;
    for (int c = 0; c < controllers; ++c) {
        if (!layout.isPresent(c) && !layout.isNoControllerType())
            continue;
        const app::ControllerEntry& e = layout.ControllerTable[c];
        for (int j = 0; j < e.sensorCount; ++j)
            if (e.firstSensorAddress + j < app::kSensorAddresses)
                rows.push_back(polllog::SensorRow{e.firstSensorAddress + j + 1, {}, {}, {}});
    }
    return rows;
}

class SiteWatch {
  public:
    SiteWatch(int index, const Site& site, const WatchOptions& o, std::mutex& m)
        : m_index(index), m_site(site), m_o(o), m_m(m) {}

    void run() {
        // The link and the log live on this thread only.
        polllog::PollLog log;
        if (const QString why = log.open(m_o.log, polllog::PollLog::Access::Record, m_site.name);
            !why.isEmpty()) {
            tell(SiteEvent::Kind::Refused, why);
            tell(SiteEvent::Kind::Stopped, {});
            return;
        }
        log.makeOnAnyPoll();
        app::WorkingState state;
        app::loadLayout(m_site.entries, state);
        const app::ControllerLayout& layout = state.layout;
        bus::SerialLink link;
        SiteProgress progress(m_index, m_o, m_m);
        int failures = 0;
        qint64 prunedAt = 0;
        while (!stopping()) {
            SiteEvent e;
            e.timeMs = QDateTime::currentMSecsSinceEpoch();
            std::vector<polllog::SensorRow> rows;
            bool heard = false;
            if (!link.isOpen() && !link.OpenPort(m_site.line)) {
                e.text = link.lastOpenError().text().simplified();
                rows = silentRows(layout);
            } else {
                sensor::StatusGrid grid = sensor::generalStatusGrid();
                const sensor::PollResult r =
                    sensor::PollGeneralStatus(link, layout, progress, grid, false);
                if (r.stopped)
                    break; // a poll broken off is no poll
                for (const QStringList& cells : grid.rows)
                    if (auto row = polllog::rowOfGrid(cells))
                        rows.push_back(*row);
                e.asked = r.asked;
                e.answered = r.answered;
                heard = r.answered > 0;
                if (r.linkLost) {
                    // Hung up: a new connection for the next poll.
                    link.ClosePort();
                    e.text = QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");
                } else if (!heard) {
                    e.text = sensor::pollSummary(r);
                }
            }
            for (const polllog::SensorRow& r : rows)
                if (!r.normal())
                    ++e.notNormal;
            const auto kind = sensor::usesPerValuePoll(layout, false) ? polllog::PollKind::PerValue
                                                                      : polllog::PollKind::Combined;
            // A poll without answers is logged too: the log says since
            // when the site has been out of reach.
            const QString notLogged = log.record(rows, kind, e.timeMs);
            failures = heard ? 0 : failures + 1;
            e.nextInSeconds = heard ? m_site.everySeconds : retryPauseSeconds(m_o, failures);
            if (!notLogged.isEmpty()) {
                e.kind = SiteEvent::Kind::NotLogged;
                e.text = notLogged;
            } else {
                e.kind = heard ? SiteEvent::Kind::Polled : SiteEvent::Kind::Failed;
            }
            report(e);
            if (m_o.keepDays > 0 && e.timeMs - prunedAt >= kDayMs) {
                log.prune(e.timeMs - m_o.keepDays * kDayMs);
                prunedAt = e.timeMs;
            }
            log.checkpoint();
            pause(e.nextInSeconds);
        }
        link.ClosePort();
        tell(SiteEvent::Kind::Stopped, {});
    }

  private:
    bool stopping() const {
        return (m_o.stopBetweenPolls && m_o.stopBetweenPolls()) ||
               (m_o.stopAtOnce && m_o.stopAtOnce());
    }
    void pause(int seconds) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < seconds * 1000LL && !stopping())
            QThread::msleep(50);
    }
    void tell(SiteEvent::Kind kind, const QString& text) {
        SiteEvent e;
        e.kind = kind;
        e.text = text;
        e.timeMs = QDateTime::currentMSecsSinceEpoch();
        report(e);
    }
    void report(SiteEvent& e) {
        e.site = m_index;
        if (!m_o.report)
            return;
        const std::lock_guard lock(m_m);
        m_o.report(e);
    }

    int m_index;
    const Site& m_site;
    const WatchOptions& m_o;
    std::mutex& m_m;
};

} // namespace

int retryPauseSeconds(const WatchOptions& o, int failures) {
    qint64 pause = o.firstRetrySeconds;
    for (int i = 1; i < failures && pause < o.maxRetrySeconds; ++i)
        pause *= 2;
    return static_cast<int>(std::min<qint64>(pause, o.maxRetrySeconds));
}

void watchSites(const std::vector<Site>& sites, const WatchOptions& options) {
    std::mutex reporting;
    std::vector<std::unique_ptr<SiteWatch>> watches;
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        watches.push_back(
            std::make_unique<SiteWatch>(static_cast<int>(i), sites[i], options, reporting));
        threads.emplace_back(QThread::create([w = watches.back().get()] { w->run(); }));
        threads.back()->start();
    }
    for (auto& t : threads)
        t->wait();
}

} // namespace sites
