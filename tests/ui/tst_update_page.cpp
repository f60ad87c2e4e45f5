#include "tst_update_page.h"

#include "HexFile.h"
#include "UiWindow.h"
#include "common/CommandLog.h"
#include "ui/ControllerUpdatePage.h"
#include "ui/SensorUpdatePage.h"
#include "ui/TPForm.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

struct UpdateWindow : Window {
    explicit UpdateWindow(const QString& config = {}, const char* scenario = "controller 0 0 4\n")
        : Window(scenario, config) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miKipUd"), Qt::LeftButton);
        page = form->findChild<ControllerUpdatePage*>();
    }
    void click(const char* name) const {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
    }
    QString text(const char* name) const { return find<QLabel>(name)->text(); }
    ControllerUpdatePage* page = nullptr;
};

// The sensor update page with sensor 2 of controller 0 selected.
struct SensorWindow : Window {
    explicit SensorWindow(const char* scenario = "controller 0 0 4\n", const QString& config = {})
        : Window(scenario, config) {
        form->layoutActions().scan();
        form->SelectSensorByNumber(2);
        QTest::mouseClick(find<QToolButton>("MyMenuItem6"), Qt::LeftButton);
        page = form->findChild<SensorUpdatePage*>();
        form->link().setObserver(&log);
    }
    void click(const char* name) const { find<QAbstractButton>(name)->click(); }
    QString text(const char* name) const { return find<QLabel>(name)->text(); }
    bool transitShown() const { return find<QToolButton>("sbTrans")->isChecked(); }
    sim::SimSensor& sensor() const { return *installation->sensor(2); }
    sim::SimController& controller() const { return *installation->controller(0); }
    SensorUpdatePage* page = nullptr;
    CommandLog log;
};

} // namespace

void TestUpdatePage::linkProgramFree() {
    UpdateWindow w;
    QVERIFY(!w.find<QPushButton>("btLink")->isEnabled());
    w.page->HFOpened(hexFile(w.dir, "kip.hex"));
    QCOMPARE(w.text("stNVer"), QStringLiteral("REV VQM 6.01"));
    QVERIFY(w.find<QPushButton>("btLink")->isEnabled());
    QVERIFY(w.configText().contains(QStringLiteral("MAIN_FILE=")));
    w.click("btLink");
    QCOMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QCOMPARE(w.text("stOVer"), QString::fromLatin1(w.installation->controller(0)->version));
    QVERIFY(w.find<QPushButton>("btProg")->isEnabled());
    w.click("btProg");
    QCOMPARE(w.mess(), QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    QVERIFY(!w.find<QPushButton>("btProg")->isEnabled());
    // The device, restarted, says what it runs now.
    QCOMPARE(w.text("stOVer"), QStringLiteral("REV VQM 6.01"));
    QVERIFY(!w.installation->controller(0)->inBootLoader[0]);
    QCOMPARE(w.installation->controller(0)->program[0].mid(20, 12), QByteArray("REV VQM 6.01"));
}

void TestUpdatePage::progStoppedShortNamesTheAddress_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<QString>("mess");
    // Break asked while the second block's answer is awaited: two blocks
    // are confirmed, the third (at 0x100) is not sent.
    QTest::newRow("break after two blocks")
        << "controller 0 0 4\n"
        << true << "ПРОГРАММИРОВАНИЕ ПРЕРВАНО(00100)";
    // The line goes silent after three blocks: the fourth, 0x180..0x1FF, is
    // lost, and the address past it is named.
    QTest::newRow("line silent mid-write") << "controller 0 0 4\ncut 50 3\n"
                                           << false << "ПОТЕРЯ СВЯЗИ(00200)";
}

// PROG that stops short says how far it got; the loader stays linked for
// another PROG.
void TestUpdatePage::progStoppedShortNamesTheAddress() {
    QFETCH(QString, scenario);
    QFETCH(bool, breaks);
    QFETCH(QString, mess);
    UpdateWindow w({}, qPrintable(scenario));
    w.page->HFOpened(hexFile(w.dir, "kip.hex"));
    w.click("btLink");
    QCOMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    CommandLog log;
    w.form->link().setObserver(&log);
    if (breaks)
        w.form->link().setPump([&] {
            if (log.sent.count(QStringLiteral("FF:50")) == 2)
                w.form->progressDialog()->findChild<QPushButton*>("btBreak")->click();
        });
    w.click("btProg");
    w.form->link().setPump({});
    w.form->link().setObserver(nullptr);
    QCOMPARE(w.mess(), mess);
    QVERIFY(w.find<QPushButton>("btProg")->isEnabled());
    QVERIFY(w.installation->controller(0)->inBootLoader[0]);
}

void TestUpdatePage::fileFromTheConfiguration() {
    QTemporaryDir files;
    const QString hex = hexFile(files, "main.hex");
    UpdateWindow w(QStringLiteral("MAIN_FILE=%1\n").arg(hex));
    QCOMPARE(w.text("stHFile"), hex);
    QVERIFY(w.find<QPushButton>("btLink")->isEnabled());
    QVERIFY(!w.find<QCheckBox>("cbKipAlrLink")->isChecked());
}

void TestUpdatePage::unsupportedFileIsRefused() {
    UpdateWindow w;
    w.page->HFOpened(hexFile(w.dir, "plain.hex", false));
    QCOMPARE(w.mess(), QStringLiteral("Этот файл программой не поддерживается"));
    QVERIFY(!w.find<QPushButton>("btLink")->isEnabled());
    QVERIFY(w.text("stHFile").isEmpty());
    // PROG without an image in force sends nothing.
    CommandLog log;
    w.form->link().setObserver(&log);
    w.page->btProgClick();
    QVERIFY(log.sent.isEmpty());
}

// The other processor's image never stays behind a page whose own file
// could not be loaded again.
void TestUpdatePage::failedReloadLeavesNoImage() {
    UpdateWindow w;
    const QString main = hexFile(w.dir, "main.hex");
    w.page->HFOpened(main);
    w.click("btLink");
    QVERIFY(w.find<QPushButton>("btProg")->isEnabled());
    auto* tabs = w.find<QTabWidget>("pcKipUp");
    tabs->setCurrentIndex(ControllerUpdatePage::KeyboardCpu);
    w.page->HFOpened(hexFile(w.dir, "kbd.hex", true, "REV VQS 2.00"));
    QVERIFY(QFile::remove(main));
    tabs->setCurrentIndex(ControllerUpdatePage::MainCpu);
    QVERIFY(!w.find<QPushButton>("btProg")->isEnabled());
    CommandLog log;
    w.form->link().setObserver(&log);
    w.page->btProgClick();
    w.form->link().setObserver(nullptr);
    QVERIFY(log.sent.isEmpty());
}

// PROG with a file whose version names the other processor asks first;
// refused, nothing is sent and the status line says why.
void TestUpdatePage::otherProcessorsImageAskedFirst_data() {
    QTest::addColumn<bool>("agreed");
    QTest::newRow("refused") << false;
    QTest::newRow("agreed") << true;
}

void TestUpdatePage::otherProcessorsImageAskedFirst() {
    QFETCH(bool, agreed);
    UpdateWindow w;
    w.page->HFOpened(hexFile(w.dir, "kbd.hex", true, "REV VQS 2.00"));
    w.click("btLink");
    QCOMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QString asked;
    w.page->confirmOtherImage = [&](const QString& warning) {
        asked = warning;
        return agreed;
    };
    CommandLog log;
    w.form->link().setObserver(&log);
    w.click("btProg");
    w.form->link().setObserver(nullptr);
    const QString warning = QStringLiteral(
        "REV VQS 2.00 — ФАЙЛ ДЛЯ ПРОЦЕССОРА KBD/LCD, А ВЫБРАН ЦЕНТРАЛЬНЫЙ ПРОЦЕССОР");
    QCOMPARE(asked, warning);
    if (agreed) {
        QCOMPARE(w.mess(), QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    } else {
        QCOMPARE(w.mess(), warning);
        QVERIFY(log.sent.isEmpty());
        QVERIFY(w.find<QPushButton>("btProg")->isEnabled());
    }
}

// A FIFO or a device as the firmware file is refused at once.
void TestUpdatePage::pipeOrDeviceRefused_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("FIFO") << true;
    QTest::newRow("/dev/zero") << false;
}

void TestUpdatePage::pipeOrDeviceRefused() {
    QFETCH(bool, fifo);
    UpdateWindow w;
    QString path = QStringLiteral("/dev/zero");
    if (fifo) {
        path = w.dir.filePath(QStringLiteral("kip.hex"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    w.page->HFOpened(path);
    QCOMPARE(w.mess(), QStringLiteral("НЕ ФАЙЛ"));
    QVERIFY(!w.find<QPushButton>("btLink")->isEnabled());
}

void TestUpdatePage::sensorLinkProgramFree() {
    SensorWindow w;
    QVERIFY(!w.find<QPushButton>("btSLink")->isEnabled());
    const QString hex = hexFile(w.dir, "dut.hex", true, "REV DUT 3.60");
    w.page->HFOpened(hex);
    QCOMPARE(w.text("stSNVer"), QStringLiteral("REV DUT 3.60"));
    QVERIFY(w.configText().contains(QStringLiteral("SENS_FILE=") + hex));
    w.click("btSLink");
    QCOMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QCOMPARE(w.text("stSOVer"), QStringLiteral("DUT V3.02"));
    QCOMPARE(w.text("stSODate"), QStringLiteral("14-10-2026"));
    QVERIFY(w.transitShown());
    QVERIFY(w.controller().transit);
    QVERIFY(w.sensor().inBootLoader);
    QVERIFY(w.find<QPushButton>("btSProg")->isEnabled());
    w.log.sent.clear();
    w.click("btSProg");
    QCOMPARE(w.mess(), QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    // Five blocks of data, the closing block after the odd count, then the
    // sensor let go, asked what it runs, and transit off.
    QCOMPARE(w.log.sent.count(QStringLiteral("02:50")), 6);
    QCOMPARE(w.log.sent.mid(6), (QStringList{"02:A5", "02:01", "02:02", "80:A5"}));
    QCOMPARE(w.text("stSOVer"), QStringLiteral("REV DUT 3.60"));
    QVERIFY(!w.transitShown());
    QVERIFY(!w.controller().transit);
    QVERIFY(!w.find<QPushButton>("btSProg")->isEnabled());
    QCOMPARE(w.sensor().program.mid(20, 12), QByteArray("REV DUT 3.60"));
    // FREE from any state: the sensor let go and transit off.
    w.log.sent.clear();
    w.click("btSFree");
    QCOMPARE(w.log.sent, (QStringList{"02:A5", "80:A5"}));
}

void TestUpdatePage::sensorReleasedOnLeavingAndOnAnotherSensor_data() {
    QTest::addColumn<bool>("leave");
    QTest::newRow("another page") << true;
    QTest::newRow("another sensor") << false;
}

void TestUpdatePage::sensorReleasedOnLeavingAndOnAnotherSensor() {
    QFETCH(bool, leave);
    SensorWindow w;
    w.page->HFOpened(hexFile(w.dir, "dut.hex", true, "REV DUT 3.60"));
    w.click("btSLink");
    QVERIFY(w.sensor().inBootLoader);
    w.log.sent.clear();
    if (leave)
        QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    else
        w.form->SensorButtonClicked(1);
    QCOMPARE(w.log.sent.mid(0, 2), (QStringList{"02:A5", "80:A5"}));
    QVERIFY(!w.sensor().inBootLoader);
    QVERIFY(!w.controller().transit);
    QVERIFY(!w.transitShown());
    QVERIFY(!w.find<QPushButton>("btSProg")->isEnabled());
    // Another sensor's page shows nothing of the one before.
    QCOMPARE(w.text("stSOVer").isEmpty(), !leave);
}

void TestUpdatePage::sensorEmergencyUpdate() {
    SensorWindow w("controller 0 0 4\nbroken 2\n");
    w.page->HFOpened(hexFile(w.dir, "dut.hex", true, "REV DUT 3.60"));
    auto* flag = w.find<QToolButton>("sbSnsAlrLink");
    QVERIFY(!flag->isHidden());
    flag->click();
    QCOMPARE(w.mess(), QStringLiteral("УСТАНОВЛЕН АВАРИЙНЫЙ РЕЖИМ"));
    QVERIFY(!w.find<QWidget>("pSHelp")->isHidden());
    const QString steps = w.find<QWidget>("pSHelp")->findChild<QPlainTextEdit*>()->toPlainText();
    QVERIFY(steps.contains(QStringLiteral(" - выберите датчик;")));
    QVERIFY(steps.contains(QStringLiteral(" - в течение 10 секунд включите КИП.")));
    QVERIFY(w.controller().emergencyFlag);
    // The engineer switches the controller off, presses LINK and switches
    // it on while the tool probes.
    w.installation->setPower(0, false);
    w.controller().powerOnAfter = 5;
    w.click("btSLink");
    QCOMPARE(w.mess(), QStringLiteral("УСТАНОВЛЕНИЕ СВЯЗИ"));
    QVERIFY(!w.find<QProgressBar>("pbSInd")->isHidden());
    QTRY_COMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QVERIFY(w.find<QProgressBar>("pbSInd")->isHidden());
    w.click("btSProg");
    QCOMPARE(w.mess(), QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    QCOMPARE(w.text("stSOVer"), QStringLiteral("REV DUT 3.60"));
    QVERIFY(!w.sensor().firmwareBroken);
    QVERIFY(!w.controller().transit);
    // Clearing the flag ends the mode.
    flag->click();
    QCOMPARE(w.mess(), QStringLiteral("АВАРИЙНЫЙ РЕЖИМ СНЯТ"));
    QVERIFY(w.find<QWidget>("pSHelp")->isHidden());
    QVERIFY(!w.controller().emergencyFlag);
    // "Проверить режим" shows what the controller holds.
    w.controller().emergencyFlag = true;
    w.click("btCheckSnsAlr");
    QVERIFY(flag->isChecked());
    QVERIFY(!w.find<QWidget>("pSHelp")->isHidden());
}

void TestUpdatePage::sensorEmergencyProbingGivesUp() {
    SensorWindow w("controller 0 0 4\nbroken 2\n");
    w.page->HFOpened(hexFile(w.dir, "dut.hex", true, "REV DUT 3.60"));
    w.click("sbSnsAlrLink");
    w.installation->setPower(0, false);
    w.log.sent.clear();
    w.click("btSLink");
    QTRY_COMPARE_WITH_TIMEOUT(w.mess(), QStringLiteral("СВЯЗИ НЕТ. ПОПРОБУЙТЕ ПОВТОРИТЬ."), 10000);
    QCOMPARE(w.log.sent.count(QStringLiteral("02:5A")), 13);
    QVERIFY(w.find<QProgressBar>("pbSInd")->isHidden());
    QVERIFY(!w.find<QPushButton>("btSProg")->isEnabled());
    // A setting that cannot be made puts the button back.
    auto* flag = w.find<QToolButton>("sbSnsAlrLink");
    flag->click();
    QCOMPARE(w.mess(), QStringLiteral("НЕ УСТАНОВЛЕН"));
    QVERIFY(flag->isChecked());
}

void TestUpdatePage::sensorEmergencyControlsByType_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("shown");
    QTest::newRow("type 0") << "0" << false;
    QTest::newRow("type 1") << "1" << true;
    QTest::newRow("type 3") << "3" << true;
    QTest::newRow("type 4") << "4" << false;
}

void TestUpdatePage::sensorEmergencyControlsByType() {
    QFETCH(QString, type);
    QFETCH(bool, shown);
    SensorWindow w(qPrintable(QStringLiteral("type %1\ncontroller 0 0 4\n").arg(type)),
                   QStringLiteral("KIP_TYP=%1\n").arg(type));
    QCOMPARE(!w.find<QToolButton>("sbSnsAlrLink")->isHidden(), shown);
    QCOMPARE(!w.find<QPushButton>("btCheckSnsAlr")->isHidden(), shown);
}

void TestUpdatePage::sensorProgStoppedShortNamesTheAddress_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<QString>("mess");
    QTest::newRow("break after two blocks")
        << "controller 0 0 4\n"
        << true << "ПРОГРАММИРОВАНИЕ ПРЕРВАНО(00100)";
    // Five tries of the fourth block, all unanswered.
    QTest::newRow("line silent mid-write") << "controller 0 0 4\ncut 50 3\n"
                                           << false << "ПОТЕРЯ СВЯЗИ(00200)";
}

void TestUpdatePage::sensorProgStoppedShortNamesTheAddress() {
    QFETCH(QString, scenario);
    QFETCH(bool, breaks);
    QFETCH(QString, mess);
    SensorWindow w(qPrintable(scenario));
    w.page->HFOpened(hexFile(w.dir, "dut.hex", true, "REV DUT 3.60"));
    w.click("btSLink");
    QCOMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    w.log.sent.clear();
    if (breaks)
        w.form->link().setPump([&] {
            if (w.log.sent.count(QStringLiteral("02:50")) == 2)
                w.form->progressDialog()->findChild<QPushButton*>("btBreak")->click();
        });
    w.click("btSProg");
    w.form->link().setPump({});
    QCOMPARE(w.mess(), mess);
    QCOMPARE(w.log.sent.count(QStringLiteral("02:50")), breaks ? 2 : 3 + 5);
    QVERIFY(w.find<QPushButton>("btSProg")->isEnabled());
}

void TestUpdatePage::sensorFileFromTheConfiguration() {
    QTemporaryDir files;
    const QString hex = hexFile(files, "dut.hex", true, "REV DUT 3.60");
    SensorWindow w("controller 0 0 4\n", QStringLiteral("SENS_FILE=%1\n").arg(hex));
    QCOMPARE(w.text("stSHFile"), hex);
    QVERIFY(w.find<QPushButton>("btSLink")->isEnabled());
    // A file gone since is refused and forgotten on the page.
    QFile::remove(hex);
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QTest::mouseClick(w.find<QToolButton>("MyMenuItem6"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ФАЙЛ НЕ НАЙДЕН"));
    QVERIFY(w.text("stSHFile").isEmpty());
    QVERIFY(!w.find<QPushButton>("btSLink")->isEnabled());
    // PROG without an image in force sends nothing.
    w.log.sent.clear();
    w.page->btSProgClick();
    QVERIFY(w.log.sent.isEmpty());
}
