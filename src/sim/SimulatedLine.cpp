#include "sim/SimulatedLine.h"

#include <thread>

namespace sim {

SimulatedLine::SimulatedLine(std::shared_ptr<Installation> installation, bool wireTime,
                             bool virtualTime, Cpu cpu)
    : m_wire(std::move(installation), wireTime, cpu), m_virtualTime(virtualTime), m_cpu(cpu),
      m_virtualNow(Wire::Clock::now()) {}

Wire::Clock::time_point SimulatedLine::now() const {
    return m_virtualTime ? m_virtualNow : Wire::Clock::now();
}

void SimulatedLine::sleepUntil(Wire::Clock::time_point t) {
    if (m_virtualTime)
        m_virtualNow = std::max(m_virtualNow, t);
    else
        std::this_thread::sleep_until(t);
}

void SimulatedLine::advance(std::chrono::milliseconds ms) {
    sleepUntil(now() + ms);
}

qint64 SimulatedLine::clockMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now().time_since_epoch()).count();
}

void SimulatedLine::collect() {
    m_inbox.append(m_wire.takeArrived(now()));
}

void SimulatedLine::purge() {
    m_inbox.clear();
    m_wire.discardArrived(now());
}

bool SimulatedLine::write(const char* data, qsizetype size) {
    if (!m_open)
        return false;
    m_wire.send(QByteArrayView(data, size), now());
    return true;
}

qint64 SimulatedLine::bytesToWrite() {
    const auto left = m_wire.sendingDoneAt() - now();
    if (!m_open || left <= Wire::Clock::duration::zero())
        return 0;
    return 1 + left / Wire::kCharTime;
}

qint64 SimulatedLine::read(char* data, qint64 max) {
    if (!m_open)
        return 0;
    collect();
    const qint64 n = std::min<qint64>(max, m_inbox.size());
    std::copy(m_inbox.constData(), m_inbox.constData() + n, data);
    m_inbox.remove(0, n);
    return n;
}

void SimulatedLine::waitForActivity(int ms) {
    if (!m_open)
        return;
    const auto t = now();
    auto until = t + std::chrono::milliseconds(ms);
    if (m_wire.sendingDoneAt() > t)
        until = std::min(until, m_wire.sendingDoneAt());
    // Characters that have already arrived are no news.
    if (const auto next = m_wire.nextArrival(); next && *next > t)
        until = std::min(until, *next);
    sleepUntil(until);
}

bus::PortOpener simulatedPortOpener(std::shared_ptr<Installation> installation, bool wireTime,
                                    bool virtualTime) {
    return [installation, wireTime, virtualTime](
               const QString& name, bus::PortOpenError&) -> std::unique_ptr<bus::PortDevice> {
        const Cpu cpu = name == SimulatedLine::kKeyboardPortName ? Cpu::Keyboard : Cpu::Main;
        return std::make_unique<SimulatedLine>(installation, wireTime, virtualTime, cpu);
    };
}

} // namespace sim
