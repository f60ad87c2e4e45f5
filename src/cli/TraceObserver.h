#pragma once

#include "link/LinkObserver.h"

namespace cli {

// --trace: the line monitor's lines on standard error.
class TraceObserver final : public bus::LinkObserver {
  public:
    TraceObserver();
    ~TraceObserver() override;
    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
    void answerTaken(qint64 msecsSinceEpoch, bus::Outcome outcome, int length) override;
    void writeRefused(qint64 msecsSinceEpoch, std::uint8_t address, std::uint8_t command) override;

  private:
    bus::LineMonitor m_monitor;
};

} // namespace cli
