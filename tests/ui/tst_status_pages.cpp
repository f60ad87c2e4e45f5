#include "tst_status_pages.h"

#include "UiWindow.h"
#include "common/CommandLog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace {
QTableWidget* polledGeneral(Window& w) {
    w.form->layoutActions().scan();
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
    w.form->layoutActions().scan();
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
    w.form->layoutActions().scan();
    w.form->link().setPump({});
    QVERIFY(cycle->isChecked());
    QVERIFY(w.find<QToolButton>("sbGetStat")->isChecked());
    // The cycle starts once the scan has ended: a poll, then the timer.
    QTRY_VERIFY(w.installation->requestsSeen() >= 8 + 1 + 4);
    QTRY_VERIFY(w.form->pollTimer()->isActive());
}

void TestStatusPages::leavingStopsTheCycle() {
    Window w("controller 0 0 2");
    w.form->layoutActions().scan();
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
    w.form->layoutActions().scan();
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
    gone.form->layoutActions().scan();
    QVERIFY(gone.form->link().ClosePort());
    QTest::mouseClick(gone.find<QToolButton>("sbGetStat"), Qt::LeftButton);
    QCOMPARE(gone.mess(), QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."));
}

void TestStatusPages::configOverviewPage() {
    Window w("controller 0 0 3\nabsent 1");
    w.form->layoutActions().scan();
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

// A dead or echo-only line, or a silent controller, is named on the status
// line and nobody behind it is asked after it; a live line with a silent
// sensor asks every other one.
void TestStatusPages::silentFrontOnTheStatusLine_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("get");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QString>("said");
    const QString four = QStringLiteral("KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString dead = QStringLiteral("КИП 1 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ");
    QTest::newRow("general, dead line") << "type 1" << four << "miSensStat"
                                        << "sbGetStat" << QStringList{"00:1C", "80:01"} << dead;
    QTest::newRow("general, echo only")
        << "type 1\necho-only" << four << "miSensStat"
        << "sbGetStat" << QStringList{"00:1C", "00:01", "80:01"}
        << "КИП 1 НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
    QTest::newRow("extended, dead line")
        << "type 1" << four << "MyMenuItem1"
        << "sbGetLStat" << QStringList{"00:0C", "00:0C", "00:0C", "80:01"} << dead;
    QTest::newRow("overview, dead line") << "type 1" << four << "MyMenuItem2"
                                         << "Button3" << QStringList{"80:7C", "00:01"} << dead;
    QTest::newRow("no controllers, dead line")
        << "type 5\nsensors 0 0"
        << "KIP_TYP=5\n"
        << "miSensStat"
        << "sbGetStat" << QStringList{"00:0C", "00:04", "00:05"}
        << "ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
    QTest::newRow("one silent sensor")
        << "controller 0 0 4\nsensor 0 fault=silent" << four << "miSensStat"
        << "sbGetStat" << QStringList{"00:1C", "80:01", "01:1C", "02:1C", "03:1C"}
        << "ОПРОШЕНО: 3 из 4";
}

void TestStatusPages::silentFrontOnTheStatusLine() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(QString, mode);
    QFETCH(QString, get);
    QFETCH(QStringList, wire);
    QFETCH(QString, said);
    Window w(qPrintable(scenario), config);
    w.form->show();
    CommandLog log;
    w.form->link().setObserver(&log);
    QTest::mouseClick(w.find<QToolButton>(qPrintable(mode)), Qt::LeftButton);
    QTest::mouseClick(w.form->findChild<QAbstractButton*>(get), Qt::LeftButton);
    w.form->link().setObserver(nullptr);
    QCOMPARE(log.sent, wire);
    QCOMPARE(w.mess(), said);
}
