#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <functional>

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

// Received characters arrive a few at a time at 9600 baud; a monitor shows
// one line per reply. This gathers them up to each "*" and the CR after it
// (or up to the next request, when a reply never ends), keeping the time of
// its first character.
class ReceivedLines {
  public:
    using Line = std::function<void(qint64 msecsSinceEpoch, const QByteArray& chars)>;
    explicit ReceivedLines(Line line) : m_line(std::move(line)) {}
    void add(qint64 msecsSinceEpoch, QByteArrayView chars);
    // What is pending goes out as it is (a request is about to be shown).
    void flush();

  private:
    Line m_line;
    QByteArray m_pending;
    qint64 m_since = 0;
    bool m_starSeen = false;
};

// Control characters shown as <0D> and the like, so a line stays one line.
QByteArray printableChars(QByteArrayView chars);
// A request frame as a monitor shows it: its characters, then the name the
// command bears for that address.
QByteArray describeRequest(QByteArrayView frame);

} // namespace bus
