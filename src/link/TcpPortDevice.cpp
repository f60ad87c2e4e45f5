#include "link/TcpPortDevice.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

namespace bus {
namespace {

constexpr unsigned char kSe = 240;
constexpr unsigned char kSb = 250;
constexpr unsigned char kWill = 251;
constexpr unsigned char kWont = 252;
constexpr unsigned char kDo = 253;
constexpr unsigned char kDont = 254;
constexpr unsigned char kIac = 255;

// COM port control commands, client to server.
constexpr unsigned char kSetBaudRate = 1;
constexpr unsigned char kSetDataSize = 2;
constexpr unsigned char kSetParity = 3;
constexpr unsigned char kSetStopSize = 4;
constexpr unsigned char kSetControl = 5;
constexpr unsigned char kPurgeData = 12;
constexpr unsigned char kParityNone = 1;
constexpr unsigned char kOneStopBit = 1;
constexpr unsigned char kNoFlowControl = 1;
constexpr unsigned char kPurgeBoth = 3;

// The longest the connect sleeps before it calls the pump again.
constexpr int kSliceMs = 10;

QByteArray command(unsigned char verb, unsigned char option) {
    QByteArray b;
    b.append(static_cast<char>(kIac));
    b.append(static_cast<char>(verb));
    b.append(static_cast<char>(option));
    return b;
}

QByteArray comPortCommand(unsigned char code, const QByteArray& value) {
    QByteArray b;
    b.append(static_cast<char>(kIac));
    b.append(static_cast<char>(kSb));
    b.append(static_cast<char>(TelnetDecoder::kComPort));
    b.append(static_cast<char>(code));
    b.append(telnetEscaped(value.constData(), value.size()));
    b.append(static_cast<char>(kIac));
    b.append(static_cast<char>(kSe));
    return b;
}

QByteArray oneByte(unsigned char value) {
    return QByteArray(1, static_cast<char>(value));
}

// 9600 8N1 without flow control, as the line's devices speak.
QByteArray lineSettings() {
    const QByteArray baud("\x00\x00\x25\x80", 4);
    return comPortCommand(kSetBaudRate, baud) + comPortCommand(kSetDataSize, oneByte(8)) +
           comPortCommand(kSetParity, oneByte(kParityNone)) +
           comPortCommand(kSetStopSize, oneByte(kOneStopBit)) +
           comPortCommand(kSetControl, oneByte(kNoFlowControl));
}

// Rounded up: a wait lengthened by too little is the worse mistake.
int roundedUpMs(qint64 ns) {
    return static_cast<int>((ns + 999'999) / 1'000'000);
}

QString reasonOf(QAbstractSocket::SocketError e, const QString& systemText) {
    switch (e) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("соединение отвергнуто (этот порт там никто не слушает)");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("узел не найден");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("нет ответа за %1 с").arg(TcpPortDevice::kConnectMs / 1000);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("та сторона закрыла соединение");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("сеть недоступна");
    default:
        return systemText;
    }
}

PortOpenError connectError(const RemoteLine& line, QAbstractSocket::SocketError e,
                           const QString& systemText, const QString& reason = {}) {
    PortOpenError err;
    err.code = static_cast<int>(e);
    err.suffix = kSuffixPortUnavailable;
    err.message = systemText;
    err.explanation = QStringLiteral("НЕТ СОЕДИНЕНИЯ С %1:%2: %3")
                          .arg(line.host)
                          .arg(line.port)
                          .arg(reason.isEmpty() ? reasonOf(e, systemText) : reason);
    return err;
}

} // namespace

std::optional<RemoteLine> remoteLineOf(const QString& name) {
    const QUrl url(name.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("tcp") && scheme != QLatin1String("rfc2217")))
        return std::nullopt;
    RemoteLine line;
    line.telnet = scheme == QLatin1String("rfc2217");
    line.host = url.host();
    const bool bare = url.path().isEmpty() || url.path() == QLatin1String("/");
    if (!line.host.isEmpty() && bare && url.port() > 0)
        line.port = static_cast<quint16>(url.port());
    return line;
}

bool isRemotePortName(const QString& name) {
    return remoteLineOf(name).has_value();
}

QByteArray telnetEscaped(const char* data, qsizetype size) {
    QByteArray out;
    out.reserve(size);
    for (qsizetype i = 0; i < size; ++i) {
        out.append(data[i]);
        if (static_cast<unsigned char>(data[i]) == kIac)
            out.append(data[i]);
    }
    return out;
}

void TelnetDecoder::feed(const char* bytes, qsizetype size, QByteArray& data, QByteArray& reply) {
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        switch (m_state) {
        case State::Data:
            if (b == kIac)
                m_state = State::Iac;
            else
                data.append(static_cast<char>(b));
            break;
        case State::Iac:
            if (b == kIac) {
                data.append(static_cast<char>(b));
                m_state = State::Data;
            } else if (b >= kWill && b <= kDont) {
                m_verb = b;
                m_state = State::Option;
            } else {
                // Subnegotiation, or a command without an option (NOP, GA...).
                m_state = b == kSb ? State::Sub : State::Data;
            }
            break;
        case State::Option: {
            m_state = State::Data;
            // Only what we asked for is agreed; the rest is refused once, so
            // that two polite ends never argue in a loop.
            const bool ours = b == kBinary || b == kComPort;
            if (b == kComPort && (m_verb == kDo || m_verb == kDont))
                m_comPort = m_verb == kDo;
            if (m_verb == kDo || m_verb == kWill) {
                const bool agree = ours && !(m_verb == kWill && b == kComPort);
                if (agree && !m_asked.test(b)) {
                    reply += command(m_verb == kDo ? kWill : kDo, b);
                    m_asked.set(b);
                } else if (!agree && !m_refused.test(b)) {
                    reply += command(m_verb == kDo ? kWont : kDont, b);
                    m_refused.set(b);
                }
            }
            break;
        }
        case State::Sub:
            // The server's answers to our settings say nothing we act on.
            if (b == kIac)
                m_state = State::SubIac;
            break;
        case State::SubIac:
            m_state = b == kIac ? State::Sub : State::Data;
            break;
        }
    }
}

std::unique_ptr<TcpPortDevice> TcpPortDevice::open(const QString& name, PortOpenError& error,
                                                   const Pump& pump) {
    const std::optional<RemoteLine> line = remoteLineOf(name);
    if (!line || line->port == 0) {
        error.suffix = kSuffixPortUnavailable;
        error.explanation =
            QStringLiteral("Адрес %1 не понят: нужно tcp://узел:порт или rfc2217://узел:порт.")
                .arg(name);
        return nullptr;
    }
    std::unique_ptr<TcpPortDevice> dev(new TcpPortDevice);
    dev->m_name = name;
    dev->m_line = *line;
    QTcpSocket& s = dev->m_socket;
    QElapsedTimer clock;
    clock.start();
    // From the first packet out to the far end's answer: the handshake is a
    // round trip, the only one a raw line allows before the first request.
    QElapsedTimer handshake;
    qint64 handshakeNs = 0;
    const QObject scope;
    QObject::connect(&s, &QAbstractSocket::stateChanged, &scope,
                     [&](QAbstractSocket::SocketState state) {
                         if (state == QAbstractSocket::ConnectingState)
                             handshake.start();
                         else if (state == QAbstractSocket::ConnectedState && handshake.isValid())
                             handshakeNs = handshake.nsecsElapsed();
                     });
    s.connectToHost(line->host, line->port);
    // Waited for in the event loop, a slice at a time: the host lookup and
    // the connect run there, and the window stays alive through the pump.
    while (s.state() != QAbstractSocket::ConnectedState &&
           s.state() != QAbstractSocket::UnconnectedState && clock.elapsed() < kConnectMs) {
        if (pump)
            pump();
        QEventLoop loop;
        QTimer::singleShot(kSliceMs, &loop, &QEventLoop::quit);
        QObject::connect(&s, &QTcpSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(&s, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (s.state() != QAbstractSocket::ConnectedState) {
        const bool timedOut = s.state() != QAbstractSocket::UnconnectedState;
        error = connectError(*line, timedOut ? QAbstractSocket::SocketTimeoutError : s.error(),
                             timedOut ? QString() : s.errorString());
        s.abort();
        return nullptr;
    }
    // Frames are short and wait for their answer: no coalescing.
    s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!line->telnet) {
        dev->m_roundTripMs = roundedUpMs(handshakeNs);
        return dev;
    }

    // The far end's yes to the COM port option is the round trip we measure.
    // Binary both ways: a frame's carriage return must not become CR NUL.
    const QByteArray opening = command(kWill, TelnetDecoder::kComPort) +
                               command(kWill, TelnetDecoder::kBinary) +
                               command(kDo, TelnetDecoder::kBinary);
    dev->m_telnet.asked(TelnetDecoder::kComPort);
    dev->m_telnet.asked(TelnetDecoder::kBinary);
    QElapsedTimer trip;
    trip.start();
    dev->send(opening);
    while (!dev->m_telnet.comPortAccepted() && dev->isOpen() && trip.elapsed() < kConnectMs) {
        if (pump)
            pump();
        dev->waitForActivity(kSliceMs);
        dev->take();
    }
    const std::optional<bool> accepted = dev->m_telnet.comPortAccepted();
    if (!accepted || !*accepted) {
        const QString reason =
            !dev->isOpen() ? reasonOf(QAbstractSocket::RemoteHostClosedError, QString())
            : accepted     ? QStringLiteral("там не поддерживается управление портом (RFC 2217)")
                       : QStringLiteral("нет ответа на согласование RFC 2217 за %1 с")
                             .arg(kConnectMs / 1000);
        error = connectError(*line, QAbstractSocket::UnsupportedSocketOperationError, QString(),
                             reason);
        s.abort();
        return nullptr;
    }
    dev->m_roundTripMs = roundedUpMs(trip.nsecsElapsed());
    if (!dev->send(lineSettings())) {
        error = connectError(*line, s.error(), s.errorString());
        return nullptr;
    }
    return dev;
}

TcpPortDevice::~TcpPortDevice() {
    close();
}

bool TcpPortDevice::isOpen() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

void TcpPortDevice::close() {
    m_socket.abort();
}

bool TcpPortDevice::send(const QByteArray& bytes) {
    if (!isOpen() || m_socket.write(bytes) != bytes.size())
        return false;
    // Handed to the system now: without an event loop nothing else would.
    m_socket.flush();
    return true;
}

void TcpPortDevice::take() {
    if (!m_socket.isOpen() || m_socket.bytesAvailable() <= 0)
        return;
    const QByteArray bytes = m_socket.readAll();
    if (!m_line.telnet) {
        m_in += bytes;
        return;
    }
    QByteArray reply;
    m_telnet.feed(bytes.constData(), bytes.size(), m_in, reply);
    if (!reply.isEmpty())
        send(reply);
}

void TcpPortDevice::purge() {
    if (!isOpen())
        return;
    // Negotiation that arrived is still answered; only the line's characters go.
    take();
    m_in.clear();
    if (m_line.telnet)
        send(comPortCommand(kPurgeData, oneByte(kPurgeBoth)));
}

bool TcpPortDevice::write(const char* data, qsizetype size) {
    return send(m_line.telnet ? telnetEscaped(data, size) : QByteArray(data, size));
}

qint64 TcpPortDevice::bytesToWrite() {
    if (!isOpen())
        return 0;
    if (m_socket.bytesToWrite() > 0)
        m_socket.flush();
    return m_socket.bytesToWrite();
}

qint64 TcpPortDevice::read(char* data, qint64 max) {
    take();
    const qint64 n = std::min<qint64>(max, m_in.size());
    std::copy(m_in.constData(), m_in.constData() + n, data);
    m_in.remove(0, n);
    return n;
}

void TcpPortDevice::waitForActivity(int ms) {
    if (!isOpen() || !m_in.isEmpty() || m_socket.bytesAvailable() > 0)
        return;
    if (m_socket.bytesToWrite() > 0)
        m_socket.waitForBytesWritten(ms);
    else
        m_socket.waitForReadyRead(ms);
}

} // namespace bus
