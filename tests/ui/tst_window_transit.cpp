#include "tst_window_transit.h"

#include "UiWindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

void TestWindowTransit::closeLeavesTransit() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    QToolButton* trans = w.find<QToolButton>("sbTrans");
    QTest::mouseClick(trans, Qt::LeftButton);
    QVERIFY(trans->isChecked());
    QVERIFY(w.installation->controller(0)->transit);
    w.form->close();
    QVERIFY(!w.installation->controller(0)->transit);
    QVERIFY(!w.form->link().isOpen());
}

void TestWindowTransit::transitButtons() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
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

void TestWindowTransit::closeDuringAPollWaitsForIt() {
    Window w("controller 0 0 8");
    w.form->layoutActions().scan();
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

void TestWindowTransit::propertiesToDensityKeepsTransit() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
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

void TestWindowTransit::directTypeTransitGoesToTheSensor() {
    Window w("type 2\nsensors 5 3", QStringLiteral("KIP_TYP=2\nKIP_B=5,3\n"));
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x85);
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QVERIFY(w.find<QToolButton>("sbTrans")->isChecked());
    QVERIFY(w.installation->controller(5)->transit);
    // A type-2 scan keeps the sensor and its controller together as well.
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QVERIFY(!w.installation->controller(5)->transit);
    w.form->state().sensorAddress = 2;
    w.form->layoutActions().scan();
    QCOMPARE(int(w.form->state().sensorAddress), 5);
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x85);
    QVERIFY(w.form->SelectSensorByNumber(7));
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x87);
}

// ПОИСК on a page that works through transit: the controller it selects
// relays the page's reads, as if the page had been entered after it.
void TestWindowTransit::scanGivesThePageTransit_data() {
    QTest::addColumn<bool>("scannedBefore");
    QTest::newRow("page entered before the first scan") << false;
    QTest::newRow("the scan selects another controller") << true;
}

void TestWindowTransit::scanGivesThePageTransit() {
    QFETCH(bool, scannedBefore);
    Window w("controller 0 0 4\ncontroller 1 4 4");
    if (scannedBefore)
        w.form->layoutActions().scan();
    const int seen = w.installation->requestsSeen();
    QToolButton* trans = w.find<QToolButton>("sbTrans");
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QCOMPARE(trans->isChecked(), scannedBefore);
    if (scannedBefore) {
        QVERIFY(w.installation->controller(0)->transit);
        w.installation->setControllerFault(0, sim::Fault::Silent);
    } else {
        // No controller is there to relay yet: nothing is sent.
        QCOMPARE(w.installation->requestsSeen(), seen);
    }
    w.form->layoutActions().scan();
    const int chosen = scannedBefore ? 1 : 0;
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x80 + chosen);
    QVERIFY(trans->isChecked());
    QVERIFY(w.installation->controller(chosen)->transit);
    QVERIFY(w.form->SelectSensorByNumber(4 * chosen + 1));
    QTest::mouseClick(w.form->findChild<QPushButton*>(QStringLiteral("btGetSProp")),
                      Qt::LeftButton);
    QCOMPARE(w.mess(), QString());
    QCOMPARE(w.form->findChild<QLineEdit*>(QStringLiteral("reFnd"))->text(),
             QStringLiteral("-1.5"));
}
