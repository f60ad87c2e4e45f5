#pragma once

#include "link/LinkObserver.h"

namespace cli {

// --trace: every frame sent and every block received, on standard error.
class TraceObserver final : public bus::LinkObserver {
  public:
    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
};

} // namespace cli
