#pragma once

#include "link/PortDevice.h"
#include "link/RoundTrip.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <bitset>
#include <optional>

namespace bus {

// Where a remote line is: tcp://HOST:PORT carries the line's characters as
// they are (a converter's TCP server mode); rfc2217://HOST:PORT speaks telnet
// with the COM port control option, so the far port is set to 9600 8N1 by us.
struct RemoteLine {
    bool telnet = false;
    QString host;
    quint16 port = 0;
};

// The remote line a port name names; nothing for a name that is no URL of
// ours. Malformed URLs of ours come back with port 0.
std::optional<RemoteLine> remoteLineOf(const QString& name);
bool isRemotePortName(const QString& name);

// Telnet's in-band signalling, taken apart as bytes arrive: the line's
// characters go to data, the answers owed to the far end to reply.
class TelnetDecoder {
  public:
    // Options we agree to on both sides; everything else is refused.
    static constexpr unsigned char kBinary = 0;
    static constexpr unsigned char kComPort = 44;

    void feed(const char* bytes, qsizetype size, QByteArray& data, QByteArray& reply);
    // Marks an option as asked for by us, so that the far end's yes is not
    // answered again (and a no is remembered).
    void asked(unsigned char option) { m_asked.set(option); }
    // The far end's answer to our WILL COM-PORT-OPTION: nothing yet, yes or no.
    std::optional<bool> comPortAccepted() const { return m_comPort; }

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    State m_state = State::Data;
    unsigned char m_verb = 0;
    std::bitset<256> m_asked;
    std::bitset<256> m_refused;
    std::optional<bool> m_comPort;
};

// Escapes the line's characters for telnet: 0xFF goes as IAC IAC.
QByteArray telnetEscaped(const char* data, qsizetype size);

// A serial line behind a TCP connection. No threads: every call works on
// the socket directly. It is made by a RemoteConnect.
class TcpPortDevice final : public PortDevice {
  public:
    using Pump = std::function<void()>;
    // Connects and waits for it, pumping: for callers with nothing else to
    // do meanwhile (the command-line tool, the watcher, tests). Nothing on
    // failure, error says why in the engineer's words.
    static std::unique_ptr<TcpPortDevice> open(const QString& name, PortOpenError& error,
                                               const Pump& pump);
    // The longest a connect (and, for telnet, the option agreement) may take.
    static constexpr int kConnectMs = 3000;

    ~TcpPortDevice() override;

    QString name() const override { return m_name; }
    bool isOpen() const override;
    void close() override;
    void purge() override;
    bool write(const char* data, qsizetype size) override;
    qint64 bytesToWrite() override;
    qint64 read(char* data, qint64 max) override;
    void waitForActivity(int ms) override;
    int extraLatencyMs() const override { return m_trip.waitMs(); }
    bool timesAnswers() const override { return true; }
    void answerTimed(int ms) override { m_trip.sample(ms); }
    // What the connect measured: the least the waits are lengthened by.
    int connectRoundTripMs() const { return m_trip.floorMs(); }

  private:
    friend class RemoteConnect;
    TcpPortDevice() = default;
    // Takes what the socket holds through the telnet decoder.
    void take();
    bool send(const QByteArray& bytes);

    QString m_name;
    RemoteLine m_line;
    QTcpSocket m_socket;
    TelnetDecoder m_telnet;
    QByteArray m_in;
    RoundTripEstimate m_trip;
};

// A connect to a remote line that nobody waits for: the event loop drives
// it, and done is called from there once, with the device or the reason.
// Destroying it ends a connect still under way at once, without done.
class RemoteConnect final : public QObject {
  public:
    RemoteConnect(const QString& name, std::function<void()> done, QObject* parent = nullptr);
    ~RemoteConnect() override;

    QString name() const { return m_name; }
    bool finished() const { return m_stage == Stage::Finished; }
    // The connected device, once; nothing when it failed.
    std::unique_ptr<TcpPortDevice> takeDevice() { return std::move(m_device); }
    const PortOpenError& error() const { return m_error; }

  private:
    enum class Stage { Connecting, Agreeing, Finished };
    void start();
    void connected();
    void agreeing();
    void timeUp();
    void socketFailed();
    void fail(PortOpenError error);
    void finish();

    QString m_name;
    RemoteLine m_line;
    std::function<void()> m_done;
    std::unique_ptr<TcpPortDevice> m_device;
    Stage m_stage = Stage::Connecting;
    QTimer m_limit;
    QElapsedTimer m_handshake;
    qint64 m_handshakeNs = 0;
    QElapsedTimer m_trip;
    PortOpenError m_error;
};

} // namespace bus
