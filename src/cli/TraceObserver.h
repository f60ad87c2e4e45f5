#pragma once

#include "link/LinkObserver.h"

namespace cli {

// --trace: every frame sent and every reply received, one line each, on
// standard error.
class TraceObserver final : public bus::LinkObserver {
  public:
    TraceObserver();
    ~TraceObserver() override;
    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;

  private:
    bus::ReceivedLines m_received;
};

} // namespace cli
