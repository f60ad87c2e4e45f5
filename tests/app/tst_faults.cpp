#include "tst_faults.h"

#include "app/ControllerScan.h"
#include "common/SimHarness.h"
#include "link/Command.h"
#include "link/Transit.h"

#include <QtTest>

// Every line fault the stand-in offers, against the scan and transit: each
// ends within its wait, never takes a faulty controller for a present one,
// and leaves the link ready for the next request.
void TestFaultMatrix::scanAndTransit_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("enterAnswered");
    QTest::addColumn<bool>("leaveAnswered");
    QTest::addColumn<bool>("tcp");
    // The same over a raw TCP connection, as to a line behind ser2net.
    for (const bool tcp : {false, true}) {
        const char* way = tcp ? ", tcp" : "";
        // Transit takes any answer as the controller's, its content unread.
        QTest::addRow("silent%s", way) << "silent" << false << false << tcp;
        QTest::addRow("corrupted checksum%s", way) << "checksum" << true << true << tcp;
        QTest::addRow("garbage before the frame%s", way) << "garbage" << true << true << tcp;
        QTest::addRow("reply from another address%s", way) << "address" << true << true << tcp;
        // Leaving is tried again: the late answer to the first leave comes
        // during the second try and shows the controller did leave.
        QTest::addRow("late reply%s", way) << "late" << false << true << tcp;
        QTest::addRow("cut before its *%s", way) << "truncated" << false << false << tcp;
    }
}

void TestFaultMatrix::scanAndTransit() {
    QFETCH(QString, fault);
    QFETCH(bool, enterAnswered);
    QFETCH(bool, leaveAnswered);
    QFETCH(bool, tcp);
    SimHarness h(scenarioFrom("late 900\ncontroller 0 0 4\ncontroller 1 4 4"),
                 tcp ? Transport::Tcp : Transport::Direct);
    h.installation->setControllerFault(0, *sim::faultFromName(fault));

    app::ControllerLayout layout;
    app::SilentProgress progress;
    const qint64 t0 = h.line->clockMs();
    const app::ScanResult r = app::ScanControllers(h.link, layout, progress);
    const qint64 spent = h.line->clockMs() - t0;
    // Eight addresses, two waits of 500 ms at most each, and the fixed gaps.
    QVERIFY2(spent <= 8 * (2 * 500 + 50), qPrintable(QString::number(spent)));
    QVERIFY(!r.communicationProblem);
    // Garbage before a sound frame is no fault: the frame decodes.
    const bool present = fault == QLatin1String("garbage");
    QCOMPARE(layout.isPresent(0), present);
    QVERIFY(layout.isPresent(1));
    QCOMPARE(int(*r.selectedController), present ? 0x80 : 0x81);

    const qint64 t1 = h.line->clockMs();
    QCOMPARE(bus::EnterTransitMode(h.link, 0x80), enterAnswered);
    QCOMPARE(bus::LeaveTransitMode(h.link, 0x80), leaveAnswered);
    // One try to enter, up to three to leave.
    QVERIFY(h.line->clockMs() - t1 <= (1 + bus::kLeaveTransitTries) * (500 + 50));

    // The next request to a sound controller goes through, even after a late
    // answer has arrived in between.
    h.line->advance(std::chrono::milliseconds(1000));
    QVERIFY(h.link.SendRequest(0x81, bus::ctl::AddressRange));
    QCOMPARE(h.link.AwaitReply(500), 3);
    QCOMPARE(int(h.link.data(0)), 0x81);
}

void TestFaultMatrix::portVanishesMidTransaction() {
    SimHarness h(scenarioFrom("controller 0 0 4\ncontroller 1 4 4"));
    int pumps = 0;
    h.link.setPump([&] {
        if (++pumps == 3)
            h.line->unplug();
    });
    app::ControllerLayout layout;
    app::SilentProgress progress;
    const app::ScanResult r = app::ScanControllers(h.link, layout, progress);
    QVERIFY(r.communicationProblem);
    QVERIFY(!r.selectedController);
    QVERIFY(!h.link.isOpen());
    QVERIFY(!bus::EnterTransitMode(h.link, 0x80));
    QVERIFY(!h.link.SendRequest(0x81, bus::ctl::ReadVersion));
    QCOMPARE(h.link.AwaitReply(500), -1);
}
