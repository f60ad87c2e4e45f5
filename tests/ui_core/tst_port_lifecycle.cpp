// The window's port without a window: chosen, switched, lost and back, per
// role, on the simulated installation, a pseudo-terminal and a line on the
// network.
#include "tst_port_lifecycle.h"

#include "common/BlackHole.h"
#include "common/SimHarness.h"
#include "common/TcpBridge.h"
#include "common/TestFiles.h"
#include "link/SerialLink.h"
#include "link/TcpPortDevice.h"
#include "sim/SimulatedLine.h"
#include "ui/PortLifecycle.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The port lifecycle of a window on a simulated installation whose adapter
// can be pulled; its own configuration and settings store.
struct Ports {
    explicit Ports(const char* scenario = "controller 0 0 4")
        : installation(std::make_shared<sim::Installation>(scenarioFrom(scenario))) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
        link.setPump([] { QCoreApplication::processEvents(); });
    }
    bus::PortOpener opener() {
        return [this](const QString& name,
                      bus::PortOpenError&) -> std::unique_ptr<bus::PortDevice> {
            const sim::Cpu cpu =
                name == sim::SimulatedLine::kKeyboardPortName ? sim::Cpu::Keyboard : sim::Cpu::Main;
            auto l = std::make_unique<sim::SimulatedLine>(installation, true, true, cpu);
            line = l.get();
            return l;
        };
    }
    QString configText() const { return QString::fromUtf8(fileBytes(config.path())); }

    QTemporaryDir dir;
    std::shared_ptr<sim::Installation> installation;
    sim::SimulatedLine* line = nullptr;
    bus::SerialLink link;
    app::WorkingState state;
    app::ConfigFile config{dir.filePath(QStringLiteral("orvant2.cfg"))};
    PortLifecycle ports{link, state, config, opener()};
    QSignalSpy lost{&ports, &PortLifecycle::lost};
    QSignalSpy reopened{&ports, &PortLifecycle::reopened};
    QSignalSpy failed{&ports, &PortLifecycle::openFailed};
};

} // namespace

void TestPortLifecycle::simulatedPortIsNotSaved() {
    Ports p;
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    QVERIFY(p.link.isOpen());
    QCOMPARE(p.ports.label(app::MainRole).caption, QStringLiteral("SIM"));
    QVERIFY(p.ports.label(app::MainRole).green);
    QCOMPARE(p.state.mainPort, sim::SimulatedLine::kPortName);
    QVERIFY(!QFile::exists(p.config.path()));
    QCOMPARE(p.ports.details(), QStringLiteral("Порт: SIM"));
}

void TestPortLifecycle::chosenDeviceIsSaved() {
    Ports p;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString pts = QString::fromLatin1(::ptsname(master));
    QVERIFY(p.ports.choose(pts));
    QCOMPARE(p.configText().trimmed(), QStringLiteral("MAIN_PORT=") + pts);
    QVERIFY(p.ports.label(app::MainRole).green);
    // Not a remote line: the port menu offers no remote lines.
    for (const PortLifecycle::Choice& c : p.ports.choices())
        QVERIFY(!c.remote);
    p.link.ClosePort();
    ::close(master);
}

void TestPortLifecycle::missingPortIsSaidAndForgotten() {
    Ports p;
    QTemporaryDir other;
    const QString missing = other.filePath(QStringLiteral("ttyUSB9"));
    QVERIFY(!p.ports.choose(missing));
    QCOMPARE(p.failed.size(), 1);
    const auto e = p.failed.at(0).at(0).value<bus::PortOpenError>();
    QVERIFY2(e.caption().endsWith(QStringLiteral(" -ПОРТ НЕДОСТУПЕН")), qPrintable(e.caption()));
    QVERIFY2(e.text().contains(missing), qPrintable(e.text()));
    QCOMPARE(p.ports.label(app::MainRole).caption, QString());
    QVERIFY(!p.ports.label(app::MainRole).green);
    QCOMPARE(p.state.mainPort, QString());
    QVERIFY(!QFile::exists(p.config.path()));
    // Nothing to switch on now, and nothing to say why.
    QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::NotOpened);
    QCOMPARE(p.failed.size(), 1);
}

void TestPortLifecycle::toggle() {
    Ports p;
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::Closed);
    QVERIFY(!p.link.isOpen());
    QVERIFY(!p.ports.label(app::MainRole).green);
    QCOMPARE(p.ports.details(), QStringLiteral("Порт не открыт."));
    QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::Opened);
    QVERIFY(p.link.isOpen());
    QVERIFY(p.ports.label(app::MainRole).green);
    // Refused while an operation runs.
    PortLifecycle::Work work(p.ports);
    QVERIFY(p.ports.busy());
    QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::Refused);
    QVERIFY(!p.ports.choose(sim::SimulatedLine::kKeyboardPortName));
    QVERIFY(p.link.isOpen());
}

// Gone while idle: noticed at the next look, opened again at the one after,
// and nothing is sent to the installation meanwhile.
void TestPortLifecycle::lostWhileIdleAndBack() {
    Ports p;
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    const int seen = p.installation->requestsSeen();
    p.line->unplug();
    p.ports.watch();
    QCOMPARE(p.lost.size(), 1);
    QVERIFY(!p.link.isOpen());
    QVERIFY(!p.ports.label(app::MainRole).green);
    p.ports.watch();
    QCOMPARE(p.reopened.size(), 1);
    QVERIFY(p.link.isOpen());
    QVERIFY(p.ports.label(app::MainRole).green);
    QCOMPARE(p.installation->requestsSeen(), seen);
    // An idle port that stays is left alone.
    p.ports.watch();
    QCOMPARE(p.lost.size(), 1);
    QCOMPARE(p.reopened.size(), 1);
}

// Pulled during an operation: said once the outermost operation ends, and
// not looked at while it runs.
void TestPortLifecycle::lostDuringAnOperation() {
    Ports p;
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    {
        PortLifecycle::Work outer(p.ports);
        {
            PortLifecycle::Work inner(p.ports);
            p.line->unplug();
            QVERIFY(!p.link.isOpen());
        }
        QCOMPARE(p.lost.size(), 0);
        p.ports.watch();
        QCOMPARE(p.lost.size(), 0);
    }
    QCOMPARE(p.lost.size(), 1);
    QVERIFY(!p.ports.label(app::MainRole).green);
    p.ports.watch();
    QCOMPARE(p.reopened.size(), 1);
}

void TestPortLifecycle::switchedOffStaysOff() {
    Ports p;
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    p.line->unplug();
    p.ports.watch();
    QCOMPARE(p.lost.size(), 1);
    // The engineer decides now: no reopening behind their back.
    QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::Opened);
    QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::Closed);
    p.ports.watch();
    p.ports.watch();
    QVERIFY(!p.link.isOpen());
    QCOMPARE(p.reopened.size(), 0);
    QCOMPARE(p.lost.size(), 1);
}

// The keyboard/display processor's tab takes the slave role: the link
// stays, the slave port's label shows it; choosing there names the slave
// port only.
void TestPortLifecycle::roleSwitchShowsTheSlavePort() {
    Ports p;
    p.ports.useSimulatedKeyboardPort();
    QCOMPARE(p.ports.label(app::SlaveRole).caption, QStringLiteral("SIM-KBD"));
    QVERIFY(!p.ports.label(app::SlaveRole).green);
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    p.ports.setRole(app::SlaveRole);
    QCOMPARE(p.state.portRole, int(app::SlaveRole));
    QVERIFY(p.ports.label(app::SlaveRole).green);
    QVERIFY(p.ports.choose(sim::SimulatedLine::kKeyboardPortName));
    QCOMPARE(p.link.portName(), sim::SimulatedLine::kKeyboardPortName);
    QCOMPARE(p.state.slavePort, sim::SimulatedLine::kKeyboardPortName);
    QCOMPARE(p.state.mainPort, sim::SimulatedLine::kPortName);
    // Lost in the slave role: the slave port is the one looked for again.
    p.line->unplug();
    p.ports.watch();
    QVERIFY(!p.ports.label(app::SlaveRole).green);
    QVERIFY(p.ports.label(app::MainRole).green);
    p.ports.watch();
    QCOMPARE(p.link.portName(), sim::SimulatedLine::kKeyboardPortName);
    p.ports.setRole(app::MainRole);
    QVERIFY(p.ports.label(app::MainRole).green);
    QVERIFY(!QFile::exists(p.config.path()));
}

// The configuration's ports show as chosen before anything is opened; the
// slave port is the main one where none is named.
void TestPortLifecycle::configuredPortsShownBeforeTried() {
    Ports p;
    p.ports.load({{QStringLiteral("MAIN_PORT"), QStringLiteral("/dev/ttyS3")}}, false);
    QCOMPARE(p.state.mainPort, QStringLiteral("/dev/ttyS3"));
    QCOMPARE(p.state.slavePort, QStringLiteral("/dev/ttyS3"));
    QVERIFY(p.ports.label(app::MainRole).green);
    QVERIFY(p.ports.label(app::SlaveRole).green);
    QCOMPARE(p.ports.label(app::SlaveRole).caption, p.ports.label(app::MainRole).caption);
    QVERIFY(!p.link.isOpen());
    QCOMPARE(p.failed.size(), 0);
    // Opened, it is tried: /dev/ttyS3 of a test machine is no port to use.
    Ports missing;
    QTemporaryDir other;
    missing.ports.load({{QStringLiteral("MAIN_PORT"), other.filePath(QStringLiteral("ttyUSB0"))}},
                       true);
    QCOMPARE(missing.failed.size(), 1);
    QVERIFY(!missing.ports.label(app::MainRole).green);
}

// A line on the network: remembered once it opened and offered from then
// on, lost when the far end goes, open again when it is back.
void TestPortLifecycle::remoteLineRememberedLostAndBack() {
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    const quint16 farPort = far.port();
    Ports p;
    QSignalSpy opened(&p.ports, &PortLifecycle::chosenOpened);
    // Connected from the event loop: nothing is open when choose returns.
    QVERIFY(!p.ports.choose(far.url()));
    QVERIFY(p.ports.connecting());
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 5000);
    QVERIFY(p.link.isOpen());
    QVERIFY(p.ports.label(app::MainRole).green);
    QVERIFY(p.configText().contains(QStringLiteral("MAIN_PORT=") + far.url()));
    const QString details = p.ports.details();
    QVERIFY2(details.contains(far.url()) &&
                 details.contains(
                     QStringLiteral("Время туда и обратно: %1 мс").arg(p.link.extraLatencyMs())),
             qPrintable(details));
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    std::vector<PortLifecycle::Choice> remote;
    for (const PortLifecycle::Choice& c : p.ports.choices())
        if (c.remote)
            remote.push_back(c);
    QCOMPARE(remote.size(), 1u);
    QCOMPARE(remote[0].name, far.url());
    QVERIFY(!remote[0].current);

    p.ports.choose(far.url());
    // The simulated port's choice was the second.
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 3, 5000);
    far.drop();
    QTRY_COMPARE_WITH_TIMEOUT(p.lost.size(), 1, 3000);
    QVERIFY(far.listen(farPort));
    QTRY_COMPARE_WITH_TIMEOUT(p.reopened.size(), 1, 5000);
    QCOMPARE(p.link.portName(), far.url());
}

void TestPortLifecycle::unreachableRemoteLine_data() {
    QTest::addColumn<bool>("blackHole"); // else nobody listens there
    QTest::addColumn<QString>("end");    // what ends the connect
    QTest::addColumn<QString>("reason"); // in the error box; empty: none
    QTest::newRow("refused") << false << "waited"
                             << "соединение отвергнуто";
    QTest::newRow("refused, rfc2217") << false << "waited rfc2217"
                                      << "соединение отвергнуто";
    QTest::newRow("no answer, waited out") << true << "waited"
                                           << "нет ответа за 3 с";
    QTest::newRow("no answer, Break") << true << "break" << QString();
    QTest::newRow("no answer, switched off") << true << "toggle" << QString();
    QTest::newRow("no answer, another port") << true << "choose" << QString();
}

// A remote line that cannot be reached: the connect runs in the event loop
// (timers fire meanwhile), the label says so, and it ends by itself with
// the reason, or at once by the engineer's hand.
void TestPortLifecycle::unreachableRemoteLine() {
    QFETCH(bool, blackHole);
    QFETCH(QString, end);
    QFETCH(QString, reason);
    BlackHole hole;
    if (blackHole && !hole.ready())
        QSKIP("the loopback listener's queue cannot be filled here");
    const quint16 nobody = refusingPort();
    QVERIFY(nobody != 0);
    const QString scheme =
        end.endsWith(QLatin1String("rfc2217")) ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    const QString url =
        blackHole ? hole.url(scheme) : QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(nobody);
    Ports p;
    QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
    QSignalSpy connecting(&p.ports, &PortLifecycle::connectingChanged);
    QVERIFY(!p.ports.choose(url));
    // The port in use went with the choice; the new one is under way.
    QVERIFY(!p.link.isOpen());
    QVERIFY(p.ports.connecting());
    QCOMPARE(p.ports.label(app::MainRole).caption, PortLifecycle::kConnectingCaption);
    QVERIFY(!p.ports.label(app::MainRole).green);
    QVERIFY(p.ports.details().contains(url));
    QCOMPARE(connecting.size(), 1);
    // The event loop runs meanwhile.
    bool ticked = false;
    QTimer::singleShot(10, [&] { ticked = true; });
    QTRY_VERIFY_WITH_TIMEOUT(ticked || !p.ports.connecting(), 5000);
    if (blackHole)
        QVERIFY2(ticked && p.ports.connecting(), "the connect did not let the event loop run");
    if (end == QLatin1String("break")) {
        p.ports.cancelConnect();
    } else if (end == QLatin1String("toggle")) {
        QCOMPARE(p.ports.toggle(), PortLifecycle::Toggle::Closed);
    } else if (end == QLatin1String("choose")) {
        QVERIFY(p.ports.choose(sim::SimulatedLine::kPortName));
        QVERIFY(p.link.isOpen());
        QCOMPARE(p.link.portName(), sim::SimulatedLine::kPortName);
    }
    if (!reason.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(p.failed.size(), 1, bus::TcpPortDevice::kConnectMs + 3000);
    // Ended at once by the engineer: no more connect, no box.
    QVERIFY(!p.ports.connecting());
    QCOMPARE(connecting.size(), 2);
    QCOMPARE(connecting.last().at(0).toBool(), false);
    QVERIFY(p.ports.label(app::MainRole).caption != PortLifecycle::kConnectingCaption);
    if (reason.isEmpty()) {
        QCOMPARE(p.failed.size(), 0);
    } else {
        const auto error = p.failed.first().at(0).value<bus::PortOpenError>();
        QVERIFY2(error.text().contains(reason), qPrintable(error.text()));
        QVERIFY(!p.link.isOpen());
        QVERIFY(!QFile::exists(p.config.path()) || !p.configText().contains(url));
    }
    // Nothing is tried again behind the engineer's back.
    QTest::qWait(2 * PortLifecycle::kWatchMs + 100);
    QVERIFY(!p.ports.connecting());
    QCOMPARE(p.link.isOpen(), end == QLatin1String("choose"));
}

// A remote line that went away is tried again, less and less often.
void TestPortLifecycle::lostRemoteLineTriedLessOften() {
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    Ports p;
    p.ports.choose(far.url());
    QTRY_VERIFY_WITH_TIMEOUT(p.link.isOpen(), 5000);
    QSignalSpy connecting(&p.ports, &PortLifecycle::connectingChanged);
    far.drop();
    QTRY_COMPARE_WITH_TIMEOUT(p.lost.size(), 1, 3000);
    QCOMPARE(p.ports.retryPauseMs(), PortLifecycle::kWatchMs);
    // Refused at once, each try; the pause doubles after each.
    QTRY_COMPARE_WITH_TIMEOUT(p.ports.retryPauseMs(), 4 * PortLifecycle::kWatchMs, 6000);
    QVERIFY(!p.link.isOpen());
    // Tried by itself: the engineer is neither shown a box nor a wait.
    QCOMPARE(p.failed.size(), 0);
    QCOMPARE(connecting.size(), 0);
}
