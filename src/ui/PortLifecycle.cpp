#include "ui/PortLifecycle.h"

#include "app/LayoutConfig.h"
#include "link/PortNames.h"
#include "link/SerialLink.h"
#include "link/TcpPortDevice.h"
#include "sim/SimulatedLine.h"
#include "ui/WindowSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

namespace {

// How a port is named on its label: COMn where the name maps to a number,
// otherwise the device's file name.
QString portCaption(const QString& name) {
    if (name.isEmpty())
        return QString();
    if (const int n = bus::portNumberOfName(name); n > 0)
        return QStringLiteral("COM%1").arg(n);
    return QFileInfo(name).fileName();
}

// The simulated installation is no port to come back to next time.
bool isSimulatedPort(const QString& name) {
    return name == sim::SimulatedLine::kPortName || name == sim::SimulatedLine::kKeyboardPortName;
}

} // namespace

PortLifecycle::PortLifecycle(bus::SerialLink& link, app::WorkingState& state,
                             const app::ConfigFile& config, bus::PortOpener simulation,
                             QObject* parent)
    : QObject(parent), m_link(link), m_state(state), m_config(config) {
    if (simulation) {
        m_link.addVirtualPort(sim::SimulatedLine::kKeyboardPortName, simulation);
        m_link.addVirtualPort(sim::SimulatedLine::kPortName, std::move(simulation));
    }
    m_labels[0].caption = QStringLiteral("COM");
    m_timer = new QTimer(this);
    m_timer->setInterval(kWatchMs);
    connect(m_timer, &QTimer::timeout, this, &PortLifecycle::watch);
    m_timer->start();
}

PortLifecycle::Work::Work(PortLifecycle& ports)
    : m_ports(ports), m_outer(!ports.m_working), m_wasOpen(ports.m_link.isOpen()) {
    ports.m_working = true;
}

PortLifecycle::Work::~Work() {
    if (!m_outer)
        return;
    m_ports.m_working = false;
    if (m_wasOpen && !m_ports.m_link.isOpen())
        m_ports.markLost();
}

bool PortLifecycle::busy() const {
    return m_link.busy() || m_working;
}

void PortLifecycle::showRole(bool green) {
    roleLabel().green = green;
    emit labelsChanged();
}

void PortLifecycle::load(const app::ConfigEntries& entries, bool open) {
    const QString main =
        app::portFromConfig(app::ConfigFile::value(entries, QStringLiteral("MAIN_PORT")));
    const QString slave =
        app::portFromConfig(app::ConfigFile::value(entries, QStringLiteral("SLAVE_PORT")));
    if (!main.isEmpty()) {
        m_state.mainPort = main;
        m_labels[0].caption = portCaption(main);
    }
    m_state.slavePort = slave.isEmpty() ? m_state.mainPort : slave;
    m_labels[1].caption = portCaption(m_state.slavePort);
    // A port named is shown as chosen until it is tried.
    m_labels[0].green = !m_state.mainPort.isEmpty();
    m_labels[1].green = !m_state.slavePort.isEmpty();
    emit labelsChanged();
    if (open)
        choose(m_state.rolePort());
}

void PortLifecycle::useSimulatedKeyboardPort() {
    m_state.slavePort = sim::SimulatedLine::kKeyboardPortName;
    m_labels[1].caption = portCaption(m_state.slavePort);
    emit labelsChanged();
}

bool PortLifecycle::open(const QString& name) {
    if (name.isEmpty())
        return false;
    if (m_link.OpenPort(name))
        return true;
    // The label shows the port's state while the engineer reads why.
    showRole(false);
    emit openFailed(m_link.lastOpenError());
    return false;
}

void PortLifecycle::startConnect(const QString& name, Asker asker) {
    m_asker = asker;
    m_connectRole = m_state.portRole;
    m_connect = new bus::RemoteConnect(
        name, [this] { connectEnded(); }, this);
    Label& label = labelOf(m_connectRole);
    label.caption = kConnectingCaption;
    label.green = false;
    emit labelsChanged();
    if (asker != Asker::Reopen)
        emit connectingChanged(true);
}

void PortLifecycle::endConnect() {
    if (!m_connect)
        return;
    const Asker asker = m_asker;
    // Destroyed from the event loop: this may run inside its own call.
    m_connect->deleteLater();
    m_connect.clear();
    Label& label = labelOf(m_connectRole);
    label.caption =
        portCaption(m_connectRole == app::SlaveRole ? m_state.slavePort : m_state.mainPort);
    emit labelsChanged();
    if (asker != Asker::Reopen)
        emit connectingChanged(false);
}

void PortLifecycle::cancelConnect() {
    if (!m_connect)
        return;
    endConnect();
    m_reopenPath.clear();
    m_wasOpen = false;
    showRole(false);
}

void PortLifecycle::connectEnded() {
    if (!m_connect)
        return;
    // Nothing is put under an operation that runs: it gets the line once done.
    if (busy()) {
        QTimer::singleShot(20, this, &PortLifecycle::connectEnded);
        return;
    }
    const QString name = m_connect->name();
    std::unique_ptr<bus::TcpPortDevice> device = m_connect->takeDevice();
    const bus::PortOpenError error = m_connect->error();
    const Asker asker = m_asker;
    const int role = m_state.portRole;
    m_state.portRole = m_connectRole;
    endConnect();
    const bool ok = device != nullptr;
    if (ok) {
        m_link.attach(std::move(device));
        rememberIfRemote(name);
        m_retryMs = kWatchMs;
    }
    switch (asker) {
    case Asker::Choice:
        if (!ok) {
            showRole(false);
            emit openFailed(error);
        }
        chosen(name, ok);
        break;
    case Asker::Toggle:
        m_wasOpen = ok;
        if (!ok)
            emit openFailed(error);
        showRole(ok);
        emit toggleFinished(ok ? Toggle::Opened : Toggle::NotOpened);
        break;
    case Asker::Reopen:
        if (ok) {
            m_reopenPath.clear();
            m_wasOpen = true;
            showRole(true);
            emit reopened();
        } else {
            retryLater();
        }
        break;
    }
    m_state.portRole = role;
    emit labelsChanged();
}

void PortLifecycle::retryLater() {
    // Counted from the end of the try: an unreachable host's takes seconds.
    m_sinceTry.start();
    m_retryMs = std::min(2 * m_retryMs, kRetryCapMs);
}

void PortLifecycle::rememberIfRemote(const QString& name) {
    if (bus::isRemotePortName(name)) {
        QSettings store = windowSettingsStore();
        rememberRemoteLine(store, name);
    }
}

void PortLifecycle::chosen(const QString& name, bool ok) {
    m_wasOpen = ok;
    if (ok) {
        if (!isSimulatedPort(name)) {
            QString error;
            if (!m_config.write({{app::portConfigKey(m_state.portRole), name}}, &error))
                m_notSaved = QStringLiteral("ПОРТ НЕ ЗАПИСАН В КОНФИГУРАЦИЮ: ") + error;
        }
        roleLabel().green = true;
    } else {
        roleLabel() = Label{};
        m_state.rolePort().clear();
    }
    emit labelsChanged();
    if (ok)
        emit chosenOpened();
}

bool PortLifecycle::choose(const QString& name) {
    if (busy())
        return false;
    if (m_link.isOpen() && m_beforeClosing)
        m_beforeClosing();
    endConnect();
    roleLabel().caption = portCaption(name);
    m_state.rolePort() = name;
    m_reopenPath.clear();
    m_notSaved.clear();
    if (bus::isRemotePortName(name)) {
        // The port in use goes now: what runs next is meant for the new line.
        m_link.ClosePort();
        m_wasOpen = false;
        m_retryMs = kWatchMs;
        startConnect(name, Asker::Choice);
        return false;
    }
    const bool ok = open(name);
    if (ok)
        rememberIfRemote(name);
    chosen(name, ok);
    return ok;
}

PortLifecycle::Toggle PortLifecycle::toggle() {
    if (busy())
        return Toggle::Refused;
    m_reopenPath.clear();
    if (m_connect) {
        cancelConnect();
        return Toggle::Closed;
    }
    if (m_link.isOpen()) {
        if (m_beforeClosing)
            m_beforeClosing();
        if (!m_link.ClosePort())
            return Toggle::Refused;
        m_wasOpen = false;
        showRole(false);
        return Toggle::Closed;
    }
    const QString name = m_state.rolePort();
    if (bus::isRemotePortName(name)) {
        m_retryMs = kWatchMs;
        startConnect(name, Asker::Toggle);
        return Toggle::Connecting;
    }
    if (!open(name))
        return Toggle::NotOpened;
    m_wasOpen = true;
    showRole(true);
    return Toggle::Opened;
}

void PortLifecycle::setRole(int role) {
    m_state.portRole = role;
    showRole(m_link.isOpen());
}

void PortLifecycle::markLost() {
    m_reopenPath = m_state.rolePort();
    m_wasOpen = false;
    m_retryMs = kWatchMs;
    m_sinceTry.start();
    showRole(false);
    emit lost();
}

void PortLifecycle::watch() {
    if (busy() || m_connect)
        return;
    // A device file that is gone (an adapter pulled, a terminal closed) is
    // a port gone, even before anything was read from it.
    if (m_link.isOpen() && !m_link.portAvailable(m_state.rolePort()))
        m_link.ClosePort();
    const bool open = m_link.isOpen();
    if (m_wasOpen && !open) {
        // Said and shown first; the device is looked for from the next look on.
        markLost();
        return;
    }
    m_wasOpen = open;
    if (open || m_reopenPath.isEmpty() || !m_link.portAvailable(m_reopenPath))
        return;
    // A remote line is only known to be back by connecting, which costs the
    // far end (and an unreachable one up to kConnectMs): tried less and
    // less often.
    if (bus::isRemotePortName(m_reopenPath)) {
        if (m_sinceTry.isValid() && m_sinceTry.elapsed() < m_retryMs)
            return;
        startConnect(m_reopenPath, Asker::Reopen);
        return;
    }
    // The same device is back: opened again, nothing sent until the engineer acts.
    if (!m_link.OpenPort(m_reopenPath))
        return;
    m_reopenPath.clear();
    m_wasOpen = true;
    showRole(true);
    emit reopened();
}

void PortLifecycle::stopWatching() {
    m_timer->stop();
    cancelConnect();
}

QString PortLifecycle::details() const {
    if (m_connect)
        return QStringLiteral("Соединение с %1…").arg(m_connect->name());
    if (!m_link.isOpen())
        return QStringLiteral("Порт не открыт.");
    QString text = QStringLiteral("Порт: ") + QDir::toNativeSeparators(m_link.portName());
    // Every wait for an answer is lengthened by the round trip, kept current
    // from the answers.
    if (bus::isRemotePortName(m_link.portName()))
        text += QStringLiteral("\nВремя туда и обратно: %1 мс (прибавлено к каждому ожиданию "
                               "ответа)")
                    .arg(m_link.extraLatencyMs());
    return text;
}

std::vector<PortLifecycle::Choice> PortLifecycle::choices() const {
    std::vector<Choice> all;
    QStringList ports;
    QHash<QString, QString> details;
    m_link.EnumeratePorts(ports, &details);
    for (const QString& entry : ports) {
        Choice c;
        c.name = entry;
        c.current = c.name.startsWith(QLatin1Char('*'));
        if (c.current)
            c.name.remove(0, 1);
        c.detail = details.value(c.name);
        all.push_back(c);
    }
    const QString current = m_link.isOpen() ? m_link.portName() : QString();
    QStringList recent = readRecentRemoteLines(windowSettingsStore());
    recent.removeIf([&](const QString& name) {
        return ports.contains(name) || ports.contains(QLatin1Char('*') + name);
    });
    for (const QString& name : recent)
        all.push_back({name, QString(), name == current, true});
    return all;
}
