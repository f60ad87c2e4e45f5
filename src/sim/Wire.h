#pragma once

#include "sim/Installation.h"

#include <QByteArray>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace sim {

// The line between the tool and the devices. With wire time on, every
// character takes 10 bit times at 9600 baud in either direction; otherwise
// characters move at once and only the devices' turnaround delays them.
class Wire {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::nanoseconds kCharTime{1'041'667};

    Wire(std::shared_ptr<Installation> installation, bool wireTime, Cpu cpu = Cpu::Main);

    // The tool puts characters on the line at time now.
    void send(QByteArrayView chars, Clock::time_point now);
    // When the last character sent has left the tool's transmitter.
    Clock::time_point sendingDoneAt() const { return m_txDoneAt; }
    // Device characters that have reached the tool by now.
    QByteArray takeArrived(Clock::time_point now);
    // Device characters that have arrived are dropped; those still on the
    // wire keep coming.
    void discardArrived(Clock::time_point now);
    // When the next device character reaches the tool, if any is on its way.
    std::optional<Clock::time_point> nextArrival() const;

  private:
    struct InFlight {
        Clock::time_point start; // the first character arrives one char time later
        QByteArray chars;
        qsizetype taken = 0;
    };
    qsizetype arrivedCount(const InFlight& f, Clock::time_point now) const;
    void schedule(InFlight f);

    std::shared_ptr<Installation> m_installation;
    bool m_wireTime;
    Cpu m_cpu;
    Clock::time_point m_txDoneAt{};
    QByteArray m_request;
    std::deque<InFlight> m_inFlight;
};

} // namespace sim
