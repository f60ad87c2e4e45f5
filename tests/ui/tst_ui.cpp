#include "common/TestMain.h"
#include "sim/SimulatedLine.h"
#include "ui/AddressBar.h"
#include "ui/PortLabel.h"
#include "ui/StartOptions.h"
#include "ui/TIForm.h"
#include "ui/TMForm.h"
#include "ui/TPForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

struct Window {
    explicit Window(const char* scenario, const QString& configText = {}, StartOptions options = {}) {
        config = dir.filePath(QStringLiteral("orvant2.cfg"));
        if (!configText.isEmpty()) {
            QFile f(config);
            f.open(QIODevice::WriteOnly);
            f.write(configText.toUtf8());
        }
        bus::PortOpener opener;
        if (scenario) {
            QString error;
            installation = std::make_shared<sim::Installation>(*sim::parseScenario(QString::fromUtf8(scenario), &error));
            options.simulate = true;
            opener = sim::simulatedPortOpener(installation, true, true);
        }
        form = std::make_unique<TMForm>(options, config, opener);
        form->setErrorBox([this](const QString& caption, const QString& text) { boxes << caption + "|" + text; });
        form->Start();
    }
    template <typename T> T* find(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }
    QString mess() const { return find<QLabel>("Mess")->text(); }
    QString configText() const {
        QFile f(config);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

    QTemporaryDir dir;
    QString config;
    std::shared_ptr<sim::Installation> installation;
    std::unique_ptr<TMForm> form;
    QStringList boxes;
};

} // namespace

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
    void closeLeavesTransit();
    void transitButtons();
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
    QVERIFY2(w.boxes[0].section('|', 0, 0).endsWith(QStringLiteral(" -ПОРТ НЕДОСТУПЕН")), qPrintable(w.boxes[0]));
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
    QCOMPARE(w.mess(), QString());
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

void TestMainWindow::layoutSaveAndReload() {
    Window w("controller 1 4 4", QStringLiteral("SENS_FILE=s.hex\n"));
    w.form->ScanForControllers();
    w.form->RunLayoutOperation(TMForm::SaveLayoutOp);
    QCOMPARE(w.configText(), QStringLiteral("SENS_FILE=s.hex\r\nKIP_TYP=1\r\nKIP_NUM=1,2\r\nKIP_B=\r\nKIP2=4,4\r\n"));
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
    QTest::newRow("simulate with scenario") << QStringList{"--simulate", "demo.txt", "DGS"} << "-D-S|demo.txt|";
    QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB1"} << "----||/dev/ttyUSB1";
}

void TestMainWindow::startOptions() {
    QFETCH(QStringList, args);
    QFETCH(QString, flags);
    QString error;
    const auto o = parseStartOptions(QStringList{"orvant2"} + args, &error);
    QVERIFY2(o, qPrintable(error));
    const QString got = QString(o->noLayout ? "N" : "-") + (o->controllerStatus ? "D" : "-") +
                        (o->segmentTest ? "G" : "-") + (o->simulate ? "S" : "-") + "|" + o->scenario + "|" + o->port;
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
    QCOMPARE(p.findChild<QLabel*>(QStringLiteral("lText"))->text(), QStringLiteral("ВЫПОЛНЯЕТСЯ..."));
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

ORVANT_TEST_MAIN(TestMainWindow, TestDialogs)
#include "tst_ui.moc"
