#pragma once

#include "link/SystemText.h"

#include <QString>

#include <functional>
#include <memory>

namespace bus {

// Why a port could not be opened: the error box shows the caption (the
// decimal code followed by the suffix) over the system's message.
struct PortOpenError {
    int code = 0;
    QString suffix;
    QString message;     // the system's own text
    QString explanation; // what is wrong, in words the engineer can act on
    bool busy = false;   // another program holds the port

    QString caption() const { return QString::number(code) + suffix; }
    // The box's text: the explanation, then the system's text as a detail.
    QString text() const {
        const QString system = withRussianFileErrors(message);
        if (explanation.isEmpty() || system.isEmpty())
            return explanation.isEmpty() ? system : explanation;
        return explanation + QStringLiteral("\n\n") + system;
    }
};

// Caption suffixes of the port error box. The last letter of the second is
// a Latin O, as the installed base has always shown it.
inline const QString kSuffixPortUnavailable = QStringLiteral(" -ПОРТ НЕДОСТУПЕН");
inline const QString kSuffixDcbUnavailable = QStringLiteral(" -DCB НЕДОСТУПН") + QLatin1Char('O');

// One open serial line, real or simulated. All calls return at once except
// waitForActivity, which sleeps at most the given time.
class PortDevice {
  public:
    virtual ~PortDevice();

    virtual QString name() const = 0;
    // False once the port has gone (closed, or the adapter unplugged).
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    // Discards everything queued in both directions.
    virtual void purge() = 0;
    virtual bool write(const char* data, qsizetype size) = 0;
    // Characters not yet handed to the line.
    virtual qint64 bytesToWrite() = 0;
    // Reads what is queued, at most max characters; never waits.
    virtual qint64 read(char* data, qint64 max) = 0;
    // Sleeps until new input arrives, output drains, or ms have passed.
    virtual void waitForActivity(int ms) = 0;
    // The time the link's waits are measured in, in milliseconds. A simulated
    // line may run on a clock of its own.
    virtual qint64 clockMs() const;
    // What the way to the line adds to every answer (a network's round
    // trip); the link lengthens each wait for a reply by it.
    virtual int extraLatencyMs() const { return 0; }
    // Whether the way to the line can change its round trip; only then the
    // link times the answers.
    virtual bool timesAnswers() const { return false; }
    // An answer to the last request was complete ms after the request was
    // handed over, beyond the line's own character time.
    virtual void answerTimed(int ms) { (void)ms; }
};

// Opens a device by its port name; fills error on failure.
using PortOpener =
    std::function<std::unique_ptr<PortDevice>(const QString& name, PortOpenError& error)>;

} // namespace bus
