#include "tst_settings.h"

#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/SensorBench.h"
#include "common/SimHarness.h"
#include "link/FrameCodec.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"
#include "sensor/SettingText.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

constexpr std::uint8_t kSensor = SensorBench::kSensor;

using Bench = SensorBench;

const std::map<QString, faultmatrix::Operation>& operations() {
    using namespace sensor;
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"read groups",
         [](bus::SerialLink& l, std::uint8_t s) {
             const auto g = ReadSensorGroups(l, s);
             return g.sizeMm && g.levelCorrectionTenths && g.flags && g.fillCriterionTenths;
         }},
        {"write size",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteSensorSize(l, s, 1000, false).confirmed();
         }},
        {"write correction",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteLevelCorrection(l, s, -125).confirmed();
         }},
        {"write flags",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteFlags(l, s, FlagChanges{{{true, false}}, true, {}}).confirmed();
         }},
        {"write criterion",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteFillCriterion(l, s, 125).confirmed();
         }},
        {"read sections", [](bus::SerialLink& l,
                             std::uint8_t s) { return ReadSectionCorrections(l, s).has_value(); }},
        {"write section",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteSectionCorrection(l, s, 3, 1.5f).confirmed();
         }},
        {"read segments",
         [](bus::SerialLink& l, std::uint8_t s) { return ReadSegments(l, s).has_value(); }},
        {"write segments",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteSegments(l, s, 100, 2).echo.has_value();
         }},
        {"read code update",
         [](bus::SerialLink& l, std::uint8_t s) { return ReadCodeUpdate(l, s).has_value(); }},
        {"write counter",
         [](bus::SerialLink& l, std::uint8_t s) { return WriteCounter(l, s, 7).confirmed(); }},
        {"write code flags",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteCodeUpdateFlags(l, s, true, false).confirmed();
         }},
    };
    return ops;
}

} // namespace

void TestSettings::sizeOnTheWire_data() {
    QTest::addColumn<int>("mm");
    QTest::addColumn<bool>("wide");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("1000 mm") << 1000 << false << QByteArray("\x91\x00\x40", 3);
    QTest::newRow("1000 mm wide") << 1000 << true << QByteArray("\x91\x00\x20", 3);
    QTest::newRow("8000 mm") << 8000 << false << QByteArray("\x91\x02\x00", 3);
    // As the sensor tells its segments, the fraction dropped.
    QTest::newRow("15 mm, one segment") << 15 << false << QByteArray("\x91\x00\x01", 3);
    QTest::newRow("31 mm wide, one segment") << 31 << true << QByteArray("\x91\x00\x01", 3);
    QTest::newRow("46 mm") << 46 << false << QByteArray("\x91\x00\x03", 3);
    QTest::newRow("1015 mm") << 1015 << false << QByteArray("\x91\x00\x41", 3);
    QTest::newRow("1031 mm wide") << 1031 << true << QByteArray("\x91\x00\x21", 3);
}

void TestSettings::sizeOnTheWire() {
    QFETCH(int, mm);
    QFETCH(bool, wide);
    QFETCH(QByteArray, payload);
    Bench b;
    QVERIFY(sensor::WriteSensorSize(b.h.link, kSensor, mm, wide));
    QCOMPARE(b.log.frames, QByteArrayList{requestFrame(kSensor, 0x83, payload)});
    QCOMPARE(b.sensor().cells[0x91], payload.mid(1));
}

// The catalogue's range (what the length read can tell back) is the page's
// and the CLI's limit too.
void TestSettings::sizeOutOfRangeSendsNothing() {
    Bench b;
    QVERIFY(!sensor::WriteSensorSize(b.h.link, kSensor, 65536, false));
    QVERIFY(!sensor::WriteSensorSize(b.h.link, kSensor, 0, true));
    // Under one segment of either kind would be kept as none; between
    // segments, the sensor would keep another size than the one typed.
    for (const auto& [mm, wide] :
         {std::pair{14, false}, std::pair{30, true}, std::pair{1010, false}, std::pair{1010, true},
          std::pair{1015, true}}) {
        const app::WriteOutcome done = sensor::WriteSensorSize(b.h.link, kSensor, mm, wide);
        QCOMPARE(done.fault, std::optional(app::WriteFault::BadValue));
    }
    QVERIFY(b.log.frames.isEmpty());
}

// Every size a sensor can tell is written back as the segments it has, and
// taken as typed by the catalogue; nothing else in the range is.
void TestSettings::everyToldSizeWritesBack() {
    const app::Setting& row = sensor::sensorSetting(QStringLiteral("size"));
    for (const bool wide : {false, true}) {
        int told = 0;
        for (int segments = 1; sensor::segmentsSize(segments, wide) <= 65531; ++segments) {
            const int mm = sensor::segmentsSize(segments, wide);
            QCOMPARE(sensor::sizeSegments(mm, wide), segments);
            QVERIFY(sensor::holdsSize(mm, wide));
            QVERIFY2(row.parse(QString::number(mm)).has_value(), qPrintable(QString::number(mm)));
            ++told;
        }
        int held = 0;
        for (int mm = 0; mm <= 65535; ++mm)
            held += sensor::holdsSize(mm, wide) ? 1 : 0;
        QCOMPARE(held, told);
    }
}

void TestSettings::correctionRoundTrip() {
    Bench b;
    QCOMPARE(sensor::tenthsOf(QStringLiteral("-12.5")), -125);
    QVERIFY(sensor::WriteLevelCorrection(b.h.link, kSensor, -125));
    QCOMPARE(b.log.frames.last(), requestFrame(kSensor, 0x83, QByteArray("\x90\xFF\x83", 3)));
    const auto g = sensor::ReadSensorGroups(b.h.link, kSensor);
    QCOMPARE(*g.levelCorrectionTenths, -125);
    QCOMPARE(sensor::decimalText(*g.levelCorrectionTenths * 0.1, 1), QStringLiteral("-12.5"));
    // The read asks for the length, the correction cell, flags and criterion.
    QCOMPARE(b.log.frames.mid(1),
             (QByteArrayList{requestFrame(kSensor, 0x0D),
                             requestFrame(kSensor, 0x03, QByteArray("\x90", 1)),
                             requestFrame(kSensor, 0x4F), requestFrame(kSensor, 0x1F)}));
}

void TestSettings::criterionOnTheWire() {
    Bench b;
    QCOMPARE(sensor::tenthsOf(QStringLiteral("12,5")), 125);
    QVERIFY(sensor::WriteFillCriterion(b.h.link, kSensor, 125));
    QCOMPARE(b.log.frames, QByteArrayList{requestFrame(kSensor, 0x1F, QByteArray("\x00\x7D", 2))});
    QCOMPARE(b.sensor().fillCriterionTenths, 125);
    QCOMPARE(*sensor::ReadSensorGroups(b.h.link, kSensor).fillCriterionTenths, 125);
}

void TestSettings::flagsKeepHiddenBits_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    // Bits 4, 6 and 7 survive; reset 1/0, propagate on, channel separate + single.
    QTest::newRow("all hidden bits set") << 0xD8 << 0xF5;
    QTest::newRow("none set") << 0x0B << 0x25;
    QTest::newRow("bit 4 only") << 0x10 << 0x35;
}

void TestSettings::flagsKeepHiddenBits() {
    QFETCH(int, before);
    QFETCH(int, after);
    Bench b;
    b.sensor().flags = before;
    sensor::FlagChanges c;
    c.reset = {true, false};
    c.propagate = true;
    c.channel = {false, true};
    QVERIFY(sensor::WriteFlags(b.h.link, kSensor, c));
    QCOMPARE(b.log.frames,
             (QByteArrayList{requestFrame(kSensor, 0x4F),
                             requestFrame(kSensor, 0x4F, QByteArray(1, char(after)))}));
    QCOMPARE(b.sensor().flags, after);
    // Only the marked groups change.
    sensor::FlagChanges onlyPropagate;
    onlyPropagate.propagate = false;
    QCOMPARE(int(sensor::applyFlagChanges(0xFF, onlyPropagate)), 0xFB);
}

void TestSettings::sectionCorrections() {
    Bench b;
    QVERIFY(sensor::WriteSectionCorrection(b.h.link, kSensor, 3, 1.5f));
    QCOMPARE(b.log.frames.last(), requestFrame(kSensor, 0x36, QByteArray(1, 3) + floatBytes(1.5f)));
    const auto all = sensor::ReadSectionCorrections(b.h.link, kSensor);
    QVERIFY(all);
    QCOMPARE((*all)[2], 1.5f);
    QCOMPARE((*all)[0], -0.25f);
    QCOMPARE(b.log.frames.last(), requestFrame(kSensor, 0x37, QByteArray(1, 0)));
    QVERIFY(!sensor::WriteSectionCorrection(b.h.link, kSensor, 9, 1.0f));
}

void TestSettings::segmentsAndCodeUpdate() {
    Bench b;
    const auto w = sensor::WriteSegments(b.h.link, kSensor, 150, 3);
    QVERIFY(w.sent);
    QCOMPARE(w.echo->working, 150);
    QCOMPARE(b.log.frames.last(), requestFrame(kSensor, 0x17, QByteArray("\x96\x03", 2)));
    QCOMPARE(sensor::ReadSegments(b.h.link, kSensor)->removed, 3);
    // Nothing is sent for 0 working or 255 removed segments.
    const int before = b.log.frames.size();
    QVERIFY(!sensor::WriteSegments(b.h.link, kSensor, 0, 3).sent);
    QVERIFY(!sensor::WriteSegments(b.h.link, kSensor, 10, 255).sent);
    QCOMPARE(b.log.frames.size(), before);

    QVERIFY(sensor::WriteCodeUpdateFlags(b.h.link, kSensor, true, true));
    QCOMPARE(b.log.frames.last(), requestFrame(kSensor, 0x19, QByteArray("\x01\xC0", 2)));
    QVERIFY(sensor::WriteCounter(b.h.link, kSensor, 12));
    QCOMPARE(b.log.frames.last(), requestFrame(kSensor, 0x19, QByteArray("\x02\x0C", 2)));
    const auto c = sensor::ReadCodeUpdate(b.h.link, kSensor);
    QVERIFY(c && c->updateAllowed && c->algorithmAllowed);
    QCOMPARE(c->counter, 12);
}

void TestSettings::counterLimits_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("sent");
    for (int n : {0, 1, 2, 255, 256, 260, -1})
        QTest::newRow(qPrintable(QString::number(n))) << n << false;
    for (int n : {3, 254})
        QTest::newRow(qPrintable(QString::number(n))) << n << true;
}

void TestSettings::counterLimits() {
    QFETCH(int, n);
    QFETCH(bool, sent);
    Bench b;
    QCOMPARE(sensor::WriteCounter(b.h.link, kSensor, n).confirmed(), sent);
    QCOMPARE(b.log.frames.size(), sent ? 1 : 0);
}

void TestSettings::cellWritesNeedTransit() {
    SimHarness h(scenarioFrom("controller 0 0 4\n"));
    QVERIFY(!sensor::WriteLevelCorrection(h.link, kSensor, 10));
    {
        bus::TransitScope transit(h.link, 0x80, true);
        QVERIFY(transit.entered());
        QVERIFY(sensor::WriteLevelCorrection(h.link, kSensor, 10));
    }
    QVERIFY(!h.installation->controller(0)->transit);
    QVERIFY(!sensor::WriteFillCriterion(h.link, kSensor, 10));
    // A write that throws still leaves transit.
    try {
        bus::TransitScope transit(h.link, 0x80, true);
        QVERIFY(h.installation->controller(0)->transit);
        throw std::runtime_error("write failed");
    } catch (const std::runtime_error&) {
    }
    QVERIFY(!h.installation->controller(0)->transit);
}

void TestSettings::settingText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tenths"); // -99999 = refused
    QTest::newRow("2.3 exactly") << "2.3" << 23;
    QTest::newRow("comma") << "0,7" << 7;
    QTest::newRow("negative") << "-0.25" << -2;
    QTest::newRow("whole") << "15" << 150;
    QTest::newRow("blanks around") << " 4.5 " << 45;
    QTest::newRow("letters") << "abc" << -99999;
    QTest::newRow("nan") << "nan" << -99999;
    QTest::newRow("exponent") << "1e2" << -99999;
    QTest::newRow("two separators") << "1.2.3" << -99999;
    QTest::newRow("empty") << "" << -99999;
    QTest::newRow("minus alone") << "-" << -99999;
}

void TestSettings::settingText() {
    QFETCH(QString, text);
    QFETCH(int, tenths);
    const auto t = sensor::tenthsOf(text);
    QCOMPARE(t.value_or(-99999), tenths);
    QCOMPARE(sensor::parseDecimal(text).has_value(), tenths != -99999);
}

void TestSettings::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestSettings::lineFaults() {
    // The longest: a read of four values, 1500 + 300 + 500 + 500 ms, and
    // transit on and off.
    faultmatrix::run(operations(), 4500);
}

void TestSettings::catalogueRefusesWhatTheFieldCannotHold_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refusal"); // empty: taken
    const QString huge(40, QLatin1Char('9'));
    QTest::newRow("section, 40 digits")
        << "section-1" << huge
        << QStringLiteral("section-1 \"%1\": допустимо от -999.999 до 999.999 мм, шаг 0.001")
               .arg(huge);
    QTest::newRow("section, a fourth decimal")
        << "section-2"
        << "1.2345"
        << "section-2 \"1.2345\": допустимо от -999.999 до 999.999 мм, шаг 0.001";
    QTest::newRow("section, trailing zeros") << "section-2"
                                             << "1.2340" << QString();
    QTest::newRow("meter correction, 40 digits")
        << "meter.1.correction" << huge
        << QStringLiteral("meter.1.correction \"%1\": допустимо от -999.9 до 999.9, шаг 0.1")
               .arg(huge);
    QTest::newRow("meter correction, hundredths")
        << "meter.3.correction"
        << "1,25"
        << "meter.3.correction \"1,25\": допустимо от -999.9 до 999.9, шаг 0.1";
    QTest::newRow("level correction, hundredths")
        << "level-correction"
        << "-12.55"
        << "level-correction \"-12.55\": допустимо от -3276.8 до 3276.7 мм, шаг 0.1";
    // A size is whole segments as the sensor tells them.
    const QString sizes =
        QStringLiteral("допустимо от 15 до 65531 мм, шаг сегмента 15.625 мм (широкого сенсора "
                       "31.25 мм), дробная часть отбрасывается: 15, 31, 46, 62, … 1000, 1015, …");
    QTest::newRow("size, a decimal") << "size"
                                     << "1000.5"
                                     << "size \"1000.5\": " + sizes;
    QTest::newRow("size under a segment") << "size"
                                          << "16"
                                          << "size \"16\": " + sizes;
    QTest::newRow("size between segments") << "size"
                                           << "1010"
                                           << "size \"1010\": " + sizes;
    QTest::newRow("size, one segment") << "size"
                                       << "15" << QString();
    QTest::newRow("size, one wide segment") << "size"
                                            << "31" << QString();
    QTest::newRow("size, 65 segments") << "size"
                                       << "1015" << QString();
}

// What the device's field cannot hold, out of range or finer than its
// last decimal, is no value: the refusal says what is allowed.
void TestSettings::catalogueRefusesWhatTheFieldCannotHold() {
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, refusal);
    const app::Setting& row = sensor::sensorSetting(key);
    QCOMPARE(row.parse(text).has_value(), refusal.isEmpty());
    if (!refusal.isEmpty())
        QCOMPARE(row.refusal(text), refusal);
}

// The last guard where a real number becomes payload bytes.
void TestSettings::nonFiniteNeverSent() {
    Bench b;
    for (const float x :
         {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
          std::numeric_limits<float>::quiet_NaN()}) {
        QCOMPARE(sensor::WriteSectionCorrection(b.h.link, kSensor, 1, x).fault,
                 std::optional(app::WriteFault::BadValue));
        QCOMPARE(sensor::WriteDensityCorrection(b.h.link, kSensor, 1, x).fault,
                 std::optional(app::WriteFault::BadValue));
    }
    QVERIFY(b.log.frames.isEmpty());
}

// A write that sent nothing is not blamed on the request before it.
void TestSettings::eachWriteSaysItsOwnOutcome() {
    Bench b;
    b.h.installation->setSensorFault(kSensor, sim::Fault::Silent);
    QVERIFY(!sensor::ReadSegments(b.h.link, kSensor));
    b.h.installation->setSensorFault(kSensor, sim::Fault::None);
    b.log.frames.clear();
    const std::vector<const app::Setting*> rows = {
        &sensor::sensorSetting(QStringLiteral("working-segments")),
        &sensor::sensorSetting(QStringLiteral("removed-segments"))};
    const app::SettingValues values = {{QStringLiteral("working-segments"), 0},
                                       {QStringLiteral("removed-segments"), 3}};
    const auto failed =
        app::WriteSettings(b.h.link, {kSensor, {}, false}, rows, values, app::SilentProgress());
    QCOMPARE(failed.size(), std::size_t(2));
    QCOMPARE(failed[0].fault, app::WriteFault::BadValue);
    QCOMPARE(app::notWrittenText(failed, false),
             QStringLiteral("НЕ ЗАПИСАНО: НЕДОПУСТИМОЕ ЗНАЧЕНИЕ"));
    QVERIFY(b.log.frames.isEmpty());
}

void TestSettings::halfAByteIsNeverWrittenBlind_data() {
    QTest::addColumn<QString>("key");
    // Every bit that shares its byte, and the segments' pair.
    for (const app::Setting& row : sensor::sensorSettings())
        if (!row.partner.isEmpty())
            QTest::newRow(qPrintable(row.key)) << row.key;
}

// A bit that shares its byte with one the sensor did not tell is not
// written: the other bit would be set or cleared blind.
void TestSettings::halfAByteIsNeverWrittenBlind() {
    QFETCH(QString, key);
    Bench b;
    b.sensor().codeUpdate = 0xC0;
    const int flags = b.sensor().flags;
    const app::Setting& row = sensor::sensorSetting(key);
    const std::vector<const app::Setting*> rows = {&row};
    const app::SettingValues values = {{key, row.decode(1)},
                                       {row.partner, QJsonValue(QJsonValue::Null)}};
    const auto failed =
        app::WriteSettings(b.h.link, {kSensor, {}, false}, rows, values, app::SilentProgress());
    QCOMPARE(failed.size(), std::size_t(1));
    QCOMPARE(failed[0].fault, app::WriteFault::Unread);
    QVERIFY(b.log.frames.isEmpty());
    QCOMPARE(b.sensor().codeUpdate, 0xC0);
    QCOMPARE(b.sensor().flags, flags);
}

namespace {

// What a sensor keeps of its settings, as bytes to compare.
QByteArray keptBy(const sim::SimSensor& s) {
    QByteArray out;
    for (const auto& [cell, bytes] : s.cells)
        if (cell == 0x90 || cell == 0x91)
            out += QByteArray::number(cell) + ':' + bytes.toHex() + ' ';
    for (const int v : {s.length, s.flags, s.fillCriterionTenths, s.workingSegments,
                        s.removedSegments, s.codeUpdate, s.counter})
        out += QByteArray::number(v) + ' ';
    for (const float f : s.sectionCorrections)
        out += floatBytes(f).toHex() + ' ';
    return out;
}

} // namespace

void TestSettings::everyKeyRoundTrips_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("wide");
    for (const bool wide : {false, true})
        for (const app::Setting& row : sensor::sensorSettings())
            if (sensor::isOwnSetting(row) && row.writable())
                QTest::newRow(qPrintable(row.key + (wide ? QStringLiteral(" wide") : QString())))
                    << row.key << wide;
}

// What "get" tells of a key, "set" alone writes back unchanged: the same
// text is read again and the sensor keeps the same bytes. A key that only
// travels with another is given with it, as "set" takes it.
void TestSettings::everyKeyRoundTrips() {
    QFETCH(QString, key);
    QFETCH(bool, wide);
    SimHarness h(
        scenarioFrom(wide ? "controller 0 0 4\nsegments 2 32 1000\n" : "controller 0 0 4\n"));
    bus::TransitScope transit(h.link, 0x80, true);
    sim::SimSensor& s = *h.installation->sensor(kSensor);
    // Values a write can carry: working segments of 0 are never sent.
    s.workingSegments = 150;
    s.removedSegments = 3;
    s.codeUpdate = 0x40;
    s.sectionCorrections[0] = 1.25f;
    const app::SettingValues before = sensor::ReadSensorSettings(h.link, kSensor);
    const QByteArray kept = keptBy(s);
    QCOMPARE(app::valueOf(before, QStringLiteral("wide")).toBool(), wide);
    // A bit of a shared byte goes alone (its partner read in); a pair only
    // given together goes together.
    const app::Setting& row = sensor::sensorSetting(key);
    QStringList keys{key};
    if (!row.partner.isEmpty() && !row.partnerRead)
        keys << row.partner;
    app::SettingValues given;
    for (const QString& k : keys) {
        const app::Setting& r = sensor::sensorSetting(k);
        const auto value = r.parse(r.text(app::valueOf(before, k)));
        QVERIFY2(value, qPrintable(k));
        given[k] = *value;
    }
    const sensor::SettingsWrite w =
        sensor::WriteSensorSettings(h.link, kSensor, given, app::SilentProgress());
    QVERIFY(!w.refused);
    QVERIFY2(w.failed.empty(), qPrintable(app::notWrittenText(w.failed, true)));
    const app::SettingValues after = sensor::ReadSensorSettings(h.link, kSensor);
    for (const app::Setting& row : sensor::sensorSettings())
        if (sensor::isOwnSetting(row))
            QCOMPARE(row.text(app::valueOf(after, row.key)),
                     row.text(app::valueOf(before, row.key)));
    QCOMPARE(keptBy(s), kept);
}

void TestSettings::settingsWriteOnTheWire_data() {
    QTest::addColumn<QByteArray>("line"); // scenario lines beside the controller
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<int>("flags");      // the sensor's flag byte before
    QTest::addColumn<int>("breakAfter"); // Break once that many writes were heard; 0: none
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<QString>("said"); // the refusal, or what was not written
    QTest::addColumn<int>("flagsAfter");
    auto f = [](int command, const QByteArray& payload = {}) {
        return requestFrame(kSensor, static_cast<std::uint8_t>(command), payload);
    };
    // What the "СЕНСОР" read asks: length, correction cell, flags,
    // criterion, segments cell.
    const QByteArrayList groups = {f(0x0D), f(0x03, "\x90"), f(0x4F), f(0x1F), f(0x03, "\x91")};
    const QByteArray section1 = QByteArray(1, 1) + floatBytes(1.5f);
    QTest::newRow("one bit of the code-update byte: the other read first")
        << QByteArray() << QStringList{"code-update=1"} << 0x48 << 0
        << QByteArrayList{f(0x19), f(0x19, "\x01\xC0")} << QString() << 0x48;
    QTest::newRow("one reset bit: the other read first, hidden bits kept")
        << QByteArray() << QStringList{"reset-on-link-loss=1"} << 0x4A << 0
        << groups + QByteArrayList{f(0x4F), f(0x4F, "\x4B")} << QString() << 0x4B;
    QTest::newRow("a single meter on the combined channel read")
        << QByteArray() << QStringList{"single-density-meter=1"} << 0x08 << 0 << groups
        << sensor::kForbiddenFlags << 0x08;
    QTest::newRow("the forbidden combination given")
        << QByteArray() << QStringList{"density-channel=combined", "single-density-meter=1"} << 0x48
        << 0 << QByteArrayList{} << sensor::kForbiddenFlags << 0x48;
    QTest::newRow("half of the segments")
        << QByteArray() << QStringList{"removed-segments=3"} << 0x48 << 0 << QByteArrayList{}
        << "working-segments и removed-segments задаются вместе" << 0x48;
    QTest::newRow("the partner unread") << QByteArray("cut 19 0") << QStringList{"code-algorithm=0"}
                                        << 0x48 << 0 << QByteArrayList{f(0x19)}
                                        << "НЕ ЗАПИСАНО: code-algorithm — НЕ ПРОЧИТАНО ТО, ЧТО "
                                           "ЗАПИСЫВАЕТСЯ ВМЕСТЕ"
                                        << 0x48;
    QTest::newRow("silent sensor")
        << QByteArray("sensor 2 fault=silent") << QStringList{"filling-criterion=2"} << 0x48 << 0
        << QByteArrayList{f(0x1F, QByteArray("\x00\x14", 2))}
        << "НЕ ЗАПИСАНО: filling-criterion — НЕТ ОТВЕТА" << 0x48;
    QTest::newRow("a line that only echoes")
        << QByteArray("echo-only") << QStringList{"section-1=1.5"} << 0x48 << 0
        << QByteArrayList{f(0x36, section1)}
        << "НЕ ЗАПИСАНО: section-1 — НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)" << 0x48;
    QTest::newRow("line cut after the first section")
        << QByteArray("cut 36 1") << QStringList{"section-1=1.5", "section-2=-0.5"} << 0x48 << 0
        << QByteArrayList{f(0x36, section1), f(0x36, QByteArray(1, 2) + floatBytes(-0.5f))}
        << "НЕ ЗАПИСАНО: section-2 — НЕТ ОТВЕТА" << 0x48;
    QTest::newRow("Break after the first write")
        << QByteArray()
        << QStringList{"level-correction=-12.5", "filling-criterion=7", "counter=40"} << 0x48 << 1
        << QByteArrayList{f(0x83, "\x90\xFF\x83")}
        << "НЕ ЗАПИСАНО: filling-criterion, counter — ПРЕРВАНО" << 0x48;
}

// The one write of the sensor's settings, as the properties page and
// "sensor N set" make it, on the wire: a partner given alone is read
// first, what is refused sends nothing, and only the keys given are said.
void TestSettings::settingsWriteOnTheWire() {
    QFETCH(QByteArray, line);
    QFETCH(QStringList, given);
    QFETCH(int, flags);
    QFETCH(int, breakAfter);
    QFETCH(QByteArrayList, frames);
    QFETCH(QString, said);
    QFETCH(int, flagsAfter);
    SimHarness h(scenarioFrom(("controller 0 0 4\n" + line).constData()));
    bus::EnterTransitMode(h.link, 0x80);
    sim::SimSensor& s = *h.installation->sensor(kSensor);
    s.flags = flags;
    s.codeUpdate = 0x40;
    CommandLog log;
    h.link.setObserver(&log);
    app::SilentProgress progress;
    int heard = 0;
    h.installation->setWriteHeard([&](const QByteArray&) {
        if (++heard == breakAfter)
            progress.requestBreak();
    });
    app::SettingValues values;
    for (const QString& word : given) {
        const QString key = word.section(QLatin1Char('='), 0, 0);
        const auto v = sensor::sensorSetting(key).parse(word.section(QLatin1Char('='), 1));
        QVERIFY2(v, qPrintable(word));
        values[key] = *v;
    }
    const sensor::SettingsWrite w = sensor::WriteSensorSettings(h.link, kSensor, values, progress);
    QCOMPARE(log.frames, frames);
    QCOMPARE(w.refused ? w.refused->text(true) : app::notWrittenText(w.failed, true), said);
    QCOMPARE(s.flags, flagsAfter);
}
