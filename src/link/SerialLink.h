#pragma once

#include "link/FrameCodec.h"
#include "link/LinkObserver.h"
#include "link/PortDevice.h"

#include <QHash>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace bus {

// The one connection to the installation: one transaction at a time,
// request frame out, reply frame in. Every wait calls the pump, so the
// window that owns the link stays alive; a transaction started from inside a
// pump (while another one waits) is refused.
class SerialLink {
  public:
    using Pump = std::function<void()>;

    SerialLink();
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Called in every wait; the UI gives one that processes its events.
    void setPump(Pump pump) { m_pump = std::move(pump); }
    void setObserver(LinkObserver* observer) { m_observer = observer; }
    // A further observer beside the one above (a recording of the line).
    void setRecorder(LinkObserver* recorder) { m_recorder = recorder; }
    // Ports with names of their own (the simulated installation) and extra
    // device paths that enumeration lists besides the system's serial ports.
    void addVirtualPort(const QString& name, PortOpener opener);
    void addExtraPort(const QString& path);

    // Port layer. An open port is closed first. On failure lastOpenError()
    // holds the error box's caption and text; an empty name fails silently.
    bool OpenPort(const QString& name);
    bool ClosePort();
    // Fills list with the usable ports; the open one comes marked with "*".
    // details, when given, gets what is known of each real port.
    int EnumeratePorts(QStringList& list, QHash<QString, QString>* details = nullptr);
    bool isOpen() const;
    // Whether a port of that name is there to be opened (a device path that
    // exists, or a port of our own).
    bool portAvailable(const QString& name) const;
    QString portName() const;
    // What the open port adds to every wait for a reply (a remote line's
    // round trip), in milliseconds.
    int extraLatencyMs() const { return m_device ? m_device->extraLatencyMs() : 0; }
    const PortOpenError& lastOpenError() const { return m_lastOpenError; }
    // Used by tests and the in-process simulator: adopt an opened device.
    void attach(std::unique_ptr<PortDevice> device);

    // Read-only: a request that writes (as the command catalogue tells from
    // its frame) is refused before a character of it leaves; its wait for an
    // answer ends at once with Outcome::ReadOnly.
    void setReadOnly(bool on) { m_readOnly = on; }
    bool readOnly() const { return m_readOnly; }
    // Writing requests refused since the link was made.
    quint64 writesRefused() const { return m_writesRefused; }
    // Refuses a request its caller knows to write (by its form), unsent.
    void refuseWrite(std::uint8_t address, std::uint8_t command);

    // Transaction.
    bool SendRequest(std::uint8_t address, std::uint8_t command,
                     std::span<const std::uint8_t> payload = {});
    int AwaitReply(int timeoutMs, bool checkAddress = true);
    int ReceiveRaw(int timeoutMs);
    int ParseReply();

    // Every character that came in since the link was made, kept or not.
    quint64 charactersReceived() const { return m_charactersReceived; }
    // Sound answers from sensors to commands that reach a sensor only
    // through a controller in transit, since the link was made: each proves
    // that a controller relays the line.
    quint64 relayedAnswers() const { return m_relayedAnswers; }
    // How the last wait for an answer ended (Silence until one ended since
    // the last request went out).
    Outcome lastOutcome() const { return m_lastOutcome; }
    // Whether the adapter hears its own transmitter (two-wire RS-485): learnt
    // from the answers, anew for every port opened.
    enum class Echo { Unknown, Heard, None };
    Echo echo() const { return m_echo; }
    // The answer taken last was the request's own characters: a device that
    // answers a write with its new value sends just that, but so does an
    // adapter that began to echo after the line was judged echo-free. A
    // write whose answer never equals its request is not confirmed by one.
    bool answerCopiesRequest() const { return m_answerCopiesRequest; }
    // A pause between requests that keeps the window alive.
    void Idle(int ms);
    // True while a wait is in progress (a pump is running).
    bool busy() const { return m_waitDepth > 0; }

    // Last request and decoded reply. Data byte i of the reply is data(i).
    std::uint8_t lastAddress() const { return m_lastAddress; }
    std::uint8_t lastCommand() const { return m_lastCommand; }
    std::uint8_t replyAddress() const { return m_reply.address; }
    std::uint8_t replyCommand() const { return m_reply.command; }
    std::uint8_t replyLength() const { return m_reply.length; }
    std::uint8_t replyFirstByte() const { return m_reply.firstByte; }
    std::uint8_t data(int i) const { return i >= 0 && i < kBufferSize ? m_rx[i] : 0; }
    const std::uint8_t* receiveBuffer() const { return m_rx.data(); }

  private:
    struct WaitScope;
    // Waits, pumping, until done() or the time is up; false on time-out or
    // when the port goes away.
    bool waitUntil(qint64 deadline, const std::function<bool()>& done);
    void pause(int ms);
    bool collectInput();
    // True once a reply is complete; drops the echo of the request first.
    bool replyArrived();
    void dropReceived(int count);
    // How a wait that took nothing ended.
    Outcome nothingCame() const;
    // The receive half of ReceiveRaw and AwaitReply.
    int receive(int timeoutMs);
    // Asks the device just addressed for its version to learn whether the
    // adapter echoes; true when it does not (the copy was the answer).
    bool discloseEcho();
    void tell(Outcome outcome, int length);
    // Tells the device how long the answer just taken was on its way.
    void timeAnswer();

    std::unique_ptr<PortDevice> m_device;
    Pump m_pump;
    LinkObserver* m_observer = nullptr;
    LinkObserver* m_recorder = nullptr;
    // The observers there are, the recorder first: it sees each event before
    // a monitor that may take its time over it.
    std::array<LinkObserver*, 2> observers() const { return {m_recorder, m_observer}; }
    std::vector<std::pair<QString, PortOpener>> m_virtualPorts;
    QStringList m_extraPorts;
    PortOpenError m_lastOpenError;

    Buffer m_tx{};
    Buffer m_rx{};
    int m_rxCount = 0;
    int m_txLength = 0;
    Echo m_echo = Echo::Unknown;
    // Until the first complete frame of an answer has been looked at, it may
    // still be the request coming back.
    bool m_echoUnsettled = false;
    // The answer's first frame was not the request's characters.
    bool m_firstFrameDiffers = false;
    // The request's characters came back in this transaction.
    bool m_requestCameBack = false;
    bool m_answerCopiesRequest = false;
    bool m_disclosing = false;
    std::uint8_t m_lastAddress = 0;
    std::uint8_t m_lastCommand = 0;
    ReplyFields m_reply;
    int m_waitDepth = 0;
    // When the request's last character was handed over, and when its
    // answer was complete (-1: not timed) with the characters then held,
    // on the device's clock.
    qint64 m_sentAt = 0;
    qint64 m_completeAt = -1;
    int m_completeCount = 0;
    quint64 m_charactersReceived = 0;
    quint64 m_relayedAnswers = 0;
    Outcome m_lastOutcome = Outcome::Silence;
    bool m_readOnly = false;
    // The last request was refused: its wait ends at once.
    bool m_refused = false;
    quint64 m_writesRefused = 0;
};

} // namespace bus
