#include "link/RoundTrip.h"

#include <algorithm>
#include <cmath>

namespace bus {

RoundTripEstimate::RoundTripEstimate(int floorMs) : m_floor(std::clamp(floorMs, 0, kMaxMs)) {}

void RoundTripEstimate::sample(int ms) {
    const double r = std::clamp(ms, 0, kMaxMs);
    if (m_smoothed < 0) {
        m_smoothed = r;
        m_deviation = r / 2;
    } else {
        m_deviation = 0.75 * m_deviation + 0.25 * std::abs(m_smoothed - r);
        m_smoothed = 0.875 * m_smoothed + 0.125 * r;
    }
}

int RoundTripEstimate::computedMs() const {
    if (m_smoothed < 0)
        return m_floor;
    return static_cast<int>(std::ceil(m_smoothed + 4 * m_deviation));
}

int RoundTripEstimate::waitMs() const {
    return std::clamp(computedMs(), m_floor, kMaxMs);
}

} // namespace bus
