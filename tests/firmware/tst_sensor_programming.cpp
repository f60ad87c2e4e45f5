#include "tst_sensor_programming.h"

#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "firmware/SensorProgramming.h"

#include <QtTest>

namespace {

using firmware::FirmwareImage;

FirmwareImage image(int start, int end, const QByteArray& version = "REV DUT 3.50") {
    FirmwareImage i;
    i.data = QByteArray(firmware::kImageSpace, '\xFF');
    for (int a = start; a < end; ++a)
        i.data[a] = static_cast<char>((a * 7 + 3) & 0xFF);
    if (end - start > version.size() + 20)
        i.data.replace(start + 8, version.size() + 1, version + '\0');
    i.start = start;
    i.end = end;
    i.usable = true;
    return i;
}

// Sensor 2 behind controller 0.
constexpr firmware::SensorRoute kRoute{2, 0x80, true};

struct Line {
    explicit Line(const char* scenario = "type 1\ncontroller 0 0 4\n") : h(scenarioFrom(scenario)) {
        h.link.setObserver(&log);
    }
    sim::SimSensor& s() { return *h.installation->sensor(2); }
    sim::SimController& c() { return *h.installation->controller(0); }
    SimHarness h;
    CommandLog log;
    app::SilentProgress progress;
};

// Counts the bar's steps.
struct CountingProgress : app::SilentProgress {
    int steps = 0;
    void StepProgress(int) override { ++steps; }
};

QByteArray ok(std::uint8_t from = 2) {
    return bus::encodeReply(from, 0x50, QByteArray("\x01", 1));
}
QByteArray refused(std::uint8_t from = 2) {
    return bus::encodeReply(from, 0x50, QByteArray(1, '\0'));
}

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"link",
         [](bus::SerialLink& l, std::uint8_t s) {
             // Transit is the matrix's own here; the loader must answer.
             return firmware::SensorLink(l, {s, 0x80, false}).linked;
         }},
        {"program",
         [](bus::SerialLink& l, std::uint8_t s) {
             app::SilentProgress p;
             return firmware::SensorBootProbe(l, s) &&
                    firmware::ProgramSensor(l, s, image(0, 400), p).done;
         }},
        {"free",
         [](bus::SerialLink& l, std::uint8_t s) {
             firmware::ReleaseSensor(l, {s, 0x80, false});
             app::SilentProgress p;
             return firmware::AwaitRestart(l, bus::Target::Sensor, s, p, 2000).linked;
         }},
    };
    return ops;
}

} // namespace

void TestSensorProgramming::linkUnderTransit() {
    Line l;
    const auto r = firmware::SensorLink(l.h.link, kRoute);
    QVERIFY(r.linked);
    QVERIFY(r.transitOn);
    QCOMPARE(r.mess, QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QCOMPARE(*r.version, QStringLiteral("DUT V3.02"));
    QCOMPARE(*r.date, QStringLiteral("14-10-2026"));
    // The controller's bare acknowledgement on a fresh port leaves open
    // whether the adapter echoes: its version read tells.
    QCOMPARE(l.log.sent, (QStringList{"80:A1", "80:01", "02:01", "02:02", "02:5A", "02:7C"}));
    QVERIFY(l.c().transit);
    QVERIFY(l.s().inBootLoader);
    // Fields already filled are not asked again.
    Line again;
    QVERIFY(firmware::SensorLink(again.h.link, kRoute, false, false).linked);
    QCOMPARE(again.log.sent, (QStringList{"80:A1", "80:01", "02:5A", "02:7C"}));
}

void TestSensorProgramming::linkWithoutLoaderEndsTransit() {
    Line l;
    l.h.installation->setSensorFault(2, sim::Fault::Silent);
    const auto r = firmware::SensorLink(l.h.link, kRoute);
    QVERIFY(!r.linked);
    QVERIFY(!r.transitOn);
    QCOMPARE(r.mess, QStringLiteral("НЕТ ОТВЕТА"));
    QCOMPARE(l.log.sent.last(), QStringLiteral("80:A5"));
    QVERIFY(!l.c().transit);
    // A loader that does not report itself is no link either.
    ScriptedLink s({bus::encodeReply(2, 0x5A, QByteArray("\x01", 1)),
                    bus::encodeReply(2, 0x7C, QByteArray("\x00\x00", 2))});
    QVERIFY(!firmware::SensorBootProbe(s.link, 2));
}

void TestSensorProgramming::linkWithoutTransitSaysNoAnswer() {
    Line l;
    l.h.installation->setControllerFault(0, sim::Fault::Silent);
    const auto r = firmware::SensorLink(l.h.link, kRoute);
    QVERIFY(!r.linked);
    QVERIFY(!r.transitOn);
    QCOMPARE(r.mess, QStringLiteral("НЕТ ОТВЕТА"));
    // Two tries at transit, nothing to the sensor.
    QCOMPARE(l.log.sent, (QStringList{"80:A1", "80:A1"}));
}

void TestSensorProgramming::closingBlockOnlyAfterOddCount_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("closing");
    QTest::newRow("384 bytes, 3 blocks") << 384 << 3 << true;
    QTest::newRow("256 bytes, 2 blocks") << 256 << 2 << false;
    QTest::newRow("257 bytes, 3 blocks") << 257 << 3 << true;
    QTest::newRow("100 bytes, 1 block") << 100 << 1 << true;
}

void TestSensorProgramming::closingBlockOnlyAfterOddCount() {
    QFETCH(int, size);
    QFETCH(int, blocks);
    QFETCH(bool, closing);
    Line l;
    QVERIFY(firmware::SensorLink(l.h.link, kRoute, false, false).linked);
    l.log.sent.clear();
    l.log.frames.clear();
    const auto r = firmware::ProgramSensor(l.h.link, 2, image(0x200, 0x200 + size), l.progress);
    QVERIFY(r.done);
    QCOMPARE(r.mess, QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    QCOMPARE(r.blocksSent, blocks);
    QCOMPARE(l.log.sent.count(QStringLiteral("02:50")), blocks + (closing ? 1 : 0));
    // The closing block carries no payload: a frame of 11 characters.
    const bool emptyLast = l.log.frames.last().size() == 11;
    QCOMPARE(emptyLast, closing);
}

void TestSensorProgramming::attemptsPerBlock_data() {
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<bool>("done");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("mess");
    QTest::newRow("second block fails twice, then passes")
        << QByteArrayList{ok(), refused(), QByteArray(), ok(), ok(), ok()} << true << 5 << 3
        << "ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО";
    QTest::newRow("third block refused five times")
        << QByteArrayList{ok(), ok(), refused(), refused(), refused(), refused(), refused()}
        << false << 7 << 2 << "СБОЙ ПРОГРАММИРОВАНИЯ(00280)";
    QTest::newRow("third block lost last")
        << QByteArrayList{ok(), ok(), refused(), refused(), refused(), refused(), QByteArray()}
        << false << 7 << 2 << "ПОТЕРЯ СВЯЗИ(00280)";
}

void TestSensorProgramming::attemptsPerBlock() {
    QFETCH(QByteArrayList, replies);
    QFETCH(bool, done);
    QFETCH(int, attempts);
    QFETCH(int, steps);
    QFETCH(QString, mess);
    ScriptedLink s(replies);
    CountingProgress progress;
    const auto r = firmware::ProgramSensor(s.link, 2, image(0x100, 0x100 + 384), progress);
    QCOMPARE(r.done, done);
    QCOMPARE(r.attempts, attempts);
    QCOMPARE(progress.steps, steps);
    QCOMPARE(r.mess, mess);
}

void TestSensorProgramming::flashEqualsTheImage() {
    Line l;
    const FirmwareImage i = image(0x81, 0x81 + 5000);
    QVERIFY(firmware::SensorLink(l.h.link, kRoute).linked);
    const auto r = firmware::ProgramSensor(l.h.link, 2, i, l.progress);
    QVERIFY(r.done);
    QCOMPARE(l.s().program.mid(i.start, i.end - i.start), i.data.mid(i.start, i.end - i.start));
    // Outside the image the flash stays erased, the odd start included.
    QCOMPARE(l.s().program.at(0x80), '\xFF');
    QCOMPARE(l.s().program.at(i.end), '\xFF');
}

void TestSensorProgramming::releaseEndsTransitAndRestarts() {
    Line l;
    QVERIFY(firmware::SensorLink(l.h.link, kRoute).linked);
    QVERIFY(firmware::ProgramSensor(l.h.link, 2, image(0, 300), l.progress).done);
    l.log.sent.clear();
    // The restarted sensor tells what it runs while transit still stands.
    const auto now = firmware::RestartSensor(l.h.link, kRoute, l.progress);
    QVERIFY(now.linked);
    QCOMPARE(*now.version, QStringLiteral("REV DUT 3.50"));
    QCOMPARE(l.log.sent, (QStringList{"02:A5", "02:01", "02:02", "80:A5"}));
    QVERIFY(!l.c().transit);
    // FREE from any state: the sensor let go, transit off.
    l.log.sent.clear();
    firmware::ReleaseSensor(l.h.link, kRoute);
    QCOMPARE(l.log.sent, (QStringList{"02:A5", "80:A5"}));
    QVERIFY(!l.c().transit);
    QVERIFY(!l.s().inBootLoader);
}

void TestSensorProgramming::emergencyFlag_data() {
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("want");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("mess");
    QTest::newRow("set") << false << true << QStringList{"80:AE", "80:AE"}
                         << "УСТАНОВЛЕН АВАРИЙНЫЙ РЕЖИМ";
    QTest::newRow("already set: read only")
        << true << true << QStringList{"80:AE"} << "УСТАНОВЛЕН АВАРИЙНЫЙ РЕЖИМ";
    QTest::newRow("clear") << true << false << QStringList{"80:AE", "80:AE"}
                           << "АВАРИЙНЫЙ РЕЖИМ СНЯТ";
}

void TestSensorProgramming::emergencyFlag() {
    QFETCH(bool, held);
    QFETCH(bool, want);
    QFETCH(QStringList, sent);
    QFETCH(QString, mess);
    Line l;
    l.c().emergencyFlag = held;
    const auto r = firmware::SetEmergencyFlag(l.h.link, 0x80, want);
    QVERIFY(r.set);
    QCOMPARE(r.mess, mess);
    QCOMPARE(l.log.sent, sent);
    QCOMPARE(l.c().emergencyFlag, want);
    QCOMPARE(firmware::ReadEmergencyFlag(l.h.link, 0x80), std::optional<bool>(want));
    if (sent.size() == 2)
        QCOMPARE(l.log.frames[1].mid(7, 2), want ? QByteArray("01") : QByteArray("00"));
    // A controller that echoes another value has not taken it.
    ScriptedLink s({bus::encodeReply(0x80, 0xAE, QByteArray(1, char(!want))),
                    bus::encodeReply(0x80, 0xAE, QByteArray(1, char(!want)))});
    const auto refused = firmware::SetEmergencyFlag(s.link, 0x80, want);
    QVERIFY(!refused.set);
    QCOMPARE(refused.mess, QStringLiteral("НЕ УСТАНОВЛЕН"));
    l.h.installation->setControllerFault(0, sim::Fault::Silent);
    QVERIFY(!firmware::ReadEmergencyFlag(l.h.link, 0x80));
}

void TestSensorProgramming::emergencyLinkWhileSwitchedOn() {
    // The controller is off with its flag set; it is switched on while the
    // tool probes, and the sensor's broken firmware leaves it in its loader.
    Line l("type 1\ncontroller 0 0 4\nbroken 2\npoweroff 0 9\n");
    l.c().emergencyFlag = true;
    QVERIFY(!firmware::SensorLink(l.h.link, kRoute).linked);
    QVERIFY(firmware::EmergencySensorLink(l.h.link, 2, l.progress));
    QVERIFY(l.s().inBootLoader);
    QVERIFY(firmware::ProgramSensor(l.h.link, 2, image(0, 1000), l.progress).done);
    firmware::ReleaseSensor(l.h.link, kRoute);
    QVERIFY(!l.c().transit);
    QVERIFY(!l.s().firmwareBroken);
    QCOMPARE(l.s().version, QByteArray("REV DUT 3.50"));
}

void TestSensorProgramming::emergencyLinkGivesUp() {
    Line l("type 1\ncontroller 0 0 4\nbroken 2\n");
    const qint64 t0 = l.h.line->clockMs();
    QVERIFY(!firmware::EmergencySensorLink(l.h.link, 2, l.progress));
    // Thirteen probes, each a 0x5A left unanswered.
    QCOMPARE(l.log.sent.count(QStringLiteral("02:5A")), 13);
    QVERIFY(l.h.line->clockMs() - t0 < 13 * 700);
    // A loader answering at once takes one probe.
    Line at;
    bus::TransitScope transit(at.h.link, 0x80, true);
    QVERIFY(firmware::EmergencySensorLink(at.h.link, 2, at.progress));
    QCOMPARE(at.log.sent, (QStringList{"80:A1", "80:01", "02:5A", "02:7C"}));
}

void TestSensorProgramming::faultMidImage_data() {
    QTest::addColumn<QString>("fault");
    for (const char* f : {"silent", "checksum", "address", "late", "truncated"})
        QTest::newRow(f) << QString::fromLatin1(f);
}

void TestSensorProgramming::faultMidImage() {
    QFETCH(QString, fault);
    // Late beyond all five attempts: an answer late by less confirms a later
    // attempt, as the device did write the block.
    Line l("late 40000\ntype 1\ncontroller 0 0 4\n");
    QVERIFY(firmware::SensorLink(l.h.link, kRoute, false, false).linked);
    l.h.link.setPump([&] {
        if (l.log.sent.count(QStringLiteral("02:50")) == 3)
            l.h.installation->setSensorFault(2, *sim::faultFromName(fault));
    });
    const qint64 t0 = l.h.line->clockMs();
    const auto r = firmware::ProgramSensor(l.h.link, 2, image(0, 1000), l.progress);
    // Five tries of one block at most 3 s each, and never a success.
    QVERIFY(!r.done);
    QVERIFY2(r.mess.startsWith(QStringLiteral("ПОТЕРЯ СВЯЗИ(")), qPrintable(r.mess));
    QCOMPARE(r.end, firmware::ProgramEnd::LineLost);
    QVERIFY(l.h.line->clockMs() - t0 <= 3 * 400 + 5 * 3400);
    // The loader is still there for another PROG once the line is sound.
    l.h.link.setPump({});
    l.h.installation->setSensorFault(2, sim::Fault::None);
    l.h.line->advance(std::chrono::milliseconds(40500));
    QVERIFY(firmware::ProgramSensor(l.h.link, 2, image(0, 1000), l.progress).done);
    QVERIFY(l.c().transit);
}

void TestSensorProgramming::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestSensorProgramming::lineFaults() {
    // The longest: a program of 4 blocks each tried five times at 3 s.
    faultmatrix::run(operations(), 2 * 500 + 5 * 3100 + 500, false, 8000);
}
