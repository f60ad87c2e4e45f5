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

// The longest a waited-for connect sleeps before it calls the pump again.
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
    // The reason below is in the engineer's words: the system's own text
    // (in English outside the window) would only say it again.
    err.message.clear();
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
    bool done = false;
    RemoteConnect connect(name, [&done] { done = true; });
    // Waited for in the event loop, a slice at a time: the host lookup, the
    // connect and the agreement run there, and the caller's pump keeps a
    // window alive.
    while (!done) {
        if (pump)
            pump();
        QEventLoop loop;
        QTimer::singleShot(kSliceMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    error = connect.error();
    return connect.takeDevice();
}

RemoteConnect::RemoteConnect(const QString& name, std::function<void()> done, QObject* parent)
    : QObject(parent), m_name(name), m_done(std::move(done)) {
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, this, &RemoteConnect::timeUp);
    // Begun from the event loop, so that done never comes from inside the
    // constructor, whatever fails.
    QTimer::singleShot(0, this, &RemoteConnect::start);
}

RemoteConnect::~RemoteConnect() {
    if (m_device)
        m_device->close();
}

void RemoteConnect::start() {
    const std::optional<RemoteLine> line = remoteLineOf(m_name);
    if (!line || line->port == 0) {
        PortOpenError error;
        error.suffix = kSuffixPortUnavailable;
        error.explanation =
            QStringLiteral("Адрес %1 не понят: нужно tcp://узел:порт или rfc2217://узел:порт.")
                .arg(m_name);
        fail(error);
        return;
    }
    m_line = *line;
    m_device.reset(new TcpPortDevice);
    m_device->m_name = m_name;
    m_device->m_line = m_line;
    QTcpSocket& s = m_device->m_socket;
    // From the first packet out to the far end's answer: the handshake is a
    // round trip, the only one a raw line allows before the first request.
    QObject::connect(&s, &QAbstractSocket::stateChanged, this,
                     [this](QAbstractSocket::SocketState state) {
                         if (state == QAbstractSocket::ConnectingState)
                             m_handshake.start();
                     });
    QObject::connect(&s, &QAbstractSocket::connected, this, &RemoteConnect::connected);
    QObject::connect(&s, &QAbstractSocket::errorOccurred, this, &RemoteConnect::socketFailed);
    QObject::connect(&s, &QIODevice::readyRead, this, &RemoteConnect::agreeing);
    m_limit.start(TcpPortDevice::kConnectMs);
    s.connectToHost(m_line.host, m_line.port);
}

void RemoteConnect::connected() {
    if (m_stage != Stage::Connecting)
        return;
    if (m_handshake.isValid())
        m_handshakeNs = m_handshake.nsecsElapsed();
    QTcpSocket& s = m_device->m_socket;
    // Frames are short and wait for their answer: no coalescing.
    s.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!m_line.telnet) {
        m_device->m_trip = RoundTripEstimate(roundedUpMs(m_handshakeNs));
        finish();
        return;
    }
    // The far end's yes to the COM port option is the round trip we measure.
    // Binary both ways: a frame's carriage return must not become CR NUL.
    m_stage = Stage::Agreeing;
    const QByteArray opening = command(kWill, TelnetDecoder::kComPort) +
                               command(kWill, TelnetDecoder::kBinary) +
                               command(kDo, TelnetDecoder::kBinary);
    m_device->m_telnet.asked(TelnetDecoder::kComPort);
    m_device->m_telnet.asked(TelnetDecoder::kBinary);
    m_trip.start();
    m_limit.start(TcpPortDevice::kConnectMs);
    m_device->send(opening);
}

void RemoteConnect::agreeing() {
    if (m_stage != Stage::Agreeing)
        return;
    m_device->take();
    const std::optional<bool> accepted = m_device->m_telnet.comPortAccepted();
    if (!accepted)
        return;
    if (!*accepted) {
        fail(connectError(m_line, QAbstractSocket::UnsupportedSocketOperationError, QString(),
                          QStringLiteral("там не поддерживается управление портом (RFC 2217)")));
        return;
    }
    m_device->m_trip = RoundTripEstimate(roundedUpMs(m_trip.nsecsElapsed()));
    if (!m_device->send(lineSettings())) {
        fail(connectError(m_line, m_device->m_socket.error(), m_device->m_socket.errorString()));
        return;
    }
    finish();
}

void RemoteConnect::timeUp() {
    if (m_stage == Stage::Connecting)
        fail(connectError(m_line, QAbstractSocket::SocketTimeoutError, QString()));
    else if (m_stage == Stage::Agreeing)
        fail(connectError(m_line, QAbstractSocket::UnsupportedSocketOperationError, QString(),
                          QStringLiteral("нет ответа на согласование RFC 2217 за %1 с")
                              .arg(TcpPortDevice::kConnectMs / 1000)));
}

void RemoteConnect::socketFailed() {
    const QTcpSocket& s = m_device->m_socket;
    if (m_stage == Stage::Connecting)
        fail(connectError(m_line, s.error(), s.errorString()));
    else if (m_stage == Stage::Agreeing)
        fail(connectError(m_line, QAbstractSocket::UnsupportedSocketOperationError, QString(),
                          reasonOf(QAbstractSocket::RemoteHostClosedError, QString())));
}

void RemoteConnect::fail(PortOpenError error) {
    m_error = std::move(error);
    if (m_device) {
        m_device->m_socket.abort();
        m_device.reset();
    }
    finish();
}

void RemoteConnect::finish() {
    m_stage = Stage::Finished;
    m_limit.stop();
    // The device goes on alone from here.
    if (m_device)
        QObject::disconnect(&m_device->m_socket, nullptr, this, nullptr);
    // From the event loop, never from inside a socket's signal: done may
    // well destroy this connect.
    QTimer::singleShot(0, this, [this] {
        if (m_done)
            m_done();
    });
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
