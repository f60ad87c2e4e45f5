#pragma once

#include "link/LinkObserver.h"
#include "sim/Scenario.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// What the benchmarks share: the characters a transfer put on the wire, and
// how long the window would have stood still.

// Controller 0 serving sensors 0..3, answering after turnaroundMs.
inline sim::Scenario oneController(int turnaroundMs) {
    sim::Scenario scenario;
    scenario.type = 1;
    scenario.turnaroundMs = turnaroundMs;
    scenario.controllers.push_back({0, 0, 4, sim::Fault::None});
    return scenario;
}

// Characters both ways and the requests sent.
struct WireCounter : bus::LinkObserver {
    qint64 chars = 0;
    int requests = 0;
    void frameSent(qint64, QByteArrayView f) override {
        chars += f.size();
        ++requests;
    }
    void charactersReceived(qint64, QByteArrayView c) override { chars += c.size(); }
    // The time the characters need at 9600 baud, 10 bits each.
    double wireMs() const { return chars * 10.0 * 1000.0 / 9600.0; }
};

// A 1 ms timer stands for the user's events: the longest gap between its
// ticks is how long the window would not have reacted.
class GapProbe {
  public:
    GapProbe() {
        m_clock.start();
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0)
                m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            ++m_ticks;
        });
        m_timer.start();
    }
    double longestMs() const { return m_longest / 1e6; }
    int ticks() const { return m_ticks; }

  private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = -1;
    qint64 m_longest = 0;
    int m_ticks = 0;
};
