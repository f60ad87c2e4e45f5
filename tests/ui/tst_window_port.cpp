#include "tst_window_port.h"

#include "UiWindow.h"
#include "common/BlackHole.h"
#include "common/FullDisk.h"

#include "ui/PortLabel.h"
#include "ui/PortLifecycle.h"
#include "ui/TAboutBox.h"
#include "ui/TPForm.h"

#include <QCheckBox>
#include <QHelpEvent>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QToolButton>
#include <QtTest>

void TestWindowPort::portFromConfigurationThatCannotOpen() {
    QTemporaryDir other;
    const QString missing = other.filePath(QStringLiteral("ttyUSB9"));
    Window w(nullptr, QStringLiteral("MAIN_PORT=%1\nKIP_TYP=4\n").arg(missing));
    QCOMPARE(w.boxes.size(), 1);
    QVERIFY2(w.boxes[0].section('|', 0, 0).endsWith(QStringLiteral(" -ПОРТ НЕДОСТУПЕН")),
             qPrintable(w.boxes[0]));
    QVERIFY(w.boxes[0].at(0).isDigit());
    PortLabel* port = w.find<PortLabel>("Port");
    QCOMPARE(port->text(), QString());
    QVERIFY(!port->isGreen());
    QCOMPARE(w.form->state().mainPort, QString());
    QCOMPARE(w.mess(), QStringLiteral("ОПРЕДЕЛИТЕ COM ПОРТ"));
    QCOMPARE(w.find<QLabel>("KipLabel")->text(), QStringLiteral("Используется КИП-С7"));
    // The toggle has no port to open now.
    w.form->TogglePort();
    QCOMPARE(w.mess(), QStringLiteral("ПОРТ ЗАНЯТ"));
}

void TestWindowPort::portToggle() {
    Window w("controller 0 0 4");
    PortLabel* port = w.find<PortLabel>("Port");
    QVERIFY(w.form->link().isOpen());
    QVERIFY(port->isGreen());
    QCOMPARE(port->text(), QStringLiteral("SIM"));
    QTest::mouseClick(port, Qt::LeftButton);
    QVERIFY(!w.form->link().isOpen());
    QCOMPARE(w.mess(), QStringLiteral("ПОРТ ОТКЛЮЧЕН"));
    QVERIFY(!port->isGreen());
    QTest::mouseClick(port, Qt::LeftButton);
    QVERIFY(w.form->link().isOpen());
    QCOMPARE(w.mess(), QStringLiteral("ПОРТ ВКЛЮЧЕН"));
    QVERIFY(port->isGreen());
}

void TestWindowPort::leavingTheLineEndsTransit_data() {
    QTest::addColumn<bool>("switchedOff");
    QTest::addColumn<bool>("silent");
    QTest::newRow("another port chosen") << false << false;
    QTest::newRow("the port switched off") << true << false;
    QTest::newRow("the controller silent to leaving") << true << true;
}

// The properties page holds transit: the engineer's change of line ends it
// on the line before, so that the controller there goes back to polling.
void TestWindowPort::leavingTheLineEndsTransit() {
    QFETCH(bool, switchedOff);
    QFETCH(bool, silent);
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QVERIFY(w.installation->controller(0)->transit);
    if (silent)
        w.installation->setControllerFault(0, sim::Fault::Silent);
    if (switchedOff)
        w.form->TogglePort();
    else
        w.form->ChoosePort(QStringLiteral("tcp://127.0.0.1:%1").arg(refusingPort()));
    if (!silent)
        QVERIFY(!w.installation->controller(0)->transit);
    QVERIFY(!w.find<QToolButton>("sbTrans")->isChecked());
    // The engineer hears of a controller that may still relay the old line.
    QCOMPARE(w.mess().contains(QStringLiteral("КИП остался в режиме ТРАНЗИТ")), silent);
}

void TestWindowPort::slaveTabSwitchesPortRole() {
    Window w("controller 0 0 4", QStringLiteral("KIP_TYP=0\n"));
    QTest::mouseClick(w.find<QToolButton>("miKipUd"), Qt::LeftButton);
    QCOMPARE(w.form->state().portRole, int(app::MainRole));
    w.find<QTabWidget>("pcKipUp")->setCurrentIndex(1);
    QCOMPARE(w.form->state().portRole, int(app::SlaveRole));
    QVERIFY(!w.find<PortLabel>("Port")->isEnabled());
    QVERIFY(w.find<PortLabel>("Port22")->isGreen());
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QCOMPARE(w.form->state().portRole, int(app::MainRole));
    QVERIFY(w.find<PortLabel>("Port")->isEnabled());
    // Coming back with the tab still on KBD/LCD CPU takes the slave role again.
    QTest::mouseClick(w.find<QToolButton>("miKipUd"), Qt::LeftButton);
    QCOMPARE(w.form->state().portRole, int(app::SlaveRole));
}

void TestWindowPort::unpluggedPortShowsOnTheLabel() {
    Window w("controller 0 0 4");
    TMForm& form = *w.form;
    auto& installation = w.installation;
    sim::SimulatedLine*& line = w.line;
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    QVERIFY(port->isGreen());
    int pumps = 0;
    form.link().setPump([&] {
        if (++pumps == 4)
            line->unplug();
    });
    form.layoutActions().scan();
    QCOMPARE(form.statusText(), QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."));
    QVERIFY(!port->isGreen());
    QVERIFY(!form.link().isOpen());
    // The same device back: the port opens again by itself within two
    // seconds, and nothing is sent until the user acts.
    form.link().setPump({});
    const int seen = installation->requestsSeen();
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 2000);
    QVERIFY(form.link().isOpen());
    QCOMPARE(form.statusText(), QStringLiteral("ПОРТ ВКЛЮЧЕН"));
    QCOMPARE(installation->requestsSeen(), seen);
    // Gone while idle: noticed without any operation.
    line->unplug();
    QTRY_VERIFY_WITH_TIMEOUT(!port->isGreen(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 2000);
    // A port the user switched off stays off.
    form.TogglePort();
    QCOMPARE(form.statusText(), QStringLiteral("ПОРТ ОТКЛЮЧЕН"));
    QTest::qWait(1200);
    QVERIFY(!form.link().isOpen());
}

// A line on the network: chosen by name, kept in the configuration, gone
// when the far end goes, and open again by itself when it is back.
void TestWindowPort::remoteLineLostAndBack() {
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    const quint16 farPort = far.port();
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(farPort);
    Window w(nullptr);
    TMForm& form = *w.form;
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    form.ChoosePort(url);
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 5000);
    QVERIFY2(w.boxes.isEmpty(), qPrintable(w.boxes.join('\n')));
    QVERIFY(w.configText().contains(QStringLiteral("MAIN_PORT=") + url));
    form.layoutActions().scan();
    QVERIFY2(form.statusText().startsWith(QStringLiteral("НАЙДЕНО КИП")),
             qPrintable(form.statusText()));
    far.drop();
    QTRY_VERIFY_WITH_TIMEOUT(!port->isGreen(), 3000);
    QVERIFY(!form.link().isOpen());
    QVERIFY(far.listen(farPort));
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 5000);
    QCOMPARE(form.link().portName(), url);
    form.layoutActions().scan();
    QVERIFY2(form.statusText().startsWith(QStringLiteral("НАЙДЕНО КИП")),
             qPrintable(form.statusText()));
}

// A line on the network that opened once is offered in the port menu from
// then on and chosen there like any port; one that never opened is not.
// Its measured round trip shows in the label's tip and the About box.
void TestWindowPort::recentRemoteLineInThePortMenu() {
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    const quint16 nobody = refusingPort();
    QVERIFY(nobody != 0);
    const QString refused = QStringLiteral("tcp://127.0.0.1:%1").arg(nobody);
    Window w("controller 0 0 4");
    TMForm& form = *w.form;
    auto* port = w.find<PortLabel>("Port");
    auto* menu = w.find<QMenu>("pmPort");
    const auto offered = [&] {
        QTest::mouseClick(port, Qt::RightButton);
        QStringList names;
        for (QAction* a : menu->actions())
            if (a->data().toString().contains(QLatin1String("://")))
                names.append(a->data().toString());
        menu->hide();
        return names;
    };
    QCOMPARE(offered(), QStringList());
    form.ChoosePort(refused);
    QTRY_COMPARE_WITH_TIMEOUT(w.boxes.size(), 1, 5000);
    form.ChoosePort(far.url());
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 5000);
    form.ChoosePort(sim::SimulatedLine::kPortName);
    QCOMPARE(form.link().portName(), sim::SimulatedLine::kPortName);
    QCOMPARE(offered(), QStringList{far.url()});

    // A new window (the next run) offers it too; chosen from the menu.
    w.form.reset();
    Window next("controller 0 0 4", {}, {}, w.dir.filePath(QStringLiteral("settings")));
    auto* nextPort = next.find<PortLabel>("Port");
    QTest::mouseClick(nextPort, Qt::RightButton);
    auto* nextMenu = next.find<QMenu>("pmPort");
    QAction* remote = nullptr;
    for (QAction* a : nextMenu->actions())
        if (a->data().toString() == far.url())
            remote = a;
    QVERIFY(remote);
    nextMenu->hide();
    remote->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(nextPort->isGreen(), 5000);
    QCOMPARE(next.form->link().portName(), far.url());
    next.form->layoutActions().scan();
    QVERIFY2(next.mess().startsWith(QStringLiteral("НАЙДЕНО КИП")), qPrintable(next.mess()));

    const QString trip =
        QStringLiteral("Время туда и обратно: %1 мс").arg(next.form->link().extraLatencyMs());
    QVERIFY(next.form->link().extraLatencyMs() >= 1);
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), nextPort->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(nextPort, &tip);
    QVERIFY2(nextPort->toolTip().contains(far.url()), qPrintable(nextPort->toolTip()));
    QVERIFY2(nextPort->toolTip().contains(trip), qPrintable(nextPort->toolTip()));
    auto* about = next.find<TAboutBox>("TAboutBox");
    QString shown;
    QTimer::singleShot(0, about, [&] {
        shown = about->findChild<QLabel*>(QStringLiteral("PortDetails"))->text();
        about->accept();
    });
    about->exec();
    QVERIFY2(shown.contains(far.url()) && shown.contains(trip), qPrintable(shown));
}

void TestWindowPort::remoteConnectLeavesTheWindowFree_data() {
    QTest::addColumn<bool>("blackHole"); // else nobody listens there
    QTest::addColumn<QString>("end");    // what ends the connect
    QTest::newRow("no answer, Break") << true << "break";
    QTest::newRow("no answer, label clicked") << true << "click";
    QTest::newRow("no answer, window closed") << true << "close";
    QTest::newRow("refused") << false << "box";
}

// A remote line that takes its time to connect, or never does: the window
// goes on (its timers fire), the label says "соединение…", the wait dialog
// shows, and Break, the label or closing the window end it at once.
void TestWindowPort::remoteConnectLeavesTheWindowFree() {
    QFETCH(bool, blackHole);
    QFETCH(QString, end);
    BlackHole hole;
    if (blackHole && !hole.ready())
        QSKIP("the loopback listener's queue cannot be filled here");
    const quint16 nobody = refusingPort();
    QVERIFY(nobody != 0);
    const QString url = blackHole ? hole.url() : QStringLiteral("tcp://127.0.0.1:%1").arg(nobody);
    Window w("controller 0 0 4");
    TMForm& form = *w.form;
    auto* port = w.find<PortLabel>("Port");
    TPForm* wait = form.progressDialog();
    form.ChoosePort(url);
    QCOMPARE(port->text(), PortLifecycle::kConnectingCaption);
    QVERIFY(!port->isGreen());
    QVERIFY(wait->isVisible());
    QVERIFY(!form.link().isOpen());
    bool ticked = false;
    QTimer::singleShot(10, &form, [&] { ticked = true; });
    QTRY_VERIFY_WITH_TIMEOUT(ticked || port->text() != PortLifecycle::kConnectingCaption, 5000);
    if (blackHole)
        QVERIFY2(ticked && port->text() == PortLifecycle::kConnectingCaption,
                 "the connect did not let the event loop run");
    if (end == QLatin1String("break")) {
        QTest::mouseClick(wait->findChild<QPushButton*>(QStringLiteral("btBreak")), Qt::LeftButton);
        QCOMPARE(w.mess(), QStringLiteral("ПОРТ ОТКЛЮЧЕН"));
    } else if (end == QLatin1String("click")) {
        QTest::mouseClick(port, Qt::LeftButton);
        QCOMPARE(w.mess(), QStringLiteral("ПОРТ ОТКЛЮЧЕН"));
    } else if (end == QLatin1String("close")) {
        QVERIFY(form.close());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(w.boxes.size(), 1, 5000);
        QVERIFY2(w.boxes[0].contains(QStringLiteral("соединение отвергнуто")),
                 qPrintable(w.boxes[0]));
    }
    QVERIFY(port->text() != PortLifecycle::kConnectingCaption);
    QVERIFY(!port->isGreen());
    QVERIFY(!wait->isVisible());
    QVERIFY(!form.link().isOpen());
    if (blackHole)
        QVERIFY(w.boxes.isEmpty());
    // Nothing goes on behind the engineer's back.
    QTest::qWait(2 * PortLifecycle::kWatchMs + 100);
    QVERIFY(port->text() != PortLifecycle::kConnectingCaption);
    QVERIFY(!form.link().isOpen());
}

// A port that comes back sends nothing by itself: the cycle that ran when it
// went away stays off until it is ticked again.
void TestWindowPort::lostPortEndsTheCycle() {
    Window w("controller 0 0 4");
    TMForm& form = *w.form;
    sim::SimulatedLine*& line = w.line;
    form.layoutActions().scan();
    QTest::mouseClick(form.findChild<QToolButton*>(QStringLiteral("miSensStat")), Qt::LeftButton);
    int pumps = 0;
    form.link().setPump([&] {
        if (++pumps == 4)
            line->unplug();
    });
    auto* cycle = form.findChild<QCheckBox*>(QStringLiteral("cbCycle"));
    QTest::mouseClick(cycle, Qt::LeftButton);
    QVERIFY(!form.link().isOpen());
    form.link().setPump({});
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 2000);
    QVERIFY(!cycle->isChecked());
    QVERIFY(!form.pollTimer()->isActive());
}

// The port's loss reaches the pages through what they registered with the
// host, once; its return sends nothing by itself.
void TestWindowPort::lostPortReachesThePages() {
    Window w("controller 0 0 4");
    PageHost& host = *w.form;
    int lost = 0;
    host.addPortLostAction([&] { ++lost; });
    const int seen = w.installation->requestsSeen();
    w.line->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 2000);
    auto* port = w.form->findChild<PortLabel*>(QStringLiteral("Port"));
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 2000);
    QCOMPARE(lost, 1);
    QCOMPARE(w.installation->requestsSeen(), seen);
}

// The simulator stops (its terminal goes away) and starts again under the
// same path: the port opens again by itself.
void TestWindowPort::pseudoTerminalComesBack() {
    QTemporaryDir dir;
    SimProcess first(dir.filePath(QStringLiteral("tty")));
    QVERIFY(first.start());
    const QString& tty = first.tty;
    StartOptions o;
    o.port = tty;
    TMForm form(o, app::ConfigFile(dir.filePath(QStringLiteral("orvant2.cfg"))));
    form.setErrorBox([](const QString&, const QString&) {});
    form.Start();
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    QVERIFY(form.link().isOpen());
    QVERIFY(port->isGreen());
    QVERIFY(first.stop());
    QTRY_VERIFY_WITH_TIMEOUT(!port->isGreen(), 3000);
    SimProcess second(tty);
    QVERIFY(second.start());
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 3000);
    QCOMPARE(form.statusText(), QStringLiteral("ПОРТ ВКЛЮЧЕН"));
    form.layoutActions().scan();
    QVERIFY2(form.statusText().startsWith(QStringLiteral("НАЙДЕНО КИП")),
             qPrintable(form.statusText()));
    form.link().ClosePort();
    QVERIFY(second.stop());
}

// A port chosen that works but cannot be kept in the configuration file (a
// full disk) is said on the status line, not on standard error only.
void TestWindowPort::portChoiceNotSavedIsSaid() {
    QTemporaryDir dir;
    SimProcess sim(dir.filePath(QStringLiteral("tty")));
    QVERIFY(sim.start());
    FullDisk disk;
    TMForm form({}, app::ConfigFile(disk.filePath(QStringLiteral("orvant2.cfg"))));
    form.setErrorBox([](const QString&, const QString&) {});
    form.Start();
    disk.fill();
    form.ChoosePort(sim.tty);
    disk.release();
    QVERIFY(form.link().isOpen());
    QVERIFY2(form.statusText().startsWith(QStringLiteral("ПОРТ НЕ ЗАПИСАН В КОНФИГУРАЦИЮ: ")),
             qPrintable(form.statusText()));
    QVERIFY2(form.statusText().contains(app::fileFaultText(disk.expectedFault())),
             qPrintable(form.statusText()));
    // Saved, the choice clears the status line as before.
    form.ChoosePort(sim.tty);
    QCOMPARE(form.statusText(), QString());
    form.link().ClosePort();
    QVERIFY(sim.stop());
}
