#include "tst_settings.h"

#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/SensorBench.h"
#include "common/SimHarness.h"
#include "link/FrameCodec.h"
#include "link/Transit.h"
#include "sensor/SensorSettings.h"
#include "sensor/SettingText.h"

#include <QtTest>

#include <cstring>

namespace {

constexpr std::uint8_t kSensor = SensorBench::kSensor;

using Bench = SensorBench;

QByteArray floatBytes(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    QByteArray b;
    for (int shift = 0; shift < 32; shift += 8)
        b.append(char((bits >> shift) & 0xFF));
    return b;
}

const std::map<QString, faultmatrix::Operation>& operations() {
    using namespace sensor;
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"read groups",
         [](bus::SerialLink& l, std::uint8_t s) {
             const auto g = ReadSensorGroups(l, s);
             return g.sizeMm && g.levelCorrectionTenths && g.flags && g.fillCriterionTenths;
         }},
        {"write size",
         [](bus::SerialLink& l, std::uint8_t s) { return WriteSensorSize(l, s, 1000, false); }},
        {"write correction",
         [](bus::SerialLink& l, std::uint8_t s) { return WriteLevelCorrection(l, s, -125); }},
        {"write flags",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteFlags(l, s, FlagChanges{{{true, false}}, true, {}});
         }},
        {"write criterion",
         [](bus::SerialLink& l, std::uint8_t s) { return WriteFillCriterion(l, s, 125); }},
        {"read sections", [](bus::SerialLink& l,
                             std::uint8_t s) { return ReadSectionCorrections(l, s).has_value(); }},
        {"write section",
         [](bus::SerialLink& l, std::uint8_t s) { return WriteSectionCorrection(l, s, 3, 1.5f); }},
        {"read segments",
         [](bus::SerialLink& l, std::uint8_t s) { return ReadSegments(l, s).has_value(); }},
        {"write segments",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteSegments(l, s, 100, 2).echo.has_value();
         }},
        {"read code update",
         [](bus::SerialLink& l, std::uint8_t s) { return ReadCodeUpdate(l, s).has_value(); }},
        {"write counter", [](bus::SerialLink& l, std::uint8_t s) { return WriteCounter(l, s, 7); }},
        {"write code flags",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteCodeUpdateFlags(l, s, true, false);
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
    QTest::newRow("5 mm") << 5 << false << QByteArray("\x91\x00\x00", 3);
    QTest::newRow("8000 mm") << 8000 << false << QByteArray("\x91\x02\x00", 3);
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
    QVERIFY(b.log.frames.isEmpty());
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
    QVERIFY(sensor::isForbiddenFlagCombination(0x28));
    QVERIFY(!sensor::isForbiddenFlagCombination(0x20));
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
    QCOMPARE(sensor::WriteCounter(b.h.link, kSensor, n), sent);
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
