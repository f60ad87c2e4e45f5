#include "tst_navigation.h"

#include "UiWindow.h"

#include "app/Modes.h"
#include "ui/AddressBar.h"

#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

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

void TestNavigation::everyModeForEveryType_data() {
    QTest::addColumn<int>("type");
    for (int t = 0; t <= 5; ++t)
        QTest::newRow(qPrintable(QStringLiteral("type %1").arg(t))) << t;
}

void TestNavigation::everyModeForEveryType() {
    QFETCH(int, type);
    StartOptions o;
    o.controllerStatus = true;
    Window w(scenarioForType(type), QStringLiteral("KIP_TYP=%1\n").arg(type), o);
    w.form->layoutActions().scan();
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

void TestNavigation::sameModeTwiceDoesNothing() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    const int seen = w.installation->requestsSeen();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QCOMPARE(w.installation->requestsSeen(), seen);
    QVERIFY(w.find<QToolButton>("miSProp")->isChecked());
}

void TestNavigation::controllerStatusOnlyWithSwitch() {
    Window plain("controller 0 0 4");
    QVERIFY(!plain.find<QToolButton>("miKStat")->isVisibleTo(plain.form.get()));
    StartOptions o;
    o.controllerStatus = true;
    Window dgs("controller 0 0 4", QString(), o);
    QVERIFY(dgs.find<QToolButton>("miKStat")->isVisibleTo(dgs.form.get()));
}

void TestNavigation::setSensorAddressButton() {
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

void TestNavigation::sensorBarClicksSelectController() {
    Window w("controller 0 0 4\ncontroller 2 8 4");
    w.form->layoutActions().scan();
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

void TestNavigation::leavingControllerPageSelectsSensorsController() {
    Window w("controller 0 0 4\ncontroller 2 8 4");
    w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("miKipUd"), Qt::LeftButton);
    QTest::mouseClick(w.find<AddressBar>("KipAdrBar")->button(2), Qt::LeftButton);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x82);
    QCOMPARE(int(w.form->state().sensorAddress), 0);
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x80);
}
