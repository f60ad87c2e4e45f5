#include "tst_density_page.h"

#include "common/CommandLog.h"
#include "link/Command.h"
#include "ui/AddressBar.h"
#include "ui/DensityPage.h"
#include "ui/UiWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int kSensor = 2; // density meters 1 and 2, at 512 and 612 mm

struct DensityWindow : Window {
    explicit DensityWindow(const char* scenario = "controller 0 0 4") : Window(scenario) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miDens"), Qt::LeftButton);
        QTest::mouseClick(find<AddressBar>("SnsAdrBar")->button(kSensor), Qt::LeftButton);
        page = form->findChild<DensityPage*>();
    }
    void click(const char* name) const {
        QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton);
    }
    QString text(const char* name) const { return find<QLabel>(name)->text(); }
    sim::SimSensor& sensor() const { return *installation->sensor(kSensor); }
    DensityPage* page = nullptr;
};

} // namespace

void TestDensityPage::findMeters() {
    DensityWindow w;
    QVERIFY(w.page);
    QVERIFY(w.find<QToolButton>("sbTrans")->isChecked());
    w.click("sbGetDens");
    QCOMPARE(w.text("lDI1"), QString::fromLatin1(w.sensor().cells[0x89]));
    QCOMPARE(w.text("lDI2"), QString::fromLatin1(w.sensor().cells[0x8A]));
    QVERIFY(w.text("lDI3").isEmpty());
    auto* positions = w.find<MeterPositionPanel>("pDPos");
    QVERIFY(!positions->isHidden());
    QVERIFY(positions->positions().lamps[0] && positions->positions().lamps[1]);
    QVERIFY(!positions->positions().lamps[2]);
    // The fuel stands above both meters.
    QCOMPARE(positions->positions().fuelUpTo.value_or(-1), 1);
    // Only the selected meter's status shows.
    QVERIFY(!w.find<QLabel>("lDE1")->isHidden());
    QVERIFY(w.find<QLabel>("lDE2")->isHidden());
    QTest::mouseClick(w.find<QWidget>("pDen2"), Qt::LeftButton);
    QCOMPARE(w.form->state().selectedDensityMeter, 2);
    QVERIFY(!w.find<QLabel>("lDE2")->isHidden());
}

void TestDensityPage::readEverything() {
    DensityWindow w;
    w.click("btDAll");
    QCOMPARE(w.text("stRev"), QStringLiteral("2.05"));
    QCOMPARE(w.text("stDStat"), QStringLiteral("00 00"));
    QCOMPARE(w.find<QLineEdit>("reDAdd")->text(), QStringLiteral("0.5"));
    QVERIFY(!w.text("stTemp").isEmpty());
    QVERIFY(w.find<QPushButton>("btDIni")->isHidden());
    w.sensor().meterErrorCode = 0x21;
    w.click("btGet_stADC1");
    QCOMPARE(w.text("stADC1"), QStringLiteral("21"));
}

void TestDensityPage::uninitialisedMeterIsInitialised() {
    DensityWindow w;
    w.sensor().densityCorrections[0] = 0.0f;
    w.click("btGetDAdd");
    QCOMPARE(w.mess(), QStringLiteral("Плотномер не инициализирован"));
    QVERIFY(!w.find<QPushButton>("btDIni")->isHidden());
    w.click("btDIni");
    QCOMPARE(w.mess(), QStringLiteral("ПОПРАВКА ЗАПИСАНА. ОЖИДАНИЕ ЗАВЕРШЕНИЯ."));
    QTRY_VERIFY(w.page->cycleRunning());
    QCOMPARE(w.form->secondTimer()->interval(), 500);
    QVERIFY(w.sensor().densityCorrections[0] != 0.0f);
    // The cycle's start and its ticks leave the result standing.
    QCOMPARE(w.mess(), QStringLiteral("ПОПРАВКА ЗАПИСАНА. ОЖИДАНИЕ ЗАВЕРШЕНИЯ."));
    CommandLog log;
    w.form->link().setObserver(&log);
    for (int i = 0; i < 20; ++i)
        w.page->SecondTimer();
    w.form->link().setObserver(nullptr);
    QVERIFY(log.sent.contains(QStringLiteral("02:40"))); // the next conversion started
    QCOMPARE(w.mess(), QStringLiteral("ПОПРАВКА ЗАПИСАНА. ОЖИДАНИЕ ЗАВЕРШЕНИЯ."));
}

void TestDensityPage::correctionWrite() {
    DensityWindow w;
    auto* field = w.find<QLineEdit>("reDAdd");
    field->setText(QStringLiteral(" -1,5 "));
    w.click("btSetDAdd");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.sensor().densityCorrections[0], -1.5f);
    field->setText(QStringLiteral("x"));
    w.click("btSetDAdd");
    QCOMPARE(w.mess(), QStringLiteral("Плотномер 1: поправка \"x\": допустимо от -999.9 до 999.9, "
                                      "шаг 0.1"));
    QVERIFY(field->styleSheet().contains(QLatin1String("background")));
}

// The correction follows 0x01 as every parameter does, and is read under
// transit the page switches itself when ТРАНЗИТ is up.
void TestDensityPage::correctionReadLikeEveryParameter() {
    DensityWindow w;
    CommandLog log;
    w.form->link().setObserver(&log);
    w.click("btGetDAdd");
    QCOMPARE(log.sent, (QStringList{"02:01", "02:41"}));
    QCOMPARE(w.find<QLineEdit>("reDAdd")->text(), QStringLiteral("0.5"));
    w.click("sbTrans");
    QVERIFY(!w.find<QToolButton>("sbTrans")->isChecked());
    w.installation->controller(0)->transit = true; // the controller still relays
    log.sent.clear();
    w.click("btDAll");
    w.form->link().setObserver(nullptr);
    QCOMPARE(log.sent.mid(log.sent.size() - 4), (QStringList{"80:A1", "02:01", "02:41", "80:A5"}));
    QCOMPARE(w.find<QLineEdit>("reDAdd")->text(), QStringLiteral("0.5"));
}

void TestDensityPage::clickOnTheSelectedMeterKeepsValues() {
    DensityWindow w;
    w.click("btDAll");
    QCOMPARE(w.text("stRev"), QStringLiteral("2.05"));
    QTest::mouseClick(w.find<QWidget>("pDen1"), Qt::LeftButton);
    QCOMPARE(w.text("stRev"), QStringLiteral("2.05"));
    QCOMPARE(w.find<QLineEdit>("reDAdd")->text(), QStringLiteral("0.5"));
}

// Ticks that come while a reading waits start nothing; leaving the page
// ends the cycle.
void TestDensityPage::cycleNeverOverlaps() {
    DensityWindow w;
    w.page->pCnvClick(true);
    QVERIFY(w.page->cycleRunning());
    int statusReads = 0;
    struct Counter : bus::LinkObserver {
        int* reads;
        void frameSent(qint64, QByteArrayView f) override {
            // 0x41 with the status word A5 02 to the sensor
            if (f.sliced(3, 2) == "41" && f.size() > 13 && f.sliced(9, 4) == "A502")
                ++*reads;
        }
        void charactersReceived(qint64, QByteArrayView) override {}
    } counter;
    counter.reads = &statusReads;
    w.form->link().setObserver(&counter);
    w.form->link().setPump([&] {
        for (int i = 0; i < 25; ++i)
            w.page->SecondTimer();
    });
    for (int i = 0; i < 20; ++i)
        w.page->SecondTimer();
    w.form->link().setPump({});
    QCOMPARE(statusReads, 1);
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QVERIFY(!w.page->cycleRunning());
    QVERIFY(!w.form->secondTimer()->isActive());
    QVERIFY(!w.find<QToolButton>("pCnv")->isChecked());
}

void TestDensityPage::changeOpensTheDensityTab() {
    DensityWindow w;
    w.click("btDenChange");
    QCOMPARE(w.find<QStackedWidget>("pcMain")->currentWidget()->objectName(),
             QStringLiteral("tsProp"));
    auto* tabs = w.find<QTabWidget>("pcProp");
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tsDProp"));
    QVERIFY(!w.find<QLineEdit>("reIDD1")->text().isEmpty());
    // Properties and density pages share transit: it stayed on.
    QVERIFY(w.installation->controller(0)->transit);
}

void TestDensityPage::unansweredSearchSaysSo_data() {
    QTest::addColumn<bool>("echoOnly");
    QTest::addColumn<QString>("said");
    QTest::newRow("silent sensor") << false << "НЕТ ОТВЕТА";
    QTest::newRow("echo only") << true << "НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
}

// ЗАПРОСИТЬ on a sensor that answers none of the search says why from the
// search's own requests, and shows no meter.
void TestDensityPage::unansweredSearchSaysSo() {
    QFETCH(bool, echoOnly);
    QFETCH(QString, said);
    DensityWindow w(echoOnly ? "echo\ncontroller 0 0 4" : "controller 0 0 4");
    if (echoOnly)
        w.installation->setNoDevices(true);
    else
        w.sensor().fault = sim::Fault::Silent;
    CommandLog log;
    w.form->link().setObserver(&log);
    w.click("sbGetDens");
    w.form->link().setObserver(nullptr);
    // The first meter unanswered ends the search: the others are not asked.
    QCOMPARE(log.sent.count(QStringLiteral("02:%1")
                                .arg(bus::sns::ReadDensityChannel, 2, 16, QLatin1Char('0'))
                                .toUpper()),
             1);
    QCOMPARE(w.mess(), said);
    QVERIFY(w.text("lDI1").isEmpty());
    QVERIFY(w.find<MeterPositionPanel>("pDPos")->isHidden());
}
