#pragma once

#include "link/PortDevice.h"

#include <QByteArray>
#include <QTcpSocket>

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
// the socket directly, and the connect pumps like the link's waits.
class TcpPortDevice final : public PortDevice {
  public:
    using Pump = std::function<void()>;
    // Connects within kConnectMs (and, for telnet, agrees on the COM port
    // option); nothing on failure, error says why in the engineer's words.
    static std::unique_ptr<TcpPortDevice> open(const QString& name, PortOpenError& error,
                                               const Pump& pump);
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
    int extraLatencyMs() const override { return m_roundTripMs; }

  private:
    TcpPortDevice() = default;
    // Takes what the socket holds through the telnet decoder.
    void take();
    bool send(const QByteArray& bytes);

    QString m_name;
    RemoteLine m_line;
    QTcpSocket m_socket;
    TelnetDecoder m_telnet;
    QByteArray m_in;
    int m_roundTripMs = 0;
};

} // namespace bus
