#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <functional>

namespace bus {

// Sees the line: each frame sent and each block of characters received, with
// the time (milliseconds since the epoch). For a traffic view or a trace;
// the link itself records nothing.
// How a wait for an answer ended.
enum class Outcome {
    Reply,        // a reply with data (length given)
    Raw,          // characters taken without decoding (count given)
    Silence,      // nothing complete came within the wait
    EchoOnly,     // only the request's own echo came back
    BadFrame,     // a frame that does not decode (checksum, layout)
    OtherCommand, // a sound frame naming another command (a late answer)
    OtherAddress, // a sound frame from another address
    ReadOnly,     // a writing request refused in read-only: nothing was sent
};

// What the link says of a writing request it refused in read-only.
inline const QString kReadOnlyRefusal = QStringLiteral("ТОЛЬКО ЧТЕНИЕ: запись не отправлена");
// What the window's title and status line show while read-only is on.
inline const QString kReadOnlyMark = QStringLiteral("ТОЛЬКО ЧТЕНИЕ");

class LinkObserver {
  public:
    virtual ~LinkObserver() = default;
    virtual void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) = 0;
    virtual void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) = 0;
    // The end of a wait; length is the reply's data length or the raw count.
    virtual void answerTaken(qint64 /*msecsSinceEpoch*/, Outcome /*outcome*/, int /*length*/) {}
    // A pause an operation takes between requests (the device needs it).
    virtual void idled(qint64 /*msecsSinceEpoch*/, int /*ms*/) {}
    // The wait for an earlier request goes on after a request in between
    // (the version read that tells whether the adapter echoes).
    virtual void requestResumed(std::uint8_t /*address*/, std::uint8_t /*command*/) {}
    // A writing request refused in read-only: not a character of it went out.
    virtual void writeRefused(qint64 /*msecsSinceEpoch*/, std::uint8_t /*address*/,
                              std::uint8_t /*command*/) {}
};

// The line as an engineer reads it: one line per request and per answer,
// with the time, the direction, whom it goes to (controller or sensor
// number as the window shows them), the command's name, the payload or
// data in hex and what became of the answer. The raw characters follow.
class LineMonitor final : public LinkObserver {
  public:
    using Line = std::function<void(const QString& line)>;
    explicit LineMonitor(Line line);
    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
    void answerTaken(qint64 msecsSinceEpoch, Outcome outcome, int length) override;
    void requestResumed(std::uint8_t address, std::uint8_t command) override;
    void writeRefused(qint64 msecsSinceEpoch, std::uint8_t address, std::uint8_t command) override;
    // Received characters no wait took: shown as they are.
    void flush();

  private:
    Line m_line;
    QByteArray m_pending;
    qint64 m_pendingSince = 0;
    std::uint8_t m_address = 0;
    std::uint8_t m_command = 0;
};

// Whom an address is, as the window numbers them.
QString addressText(std::uint8_t address);

// Control characters shown as <0D> and the like, so a line stays one line.
QByteArray printableChars(QByteArrayView chars);

} // namespace bus
