#pragma once

namespace bus {

// What a remote line adds to every answer, kept current from the answers'
// own timing the way TCP keeps its retransmission timer (RFC 6298): a
// smoothed round trip and its mean deviation. The wait added is the round
// trip plus four deviations, never below what the connect measured, never
// above kMaxMs: an answer the device itself took long over (a late device
// is a fault, not a slow network) cannot stretch every wait by seconds.
class RoundTripEstimate {
  public:
    static constexpr int kMaxMs = 1000;

    explicit RoundTripEstimate(int floorMs = 0);

    // One answer's round trip: from the request handed over to the answer
    // complete, less the far line's own character time.
    void sample(int ms);
    int waitMs() const;
    int floorMs() const { return m_floor; }

  private:
    int computedMs() const;

    int m_floor;
    double m_smoothed = -1; // nothing sampled yet
    double m_deviation = 0;
};

} // namespace bus
