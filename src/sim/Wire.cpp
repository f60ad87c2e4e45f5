#include "sim/Wire.h"

#include <algorithm>

namespace sim {

Wire::Wire(std::shared_ptr<Installation> installation, bool wireTime, Cpu cpu)
    : m_installation(std::move(installation)), m_wireTime(wireTime), m_cpu(cpu) {}

void Wire::send(QByteArrayView chars, Clock::time_point now) {
    m_txDoneAt = std::max(now, m_txDoneAt);
    // The adapter's own receiver hears each character as it goes out.
    if (m_installation->echoes())
        schedule({m_wireTime ? m_txDoneAt : m_txDoneAt - kCharTime, chars.toByteArray(), 0});
    for (char c : chars) {
        if (m_wireTime)
            m_txDoneAt += kCharTime;
        m_request.append(c);
        // Requests end with CR; the device answers once it has it all.
        if (c != '\r')
            continue;
        const auto out = m_installation->respond(m_request, m_cpu);
        m_request.clear();
        if (!out)
            continue;
        const Clock::time_point start = m_txDoneAt + std::chrono::milliseconds(out->delayMs);
        schedule({m_wireTime ? start : start - kCharTime, out->chars, 0});
    }
    // A runaway sender without CR must not grow the device's buffer forever.
    if (m_request.size() > bus::kBufferSize)
        m_request.clear();
}

void Wire::schedule(InFlight f) {
    // Answers of different delays may overtake each other.
    const auto at = std::upper_bound(m_inFlight.begin(), m_inFlight.end(), f.start,
                                     [](auto t, const InFlight& g) { return t < g.start; });
    m_inFlight.insert(at, std::move(f));
}

qsizetype Wire::arrivedCount(const InFlight& f, Clock::time_point now) const {
    if (now < f.start + kCharTime)
        return 0;
    if (!m_wireTime)
        return f.chars.size();
    const auto n = (now - f.start) / kCharTime;
    return std::min<qsizetype>(static_cast<qsizetype>(n), f.chars.size());
}

QByteArray Wire::takeArrived(Clock::time_point now) {
    QByteArray out;
    while (!m_inFlight.empty()) {
        InFlight& f = m_inFlight.front();
        const qsizetype n = arrivedCount(f, now);
        out.append(f.chars.sliced(f.taken, n - f.taken));
        f.taken = n;
        if (f.taken < f.chars.size())
            break;
        m_inFlight.pop_front();
    }
    return out;
}

void Wire::discardArrived(Clock::time_point now) {
    takeArrived(now);
}

std::optional<Wire::Clock::time_point> Wire::nextArrival() const {
    if (m_inFlight.empty())
        return std::nullopt;
    const InFlight& f = m_inFlight.front();
    if (!m_wireTime)
        return f.start + kCharTime;
    return f.start + kCharTime * (f.taken + 1);
}

} // namespace sim
