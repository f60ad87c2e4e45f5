#include "tst_dialogs.h"

#include "UiWindow.h"

#include "ui/TIForm.h"
#include "ui/TPForm.h"
#include "ui/TSAForm.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

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
