#pragma once

#include "link/LinkObserver.h"

namespace cli {

// --trace: every frame sent and every block received, on standard error.
class TraceObserver final : public bus::LinkObserver {
  public:
    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
};

// Control characters shown as <0D> and the like, so a line stays one line.
QByteArray printableChars(QByteArrayView chars);

} // namespace cli
