#include "link/SerialLink.h"

#include "link/Command.h"
#include "link/PortCatalogue.h"
#include "link/SerialPortDevice.h"
#include "link/TcpPortDevice.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace bus {
namespace {

// The longest a wait sleeps before it calls the pump again.
constexpr int kSliceMs = 2;
// Gap before each request, so that a line driver has turned round.
constexpr int kTurnaroundMs = 5;
// A write that has not drained by then is taken as failed.
constexpr int kDrainLimitMs = 2000;
// The version read: controllers and sensors alike answer it with text.
constexpr std::uint8_t kEchoDisclosureCommand = 0x01;
// An echo comes at once; this is ample for it.
constexpr int kEchoDisclosureMs = 300;

// An answer's time less what the far line itself needs for both frames
// (9600 baud, 10 bits a character): what the way there and back added.
int wayMs(qint64 elapsedMs, int characters) {
    const qint64 lineMs = (static_cast<qint64>(characters) * 10'000 + 9'599) / 9'600;
    return static_cast<int>(std::max<qint64>(0, elapsedMs - lineMs));
}

} // namespace

struct SerialLink::WaitScope {
    explicit WaitScope(SerialLink& l) : link(l) { ++link.m_waitDepth; }
    ~WaitScope() { --link.m_waitDepth; }
    SerialLink& link;
};

SerialLink::SerialLink() = default;

SerialLink::~SerialLink() {
    if (m_device)
        m_device->close();
}

void SerialLink::addVirtualPort(const QString& name, PortOpener opener) {
    m_virtualPorts.emplace_back(name, std::move(opener));
}

void SerialLink::addExtraPort(const QString& path) {
    if (!m_extraPorts.contains(path))
        m_extraPorts.append(path);
}

bool SerialLink::isOpen() const {
    return m_device && m_device->isOpen();
}

bool SerialLink::portAvailable(const QString& name) const {
    const bool ours = std::any_of(m_virtualPorts.begin(), m_virtualPorts.end(),
                                  [&](const auto& p) { return p.first == name; });
    // A remote line is only known to be there by connecting to it.
    return ours || isRemotePortName(name) || QFileInfo::exists(name);
}

QString SerialLink::portName() const {
    return m_device ? m_device->name() : QString();
}

void SerialLink::attach(std::unique_ptr<PortDevice> device) {
    if (m_device)
        m_device->close();
    m_device = std::move(device);
    m_rxCount = 0;
    m_echo = Echo::Unknown;
}

bool SerialLink::OpenPort(const QString& name) {
    if (name.isEmpty())
        return false;
    if (m_device && !ClosePort())
        return false;
    m_lastOpenError = {};
    std::unique_ptr<PortDevice> dev;
    auto virtualPort = std::find_if(m_virtualPorts.begin(), m_virtualPorts.end(),
                                    [&](const auto& p) { return p.first == name; });
    if (virtualPort != m_virtualPorts.end()) {
        dev = virtualPort->second(name, m_lastOpenError);
    } else if (isRemotePortName(name)) {
        // The connect pumps: nothing may start a transaction meanwhile.
        WaitScope scope(*this);
        dev = TcpPortDevice::open(name, m_lastOpenError, m_pump);
    } else {
        dev = SerialPortDevice::open(name, m_lastOpenError);
    }
    if (!dev)
        return false;
    m_device = std::move(dev);
    m_rxCount = 0;
    // Another adapter may or may not echo.
    m_echo = Echo::Unknown;
    return true;
}

bool SerialLink::ClosePort() {
    // Closing under a waiting transaction would pull the port from under it.
    if (busy())
        return false;
    if (m_device) {
        m_device->close();
        m_device.reset();
    }
    return true;
}

int SerialLink::EnumeratePorts(QStringList& list, QHash<QString, QString>* details) {
    list.clear();
    const QString current = isOpen() ? m_device->name() : QString();
    QStringList names;
    for (const auto& p : m_virtualPorts)
        names.append(p.first);
    names.append(m_extraPorts);
    // Real ports only, and none opened to look at it: opening toggles the
    // modem lines of some adapters.
    for (const PortEntry& p : listSerialPorts()) {
        if (!names.contains(p.path))
            names.append(p.path);
        if (details)
            details->insert(p.path, p.detail);
    }
    for (const QString& name : names)
        list.append(name == current ? QLatin1Char('*') + name : name);
    return static_cast<int>(list.size());
}

bool SerialLink::waitUntil(qint64 deadline, const std::function<bool()>& done) {
    WaitScope scope(*this);
    for (;;) {
        if (done())
            return true;
        if (!isOpen())
            return false;
        const qint64 left = deadline - m_device->clockMs();
        if (left <= 0)
            return false;
        if (m_pump)
            m_pump();
        if (!isOpen())
            return false;
        m_device->waitForActivity(static_cast<int>(std::min<qint64>(left, kSliceMs)));
    }
}

void SerialLink::Idle(int ms) {
    if (busy() || !isOpen())
        return;
    for (LinkObserver* o : observers())
        if (o)
            o->idled(QDateTime::currentMSecsSinceEpoch(), ms);
    pause(ms);
}

void SerialLink::pause(int ms) {
    waitUntil(m_device->clockMs() + ms, [] { return false; });
}

void SerialLink::refuseWrite(std::uint8_t address, std::uint8_t command) {
    m_lastAddress = address;
    m_lastCommand = command;
    m_refused = true;
    ++m_writesRefused;
    m_lastOutcome = Outcome::ReadOnly;
    for (LinkObserver* o : observers())
        if (o)
            o->writeRefused(QDateTime::currentMSecsSinceEpoch(), address, command);
}

bool SerialLink::SendRequest(std::uint8_t address, std::uint8_t command,
                             std::span<const std::uint8_t> payload) {
    if (busy() || !isOpen())
        return false;
    // The last guard: whatever path a writing request took to get here.
    if (m_readOnly && requestWrites(address, command, payload.size())) {
        refuseWrite(address, command);
        return false;
    }
    m_refused = false;
    const int length = encodeRequest(m_tx, address, command, payload);
    if (length < 0)
        return false;
    m_lastAddress = address;
    m_lastCommand = command;
    m_lastOutcome = Outcome::Silence;
    pause(kTurnaroundMs);
    if (!isOpen())
        return false;
    // Purged right before the frame goes out, so that nothing an earlier
    // request brought, not even during the pause, reaches this transaction.
    m_device->purge();
    m_rxCount = 0;
    m_txLength = length;
    m_echoUnsettled = true;
    m_firstFrameDiffers = false;
    m_requestCameBack = false;
    m_answerCopiesRequest = false;
    const char* frame = reinterpret_cast<const char*>(m_tx.data());
    bool written = m_device->write(frame, length);
    for (LinkObserver* o : observers())
        if (o)
            o->frameSent(QDateTime::currentMSecsSinceEpoch(), QByteArrayView(frame, length));
    if (written)
        written = waitUntil(m_device->clockMs() + kDrainLimitMs,
                            [this] { return m_device->bytesToWrite() == 0; });
    if (m_device)
        m_sentAt = m_device->clockMs();
    return written;
}

void SerialLink::timeAnswer() {
    // Only an answer within its wait is timed: one that came later cannot be
    // told from a device that is late itself, a fault no wait should learn.
    if (m_completeAt >= 0 && m_device && m_device->timesAnswers())
        m_device->answerTimed(wayMs(m_completeAt - m_sentAt, m_txLength + m_completeCount));
}

bool SerialLink::collectInput() {
    char chunk[256];
    for (;;) {
        const qint64 n = m_device->read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        m_charactersReceived += static_cast<quint64>(n);
        for (LinkObserver* o : observers())
            if (o)
                o->charactersReceived(QDateTime::currentMSecsSinceEpoch(),
                                      QByteArrayView(chunk, n));
        // Only the first kBufferSize characters are kept; the rest is dropped.
        const qint64 room = std::min<qint64>(n, kBufferSize - m_rxCount);
        std::copy(chunk, chunk + room, m_rx.begin() + m_rxCount);
        m_rxCount += static_cast<int>(room);
        // A frame end beyond a full buffer still ends the reply.
        if (replyArrived() || std::find(chunk + room, chunk + n, kFrameEnd) != chunk + n)
            return true;
    }
    return false;
}

void SerialLink::dropReceived(int count) {
    std::copy(m_rx.begin() + count, m_rx.begin() + m_rxCount, m_rx.begin());
    m_rxCount -= count;
}

bool SerialLink::replyArrived() {
    const auto begin = m_rx.begin();
    const auto end = begin + m_rxCount;
    const auto star = std::find(begin, end, static_cast<std::uint8_t>(kFrameEnd));
    if (star == end)
        return false;
    if (!m_echoUnsettled)
        return true;
    // The request's characters, "@" to "*", ending the first frame (noise
    // may stand before them), are its echo or an answer equal to it.
    const int frameLength = m_txLength - 1;
    const int upTo = static_cast<int>(star - begin) + 1;
    const bool copy = upTo >= frameLength && std::equal(m_tx.begin(), m_tx.begin() + frameLength,
                                                        begin + upTo - frameLength);
    if (!copy || m_echo == Echo::None) {
        m_echoUnsettled = false;
        m_firstFrameDiffers = !copy;
        m_answerCopiesRequest = copy;
        return true;
    }
    int echoLength = upTo;
    if (echoLength < m_rxCount && m_rx[echoLength] == kCarriageReturn)
        ++echoLength;
    // Not knowing yet, the copy is held until a second frame shows it was
    // the echo; a lone copy is no answer: silence is safer than a write
    // believed on the strength of our own characters.
    m_requestCameBack = true;
    if (m_echo == Echo::Unknown) {
        if (std::find(begin + echoLength, end, static_cast<std::uint8_t>(kFrameEnd)) == end)
            return false;
        m_echo = Echo::Heard;
    }
    m_echoUnsettled = false;
    dropReceived(echoLength);
    return replyArrived();
}

void SerialLink::tell(Outcome outcome, int length) {
    m_lastOutcome = outcome;
    for (LinkObserver* o : observers())
        if (o)
            o->answerTaken(QDateTime::currentMSecsSinceEpoch(), outcome, length);
}

int SerialLink::receive(int timeoutMs) {
    if (busy() || !isOpen() || m_refused)
        return 0;
    m_rxCount = 0;
    // A reply is complete once its "*" has arrived; without one nothing counts.
    // The catalogue's waits are the devices' own; a remote line adds its
    // round trip to each.
    const qint64 deadline = m_device->clockMs() + timeoutMs + m_device->extraLatencyMs();
    m_completeAt = -1;
    if (waitUntil(deadline, [this] { return collectInput(); })) {
        m_completeAt = m_device->clockMs();
        m_completeCount = m_rxCount;
        return m_rxCount;
    }
    // A lone copy of the request before the adapter is known: the device's
    // answer equal to its request, or our own echo with nobody behind it.
    if (m_echo == Echo::Unknown && m_requestCameBack && !m_disclosing && isOpen() &&
        discloseEcho()) {
        const auto star =
            std::find(m_rx.begin(), m_rx.begin() + m_rxCount, static_cast<std::uint8_t>(kFrameEnd));
        m_rxCount = static_cast<int>(star - m_rx.begin()) + 1;
        m_requestCameBack = false;
        m_answerCopiesRequest = true;
        return m_rxCount;
    }
    m_rxCount = 0;
    return 0;
}

bool SerialLink::discloseEcho() {
    // An echoing adapter sends every request back; the version read has an
    // answer that never equals its request. So its copy coming first means
    // echo, and anything else (an answer, or nothing at all) means none.
    const Buffer tx = m_tx;
    const Buffer rx = m_rx;
    const int txLength = m_txLength;
    const int rxCount = m_rxCount;
    const std::uint8_t address = m_lastAddress;
    const std::uint8_t command = m_lastCommand;
    m_disclosing = true;
    int n = 0;
    if (SendRequest(address, kEchoDisclosureCommand)) {
        n = receive(kEchoDisclosureMs);
        tell(n > 0 ? Outcome::Raw : nothingCame(), n);
    }
    m_disclosing = false;
    const bool disclosed = isOpen();
    if (disclosed)
        m_echo = m_requestCameBack ? Echo::Heard : Echo::None;
    m_tx = tx;
    m_rx = rx;
    m_txLength = txLength;
    m_rxCount = rxCount;
    m_lastAddress = address;
    m_lastCommand = command;
    // The copy taken for the answer came long before: not timed.
    m_completeAt = -1;
    m_requestCameBack = true;
    for (LinkObserver* o : observers())
        if (o)
            o->requestResumed(address, command);
    return disclosed && m_echo == Echo::None;
}

Outcome SerialLink::nothingCame() const {
    if (m_refused)
        return Outcome::ReadOnly;
    return m_requestCameBack ? Outcome::EchoOnly : Outcome::Silence;
}

int SerialLink::ReceiveRaw(int timeoutMs) {
    const int n = receive(timeoutMs);
    tell(n > 0 ? Outcome::Raw : nothingCame(), n);
    return n;
}

int SerialLink::ParseReply() {
    if (busy() || !isOpen())
        return -1;
    const int length = parseReply(m_rx, m_rxCount, m_reply);
    // The characters are decoded in place; they cannot be parsed twice.
    m_rxCount = 0;
    return length;
}

int SerialLink::AwaitReply(int timeoutMs, bool checkAddress) {
    if (busy() || !isOpen())
        return -1;
    if (receive(timeoutMs) == 0) {
        tell(nothingCame(), 0);
        return -1;
    }
    const int length = ParseReply();
    Outcome outcome = Outcome::Reply;
    if (length < 0)
        outcome = Outcome::BadFrame;
    else if (m_reply.command != m_lastCommand)
        outcome = Outcome::OtherCommand;
    else if (checkAddress && m_reply.address != m_lastAddress)
        outcome = Outcome::OtherAddress;
    // A sound answer that came first, before any copy of the request: this
    // adapter does not echo.
    if (outcome == Outcome::Reply && m_firstFrameDiffers && m_echo == Echo::Unknown)
        m_echo = Echo::None;
    if (outcome == Outcome::Reply && answerProvesTransit(m_lastAddress, m_lastCommand))
        ++m_relayedAnswers;
    if (outcome == Outcome::Reply)
        timeAnswer();
    tell(outcome, length);
    return outcome == Outcome::Reply ? length : -1;
}

} // namespace bus
