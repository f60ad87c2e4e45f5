#include "app/Modes.h"
#include "common/FullDisk.h"
#include "common/SimHarness.h"
#include "common/TcpBridge.h"
#include "common/TestFiles.h"
#include "common/TestMain.h"
#include "sim/SimulatedLine.h"
#include "ui/AddressBar.h"
#include "ui/PortLabel.h"
#include "ui/StartOptions.h"
#include "ui/TAboutBox.h"
#include "ui/TIForm.h"
#include "ui/TMForm.h"
#include "ui/TPForm.h"
#include "ui/TSAForm.h"
#include "ui/TrafficView.h"
#include "ui/WindowSettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tst_alarm_page.h"
#include "tst_calibration_outcomes.h"
#include "tst_calibration_page.h"
#include "tst_controller_pages.h"
#include "tst_databases_ui.h"
#include "tst_density_page.h"
#include "tst_diagram_page.h"
#include "tst_fields.h"
#include "tst_language.h"
#include "tst_page_faults.h"
#include "tst_properties.h"
#include "tst_answers.h"
#include "tst_keyboard.h"
#include "tst_small_screen.h"
#include "tst_snapshot_menu.h"
#include "tst_update_page.h"
#include "tst_poll_log_ui.h"
#include "ui/UiWindow.h"

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void startsWithoutConfiguration();
    void portFromConfigurationThatCannotOpen();
    void portToggle();
    void simulatedPortIsNotSaved();
    void scanFindsControllersZeroAndTwo();
    void scanWhereNothingAnswers();
    void noLayoutSwitchKeepsDefaults();
    void layoutSaveAndReload();
    void startAndPortChangeKeepTheFile();
    void windowRemembersItsState();
    void recentRemoteLinesAreFew();
    void configurationThatIsNoFile_data();
    void configurationThatIsNoFile();
    void geometryFitsTheScreen_data();
    void geometryFitsTheScreen();
    void scanAndPollSayWhatHappened_data();
    void scanAndPollSayWhatHappened();
    void closeLeavesTransit();
    void transitButtons();
    void closeDuringAPollWaitsForIt();
    void trafficViewShowsTheLine();
    void startOptions_data();
    void startOptions();
};

void TestMainWindow::startsWithoutConfiguration() {
    Window w(nullptr);
    QVERIFY(w.form->windowTitle().startsWith(QStringLiteral("ORVANT II   (2.37 ")));
    QVERIFY(w.form->windowTitle().endsWith(QLatin1Char(')')));
    QCOMPARE(w.mess(), QStringLiteral("ОПРЕДЕЛИТЕ COM ПОРТ"));
    QCOMPARE(w.find<QLabel>("KipLabel")->text(), QStringLiteral("Используется КИП-Н6"));
    QCOMPARE(w.find<PortLabel>("Port")->text(), QStringLiteral("COM"));
    QVERIFY(!w.find<PortLabel>("Port")->isGreen());
    QVERIFY(w.boxes.isEmpty());
    QCOMPARE(w.form->pollPeriodMs(), 10000);
    QVERIFY(!QFile::exists(w.config)); // nothing is written at start
}

void TestMainWindow::portFromConfigurationThatCannotOpen() {
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

void TestMainWindow::portToggle() {
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

void TestMainWindow::simulatedPortIsNotSaved() {
    Window w("controller 0 0 4", QStringLiteral("MAIN_PORT=/dev/ttyUSB0\nMAIN_FILE=x.hex\n"));
    QVERIFY(w.form->link().isOpen());
    QCOMPARE(w.configText(), QStringLiteral("MAIN_PORT=/dev/ttyUSB0\nMAIN_FILE=x.hex\n"));
}

void TestMainWindow::scanFindsControllersZeroAndTwo() {
    Window w("controller 0 0 4\ncontroller 2 8 4");
    QTest::mouseClick(w.find<QToolButton>("sbKipSrch"), Qt::LeftButton);
    const app::WorkingState& s = w.form->state();
    QCOMPARE(s.layout.controllersFound, 2);
    QCOMPARE(s.layout.selectedControllers, 5u);
    QCOMPARE(int(s.selectedControllerAddress), 0x80);
    QCOMPARE(s.layout.sensorAddressEnd, 12);
    AddressBar* bar = w.find<AddressBar>("KipAdrBar");
    QVERIFY(bar->button(0)->isEnabled() && bar->button(0)->isChecked());
    QVERIFY(!bar->button(1)->isEnabled());
    QVERIFY(bar->button(2)->isEnabled() && !bar->button(2)->isChecked());
    QVERIFY(!w.find<QToolButton>("sbKipSrch")->isChecked());
    QVERIFY(!w.form->progressDialog()->isVisible());
    QCOMPARE(w.mess(), QStringLiteral("НАЙДЕНО КИП: 2"));
}

void TestMainWindow::scanWhereNothingAnswers() {
    Window w("");
    QTest::mouseClick(w.find<QToolButton>("sbKipSrch"), Qt::LeftButton);
    const app::WorkingState& s = w.form->state();
    QCOMPARE(s.layout.controllersFound, 0);
    QCOMPARE(s.layout.selectedControllers, 0u);
    AddressBar* bar = w.find<AddressBar>("KipAdrBar");
    for (int i = 0; i < 8; ++i)
        QVERIFY(!bar->button(i)->isEnabled());
    QCOMPARE(int(s.selectedControllerAddress), 0xFF);
}

void TestMainWindow::noLayoutSwitchKeepsDefaults() {
    StartOptions o;
    o.noLayout = true;
    Window w("controller 0 0 4", QStringLiteral("KIP_TYP=3\nKIP_NUM=2,5\nKIP1=0,4\nKIP3=8,4\n"), o);
    const app::ControllerLayout& l = w.form->state().layout;
    QCOMPARE(l.controllerType, 1);
    QCOMPARE(l.ControllerTable[0].firstSensorAddress, 0);
    QCOMPARE(l.ControllerTable[0].sensorCount, 16);
    QCOMPARE(l.selectedControllers, 1u);
    QVERIFY(w.form->link().isOpen());
}

// Starting touches nothing; choosing a port changes only its line.
void TestMainWindow::startAndPortChangeKeepTheFile() {
    const QByteArray text = "# line of the engineer\nMAIN_FILE=/home/u/\xD0\x9F\xD1\x80/kip.hex\n"
                            "; \xCF\xD0\xCE\xC1\xC0\nKIP_TYP=1\nKIP_TYP=1\nno equals here\n";
    // The file holds bytes that are not UTF-8: put in place, then a start.
    Window again("controller 0 0 4", QString::fromLatin1("x"));
    putFile(again.dir, "orvant2.cfg", text);
    again.form->Start();
    QCOMPARE(fileBytes(again.config), text);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString pts = QString::fromLatin1(::ptsname(master));
    again.form->ChoosePort(pts);
    QVERIFY(again.form->link().isOpen());
    QCOMPARE(fileBytes(again.config), text + "MAIN_PORT=" + pts.toLatin1() + "\n");
    again.form->link().ClosePort();
    ::close(master);
}

void TestMainWindow::scanAndPollSayWhatHappened_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("afterScan");
    QTest::addColumn<QString>("afterPoll");
    QTest::newRow("two controllers") << "controller 0 4 2\ncontroller 3 6 2"
                                     << "НАЙДЕНО КИП: 2"
                                     << "ОПРОШЕНО: 3 из 3";
    QTest::newRow("nothing on the line") << ""
                                         << "КИП НЕ НАЙДЕНЫ: НЕТ ОТВЕТА"
                                         << "НЕТ ОТВЕТА";
    QTest::newRow("only a garbled answer") << "controller 0 0 2 fault=checksum"
                                           << "КИП НЕ НАЙДЕНЫ"
                                           << "НЕТ ОТВЕТА";
    QTest::newRow("direct sensors") << "type 2\nsensors 4 3"
                                    << "НАЙДЕНО КИП: 3"
                                    << "ОПРОШЕНО: 3 из 3";
}

void TestMainWindow::scanAndPollSayWhatHappened() {
    QFETCH(QString, scenario);
    QFETCH(QString, afterScan);
    QFETCH(QString, afterPoll);
    // The saved layout: sensors 4..6 behind controller 0, or direct ones.
    const QString config = scenario.startsWith(QLatin1String("type 2"))
                               ? QStringLiteral("KIP_TYP=2\nKIP_B=4,3\n")
                               : QStringLiteral("KIP_TYP=1\nKIP_NUM=1,1\nKIP1=4,3\n");
    Window w(scenario.toUtf8().constData(), config);
    w.form->btGetClick(0);
    QCOMPARE(w.mess(), afterPoll);
    w.form->ScanForControllers();
    QCOMPARE(w.mess(), afterScan);
}

void TestMainWindow::windowRemembersItsState() {
    QTemporaryDir settings;
    Window::useSettingsFolder(settings.path());
    {
        QSettings store = windowSettingsStore();
        writeWindowSettings(store, {QRect(10, 20, 500, 400), true, 2500});
    }
    const QString config = QStringLiteral("# mine\nKIP_TYP=1\n");
    Window w("controller 0 0 4", config, {}, settings.path());
    QCOMPARE(w.form->pollPeriodMs(), 2500);
    QVERIFY(!w.find<TrafficView>("dkTraffic")->isHidden());
    QCOMPARE(w.form->geometry().size(), QSize(500, 400));
    w.find<TrafficView>("dkTraffic")->hide();
    w.form->close();
    // The engineer's file is not touched by closing the window.
    QCOMPARE(w.configText(), config);
    const WindowSettings saved = readWindowSettings(windowSettingsStore());
    QCOMPARE(saved.lineMonitor, false);
    QCOMPARE(saved.pollMs, std::optional<int>(2500));
    QVERIFY(saved.geometry.has_value());
}

// The newest first, each once, five at most; what is no remote line's name
// (a store edited by hand) is not offered.
void TestMainWindow::recentRemoteLinesAreFew() {
    QTemporaryDir settings;
    Window::useSettingsFolder(settings.path());
    QSettings store = windowSettingsStore();
    store.setValue(QStringLiteral("ports/recentRemote"),
                   QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("tcp://a:1")});
    QCOMPARE(readRecentRemoteLines(store), QStringList{QStringLiteral("tcp://a:1")});
    for (int i = 1; i <= 7; ++i)
        rememberRemoteLine(store, QStringLiteral("tcp://box%1:4001").arg(i));
    rememberRemoteLine(store, QStringLiteral("rfc2217://box5:2217"));
    rememberRemoteLine(store, QStringLiteral("tcp://box6:4001"));
    QCOMPARE(readRecentRemoteLines(windowSettingsStore()),
             (QStringList{"tcp://box6:4001", "rfc2217://box5:2217", "tcp://box7:4001",
                          "tcp://box5:4001", "tcp://box4:4001"}));
}

// The window starts at once on a configuration that is a pipe or a device,
// and leaves it as it was.
void TestMainWindow::configurationThatIsNoFile_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("FIFO") << true;
    QTest::newRow("/dev/zero") << false;
}

void TestMainWindow::configurationThatIsNoFile() {
    QFETCH(bool, fifo);
    QTemporaryDir dir;
    Window::useSettingsFolder(dir.filePath(QStringLiteral("settings")));
    QString path = QStringLiteral("/dev/zero");
    if (fifo) {
        path = dir.filePath(QStringLiteral("orvant2.cfg"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    StartOptions o;
    TMForm form(o, app::ConfigFile(path));
    form.setErrorBox([](const QString&, const QString&) {});
    form.Start();
    form.close();
    QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
}

void TestMainWindow::geometryFitsTheScreen_data() {
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("shown");
    QTest::newRow("nothing saved, large screen")
        << QRect() << QRect(0, 0, 1920, 1050) << QRect(0, 0, 1280, 720);
    QTest::newRow("nothing saved, 1024 x 768")
        << QRect() << QRect(0, 0, 1024, 740) << QRect(0, 0, 1024, 720);
    QTest::newRow("from a screen that is gone")
        << QRect(2500, 300, 1200, 700) << QRect(0, 0, 1366, 740) << QRect(166, 40, 1200, 700);
    QTest::newRow("larger than the screen")
        << QRect(-50, 0, 1600, 900) << QRect(0, 0, 1024, 740) << QRect(0, 0, 1024, 740);
}

void TestMainWindow::geometryFitsTheScreen() {
    QFETCH(QRect, saved);
    QFETCH(QRect, screen);
    QFETCH(QRect, shown);
    QCOMPARE(fittedGeometry(saved.isNull() ? std::nullopt : std::optional<QRect>(saved), screen),
             shown);
}

void TestMainWindow::layoutSaveAndReload() {
    Window w("controller 1 4 4", QStringLiteral("SENS_FILE=s.hex\n"));
    w.form->ScanForControllers();
    w.form->RunLayoutOperation(TMForm::SaveLayoutOp);
    QCOMPARE(w.configText(),
             // The file's own line ends are kept.
             QStringLiteral("SENS_FILE=s.hex\nKIP_TYP=1\nKIP_NUM=1,2\nKIP_B=\nKIP2=4,4\n"));
    w.form->RunLayoutOperation(TMForm::TypeChanged, 3);
    QCOMPARE(w.find<QLabel>("KipLabel")->text(), QStringLiteral("Используется КИП-С6"));
    w.form->RunLayoutOperation(TMForm::ReloadLayout);
    QCOMPARE(w.form->state().layout.controllerType, 1);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x81);
}

void TestMainWindow::closeLeavesTransit() {
    Window w("controller 0 0 4");
    w.form->ScanForControllers();
    QToolButton* trans = w.find<QToolButton>("sbTrans");
    QTest::mouseClick(trans, Qt::LeftButton);
    QVERIFY(trans->isChecked());
    QVERIFY(w.installation->controller(0)->transit);
    w.form->close();
    QVERIFY(!w.installation->controller(0)->transit);
    QVERIFY(!w.form->link().isOpen());
}

void TestMainWindow::closeDuringAPollWaitsForIt() {
    Window w("controller 0 0 8");
    w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QVERIFY(w.installation->controller(0)->transit);
    w.form->show();
    bool closedInside = true;
    QTimer::singleShot(0, w.form.get(), [&] { closedInside = w.form->close(); });
    w.form->btGetClick(0);
    QVERIFY(!closedInside);                              // refused while the poll ran
    QVERIFY(w.installation->requestsSeen() < 9 + 3 + 8); // the poll stopped early
    QTRY_VERIFY(!w.form->isVisible());
    QVERIFY(!w.installation->controller(0)->transit);
    QVERIFY(!w.form->link().isOpen());
}

void TestMainWindow::trafficViewShowsTheLine() {
    Window w("controller 0 0 4");
    w.form->show();
    auto* view = w.find<TrafficView>("dkTraffic");
    QVERIFY(!view->isVisible());
    w.form->ScanForControllers();
    QCOMPARE(view->text(), QString()); // hidden, it hears nothing
    w.form->findChild<QAction*>(QStringLiteral("miTraffic"))->trigger();
    QTRY_VERIFY(view->isVisible());
    w.form->ScanForControllers();
    QVERIFY2(view->text().contains(QStringLiteral("> КИП 1  ReadVersion  | @800100")),
             qPrintable(view->text().left(200)));
    QVERIFY(view->text().contains(QStringLiteral("< КИП 1  ReadVersion  данные")));
    QVERIFY(view->text().contains(QStringLiteral("*<0D>")));
    // One line per reply, each request named.
    QVERIFY(view->text().contains(
        QStringLiteral("< КИП 1  AddressRange  данные 3 байт: 80 00 04  | @800A0380000436*\n")));
    QVERIFY(view->text().contains(QStringLiteral("  AddressRange")));

    // It follows the end, also after a resize, until the user scrolls up.
    auto* log = view->findChild<QPlainTextEdit*>(QStringLiteral("meTraffic"));
    QScrollBar* bar = log->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    view->resize(view->width(), view->height() / 2);
    w.form->ScanForControllers();
    QTRY_COMPARE(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QTRY_VERIFY(!view->following());
    w.form->ScanForControllers();
    QCOMPARE(bar->value(), 0);
    auto* below = view->findChild<QPushButton*>(QStringLiteral("btNewBelow"));
    QVERIFY(below->isVisible());
    QTest::mouseClick(below, Qt::LeftButton);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(view->following());

    // Paused, lines are held and shown when the pause ends.
    const QString before = view->text();
    view->setPaused(true);
    w.form->ScanForControllers();
    QCOMPARE(view->text(), before);
    view->setPaused(false);
    QVERIFY(view->text().size() > before.size());
    // The export holds exactly the lines shown.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.txt"));
    QVERIFY(view->exportTo(path));
    QCOMPARE(QString::fromUtf8(fileBytes(path)), view->text() + QLatin1Char('\n'));
    // On a full disk the old export stays and the reason is said.
    FullDisk disk;
    const QString full = disk.filePath(QStringLiteral("line.txt"));
    QVERIFY(QFile::copy(path, full));
    disk.fill();
    QString error;
    const bool exported = view->exportTo(full, &error);
    disk.release();
    QVERIFY(!exported);
    QCOMPARE(error, full + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault()));
    QCOMPARE(fileBytes(full), fileBytes(path));
    QCOMPARE(disk.files(), QStringList{QStringLiteral("line.txt")});
}

void TestMainWindow::transitButtons() {
    Window w("controller 0 0 4");
    w.form->ScanForControllers();
    QToolButton* trans = w.find<QToolButton>("sbTrans");
    // No answer to 0xA1: the button pops back up.
    w.installation->setControllerFault(0, sim::Fault::Silent);
    QTest::mouseClick(trans, Qt::LeftButton);
    QVERIFY(!trans->isChecked());
    w.installation->setControllerFault(0, sim::Fault::None);
    QTest::mouseClick(trans, Qt::LeftButton);
    QVERIFY(trans->isChecked());
    // No answer to 0xA5: it stays down.
    w.installation->setControllerFault(0, sim::Fault::Silent);
    QTest::mouseClick(trans, Qt::LeftButton);
    QVERIFY(trans->isChecked());
    QTest::mouseClick(w.find<QToolButton>("btNorm"), Qt::LeftButton);
    QVERIFY(trans->isChecked());
    w.installation->setControllerFault(0, sim::Fault::None);
    QTest::mouseClick(w.find<QToolButton>("btNorm"), Qt::LeftButton);
    QVERIFY(!trans->isChecked());
    QVERIFY(!w.installation->controller(0)->transit);
}

void TestMainWindow::startOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("flags"); // N D G S, then scenario/port
    QTest::newRow("none") << QStringList{} << "----||";
    QTest::newRow("plain switches") << QStringList{"NOK", "DGS"} << "ND--||";
    QTest::newRow("switches inside words") << QStringList{"-xDGRy", "/NOK"} << "N-G-||";
    QTest::newRow("simulate with scenario")
        << QStringList{"--simulate", "demo.txt", "DGS"} << "-D-S|demo.txt|";
    QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB1"} << "----||/dev/ttyUSB1";
    QTest::newRow("switches with dashes") << QStringList{"--NOK", "--DGS", "-DGR"} << "NDG-||";
    QTest::newRow("switch beside simulate") << QStringList{"--simulate", "--DGR"} << "--GS||";
    QTest::newRow("port path holding a switch word")
        << QStringList{"--port", "/dev/serial/by-id/DGS1"} << "-D--||/dev/serial/by-id/DGS1";
}

void TestMainWindow::startOptions() {
    QFETCH(QStringList, args);
    QFETCH(QString, flags);
    QString error;
    const auto o = parseStartOptions(QStringList{"orvant2"} + args, &error);
    QVERIFY2(o, qPrintable(error));
    const QString got = QString(o->noLayout ? "N" : "-") + (o->controllerStatus ? "D" : "-") +
                        (o->segmentTest ? "G" : "-") + (o->simulate ? "S" : "-") + "|" +
                        o->scenario + "|" + o->port;
    QCOMPARE(got, flags);
}

class TestDialogs : public QObject {
    Q_OBJECT
  private slots:
    void intervalPositions_data();
    void intervalPositions();
    void intervalCancelKeepsPeriod();
    void progressWithoutBar();
    void breakButtonSetsBreak();
    void closeAreaOnlyHides();
    void sensorAddressDialog();
};

void TestDialogs::intervalPositions_data() {
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("shown");
    QTest::newRow("10 s") << 10000 << 100 << QLocale().toString(10);
    QTest::newRow("2.5 s") << 2500 << 25 << QLocale().toString(2.5);
    QTest::newRow("not a multiple of 100") << 2599 << 25 << QLocale().toString(2.5);
    QTest::newRow("15 s") << 15000 << 150 << QLocale().toString(15);
}

void TestDialogs::intervalPositions() {
    QFETCH(int, period);
    QFETCH(int, position);
    QFETCH(QString, shown);
    TIForm f;
    f.setPeriod(period);
    QCOMPARE(f.findChild<QSlider*>(QStringLiteral("tbMInt"))->value(), position);
    QCOMPARE(f.findChild<QLabel*>(QStringLiteral("stMInt"))->text(), shown);
    QCOMPARE(f.period(), position * 100);
}

void TestDialogs::intervalCancelKeepsPeriod() {
    TIForm f;
    QTimer::singleShot(0, &f, [&] {
        f.findChild<QSlider*>(QStringLiteral("tbMInt"))->setValue(25);
        f.findChild<QPushButton*>(QStringLiteral("btClose"))->click();
    });
    QCOMPARE(f.choosePeriod(10000), 10000);
    QTimer::singleShot(0, &f, [&] {
        f.findChild<QSlider*>(QStringLiteral("tbMInt"))->setValue(25);
        f.findChild<QPushButton*>(QStringLiteral("btOK"))->click();
    });
    QCOMPARE(f.choosePeriod(10000), 2500);
}

void TestDialogs::progressWithoutBar() {
    bool brk = true;
    QWidget anchor;
    TPForm p(brk, &anchor);
    p.ShowProgress(0);
    QVERIFY(p.isVisible());
    QVERIFY(!brk);
    QVERIFY(!p.findChild<QProgressBar*>(QStringLiteral("PBar"))->isVisible());
    QVERIFY(p.findChild<QPushButton*>(QStringLiteral("btBreak"))->isVisible());
    QCOMPARE(p.findChild<QLabel*>(QStringLiteral("lText"))->text(),
             QStringLiteral("ВЫПОЛНЯЕТСЯ..."));
    p.ShowProgress(64);
    QProgressBar* bar = p.findChild<QProgressBar*>(QStringLiteral("PBar"));
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 64);
    p.StepProgress(5);
    p.StepProgress(0);
    QCOMPARE(bar->value(), 6);
    p.CloseProgress();
    QVERIFY(!p.isVisible());
}

void TestDialogs::breakButtonSetsBreak() {
    bool brk = false;
    TPForm p(brk, nullptr);
    p.ShowProgress(8);
    QTest::mouseClick(p.findChild<QPushButton*>(QStringLiteral("btBreak")), Qt::LeftButton);
    QVERIFY(brk);
    QVERIFY(p.breakRequested());
    QVERIFY(!p.isVisible());
}

void TestDialogs::closeAreaOnlyHides() {
    bool brk = false;
    TPForm p(brk, nullptr);
    p.ShowProgress(8);
    QTest::mouseClick(p.findChild<QToolButton*>(QStringLiteral("pClose")), Qt::LeftButton);
    QVERIFY(!brk);
    QVERIFY(!p.isVisible());
}

void TestDialogs::sensorAddressDialog() {
    TSAForm f;
    QCOMPARE(f.windowTitle(), QStringLiteral("ДАТЧИК"));
    auto* field = f.findChild<QLineEdit*>(QStringLiteral("reAdr"));
    f.prepare(6);
    QCOMPARE(field->text(), QStringLiteral("7"));
    QCOMPARE(*f.enteredNumber(), 7);
    // Only digits can be typed.
    field->clear();
    QTest::keyClicks(field, QStringLiteral("1a-2"));
    QCOMPARE(field->text(), QStringLiteral("12"));
    field->clear();
    QVERIFY(!f.enteredNumber());
    // "OK" with nothing entered keeps the dialog open; "CLOSE" cancels.
    bool stayedOpen = false;
    QTimer::singleShot(0, &f, [&] {
        field->clear();
        f.findChild<QPushButton*>(QStringLiteral("btOK"))->click();
        stayedOpen = f.isVisible();
        field->setText(QStringLiteral("3"));
        f.findChild<QPushButton*>(QStringLiteral("btOK"))->click();
    });
    QCOMPARE(f.askSensorAddress(9), 2); // the number minus 1
    QVERIFY(stayedOpen);
    QTimer::singleShot(0, &f,
                       [&] { f.findChild<QPushButton*>(QStringLiteral("btClose"))->click(); });
    QVERIFY(!f.askSensorAddress(4));
}

class TestModes : public QObject {
    Q_OBJECT
  private slots:
    void directTypeTransitGoesToTheSensor();
    void everyModeForEveryType_data();
    void everyModeForEveryType();
    void sameModeTwiceDoesNothing();
    void propertiesToDensityKeepsTransit();
    void modeChangeStopsARunningScan();
    void slaveTabSwitchesPortRole();
    void controllerStatusOnlyWithSwitch();
    void setSensorAddressButton();
    void sensorBarClicksSelectController();
    void leavingControllerPageSelectsSensorsController();
    void unpluggedPortShowsOnTheLabel();
    void remoteLineLostAndBack();
    void recentRemoteLineInThePortMenu();
    void lostPortEndsTheCycle();
    void pseudoTerminalComesBack();
};

namespace {
const char* scenarioForType(int type) {
    switch (type) {
    case 2:
        return "type 2\nsensors 3 4";
    case 5:
        return "type 5\nsensors 0 1";
    case 3:
        return "type 3\ncontroller 0 0 4\ncontroller 12 8 4";
    default:
        return "controller 0 0 4\ncontroller 2 8 4";
    }
}
} // namespace

void TestModes::everyModeForEveryType_data() {
    QTest::addColumn<int>("type");
    for (int t = 0; t <= 5; ++t)
        QTest::newRow(qPrintable(QStringLiteral("type %1").arg(t))) << t;
}

void TestModes::everyModeForEveryType() {
    QFETCH(int, type);
    StartOptions o;
    o.controllerStatus = true;
    Window w(scenarioForType(type), QStringLiteral("KIP_TYP=%1\n").arg(type), o);
    w.form->ScanForControllers();
    auto* pages = w.find<QStackedWidget>("pcMain");
    QWidget* kipBar = w.find<QWidget>("pKAdr");
    QWidget* sensorBar = w.find<QWidget>("pSAdr");
    const bool found = w.form->state().layout.controllersFound > 0;
    QCOMPARE(found, type != 2 && type != 5);
    for (const app::Mode& m : app::kModes) {
        QToolButton* button = w.find<QToolButton>(m.button);
        QVERIFY(button);
        const bool needsController = m.tag == app::TagAlarm || m.tag == app::TagCT ||
                                     m.tag == app::TagKCfg || m.tag == app::TagKUD;
        QCOMPARE(button->isEnabled(), !(type == 5 && needsController));
        const QString before = pages->currentWidget()->objectName();
        QTest::mouseClick(button, Qt::LeftButton);
        if (!button->isEnabled()) {
            QCOMPARE(pages->currentWidget()->objectName(), before);
            continue;
        }
        QCOMPARE(pages->currentWidget()->objectName(), QLatin1String(m.page));
        QCOMPARE(pages->currentWidget()->property("Tag").toInt(), m.tag);
        QCOMPARE(pages->currentIndex(), m.tag & 0x3F);
        QVERIFY(button->font().bold());
        const bool sensorPage = (m.tag & 0x40) != 0;
        const bool controllerPage = (m.tag & 0x80) != 0;
        bool wantSensorBar = sensorPage;
        if (type == 5)
            wantSensorBar = true;
        else if (type == 2)
            wantSensorBar = m.tag >= 64;
        QCOMPARE(sensorBar->isVisibleTo(w.form.get()), wantSensorBar);
        QCOMPARE(kipBar->isVisibleTo(w.form.get()), found && controllerPage);
        QCOMPARE(w.find<QToolButton>("sbSetSensAddr")->isVisibleTo(w.form.get()), type == 5);
    }
    // The keyboard/display tab only where that processor has its own port.
    auto* tabs = w.find<QTabWidget>("pcKipUp");
    QCOMPARE(tabs->isTabVisible(1), type == 0 || type == 4);
}

void TestModes::sameModeTwiceDoesNothing() {
    Window w("controller 0 0 4");
    w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    const int seen = w.installation->requestsSeen();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QCOMPARE(w.installation->requestsSeen(), seen);
    QVERIFY(w.find<QToolButton>("miSProp")->isChecked());
}

void TestModes::propertiesToDensityKeepsTransit() {
    Window w("controller 0 0 4");
    w.form->ScanForControllers();
    QToolButton* trans = w.find<QToolButton>("sbTrans");
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QVERIFY(trans->isChecked());
    QVERIFY(w.installation->controller(0)->transit);
    const int seen = w.installation->requestsSeen();
    QTest::mouseClick(w.find<QToolButton>("miDens"), Qt::LeftButton);
    QCOMPARE(w.installation->requestsSeen(), seen);
    QVERIFY(trans->isChecked());
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QVERIFY(!trans->isChecked());
    QVERIFY(!w.installation->controller(0)->transit);
    // A controller that does not answer leaves the button up after three tries.
    w.installation->setControllerFault(0, sim::Fault::Silent);
    const int before = w.installation->requestsSeen();
    QTest::mouseClick(w.find<QToolButton>("miDens"), Qt::LeftButton);
    QCOMPARE(w.installation->requestsSeen() - before, 3);
    QVERIFY(!trans->isChecked());
}

void TestModes::modeChangeStopsARunningScan() {
    Window w("type 3\ncontroller 0 0 4\ncontroller 30 8 4");
    w.form->RunLayoutOperation(TMForm::TypeChanged, 3);
    QTimer::singleShot(0, w.form.get(), [&] {
        QTest::mouseClick(w.find<QToolButton>("MyMenuItem1"), Qt::LeftButton);
    });
    w.form->ScanForControllers();
    // Stopped long before the 32nd address; controller 30 was never asked.
    QVERIFY(w.installation->requestsSeen() < 8);
    QCOMPARE(w.form->state().layout.selectedControllers & (1u << 30), 0u);
    QTRY_COMPARE(w.find<QStackedWidget>("pcMain")->currentWidget()->objectName(),
                 QStringLiteral("tsPStat"));
}

void TestModes::slaveTabSwitchesPortRole() {
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

void TestModes::controllerStatusOnlyWithSwitch() {
    Window plain("controller 0 0 4");
    QVERIFY(!plain.find<QToolButton>("miKStat")->isVisibleTo(plain.form.get()));
    StartOptions o;
    o.controllerStatus = true;
    Window dgs("controller 0 0 4", QString(), o);
    QVERIFY(dgs.find<QToolButton>("miKStat")->isVisibleTo(dgs.form.get()));
}

void TestModes::setSensorAddressButton() {
    Window w("type 5\nsensors 0 1", QStringLiteral("KIP_TYP=5\n"));
    w.form->state().sensorAddress = 6;
    QToolButton* set = w.find<QToolButton>("sbSetSensAddr");
    QTest::mouseClick(set, Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("Адрес установлен"));
    QVERIFY(!set->isChecked());
    QVERIFY(w.installation->sensor(6));
    Window two("type 5\nsensors 0 2", QStringLiteral("KIP_TYP=5\n"));
    QTest::mouseClick(two.find<QToolButton>("sbSetSensAddr"), Qt::LeftButton);
    QCOMPARE(two.mess(), QStringLiteral("Адрес не установлен"));
}

void TestModes::leavingControllerPageSelectsSensorsController() {
    Window w("controller 0 0 4\ncontroller 2 8 4");
    w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("miKipUd"), Qt::LeftButton);
    QTest::mouseClick(w.find<AddressBar>("KipAdrBar")->button(2), Qt::LeftButton);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x82);
    QCOMPARE(int(w.form->state().sensorAddress), 0);
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x80);
}

// The simulator stops (its terminal goes away) and starts again under the
// same path: the port opens again by itself.
void TestModes::pseudoTerminalComesBack() {
    QTemporaryDir dir;
    const QString tty = dir.filePath(QStringLiteral("tty"));
    auto startSim = [&](QProcess& sim) {
        sim.start(QStringLiteral(ORVANT_SIM_BIN), {QStringLiteral("--link"), tty});
        return sim.waitForReadyRead(10000);
    };
    QProcess first;
    QVERIFY(startSim(first));
    StartOptions o;
    o.port = tty;
    TMForm form(o, app::ConfigFile(dir.filePath(QStringLiteral("orvant2.cfg"))));
    form.setErrorBox([](const QString&, const QString&) {});
    form.Start();
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    QVERIFY(form.link().isOpen());
    QVERIFY(port->isGreen());
    first.terminate();
    QVERIFY(first.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!port->isGreen(), 3000);
    QProcess second;
    QVERIFY(startSim(second));
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 3000);
    QCOMPARE(form.statusText(), QStringLiteral("ПОРТ ВКЛЮЧЕН"));
    form.ScanForControllers();
    QVERIFY2(form.statusText().startsWith(QStringLiteral("НАЙДЕНО КИП")),
             qPrintable(form.statusText()));
    form.link().ClosePort();
    second.terminate();
    QVERIFY(second.waitForFinished(5000));
}

namespace {
// The window on one controller, with the adapter at hand to be pulled.
struct UnpluggableWindow {
    UnpluggableWindow()
        : form(options(), app::ConfigFile(dir.filePath(QStringLiteral("orvant2.cfg"))),
               [this](const QString&, bus::PortOpenError&) -> std::unique_ptr<bus::PortDevice> {
                   auto l = std::make_unique<sim::SimulatedLine>(installation, true, true);
                   line = l.get();
                   return l;
               }) {
        form.Start();
    }
    static StartOptions options() {
        StartOptions o;
        o.simulate = true;
        return o;
    }
    QTemporaryDir dir;
    std::shared_ptr<sim::Installation> installation =
        std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4"));
    sim::SimulatedLine* line = nullptr;
    TMForm form;
};
} // namespace

void TestModes::unpluggedPortShowsOnTheLabel() {
    UnpluggableWindow w;
    auto& form = w.form;
    auto& installation = w.installation;
    sim::SimulatedLine*& line = w.line;
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    QVERIFY(port->isGreen());
    int pumps = 0;
    form.link().setPump([&] {
        if (++pumps == 4)
            line->unplug();
    });
    form.ScanForControllers();
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
void TestModes::remoteLineLostAndBack() {
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    const quint16 farPort = far.port();
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(farPort);
    Window w(nullptr);
    TMForm& form = *w.form;
    auto* port = form.findChild<PortLabel*>(QStringLiteral("Port"));
    form.ChoosePort(url);
    QVERIFY2(w.boxes.isEmpty(), qPrintable(w.boxes.join('\n')));
    QVERIFY(port->isGreen());
    QVERIFY(w.configText().contains(QStringLiteral("MAIN_PORT=") + url));
    form.ScanForControllers();
    QVERIFY2(form.statusText().startsWith(QStringLiteral("НАЙДЕНО КИП")),
             qPrintable(form.statusText()));
    far.drop();
    QTRY_VERIFY_WITH_TIMEOUT(!port->isGreen(), 3000);
    QVERIFY(!form.link().isOpen());
    QVERIFY(far.listen(farPort));
    QTRY_VERIFY_WITH_TIMEOUT(port->isGreen(), 5000);
    QCOMPARE(form.link().portName(), url);
    form.ScanForControllers();
    QVERIFY2(form.statusText().startsWith(QStringLiteral("НАЙДЕНО КИП")),
             qPrintable(form.statusText()));
}

// A line on the network that opened once is offered in the port menu from
// then on and chosen there like any port; one that never opened is not.
// Its measured round trip shows in the label's tip and the About box.
void TestModes::recentRemoteLineInThePortMenu() {
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    quint16 nobody = 0;
    {
        QTcpServer s;
        QVERIFY(s.listen(QHostAddress::LocalHost, 0));
        nobody = s.serverPort();
    }
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
    QCOMPARE(w.boxes.size(), 1);
    form.ChoosePort(far.url());
    QVERIFY(port->isGreen());
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
    QCOMPARE(next.form->link().portName(), far.url());
    QVERIFY(nextPort->isGreen());
    next.form->ScanForControllers();
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

// A port that comes back sends nothing by itself: the cycle that ran when it
// went away stays off until it is ticked again.
void TestModes::lostPortEndsTheCycle() {
    UnpluggableWindow w;
    auto& form = w.form;
    sim::SimulatedLine*& line = w.line;
    form.ScanForControllers();
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

void TestModes::directTypeTransitGoesToTheSensor() {
    Window w("type 2\nsensors 5 3", QStringLiteral("KIP_TYP=2\nKIP_B=5,3\n"));
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x85);
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QVERIFY(w.find<QToolButton>("sbTrans")->isChecked());
    QVERIFY(w.installation->controller(5)->transit);
    // A type-2 scan keeps the sensor and its controller together as well.
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QVERIFY(!w.installation->controller(5)->transit);
    w.form->state().sensorAddress = 2;
    w.form->ScanForControllers();
    QCOMPARE(int(w.form->state().sensorAddress), 5);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x85);
    QVERIFY(w.form->SelectSensorByNumber(7));
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x87);
}

void TestModes::sensorBarClicksSelectController() {
    Window w("controller 0 0 4\ncontroller 2 8 4");
    w.form->ScanForControllers();
    int cleared = 0;
    w.form->addClearSensorFields([&] { ++cleared; });
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    AddressBar* sensors = w.find<AddressBar>("SnsAdrBar");
    QVERIFY(w.installation->controller(0)->transit);
    QTest::mouseClick(sensors->button(10), Qt::LeftButton);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x82);
    QVERIFY(sensors->button(10)->isChecked());
    // On the properties page transit moves with the controller.
    QVERIFY(!w.installation->controller(0)->transit);
    QVERIFY(w.installation->controller(2)->transit);
    QVERIFY(cleared >= 1);
    QVERIFY(!sensors->button(13)->isEnabled());
    QTest::mouseClick(sensors->button(2), Qt::LeftButton);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x80);
    QVERIFY(w.form->SelectSensorByNumber(9));
    QVERIFY(!w.form->SelectSensorByNumber(40));
}

class TestStatusPages : public QObject {
    Q_OBJECT
  private slots:
    void generalPollAndCellClicks();
    void detailJumps_data();
    void detailJumps();
    void emptyFuelCellStillLeadsOn();
    void gridWidensPast16Rows();
    void cyclicPollsNeverOverlap();
    void cycleTickedDuringAnotherOperation();
    void leavingStopsTheCycle();
    void lostPortIsReported();
    void configOverviewPage();
};

namespace {
QTableWidget* polledGeneral(Window& w) {
    w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("sbGetStat"), Qt::LeftButton);
    return w.find<QTableWidget>("sgSns");
}

void pressCell(QTableWidget* t, int row, int column) {
    emit t->cellPressed(row, column);
}
} // namespace

void TestStatusPages::generalPollAndCellClicks() {
    Window w("controller 0 0 4\nsensor 1 fault=silent");
    w.installation->sensor(2)->fuel = {12345, 0x85};
    w.installation->sensor(2)->polls = 2;
    w.installation->sensor(2)->s1 = 0x01;
    QTableWidget* t = polledGeneral(w);
    QVERIFY(!t->isHidden());
    QCOMPARE(t->rowCount(), 4);
    QVERIFY(!w.find<QToolButton>("sbGetStat")->isChecked());
    QCOMPARE(t->item(2, 2)->text(), QStringLiteral("1234.5 (85)"));
    QCOMPARE(t->item(1, 1)->text(), QString()); // the silent sensor
    pressCell(t, 2, 1);
    QCOMPARE(w.mess(), QStringLiteral("СМОТРИТЕ УРОВЕНЬ"));
    pressCell(t, 2, 2);
    QCOMPARE(w.mess(), QStringLiteral("ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ "));
    QVERIFY(w.find<QPushButton>("btDetStat")->isEnabled());
    pressCell(t, 0, 0);
    QCOMPARE(w.mess(), QString());
    QVERIFY(!w.find<QPushButton>("btDetStat")->isEnabled());
}

void TestStatusPages::detailJumps_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("page");
    QTest::newRow("fuel") << 2 << "tsSDgr";
    QTest::newRow("water") << 3 << "tsSDgr";
    QTest::newRow("temperature") << 4 << "tsProp";
    QTest::newRow("density") << 5 << "tsDens";
    QTest::newRow("volume") << 6 << "tsCT";
    QTest::newRow("mass with a density fault") << 7 << "tsDens";
}

void TestStatusPages::detailJumps() {
    QFETCH(int, column);
    QFETCH(QString, page);
    Window w("controller 0 0 4\ncontroller 1 4 4");
    w.installation->sensor(6)->density = {-2000, 0xB1};
    QTableWidget* t = polledGeneral(w);
    pressCell(t, 6, column);
    QPushButton* det = w.find<QPushButton>("btDetStat");
    QVERIFY(det->isEnabled());
    QTest::mouseClick(det, Qt::LeftButton);
    QVERIFY(!det->isEnabled());
    QCOMPARE(w.find<QStackedWidget>("pcMain")->currentWidget()->objectName(), page);
    QCOMPARE(int(w.form->state().sensorAddress), 6);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x81);
    if (page == QLatin1String("tsProp")) {
        // Only the thermometer tab shows, already read.
        auto* tabs = w.find<QTabWidget>("pcProp");
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tsTProp"));
        QVERIFY(!tabs->isTabVisible(0));
        QCOMPARE(w.find<QLineEdit>("reIDT1")->text(),
                 QString::fromLatin1(w.installation->sensor(6)->cells[0x81]));
        // Any mode change shows every tab again.
        QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
        QVERIFY(tabs->isTabVisible(0));
    }
    // On the density page the meters are looked for at once: this sensor has
    // none, and says so for each place.
    if (page == QLatin1String("tsDens")) {
        QVERIFY(w.find<QLabel>("lDI1")->text().isEmpty());
        QVERIFY(!w.find<QLabel>("lDE1")->text().isEmpty());
    }
    // The diagram page draws the sensor's diagram at once.
    if (page == QLatin1String("tsSDgr")) {
        QVERIFY(w.find<QLabel>("stFLvl")->text().endsWith(QStringLiteral("(00)")));
        QVERIFY(!w.find<QToolButton>("sbDraw")->isChecked());
    }
}

void TestStatusPages::emptyFuelCellStillLeadsOn() {
    Window w("controller 0 0 2\nsensor 1 fault=silent");
    QTableWidget* t = polledGeneral(w);
    pressCell(t, 1, 2);
    QVERIFY(w.find<QPushButton>("btDetStat")->isEnabled());
    pressCell(t, 1, 4); // no code, and not a column that leads on by itself
    QVERIFY(!w.find<QPushButton>("btDetStat")->isEnabled());
}

void TestStatusPages::gridWidensPast16Rows() {
    Window small("controller 0 0 16");
    QTableWidget* t16 = polledGeneral(small);
    Window big("controller 0 0 17");
    QTableWidget* t17 = polledGeneral(big);
    QCOMPARE(t17->rowCount(), 17);
    QCOMPARE(t17->width(), t16->width() + 18);
    QCOMPARE(t17->height(), t16->height());
}

void TestStatusPages::cyclicPollsNeverOverlap() {
    Window w("controller 0 0 4");
    w.form->ScanForControllers();
    QTimer* tmr = w.form->pollTimer();
    tmr->setInterval(1);
    bool overlapped = false;
    int pumps = 0;
    // While any request waits, the cycle timer must be off.
    w.form->link().setPump([&] {
        ++pumps;
        overlapped |= tmr->isActive();
        QApplication::processEvents();
    });
    auto* cycle = w.find<QCheckBox>("cbCycle");
    QTest::mouseClick(cycle, Qt::LeftButton);
    QVERIFY(w.find<QToolButton>("sbGetStat")->isChecked());
    const int afterFirst = w.installation->requestsSeen();
    QCOMPARE(afterFirst, 8 + 1 + 4); // scan, then one poll
    QTRY_VERIFY(w.installation->requestsSeen() >= afterFirst + 8);
    QTest::mouseClick(cycle, Qt::LeftButton);
    QVERIFY(!w.find<QToolButton>("sbGetStat")->isChecked());
    QTRY_VERIFY(!tmr->isActive());
    QVERIFY(pumps > 0);
    QVERIFY(!overlapped);
}

void TestStatusPages::cycleTickedDuringAnotherOperation() {
    Window w("controller 0 0 4");
    auto* cycle = w.find<QCheckBox>("cbCycle");
    int pumps = 0;
    // The box is ticked while the scan holds the line.
    w.form->link().setPump([&] {
        if (++pumps == 2)
            QTest::mouseClick(cycle, Qt::LeftButton);
    });
    w.form->ScanForControllers();
    w.form->link().setPump({});
    QVERIFY(cycle->isChecked());
    QVERIFY(w.find<QToolButton>("sbGetStat")->isChecked());
    // The cycle starts once the scan has ended: a poll, then the timer.
    QTRY_VERIFY(w.installation->requestsSeen() >= 8 + 1 + 4);
    QTRY_VERIFY(w.form->pollTimer()->isActive());
}

void TestStatusPages::leavingStopsTheCycle() {
    Window w("controller 0 0 2");
    w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("MyMenuItem1"), Qt::LeftButton);
    auto* cycle = w.find<QCheckBox>("cbLCycle");
    QTest::mouseClick(cycle, Qt::LeftButton);
    QVERIFY(w.form->pollTimer()->isActive());
    QCOMPARE(w.find<QTableWidget>("sgTStat")->rowCount(), 2);
    QCOMPARE(w.find<QTableWidget>("sgDStat")->rowCount(), 2);
    QTest::mouseClick(w.find<QToolButton>("MyMenuItem2"), Qt::LeftButton);
    QVERIFY(!cycle->isChecked());
    QVERIFY(!w.form->pollTimer()->isActive());
    QVERIFY(!w.find<QToolButton>("sbGetLStat")->isChecked());
}

void TestStatusPages::lostPortIsReported() {
    Window w("controller 0 0 4");
    w.form->ScanForControllers();
    int pumps = 0;
    w.form->link().setPump([&] {
        if (++pumps == 5)
            w.form->link().ClosePort(); // refused while waiting: the port stays
    });
    QTest::mouseClick(w.find<QToolButton>("sbGetStat"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ОПРОШЕНО: 4 из 4"));
    QVERIFY(w.form->link().isOpen());
    // Without a port the poll cannot have worked, and says so.
    Window gone("controller 0 0 4");
    gone.form->ScanForControllers();
    QVERIFY(gone.form->link().ClosePort());
    QTest::mouseClick(gone.find<QToolButton>("sbGetStat"), Qt::LeftButton);
    QCOMPARE(gone.mess(), QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."));
}

void TestStatusPages::configOverviewPage() {
    Window w("controller 0 0 3\nabsent 1");
    w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("MyMenuItem2"), Qt::LeftButton);
    QTest::mouseClick(w.find<QPushButton>("Button3"), Qt::LeftButton);
    auto* t = w.find<QTableWidget>("sgCFG");
    QVERIFY(!t->isHidden());
    QCOMPARE(t->item(0, 1)->text(), QString::fromLatin1(w.installation->sensor(0)->version));
    QCOMPARE(t->item(1, 1)->text(), QString());
    pressCell(t, 0, 3);
    QVERIFY(w.find<QPushButton>("btDetSCfg")->isEnabled());
    QTest::mouseClick(w.find<QPushButton>("btDetSCfg"), Qt::LeftButton);
    QCOMPARE(w.find<QStackedWidget>("pcMain")->currentWidget()->objectName(),
             QStringLiteral("tsProp"));
}

ORVANT_TEST_MAIN(TestPollLogUi, TestMainWindow, TestDialogs, TestModes, TestStatusPages, TestPropertiesPage,
                 TestDensityPage, TestAlarmPage, TestControllerPages, TestDiagramPage,
                 TestCalibrationPage, TestCalibrationOutcomes, TestUpdatePage, TestDatabasesUi, TestSnapshotMenu,
                 TestPageFaults, TestEntryFields, TestLanguage, TestSmallScreen,
                 TestKeyboard, TestAnswers)
#include "tst_ui.moc"
