#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace bus {

// Sees the line: each frame sent and each block of characters received, with
// the time (milliseconds since the epoch). For a traffic view or a trace;
// the link itself records nothing.
class LinkObserver {
  public:
    virtual ~LinkObserver() = default;
    virtual void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) = 0;
    virtual void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) = 0;
};

// Control characters shown as <0D> and the like, so a line stays one line.
QByteArray printableChars(QByteArrayView chars);
// A request frame as a monitor shows it: its characters, then the name the
// command bears for that address.
QByteArray describeRequest(QByteArrayView frame);

} // namespace bus
