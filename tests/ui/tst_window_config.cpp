#include "tst_window_config.h"

#include "UiWindow.h"

#include "app/FileReader.h"

#include "ui/PortLabel.h"
#include "ui/StartOptions.h"
#include "ui/TrafficView.h"
#include "ui/WindowSettings.h"

#include <QStatusBar>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

void TestWindowConfig::startsWithoutConfiguration() {
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

void TestWindowConfig::simulatedPortIsNotSaved() {
    Window w("controller 0 0 4", QStringLiteral("MAIN_PORT=/dev/ttyUSB0\nMAIN_FILE=x.hex\n"));
    QVERIFY(w.form->link().isOpen());
    QCOMPARE(w.configText(), QStringLiteral("MAIN_PORT=/dev/ttyUSB0\nMAIN_FILE=x.hex\n"));
}

void TestWindowConfig::noLayoutSwitchKeepsDefaults() {
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

void TestWindowConfig::layoutSaveAndReload() {
    Window w("controller 1 4 4", QStringLiteral("SENS_FILE=s.hex\n"));
    w.form->layoutActions().scan();
    w.form->layoutActions().run(LayoutActions::Save);
    QCOMPARE(w.configText(),
             // The file's own line ends are kept.
             QStringLiteral("SENS_FILE=s.hex\nKIP_TYP=1\nKIP_NUM=1,2\nKIP_B=\nKIP2=4,4\n"));
    w.form->layoutActions().run(LayoutActions::TypeChanged, 3);
    QCOMPARE(w.find<QLabel>("KipLabel")->text(), QStringLiteral("Используется КИП-С6"));
    w.form->layoutActions().run(LayoutActions::Reload);
    QCOMPARE(w.form->state().layout.controllerType, 1);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x81);
}

// Starting touches nothing; choosing a port changes only its line.
void TestWindowConfig::startAndPortChangeKeepTheFile() {
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

void TestWindowConfig::windowRemembersItsState() {
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
void TestWindowConfig::recentRemoteLinesAreFew() {
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
void TestWindowConfig::configurationThatIsNoFile_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("FIFO") << true;
    QTest::newRow("/dev/zero") << false;
}

void TestWindowConfig::configurationThatIsNoFile() {
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

// A file saved by an earlier run that is gone, unreadable, a folder or a
// pipe: the window starts all the same (a pipe is never opened to read, so
// nothing waits for a writer) and its status line names the file.
void TestWindowConfig::savedFileThatCannotBeRead_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("fault");
    // The poll log is remembered in the window's settings, recording or
    // not; the others are keys of the configuration file.
    const QStringList keys{"pollLog/record", "pollLog/path", "MAIN_FILE",
                           "SLAVE_FILE",     "SENS_FILE",    "SecDBName"};
    for (const QString& key : keys)
        for (const char* fault : {"missing", "unreadable", "folder", "FIFO"})
            QTest::addRow("%s, %s", qPrintable(key), fault) << key << QString::fromLatin1(fault);
}

void TestWindowConfig::savedFileThatCannotBeRead() {
    QFETCH(QString, key);
    QFETCH(QString, fault);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("saved.file"));
    if (fault == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("gone/saved.file"));
    } else if (fault == QLatin1String("unreadable")) {
        putFile(dir, "saved.file", QByteArray());
        QVERIFY(QFile(path).setPermissions({}));
    } else if (fault == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("saved.file")));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    // Root reads a file without permissions: what the readers themselves
    // refuse is what the window must name.
    QFile probe;
    const bool refused = !app::openRegularFile(probe, path, QIODevice::ReadOnly).ok();
    probe.close();

    const QString settings = dir.filePath(QStringLiteral("settings"));
    Window::useSettingsFolder(settings);
    QString config;
    if (key.startsWith(QLatin1String("pollLog/"))) {
        QSettings store = windowSettingsStore();
        writePollLogSettings(store, {key == QLatin1String("pollLog/record"), path}, false);
    } else {
        config = key + QLatin1Char('=') + path + QLatin1Char('\n');
    }
    Window w(nullptr, config, {}, settings);
    QVERIFY(w.form->windowTitle().startsWith(QStringLiteral("ORVANT II")));
    QVERIFY2(w.mess().contains(path) == refused, qPrintable(w.mess()));
    if (refused)
        QVERIFY2(w.mess().startsWith(QStringLiteral("ОПРЕДЕЛИТЕ COM ПОРТ; ")),
                 qPrintable(w.mess()));
    // Nothing was made in place of the file.
    if (fault == QLatin1String("missing"))
        QVERIFY(!QFileInfo::exists(QFileInfo(path).absolutePath()));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

// Every saved file gone at once: the status line runs past a 1024 px
// window, and its tooltip holds every one of them.
void TestWindowConfig::everyStartProblemShown() {
    QTemporaryDir dir;
    QStringList paths;
    QString config;
    for (const char* key : {"MAIN_FILE", "SLAVE_FILE", "SENS_FILE", "SecDBName"}) {
        paths << dir.filePath(QStringLiteral("gone/a/long/folder/name/%1.file").arg(key));
        config += QLatin1String(key) + QLatin1Char('=') + paths.back() + QLatin1Char('\n');
    }
    const QString settings = dir.filePath(QStringLiteral("settings"));
    Window::useSettingsFolder(settings);
    {
        QSettings store = windowSettingsStore();
        paths << dir.filePath(QStringLiteral("gone/poll.db"));
        writePollLogSettings(store, {true, paths.back()}, false);
    }
    Window w(nullptr, config, {}, settings);
    w.form->resize(1024, 768);
    // The window's own line, not a dialog's of the same name.
    auto* mess = w.form->statusBar()->findChild<QLabel*>(QStringLiteral("Mess"));
    QVERIFY(mess);
    QVERIFY(mess->fontMetrics().horizontalAdvance(mess->text()) > 1024);
    QCOMPARE(mess->toolTip(), w.mess());
    for (const QString& path : paths)
        QVERIFY2(mess->toolTip().contains(path), qPrintable(path));
}

void TestWindowConfig::geometryFitsTheScreen_data() {
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

void TestWindowConfig::geometryFitsTheScreen() {
    QFETCH(QRect, saved);
    QFETCH(QRect, screen);
    QFETCH(QRect, shown);
    QCOMPARE(fittedGeometry(saved.isNull() ? std::nullopt : std::optional<QRect>(saved), screen),
             shown);
}

void TestWindowConfig::startOptions_data() {
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
    QTest::newRow("read-only") << QStringList{"--simulate", "--read-only"} << "---S|||R";
}

void TestWindowConfig::startOptions() {
    QFETCH(QStringList, args);
    QFETCH(QString, flags);
    QString error;
    const auto o = parseStartOptions(QStringList{"orvant2"} + args, &error);
    QVERIFY2(o, qPrintable(error));
    const QString got = QString(o->noLayout ? "N" : "-") + (o->controllerStatus ? "D" : "-") +
                        (o->segmentTest ? "G" : "-") + (o->simulate ? "S" : "-") + "|" +
                        o->scenario + "|" + o->port + (o->readOnly ? "|R" : "");
    QCOMPARE(got, flags);
}
