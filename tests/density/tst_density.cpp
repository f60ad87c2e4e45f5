#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "density/DensityService.h"
#include "link/FrameCodec.h"
#include "sensor/StatusDecoder.h"

#include <QtTest>

namespace {

constexpr std::uint8_t kSensor = 5;

// A reply frame from sensor 5 to 0x41 with these data bytes.
QByteArray reply41(const QByteArray& data) {
    return bus::encodeReply(kSensor, 0x41, data);
}

// The sensor's version answer that the meter reads wait for, then the
// meter's own answer.
QByteArrayList probed(const QByteArray& data) {
    return {bus::encodeReply(kSensor, 0x01, "V"), reply41(data)};
}

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"search",
         [](bus::SerialLink& l, std::uint8_t s) {
             app::SilentProgress p;
             const density::MeterSearch r = density::FindDensityMeters(l, s, p);
             return r.meters[0].present && r.meters[0].height && r.fuelLevel.has_value();
         }},
        {"version",
         [](bus::SerialLink& l, std::uint8_t s) { return !density::ReadVersion(l, s, 1).bad; }},
        {"status",
         [](bus::SerialLink& l, std::uint8_t s) { return !density::ReadStatus(l, s, 1).bad; }},
        {"density",
         [](bus::SerialLink& l, std::uint8_t s) {
             return !density::ReadParameter(l, s, 1, density::Parameter::Density).bad;
         }},
        {"corrected density",
         [](bus::SerialLink& l, std::uint8_t s) {
             return !density::ReadCorrectedDensity(l, s, 1).bad;
         }},
        {"temperature",
         [](bus::SerialLink& l, std::uint8_t s) { return !density::ReadTemperature(l, s, 1).bad; }},
        {"correction",
         [](bus::SerialLink& l, std::uint8_t s) {
             return density::ReadCorrection(l, s, 1).value.has_value();
         }},
        {"initialise",
         [](bus::SerialLink& l, std::uint8_t s) { return density::InitialiseMeter(l, s, 1); }},
    };
    return ops;
}

} // namespace

class TestDensity : public QObject {
    Q_OBJECT
  private slots:
    void decoding_data();
    void decoding();
    void uninitialisedMeter();
    void searchFindsMetersAndLevels();
    void silentSensorSearchedOnce_data();
    void silentSensorSearchedOnce();
    void positions_data();
    void positions();
    void readAllFromTheSimulator();
    void initialiseAndConvert();
    void lineFaults_data();
    void lineFaults();
};

void TestDensity::decoding_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bad");
    const QByteArray m(1, 1);
    QTest::newRow("version 2.05") << "version" << QByteArrayList{reply41(m + "\x02\x05\x01")}
                                  << "2.05" << false;
    QTest::newRow("version refused by the meter")
        << "version" << QByteArrayList{reply41(m + QByteArray("\x21\x00", 2))} << "21" << false;
    QTest::newRow("version too short") << "version" << QByteArrayList{reply41(m)} << "" << true;
    QTest::newRow("temperature - 21.3")
        << "temperature" << probed(m + QByteArray("\x01\x15\x03\x01", 4)) << "- 21.3" << false;
    QTest::newRow("temperature + 4.0")
        << "temperature" << probed(m + QByteArray("\x00\x04\x00\x01", 4)) << "+ 4.0" << false;
    QTest::newRow("density 1.0000")
        << "density" << probed(m + QByteArray("\x00\x00\x80\x3F\x01", 5)) << "1.0000" << false;
    QTest::newRow("density failed in the meter")
        << "density" << probed(m + QByteArray("\x21\x00", 2)) << "21" << false;
    QTest::newRow("density too short")
        << "density" << probed(m + QByteArray("\x80\x3F\x01", 3)) << "" << true;
    QTest::newRow("status of 4 bytes")
        << "status" << QByteArrayList{reply41(m + QByteArray("\x00\x05\x01", 3))} << "00 05"
        << false;
    QTest::newRow("status failed")
        << "status" << QByteArrayList{reply41(m + QByteArray("\x00\xB2\x00", 3))} << "B2" << false;
    QTest::newRow("status of 2 bytes")
        << "status" << QByteArrayList{reply41(m + "\x07")} << "07" << false;
    QTest::newRow("status of 6 bytes")
        << "status" << QByteArrayList{reply41(m + "\x01\x02\x03\x04\x05")} << "L=6" << false;
    QTest::newRow("corrected density")
        << "corrected" << probed(m + QByteArray("\x03\x10\x05\x01", 4)) << "784.5" << false;
    QTest::newRow("ADC") << "adc" << probed(m + QByteArray("\x12\x34\x01", 3)) << "4660" << false;
}

void TestDensity::decoding() {
    QFETCH(QString, what);
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, text);
    QFETCH(bool, bad);
    ScriptedLink s(replies);
    density::Field f;
    if (what == QLatin1String("version"))
        f = density::ReadVersion(s.link, kSensor, 1);
    else if (what == QLatin1String("temperature"))
        f = density::ReadTemperature(s.link, kSensor, 1);
    else if (what == QLatin1String("density"))
        f = density::ReadParameter(s.link, kSensor, 1, density::Parameter::Density);
    else if (what == QLatin1String("adc"))
        f = density::ReadParameter(s.link, kSensor, 1, density::Parameter::Adc1);
    else if (what == QLatin1String("corrected"))
        f = density::ReadCorrectedDensity(s.link, kSensor, 1);
    else
        f = density::ReadStatus(s.link, kSensor, 1);
    QCOMPARE(f.text, text);
    QCOMPARE(f.bad, bad);
    // The reads that want it ask the sensor's version first, unwatched.
    if (replies.size() == 2)
        QVERIFY(s.device->written.startsWith(requestFrame(kSensor, 0x01)));
}

void TestDensity::uninitialisedMeter() {
    SensorBench b;
    b.sensor().densityCorrections[0] = 0.0f;
    const density::Correction c = density::ReadCorrection(b.h.link, SensorBench::kSensor, 1);
    QVERIFY(c.value);
    QVERIFY(c.uninitialised);
    const sensor::StatusDecoder decoder;
    const density::AllValues a = density::ReadAll(b.h.link, SensorBench::kSensor, 1, decoder);
    QVERIFY(a.uninitialised);
    QCOMPARE(a.memo.last(), density::kNotInitialised);
}

void TestDensity::searchFindsMetersAndLevels() {
    SensorBench b; // sensor 2: density meters 1 and 2
    app::SilentProgress progress;
    const density::MeterSearch r =
        density::FindDensityMeters(b.h.link, SensorBench::kSensor, progress);
    QVERIFY(r.meters[0].present && r.meters[1].present && !r.meters[2].present);
    QCOMPARE(*r.meters[1].height, 612);
    QCOMPARE(r.meters[0].id, QString::fromLatin1(b.sensor().cells[0x89]));
    QCOMPARE(int(*r.meters[0].status), 0);
    QVERIFY(r.fuelLevel && r.waterLevel);
    // Breaking after the second meter stops before the third is asked.
    class BreakAfter2 : public app::SilentProgress {
        void StepProgress(int k) override {
            if (k == 2)
                requestBreak();
        }
    } breaking;
    b.log.sent.clear();
    const density::MeterSearch cut =
        density::FindDensityMeters(b.h.link, SensorBench::kSensor, breaking);
    QVERIFY(cut.stopped);
    QVERIFY(!cut.fuelLevel);
    for (const QString& s : b.log.sent)
        QVERIFY2(!s.endsWith(QLatin1String(":04")), qPrintable(s));
}

// A sensor silent to the first meter's questions, or a line that only
// echoes, is asked no further: one meter's waits, not eight.
void TestDensity::silentSensorSearchedOnce_data() {
    QTest::addColumn<bool>("echoOnly");
    QTest::addColumn<QString>("said");
    QTest::newRow("silent") << false << "НЕТ ОТВЕТА";
    QTest::newRow("echo-only") << true << "НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
}

void TestDensity::silentSensorSearchedOnce() {
    QFETCH(bool, echoOnly);
    QFETCH(QString, said);
    SimHarness h(scenarioFrom(echoOnly ? "echo\ncontroller 0 0 4\n" : "controller 0 0 4\n"));
    QVERIFY(bus::EnterTransitMode(h.link, 0x80));
    if (echoOnly)
        h.installation->setNoDevices(true);
    else
        h.installation->setSensorFault(SensorBench::kSensor, sim::Fault::Silent);
    app::SilentProgress progress;
    const density::MeterSearch r =
        density::FindDensityMeters(h.link, SensorBench::kSensor, progress);
    QCOMPARE(r.asked, 2); // meter 1's identifier and channel
    QCOMPARE(r.unanswered, 2);
    QCOMPARE(density::searchFailureText(r), said);
    QVERIFY(!r.fuelLevel && !r.waterLevel);
    // A sensor that answers is asked for every meter.
    h.installation->setSensorFault(SensorBench::kSensor, sim::Fault::None);
    h.installation->setNoDevices(false);
    if (!echoOnly)
        QCOMPARE(density::FindDensityMeters(h.link, SensorBench::kSensor, progress).asked,
                 2 * 8 + 2);
}

void TestDensity::positions_data() {
    QTest::addColumn<QList<int>>("heights"); // -1 absent, -2 present without height
    QTest::addColumn<int>("fuel");
    QTest::addColumn<int>("water");
    QTest::addColumn<QString>("lamps");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("fuelUpTo");
    QTest::addColumn<int>("waterUpTo");
    QTest::newRow("meters 1 and 4") << QList<int>{300, -1, -1, 1500, -1, -1, -1, -1} << 1000 << 150
                                    << "x..x...." << true << 0 << 0;
    QTest::newRow("a silent height cell keeps the panel hidden")
        << QList<int>{300, -2, -1, -1, -1, -1, -1, -1} << 1000 << 100 << "xx......" << false << -1
        << -1;
    QTest::newRow("all low") << QList<int>{100, 150, -1, -1, -1, -1, -1, -1} << 1000 << 100
                             << "xx......" << false << -1 << -1;
    QTest::newRow("levels unknown") << QList<int>{300, 900, -1, -1, -1, -1, -1, -1} << -1 << -1
                                    << "xx......" << true << -1 << -1;
    QTest::newRow("meters 7 and 8 with levels") << QList<int>{-1, -1, -1, -1, -1, -1, 2000, 2500}
                                                << 3000 << 2400 << "......xx" << true << 7 << 7;
}

void TestDensity::positions() {
    QFETCH(QList<int>, heights);
    QFETCH(int, fuel);
    QFETCH(int, water);
    QFETCH(QString, lamps);
    QFETCH(bool, shown);
    QFETCH(int, fuelUpTo);
    QFETCH(int, waterUpTo);
    density::MeterSearch s;
    for (int i = 0; i < density::kMeters; ++i) {
        s.meters[i].present = heights[i] != -1;
        if (heights[i] >= 0)
            s.meters[i].height = heights[i];
    }
    if (fuel >= 0)
        s.fuelLevel = fuel;
    if (water >= 0)
        s.waterLevel = water;
    const density::Positions p = density::meterPositions(s);
    QString got;
    for (bool l : p.lamps)
        got += l ? QLatin1Char('x') : QLatin1Char('.');
    QCOMPARE(got, lamps);
    QCOMPARE(p.shown, shown);
    QCOMPARE(p.fuelUpTo.value_or(-1), fuelUpTo);
    QCOMPARE(p.waterUpTo.value_or(-1), waterUpTo);
}

void TestDensity::readAllFromTheSimulator() {
    SensorBench b;
    const sensor::StatusDecoder decoder;
    const density::AllValues a = density::ReadAll(b.h.link, SensorBench::kSensor, 2, decoder);
    QVERIFY(a.complete);
    QCOMPARE(a.status.text, QStringLiteral("00 00"));
    QCOMPARE(a.version.text, QStringLiteral("2.05"));
    QCOMPARE(a.correction.text, QStringLiteral("1.0"));
    QVERIFY(!a.density.bad && !a.temperature.bad && !a.disp2.bad);
    QVERIFY(!a.uninitialised);
    // A meter whose register reads fail shows its error code.
    b.sensor().meterErrorCode = 0x21;
    QCOMPARE(
        density::ReadParameter(b.h.link, SensorBench::kSensor, 2, density::Parameter::Adc2).text,
        QStringLiteral("21"));
}

void TestDensity::initialiseAndConvert() {
    SensorBench b;
    b.sensor().densityCorrections[1] = 0.0f;
    QVERIFY(density::InitialiseMeter(b.h.link, SensorBench::kSensor, 2));
    QCOMPARE(b.log.frames.last(),
             requestFrame(SensorBench::kSensor, 0x83, QByteArray("\x0E\x00\x01", 3)));
    QVERIFY(!density::ReadCorrection(b.h.link, SensorBench::kSensor, 2).uninitialised);
    QVERIFY(!density::InitialiseMeter(b.h.link, SensorBench::kSensor, 5)); // no meter 5
    const int triggers = b.sensor().triggers;
    density::StartConversion(b.h.link, SensorBench::kSensor, 2, false);
    QCOMPARE(b.log.frames.last(),
             requestFrame(SensorBench::kSensor, 0x40, QByteArray("\x02\x43", 2)));
    density::StartConversion(b.h.link, SensorBench::kSensor, 2, true);
    QCOMPARE(b.log.frames.last(), requestFrame(SensorBench::kSensor, 0x8A));
    QCOMPARE(b.sensor().triggers, triggers + 2);
}

void TestDensity::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestDensity::lineFaults() {
    faultmatrix::run(operations(), 8 * 3 * 1000 + 2 * 500 + 1200);
}

QTEST_GUILESS_MAIN(TestDensity)
#include "tst_density.moc"
