#include "tst_alarm_page.h"

#include "app/Modes.h"
#include "common/CommandLog.h"
#include "ui/AddressBar.h"
#include "ui/AlarmPage.h"
#include "ui/TPForm.h"
#include "ui/UiWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

struct AlarmWindow : Window {
    AlarmWindow(const char* scenario, const QString& config, int sensorButton)
        : Window(scenario, config) {
        // Shown, so that the buttons of the pages have their places.
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("window not exposed");
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miAlarm"), Qt::LeftButton);
        QTest::mouseClick(find<AddressBar>("SnsAdrBar")->button(sensorButton), Qt::LeftButton);
        page = form->findChild<AlarmPage*>();
    }
    void click(const char* name) const {
        QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton);
    }
    AlarmPage* page = nullptr;
};

} // namespace

void TestAlarmPage::thresholdsAndEnables() {
    AlarmWindow w("controller 0 0 4", QString(), 2);
    const int seen = w.installation->requestsSeen();
    w.click("Button4");
    QCOMPARE(w.installation->requestsSeen() - seen, 2); // 0x54, 0x55
    QCOMPARE(w.find<QLineEdit>("reFMax")->text(), QStringLiteral("1800"));
    QCOMPARE(w.find<QLabel>("stF95")->text(), QStringLiteral("1710"));
    QVERIFY(w.find<QLabel>("stSVol")->text().isEmpty()); // 0xFFFFFFFF
    QVERIFY(w.find<QCheckBox>("cbFMax")->isChecked());
    QVERIFY(!w.find<QCheckBox>("cbVol")->isChecked());
    w.find<QLineEdit>("reFMax")->setText(QStringLiteral("1500"));
    w.find<QLineEdit>("reWMax")->clear(); // skipped
    w.find<QCheckBox>("cbVol")->setChecked(true);
    w.click("Button6");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    const sim::SimAlarm& a = w.installation->controller(0)->alarms[2];
    QCOMPARE(a.thresholds[0], 1500);
    QCOMPARE(a.thresholds[3], 40);
    QCOMPARE(a.enables, 0x15);
    QVERIFY(!w.installation->controller(0)->service);
}

void TestAlarmPage::directSensorOutputs() {
    AlarmWindow w("type 2\nsensors 4 2", QStringLiteral("KIP_TYP=2\nKIP_B=4,2\n"), 4);
    sim::SimAlarm& a = w.installation->controller(4)->alarms[4];
    a.modes = {0x83, 0x7F};
    w.click("Button4");
    auto* row4 = w.find<QToolButton>("sbCh14");
    QVERIFY(row4->isChecked());
    QCOMPARE(row4->text(), QStringLiteral("НЗ"));
    QVERIFY(w.find<QToolButton>("sbOffCh2")->isChecked());
    // A click on the pressed row flips it to normally open.
    QTest::mouseClick(row4, Qt::LeftButton);
    QCOMPARE(row4->text(), QStringLiteral("НР"));
    QTest::mouseClick(w.find<QToolButton>("sb11"), Qt::LeftButton);
    QTest::mouseClick(w.find<QToolButton>("sb13"), Qt::LeftButton);
    w.click("Button6");
    QCOMPARE(a.contacts[0], 0x05);
    QCOMPARE(a.modes[0], 0x03);
    QCOMPARE(a.modes[1], 0x7F);
}

void TestAlarmPage::outputMatrix() {
    AlarmWindow w("type 3\ncontroller 0 0 4", QStringLiteral("KIP_TYP=3\n"), 1);
    QTest::mouseClick(w.find<QToolButton>("S6_1_4_2"), Qt::LeftButton); // X2, leak, sensor 3
    QTest::mouseClick(w.find<QToolButton>("S6_1_4_0"), Qt::LeftButton);
    QTest::mouseClick(w.find<QToolButton>("S6_1_4_2"), Qt::LeftButton); // released again
    QVERIFY(!w.find<QToolButton>("S6_1_4_2")->isChecked());
    w.click("btSetRCfg");
    QCOMPARE(w.mess(), QStringLiteral("OK"));
    QCOMPARE(w.installation->controller(0)->relayEvents[1], 0x10);
    QCOMPARE(w.installation->controller(0)->relaySensors[1], 0x01);
    w.installation->controller(0)->oldRelayForm = true;
    w.click("btGetRCfg");
    QVERIFY(w.find<QLabel>("lbOldRCfg")->isVisibleTo(w.form.get()));
    QCOMPARE(w.find<QLabel>("lbOldRCfg")->text(),
             QStringLiteral("Версия ПО данного КИП не поддерживает вывод на реле утечки и "
                            "расслоения."));
    QCOMPARE(w.mess(), QStringLiteral("ПОЛУЧИТЕ"));
}

void TestAlarmPage::stateAndSwitchOff() {
    AlarmWindow w("controller 0 0 4", QString(), 2);
    w.click("btGetAlarmState");
    QCOMPARE(w.mess(), QStringLiteral("СЧИТАНО"));
    QVERIFY(w.find<QLabel>("imAlState02")->property("on").toBool());
    QCOMPARE(w.find<QLabel>("imAlState02")->toolTip(), QStringLiteral("Сигнализация включена"));
    QVERIFY(!w.find<QLabel>("imAlState11")->property("on").toBool());
    QVERIFY(w.find<QToolButton>("sbAlarmBreak0")->isEnabled());
    QVERIFY(!w.find<QToolButton>("sbAlarmBreak1")->isEnabled());
    QTest::mouseClick(w.find<QToolButton>("sbAlarmBreak0"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ВЫКЛЮЧЕНО"));
    QVERIFY(!w.find<QLabel>("imAlState02")->property("on").toBool());
    QVERIFY(!w.find<QToolButton>("sbAlarmBreak0")->isEnabled());
}

void TestAlarmPage::memoryTest() {
    AlarmWindow w("controller 0 0 4", QString(), 2);
    w.installation->sensor(2)->memoryTestAnswer = QByteArray("\x12\x34\x55\xAA", 4);
    QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
    QTRY_COMPARE(w.mess(), QStringLiteral("Ошибка по адресу 1234 : зп-55 сч-AA"));
    QVERIFY(!w.find<QToolButton>("sbRamTest")->isChecked());
    QVERIFY(!w.page->testRunning());
}

void TestAlarmPage::memoryTestGivenUp() {
    AlarmWindow w("controller 0 0 4", QString(), 2);
    w.installation->setSensorFault(2, sim::Fault::Silent);
    const int before = w.installation->requestsSeen();
    // Released while the test runs: it stops and the sensor is told.
    bool released = false;
    w.form->link().setPump([&] {
        QVERIFY(w.page->testRunning());
        if (!released) {
            released = true;
            QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
        }
    });
    QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
    w.form->link().setPump({});
    QVERIFY(released);
    QVERIFY(!w.page->testRunning());
    QVERIFY(!w.find<QToolButton>("sbRamTest")->isChecked());
    QCOMPARE(w.mess(), QStringLiteral("ТЕСТ ПАМЯТИ ПРЕРВАН"));
    QCOMPARE(w.installation->requestsSeen(), before + 2); // 0x12, then 0x0C
    // The wait dialog's ПРЕРВАТЬ stops it too.
    bool broken = false;
    w.form->link().setPump([&] {
        if (!broken) {
            broken = true;
            w.form->progressDialog()->findChild<QPushButton*>("btBreak")->click();
        }
    });
    QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
    w.form->link().setPump({});
    QCOMPARE(w.mess(), QStringLiteral("ТЕСТ ПАМЯТИ ПРЕРВАН"));
    QCOMPARE(w.installation->requestsSeen(), before + 4);
    // Unanswered six looks: the text says the device may not support it.
    QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ВОЗМОЖНО УСТРОЙСТВОМ ТЕСТ НЕ ПОДДЕРЖИВАЕТСЯ"));
    QCOMPARE(w.installation->requestsSeen(), before + 6);
    QVERIFY(!w.find<QToolButton>("sbRamTest")->isChecked());
}

// An answer of a length the test does not know is said, with the length.
void TestAlarmPage::memoryTestAnswerOfUnexpectedLength() {
    AlarmWindow w("controller 0 0 4\nramtest 2 123456", QString(), 2);
    QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ОТВЕТ ТЕСТА ПАМЯТИ НЕОЖИДАННОЙ ДЛИНЫ: 3 БАЙТ, "
                                      "ОЖИДАЛОСЬ 0, 1, 2 ИЛИ 4"));
    QVERIFY(!w.page->testRunning());
}

void TestAlarmPage::leavingStopsTheMemoryTest() {
    AlarmWindow w("controller 0 0 4", QString(), 2);
    w.installation->setSensorFault(2, sim::Fault::Silent);
    CommandLog log;
    w.form->link().setObserver(&log);
    // The page is left while the test runs: the mode change waits for it
    // to stop.
    bool left = false;
    w.form->link().setPump([&] {
        if (!left) {
            left = true;
            QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
        }
    });
    QTest::mouseClick(w.find<QToolButton>("sbRamTest"), Qt::LeftButton);
    w.form->link().setPump({});
    QVERIFY(!w.page->testRunning());
    QTRY_COMPARE(w.form->state().currentMode, int(app::TagStat));
    QCOMPARE(log.sent.mid(0, 2), QStringList({"02:12", "02:0C"}));
    w.form->link().setObserver(nullptr);
}

void TestAlarmPage::writeIsReadBack_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("text");
    // Granted, then silent: its end unanswered too, so it may still be in it.
    QTest::newRow("silent after 0xA0")
        << "silent after 0xA0"
        << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА; КИП 1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ";
    // Nobody refused anything: nothing answered.
    QTest::newRow("silent from the start") << "silent"
                                           << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА";
    QTest::newRow("end of service mode unheard")
        << "end unheard"
        << "ЗАПИСЬ ЗАВЕРШЕНА; КИП 1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ";
}

// The controller confirms no single write: no answer is no write, and the
// service mode is left in every case, or the page says it may not be.
void TestAlarmPage::writeIsReadBack() {
    QFETCH(QString, fault);
    QFETCH(QString, text);
    AlarmWindow w("controller 0 0 4", QString(), 2);
    w.click("Button4");
    w.find<QLineEdit>("reFMax")->setText(QStringLiteral("1500"));
    const int seen = w.installation->requestsSeen();
    const bool endUnheard = fault == QLatin1String("end unheard");
    if (endUnheard)
        w.installation->controller(0)->unheard[0xA5] = -1;
    else
        w.form->link().setPump([&] {
            if (fault == QLatin1String("silent") || w.installation->requestsSeen() > seen)
                w.installation->setControllerFault(0, sim::Fault::Silent);
        });
    w.click("Button6");
    w.form->link().setPump({});
    QCOMPARE(w.mess(), text);
    w.installation->setControllerFault(0, sim::Fault::None);
    QCOMPARE(w.installation->controller(0)->service, endUnheard);
}

void TestAlarmPage::oldMatrixFormKeepsEveryBit() {
    AlarmWindow w("type 3\ncontroller 0 0 4", QStringLiteral("KIP_TYP=3\n"), 1);
    w.installation->controller(0)->oldRelayForm = true;
    QTest::mouseClick(w.find<QToolButton>("S6_1_4_0"), Qt::LeftButton); // X2, leak, sensor 1
    w.click("btSetRCfg");
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО"));
    QVERIFY(w.find<QLabel>("lbOldRCfg")->isVisibleTo(w.form.get()));
    QCOMPARE(w.installation->controller(0)->relayEvents[1], 0);
    // The rows the old form has no bits for cannot be pressed.
    w.click("btGetRCfg");
    QVERIFY(!w.find<QToolButton>("S6_1_4_0")->isEnabled());
    QVERIFY(!w.find<QToolButton>("S6_3_5_3")->isEnabled());
    QVERIFY(w.find<QToolButton>("S6_1_3_0")->isEnabled());
}

void TestAlarmPage::directTypeWithoutVolume() {
    AlarmWindow w("type 2\nsensors 4 2", QStringLiteral("KIP_TYP=2\nKIP_B=4,2\n"), 4);
    w.installation->controller(4)->alarms[4].volume = 0xFFFFFFFF;
    w.click("Button4");
    QCOMPARE(w.find<QLineEdit>("reFMax")->text(), QStringLiteral("1800"));
    QCOMPARE(w.find<QLabel>("stSVol")->text(), QString());
}

void TestAlarmPage::changeOfSensorEmptiesEverything_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("shown");
    QTest::newRow("enables") << "controller 0 0 4" << QString() << 2 << "cbFMax";
    QTest::newRow("dry contacts") << "type 2\nsensors 4 2"
                                  << "KIP_TYP=2\nKIP_B=4,2\n"
                                  << 4 << "sb11";
    QTest::newRow("relay modes") << "type 2\nsensors 4 2"
                                 << "KIP_TYP=2\nKIP_B=4,2\n"
                                 << 4 << "sbCh14";
}

// What one sensor's page showed is never written to the next one.
void TestAlarmPage::changeOfSensorEmptiesEverything() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(int, first);
    QFETCH(QString, shown);
    AlarmWindow w(qPrintable(scenario), config, first);
    const int controller = config.isEmpty() ? 0 : first;
    sim::SimAlarm& a = w.installation->controller(controller)->alarms[first];
    a.contacts = {0x01, 0};
    a.modes = {0x83, 0x7F};
    w.click("Button4");
    QVERIFY(w.find<QAbstractButton>(qPrintable(shown))->isChecked());
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(first + 1), Qt::LeftButton);
    QVERIFY(!w.find<QAbstractButton>(qPrintable(shown))->isChecked());
    const int nextController = config.isEmpty() ? 0 : first + 1;
    const sim::SimAlarm before = w.installation->controller(nextController)->alarms[first + 1];
    w.click("Button6");
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО: СНАЧАЛА ПОЛУЧИТЕ"));
    const sim::SimAlarm& after = w.installation->controller(nextController)->alarms[first + 1];
    QCOMPARE(after.enables, before.enables);
    QCOMPARE(after.contacts, before.contacts);
    QCOMPARE(after.modes, before.modes);
}
