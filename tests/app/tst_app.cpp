#include "app/ControllerLayout.h"
#include "app/ControllerScan.h"
#include "common/SimHarness.h"
#include "common/TestMain.h"
#include "tst_addressing.h"
#include "tst_config.h"
#include "tst_faults.h"
#include "tst_files.h"
#include "tst_transit.h"

#include <QtTest>

namespace {

// Records the progress calls and can ask for a break at a given step.
class RecordingProgress : public app::SilentProgress {
  public:
    int breakAtStep = -1;
    int shownWith = -2;
    int lastStep = 0;
    int closes = 0;
    std::function<void()> onEvents;
    void ShowProgress(int n) override {
        app::SilentProgress::ShowProgress(n);
        shownWith = n;
    }
    void StepProgress(int k) override {
        lastStep = k;
        if (k == breakAtStep)
            requestBreak();
    }
    void CloseProgress() override { ++closes; }
    void processEvents() override {
        if (onEvents)
            onEvents();
    }
};

QStringList keyLines(const app::ControllerLayout& l) {
    QStringList out;
    for (const auto& [k, v] : app::layoutKeys(l))
        out << k + QLatin1Char('=') + v;
    return out;
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
  private slots:
    void scanFindsControllers_data();
    void scanFindsControllers();
    void scanDirectSensors();
    void breakStopsBeforeNextAddress();
    void releasedScanButtonStops();
    void vanishedPortIsReported();
    void typeLabels_data();
    void typeLabels();
};

void TestApp::scanFindsControllers_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("selected");

    QTest::newRow("controllers 0 and 2")
        << "controller 0 0 4\ncontroller 2 8 4" << 1
        << QStringList{"KIP_TYP=1", "KIP_NUM=2,5", "KIP_B=", "KIP1=0,4", "KIP3=8,4"} << 8 + 2
        << 0x80;
    QTest::newRow("nothing answers")
        << "" << 1 << QStringList{"KIP_TYP=1", "KIP_NUM=0,0", "KIP_B="} << 8 << -1;
    QTest::newRow("type 3 probes 32")
        << "type 3\ncontroller 20 40 4\ncontroller 9 4 4" << 3
        << QStringList{"KIP_TYP=3", "KIP_NUM=2,1049088", "KIP_B=", "KIP10=4,4", "KIP21=40,4"}
        << 32 + 2 << 0x89;
    QTest::newRow("others only probe 8")
        << "controller 20 40 4\ncontroller 7 4 4" << 0
        << QStringList{"KIP_TYP=0", "KIP_NUM=1,128", "KIP_B=", "KIP8=4,4"} << 8 + 1 << 0x87;
    QTest::newRow("silent and garbled controllers are absent")
        << "controller 0 0 4 fault=silent\ncontroller 1 4 4 fault=checksum\ncontroller 2 8 4 "
           "fault=address\n"
           "controller 3 12 4 fault=garbage\ncontroller 4 16 4 fault=truncated"
        << 1 << QStringList{"KIP_TYP=1", "KIP_NUM=1,8", "KIP_B=", "KIP4=12,4"} << 8 + 1 << 0x83;
}

void TestApp::scanFindsControllers() {
    QFETCH(QString, scenario);
    QFETCH(int, type);
    QFETCH(QStringList, lines);
    QFETCH(int, requests);
    QFETCH(int, selected);
    SimHarness h(scenarioFrom(scenario.toUtf8().constData()));
    app::ControllerLayout layout;
    layout.controllerType = type;
    RecordingProgress progress;
    const app::ScanResult r = app::ScanControllers(h.link, layout, progress);
    QCOMPARE(keyLines(layout), lines);
    QCOMPARE(h.installation->requestsSeen(), requests);
    QCOMPARE(r.selectedController ? int(*r.selectedController) : -1, selected);
    QVERIFY(!r.communicationProblem);
    QCOMPARE(progress.shownWith, type == 3 ? 32 : 8);
    QVERIFY(progress.closes >= 1);
    if (layout.controllersFound == 0) {
        QCOMPARE(layout.lowestSensorAddress, 0);
        QCOMPARE(layout.sensorAddressEnd, 128);
    }
}

void TestApp::scanDirectSensors() {
    SimHarness h(scenarioFrom("type 2\nsensors 5 3"));
    app::ControllerLayout layout;
    layout.controllerType = app::TypeDirect;
    RecordingProgress progress;
    app::ScanControllers(h.link, layout, progress);
    QCOMPARE(progress.shownWith, 64);
    QCOMPARE(h.installation->requestsSeen(), 64);
    QCOMPARE(layout.controllersFound, 0);
    QCOMPARE(layout.selectedControllers, 1u);
    QCOMPARE(layout.lowestSensorAddress, 5);
    // One past the last sensor, as in every other type.
    QCOMPARE(layout.sensorAddressEnd, 8);
    QCOMPARE(keyLines(layout), (QStringList{"KIP_TYP=2", "KIP_NUM=0,1", "KIP_B=5,3"}));
}

void TestApp::breakStopsBeforeNextAddress() {
    SimHarness h(scenarioFrom("type 2\nsensors 0 20"));
    app::ControllerLayout layout;
    layout.controllerType = app::TypeDirect;
    RecordingProgress progress;
    progress.breakAtStep = 5;
    app::ScanControllers(h.link, layout, progress);
    QCOMPARE(h.installation->requestsSeen(), 5);
    QCOMPARE(layout.sensorAddressEnd, 5);
}

void TestApp::releasedScanButtonStops() {
    SimHarness h(scenarioFrom("controller 0 0 4\ncontroller 1 4 4"));
    struct Released : app::ScanObserver {
        int probed = -1;
        void scanStarted(int n) override { probed = n; }
        bool keepScanning() override { return false; }
    } observer;
    app::ControllerLayout layout;
    RecordingProgress progress;
    app::ScanControllers(h.link, layout, progress, &observer);
    QCOMPARE(observer.probed, 8);
    QCOMPARE(h.installation->requestsSeen(), 1);
    QCOMPARE(layout.controllersFound, 0);
}

void TestApp::vanishedPortIsReported() {
    SimHarness h(scenarioFrom("controller 0 0 4\ncontroller 1 4 4"));
    app::ControllerLayout layout;
    RecordingProgress progress;
    progress.onEvents = [&] {
        if (progress.lastStep == 2)
            h.line->unplug();
    };
    const app::ScanResult r = app::ScanControllers(h.link, layout, progress);
    QVERIFY(r.communicationProblem);
    QCOMPARE(layout.controllersFound, 1);
}

void TestApp::typeLabels_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("probes"); // controller addresses a scan asks
    QTest::newRow("0") << 0 << "Используется КИП-Н5" << 16 << 8;
    QTest::newRow("1") << 1 << "Используется КИП-Н6" << 12 << 8;
    QTest::newRow("2") << 2 << "Используется КИП-С5" << 1 << 64;
    QTest::newRow("3") << 3 << "Используется КИП-С6" << 4 << 32;
    QTest::newRow("4") << 4 << "Используется КИП-С7" << 2 << 8;
    QTest::newRow("5") << 5 << "КИП не используется" << 1 << 0;
    // A type no controller has, as a snapshot or a file may carry it.
    QTest::newRow("9") << 9 << "Неизвестный тип КИП: 9" << 12 << 8;
}

void TestApp::typeLabels() {
    QFETCH(int, type);
    QFETCH(QString, label);
    QFETCH(int, count);
    QFETCH(int, probes);
    QCOMPARE(app::controllerTypeLabel(type), label);
    QCOMPARE(app::defaultSensorCount(type), count);
    QCOMPARE(app::controllerType(type).scanSlots, probes);
    // The type's table says what a scan sends: a probe an address.
    if (!app::isControllerType(type) || !app::controllerType(type).controller)
        return;
    SimHarness h(scenarioFrom(QStringLiteral("type %1\n").arg(type).toUtf8().constData()));
    app::ControllerLayout layout;
    layout.controllerType = type;
    RecordingProgress progress;
    app::ScanControllers(h.link, layout, progress);
    QCOMPARE(h.installation->requestsSeen(), probes);
    QCOMPARE(progress.shownWith, probes);
}

ORVANT_TEST_MAIN(TestApp, TestConfig, TestAddressing, TestFaultMatrix, TestFiles, TestTransitState)
#include "tst_app.moc"
