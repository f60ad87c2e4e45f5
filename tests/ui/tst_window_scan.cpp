#include "tst_window_scan.h"

#include "UiWindow.h"
#include "ui/TPForm.h"

#include "ui/AddressBar.h"

#include <QStackedWidget>
#include <QToolButton>
#include <QtTest>

void TestWindowScan::scanFindsControllersZeroAndTwo() {
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

void TestWindowScan::scanWhereNothingAnswers() {
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

void TestWindowScan::scanAndPollSayWhatHappened_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("afterScan");
    QTest::addColumn<QString>("afterPoll");
    QTest::newRow("two controllers") << "controller 0 4 2\ncontroller 3 6 2"
                                     << "НАЙДЕНО КИП: 2"
                                     << "ОПРОШЕНО: 3 из 3";
    // The configuration's controller stays silent: its sensors after the
    // first are not asked.
    QTest::newRow("nothing on the line") << ""
                                         << "КИП НЕ НАЙДЕНЫ: НЕТ ОТВЕТА"
                                         << "КИП 1 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
    QTest::newRow("only a garbled answer") << "controller 0 0 2 fault=checksum"
                                           << "КИП НЕ НАЙДЕНЫ"
                                           << "НЕТ ОТВЕТА";
    QTest::newRow("direct sensors") << "type 2\nsensors 4 3"
                                    << "НАЙДЕНО КИП: 3"
                                    << "ОПРОШЕНО: 3 из 3";
}

void TestWindowScan::scanAndPollSayWhatHappened() {
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
    w.form->layoutActions().scan();
    QCOMPARE(w.mess(), afterScan);
}

void TestWindowScan::modeChangeStopsARunningScan() {
    Window w("type 3\ncontroller 0 0 4\ncontroller 30 8 4");
    w.form->layoutActions().run(LayoutActions::TypeChanged, 3);
    QTimer::singleShot(0, w.form.get(), [&] {
        QTest::mouseClick(w.find<QToolButton>("MyMenuItem1"), Qt::LeftButton);
    });
    w.form->layoutActions().scan();
    // Stopped long before the 32nd address; controller 30 was never asked.
    QVERIFY(w.installation->requestsSeen() < 8);
    QCOMPARE(w.form->state().layout.selectedControllers & (1u << 30), 0u);
    QTRY_COMPARE(w.find<QStackedWidget>("pcMain")->currentWidget()->objectName(),
                 QStringLiteral("tsPStat"));
}
