#include "app/ControllerScan.h"
#include "common/CommandLog.h"
#include "common/Layouts.h"
#include "common/SimHarness.h"
#include "common/TestMain.h"
#include "sensor/StatusDecoder.h"
#include "sensor/StatusPolls.h"
#include "tst_places.h"
#include "tst_settings.h"

#include <QtTest>

#include <algorithm>

namespace {

class BreakAt : public app::SilentProgress {
  public:
    explicit BreakAt(int step) : m_step(step) {}
    void StepProgress(int) override {
        if (++m_steps == m_step)
            requestBreak();
    }

  private:
    int m_step;
    int m_steps = 0;
};

} // namespace

class TestSensor : public QObject {
    Q_OBJECT
  private slots:
    void scannedRangesStayInSensorAddresses();
    void decodeEveryCode();
    void normalAndUnknownCodes_data();
    void normalAndUnknownCodes();
    void decodeCodeTextIgnoresCase();
    void statusPairs_data();
    void statusPairs();

    void combinedCellTexts();
    void noSensorsNoRequests();
    void type4TriggersInsteadOfVolumeAndMass();
    void perValueWithMirel();
    void breakStopsAfterCurrentRequest();
    void absentAndSilentSensors();
    void extendedStatus();
    void configOverviewWithoutMask();
    void configOverviewWithMask();
    void silentFrontEndsTheWalk_data();
    void silentFrontEndsTheWalk();
};

// Every code byte: the short form is the full form up to its first "|", the
// code read back from the grid's text says the same as the byte, and only
// codes 0x81 and up carry a fault. What the codes mean is checked where the
// window shows them for a status the simulator sends (tst_status_texts).
void TestSensor::decodeEveryCode() {
    const sensor::StatusDecoder d;
    int faults = 0;
    for (int code = 0; code <= 0xFF; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        const QString full = d.DecodeCode(byte, true);
        const QString shortForm = d.DecodeCode(byte, false);
        QCOMPARE(shortForm, full.section(QLatin1Char('|'), 0, 0));
        const QString hex = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0'));
        QCOMPARE(d.DecodeCodeText(hex.toUpper(), true), full);
        QCOMPARE(d.DecodeCodeText(hex, false), shortForm);
        if (code <= 0x0F)
            QCOMPARE(full, QStringLiteral("В НОРМЕ"));
        else if (code <= 0x80)
            QCOMPARE(full, QString());
        else if (!full.isEmpty())
            ++faults;
    }
    // The fault codes of the level, thermometers, density meters and tables.
    QVERIFY(faults > 30);
}

void TestSensor::normalAndUnknownCodes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("00") << 0x00 << "В НОРМЕ";
    QTest::newRow("07") << 0x07 << "В НОРМЕ";
    QTest::newRow("0F") << 0x0F << "В НОРМЕ";
    QTest::newRow("50 unknown") << 0x50 << "";
    QTest::newRow("10 unknown") << 0x10 << "";
    QTest::newRow("87 unknown") << 0x87 << "";
}

void TestSensor::normalAndUnknownCodes() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(sensor::StatusDecoder().DecodeCode(static_cast<std::uint8_t>(code), false), text);
}

void TestSensor::decodeCodeTextIgnoresCase() {
    const sensor::StatusDecoder d;
    QCOMPARE(d.DecodeCodeText(QStringLiteral("a1"), false),
             QStringLiteral("ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, "));
    QCOMPARE(d.DecodeCodeText(QStringLiteral("0F"), true), QStringLiteral("В НОРМЕ"));
    QCOMPARE(d.DecodeCodeText(QStringLiteral("0z"), true), QStringLiteral("В НОРМЕ"));
    QCOMPARE(d.DecodeCodeText(QStringLiteral("zz"), true), QString());
    // The В of "В2 или В9" is Cyrillic.
    QVERIFY(d.DecodeCode(0xBA, true).contains(QStringLiteral("\u0412\u0032 или \u0412\u0039")));
}

void TestSensor::statusPairs_data() {
    QTest::addColumn<QString>("pair");
    QTest::addColumn<QString>("text");
    QTest::newRow("no sensor, S2 first") << "00 00"
                                         << "ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ";
    QTest::newRow("faults but no sensor") << "07 00"
                                          << "ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ";
    QTest::newRow("in order") << "00 12"
                              << "ДАТЧИК В НОРМЕ";
    QTest::newRow("level and density") << "05 12"
                                       << "СМОТРИТЕ УРОВЕНЬ ПЛОТНОСТЬ";
    QTest::newRow("all three") << "07 01"
                               << "СМОТРИТЕ УРОВЕНЬ ТЕМПЕРАТУРУ ПЛОТНОСТЬ";
    QTest::newRow("temperature") << "02 12"
                                 << "СМОТРИТЕ  ТЕМПЕРАТУРУ";
    QTest::newRow("higher bits only") << "08 12"
                                      << "СМОТРИТЕ ";
    QTest::newRow("not hex") << "QQ 12"
                             << "СМОТРИТЕ ";
    QTest::newRow("too short") << "0512"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSensor::statusPairs() {
    QFETCH(QString, pair);
    QFETCH(QString, text);
    QCOMPARE(sensor::StatusDecoder().DecodeStatusPair(pair), text);
}

void TestSensor::combinedCellTexts() {
    SimHarness h(scenarioFrom("controller 0 0 2"));
    sim::SimSensor* s = h.installation->sensor(0);
    s->polls = 2; // the fuel level shows as set
    s->fuel = {12345, 0x03};
    s->water = {0, 0};
    s->temperature = {215, 0x00};
    s->density = {-2000, 0x00}; // integer part 0xFF38
    s->volume = {-10, 0x00};    // integer part 0xFFFFFFFF
    s->mass = {123456789, 0xFF};
    s->s1 = 0x05;
    h.installation->sensor(1)->temperature = {-81, 0x92};
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    app::SilentProgress progress;
    const auto r = sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 2}}), progress, grid, false);
    QVERIFY(!r.stopped && !r.linkLost);
    QVERIFY(grid.visible);
    QCOMPARE(grid.rows.size(), std::size_t(2));
    QCOMPARE(grid.rows[0], (QStringList{"1", "05 13", "1234.5 (03)", "0.0 (00)", "+21.5 (00)",
                                        "-200.0 (00)", "-1.0 (00)", "12345678.9 (FF)"}));
    QCOMPARE(grid.rows[1][0], QStringLiteral("2"));
    QCOMPARE(grid.rows[1][4], QStringLiteral("-8.1 (92)"));
    QCOMPARE(h.installation->requestsSeen(), 2);
}

void TestSensor::noSensorsNoRequests() {
    SimHarness h(scenarioFrom("controller 0 0 2"));
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    grid.visible = true;
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 0}}), progress, grid, false);
    sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid(),
                       c = sensor::configOverviewGrid();
    sensor::PollExtendedStatus(h.link, layoutOf({{0, 0, 0}}), progress, t, d);
    sensor::PollConfigOverview(h.link, layoutOf({{0, 0, 0}}), progress, c);
    QVERIFY(!grid.visible && !t.visible && !d.visible && !c.visible);
    QCOMPARE(h.installation->requestsSeen(), 0);
}

void TestSensor::type4TriggersInsteadOfVolumeAndMass() {
    SimHarness h(scenarioFrom("type 4\ncontroller 0 0 2"));
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 2}}, 4), progress, grid, false);
    QCOMPARE(log.sent.mid(0, 6),
             (QStringList{"00:0C", "00:04", "00:05", "00:06", "00:08", "00:8A"}));
    QCOMPARE(log.sent.size(), 12);
    QCOMPARE(h.installation->sensor(0)->triggers, 1);
    QVERIFY(!grid.rows[0][sensor::ColDensity].isEmpty());
    QVERIFY(grid.rows[0][sensor::ColVolume].isEmpty());
    QVERIFY(grid.rows[0][sensor::ColMass].isEmpty());
}

void TestSensor::perValueWithMirel() {
    SimHarness h(scenarioFrom("controller 0 0 1"));
    h.installation->sensor(0)->polls = 2;
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid combined = sensor::generalStatusGrid();
    sensor::StatusGrid perValue = sensor::generalStatusGrid();
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 1}}), progress, combined, false);
    h.installation->sensor(0)->polls = 2;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 1}}), progress, perValue, true);
    QCOMPARE(log.sent,
             (QStringList{"00:1C", "00:0C", "00:04", "00:05", "00:06", "00:08", "00:10", "00:11"}));
    // Both ways give the same cells.
    QCOMPARE(perValue.rows[0], combined.rows[0]);
}

void TestSensor::breakStopsAfterCurrentRequest() {
    SimHarness h(scenarioFrom("controller 0 0 6"));
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    grid.resize(6);
    grid.rows[5][1] = QStringLiteral("old");
    BreakAt progress(3);
    const auto r = sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 6}}), progress, grid, false);
    QVERIFY(r.stopped);
    QCOMPARE(h.installation->requestsSeen(), 3);
    QVERIFY(!grid.rows[2][1].isEmpty());
    QCOMPARE(grid.rows[5][1], QStringLiteral("old")); // rows after the stop keep what they had
    // In the extended poll a break between two channel requests stops there.
    SimHarness e(scenarioFrom("controller 0 0 2"));
    sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid();
    BreakAt early(2);
    sensor::PollExtendedStatus(e.link, layoutOf({{0, 0, 2}}), early, t, d);
    QCOMPARE(e.installation->requestsSeen(), 3); // status, T1, T2
}

void TestSensor::absentAndSilentSensors() {
    SimHarness h(scenarioFrom("controller 0 0 3\nabsent 1\nsensor 2 fault=silent"));
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    app::SilentProgress progress;
    sensor::PollGeneralStatus(h.link, layoutOf({{0, 0, 3}}), progress, grid, false);
    QCOMPARE(grid.rows[1][1], QStringLiteral("00 00"));
    QCOMPARE(sensor::StatusDecoder().DecodeStatusPair(grid.rows[1][1]),
             QStringLiteral("ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ"));
    QCOMPARE(grid.rows[2], (QStringList{"3", "", "", "", "", "", "", ""}));
}

void TestSensor::extendedStatus() {
    SimHarness h(scenarioFrom("controller 0 0 2\nsensor 1 fault=silent"));
    sim::SimSensor* s = h.installation->sensor(0);
    s->thermometers[0] = {-125, 0x00};
    s->thermometers[1] = {0, 0x92};
    s->densityChannels[0] = {-2000, 0x00};
    s->densityChannels[1] = {0, 0xB0};
    sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid();
    app::SilentProgress progress;
    sensor::PollExtendedStatus(h.link, layoutOf({{0, 0, 2}}), progress, t, d);
    QCOMPARE(t.rows[0][1], QStringLiteral("-12.5 (00)"));
    QCOMPARE(t.rows[0][2], QStringLiteral("+0.0 (92)"));
    QCOMPARE(d.rows[0][1], QStringLiteral("-200.0 (00)"));
    QCOMPARE(d.rows[0][2], QStringLiteral("0.0 (B0)"));
    QCOMPARE(d.rows[0][0], QStringLiteral("1"));
    // The silent sensor was asked its status three times, nothing else.
    QCOMPARE(h.installation->requestsSeen(), 17 + 3);
    QCOMPARE(t.rows[1], (QStringList{"2", "", "", "", "", "", "", "", ""}));
    QCOMPARE(d.rows[1][0], QStringLiteral("2"));
}

void TestSensor::configOverviewWithoutMask() {
    SimHarness h(scenarioFrom("controller 0 0 12"));
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid grid = sensor::configOverviewGrid();
    app::SilentProgress progress;
    // Not from a scan: controller 0 is asked at 0xFF, which never answers.
    sensor::PollConfigOverview(h.link, layoutOf({{0, 0, 12}}, 1, false), progress, grid);
    QCOMPARE(log.sent.first(), QStringLiteral("FF:7C"));
    QCOMPARE(log.sent.size(), 1 + 8 * 2);
    QCOMPARE(grid.rows[7][sensor::ColVersion], h.installation->sensor(7)->version);
    QCOMPARE(grid.rows[8], (QStringList{"9", "", "", "", ""}));
}

void TestSensor::configOverviewWithMask() {
    SimHarness h(scenarioFrom("controller 0 0 3\ncontroller 2 10 2\nabsent 1"));
    h.installation->sensor(0)->length = 3500;
    h.installation->sensor(0)->thermometerCount = 5;
    h.installation->sensor(0)->densityCount = 2;
    sensor::StatusGrid grid = sensor::configOverviewGrid();
    app::SilentProgress progress;
    sensor::PollConfigOverview(h.link, layoutOf({{0, 0, 3}, {2, 10, 2}}), progress, grid);
    QCOMPARE(grid.rows[0],
             (QStringList{"1", QString::fromLatin1(h.installation->sensor(0)->version), "3500", "5",
                          "2"}));
    QCOMPARE(grid.rows[1], (QStringList{"2", "", "", "", ""})); // not in the controller's mask
    QCOMPARE(grid.rows[3][0], QStringLiteral("11"));
    QVERIFY(!grid.rows[4][sensor::ColHeight].isEmpty());
    QVERIFY(grid.visible);
}

// A controller that stays silent, and the first sensor behind it, or a line
// where nobody answers, ends the asking there: the wire shows nobody behind
// it asked after it. A silent sensor on a live line is only that sensor.
void TestSensor::silentFrontEndsTheWalk_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("entries"); // "slot first count" per controller
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("poll");
    QTest::addColumn<QStringList>("wire");
    QTest::addColumn<QString>("said");
    const QString one = QStringLiteral("0 0 4");
    const QString dead = QStringLiteral("КИП 1 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ");
    QTest::newRow("dead line") << "type 1" << one << 1 << "general" << QStringList{"00:1C", "80:01"}
                               << dead;
    // The first silent request shows the adapter echoes (one version read).
    QTest::newRow("echo-only line")
        << "type 1\necho-only" << one << 1 << "general" << QStringList{"00:1C", "00:01", "80:01"}
        << "КИП 1 НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
    QTest::newRow("extended, dead line") << "type 1" << one << 1 << "extended"
                                         << QStringList{"00:0C", "00:0C", "00:0C", "80:01"} << dead;
    QTest::newRow("overview, dead line")
        << "type 1" << one << 1 << "overview" << QStringList{"80:7C", "00:01"} << dead;
    QTest::newRow("per value, dead line")
        << "type 4" << one << 4 << "general" << QStringList{"00:0C", "80:01"} << dead;
    QTest::newRow("silent first sensor")
        << "controller 0 0 4\nsensor 0 fault=silent" << one << 1 << "general"
        << QStringList{"00:1C", "80:01", "01:1C", "02:1C", "03:1C"} << "ОПРОШЕНО: 3 из 4";
    QTest::newRow("silent sensor after answers")
        << "controller 0 0 4\nsensor 2 fault=silent" << one << 1 << "general"
        << QStringList{"00:1C", "01:1C", "02:1C", "03:1C"} << "ОПРОШЕНО: 3 из 4";
    // Silent itself, it still answers for its sensors.
    QTest::newRow("controller silent, sensors answer")
        << "controller 0 0 4 fault=silent" << one << 1 << "general"
        << QStringList{"00:1C", "01:1C", "02:1C", "03:1C"} << "ОПРОШЕНО: 4 из 4";
    QTest::newRow("second controller silent")
        << "controller 0 0 2\ncontroller 1 2 2 fault=silent\nsensor 2 fault=silent\n"
           "sensor 3 fault=silent"
        << "0 0 2;1 2 2" << 1 << "general" << QStringList{"00:1C", "01:1C", "02:1C", "81:01"}
        << "ОПРОШЕНО: 2 из 3; КИП 2 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
    QTest::newRow("first controller silent")
        << "controller 0 0 2 fault=silent\nsensor 0 fault=silent\nsensor 1 fault=silent\n"
           "controller 1 2 2"
        << "0 0 2;1 2 2" << 1 << "general" << QStringList{"00:1C", "80:01", "02:1C", "03:1C"}
        << "ОПРОШЕНО: 2 из 3; " + dead;
    // Without controllers the line itself is the front: its first three
    // questions.
    QTest::newRow("no controllers, dead line")
        << "type 5\nsensors 0 0"
        << "0 0 1" << 5 << "general" << QStringList{"00:0C", "00:04", "00:05"}
        << "ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
    QTest::newRow("direct sensors, dead line")
        << "type 2\nsensors 0 0"
        << "0 0 4" << 2 << "general" << QStringList{"00:1C", "01:1C", "02:1C"}
        << "ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ";
}

void TestSensor::silentFrontEndsTheWalk() {
    QFETCH(QString, scenario);
    QFETCH(QString, entries);
    QFETCH(int, type);
    QFETCH(QString, poll);
    QFETCH(QStringList, wire);
    QFETCH(QString, said);
    SimHarness h(scenarioFrom(qPrintable(scenario)));
    CommandLog log;
    h.link.setObserver(&log);
    app::ControllerLayout layout = layoutOf({}, type);
    for (const QString& e : entries.split(QLatin1Char(';'))) {
        const QStringList n = e.split(QLatin1Char(' '));
        layout.ControllerTable[n[0].toInt()] = {n[1].toInt(), n[2].toInt()};
        layout.selectedControllers |= 1u << n[0].toInt();
        ++layout.controllersFound;
    }
    app::SilentProgress progress;
    sensor::StatusGrid grid = sensor::generalStatusGrid(), t = sensor::thermometerGrid(),
                       d = sensor::densityGrid();
    sensor::PollResult r;
    if (poll == QLatin1String("extended")) {
        r = sensor::PollExtendedStatus(h.link, layout, progress, t, d);
        grid = t;
    } else if (poll == QLatin1String("overview")) {
        grid = sensor::configOverviewGrid();
        r = sensor::PollConfigOverview(h.link, layout, progress, grid);
    } else {
        r = sensor::PollGeneralStatus(h.link, layout, progress, grid, false);
    }
    QCOMPARE(log.sent, wire);
    QCOMPARE(sensor::pollSummary(r), said);
    // Behind a silent front every row keeps its number alone, and counts
    // neither as asked nor as unanswered.
    for (const app::SilentFront& f : r.silentFronts)
        for (int address : f.skipped) {
            QVERIFY(std::count(r.unanswered.begin(), r.unanswered.end(), address) == 0);
            for (const QStringList& row : grid.rows)
                if (row[0] == QString::number(address + 1))
                    QCOMPARE(row.join(QString()), QString::number(address + 1));
        }
}

ORVANT_TEST_MAIN(TestSensor, TestSettings, TestPlaces)
#include "tst_sensor.moc"

// A controller that claims sensors past 127 must not make the polls address
// controllers or broadcasts as sensors.
void TestSensor::scannedRangesStayInSensorAddresses() {
    SimHarness h(scenarioFrom("controller 0 0 4\ncontroller 1 4 4"));
    h.installation->controller(0)->first = 120;
    h.installation->controller(0)->count = 20;
    h.installation->controller(1)->first = 200;
    h.installation->controller(1)->count = 255;
    app::ControllerLayout layout;
    app::SilentProgress progress;
    app::ScanControllers(h.link, layout, progress);
    QCOMPARE(layout.ControllerTable[0].firstSensorAddress, 120);
    QCOMPARE(layout.ControllerTable[0].sensorCount, 8);
    QCOMPARE(layout.ControllerTable[1].firstSensorAddress, 127);
    QCOMPARE(layout.ControllerTable[1].sensorCount, 1);
    QCOMPARE(layout.sensorAddressEnd, 128);
    CommandLog log;
    h.link.setObserver(&log);
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    sensor::PollGeneralStatus(h.link, layout, progress, grid, false);
    const QStringList sensorsAsked = log.sent.filter(QStringLiteral(":1C"));
    QCOMPARE(sensorsAsked.size(), 9);
    for (const QString& s : sensorsAsked)
        QVERIFY2(s.left(2).toInt(nullptr, 16) < 0x80, qPrintable(s));
    // The first place of each is empty: each controller is asked for itself.
    QCOMPARE(log.sent.size(), 11);
    QCOMPARE(log.sent.filter(QStringLiteral(":01")), (QStringList{"80:01", "81:01"}));
    QCOMPARE(grid.rows.size(), qsizetype(9));
}
