#pragma once

#include "link/LinkObserver.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

namespace bus {

// A line recording: every character out and in with its time, the port and
// its settings, and what the tool made of each frame, one record a line, so
// that grep, awk and a spreadsheet read it:
//
//   # ORVANT II line recording 1
//   MS <TAB> KIND <TAB> HEX <TAB> TEXT
//
// MS is milliseconds since the recording began; HEX the characters exactly
// as they went or came, two hex digits each (empty where none moved); TEXT
// what the tool shows of them. KIND is one of
//   port     the port and its settings, and the local start time (TEXT)
//   words    the command line of orvant2-cli that made it (TEXT)
//   >        a request frame sent; TEXT: to whom, the command, its payload
//   <        characters received; TEXT: them, control characters as <0D>
//   =        the end of a wait; TEXT: the reply's data or why there is none
//   !        a writing request refused in read-only, nothing sent
//   .        a pause between requests; TEXT: its length in ms
//   out      a line the command printed on standard output (TEXT)
//   exit     the command's exit code (TEXT)
// A recording holds the controllers' passwords where they went on the line.
inline const QByteArray kRecordingHeader = "# ORVANT II line recording 1";
inline const QString kLineSettings = QStringLiteral("9600 8N1");
// A recording larger than this is refused unread (a day on a busy line is
// far below it).
inline constexpr qint64 kMaxRecordingBytes = 256 * 1024 * 1024;

struct RecordLine {
    qint64 ms = 0;
    QString kind;
    QByteArray bytes;
    QString text;
};

// Collects the records; the owner writes them (text()) where it wants.
class LineRecorder final : public LinkObserver {
  public:
    explicit LineRecorder(const QString& portName);
    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
    void answerTaken(qint64 msecsSinceEpoch, Outcome outcome, int length) override;
    void idled(qint64 msecsSinceEpoch, int ms) override;
    void requestResumed(std::uint8_t address, std::uint8_t command) override;
    void writeRefused(qint64 msecsSinceEpoch, std::uint8_t address, std::uint8_t command) override;
    // A record of the front end's own (words, out, exit).
    void note(const QString& kind, const QString& text);
    QByteArray text() const;
    int records() const { return static_cast<int>(m_lines.size()); }

  private:
    void add(qint64 at, const QString& kind, QByteArrayView bytes, const QString& text);
    qint64 m_start = 0;
    QList<QByteArray> m_lines;
    LineMonitor m_monitor;
    QString m_said; // the monitor's last line
};

// A recording read back.
struct Recording {
    QString port;
    QStringList words; // empty when it was not made by orvant2-cli
    QList<RecordLine> lines;
    QStringList out;
    std::optional<int> exitCode;
};
// Nothing, with error set, when the text is not a recording.
std::optional<Recording> parseRecording(const QByteArray& text, QString* error);

// The answers of a recording by request: each request's characters with
// what came back after it and how long after, in the order they came.
class RecordedAnswers {
  public:
    struct Answer {
        QByteArray chars; // may be empty: nothing came
        int delayMs = 0;
    };
    explicit RecordedAnswers(const Recording& recording);
    // The next recorded answer to this request; nothing when the recording
    // holds no (more) answers to it.
    std::optional<Answer> next(const QByteArray& request);

  private:
    std::map<QByteArray, QList<Answer>> m_answers;
};

} // namespace bus
