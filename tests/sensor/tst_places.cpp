#include "tst_places.h"

#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/SensorBench.h"
#include "common/SimHarness.h"
#include "link/FrameCodec.h"
#include "link/Transit.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"

#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(sensor::SearchEnd)

namespace {

constexpr std::uint8_t kSensor = SensorBench::kSensor;

// Sensor 2 has 4 thermometers and 2 density meters (address mod 5 + 2, mod 3).
using Bench = SensorBench;

const std::map<QString, faultmatrix::Operation>& operations() {
    using namespace sensor;
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"read thermometers",
         [](bus::SerialLink& l, std::uint8_t s) {
             return !ReadThermometers(l, s)[0].id.isEmpty();
         }},
        {"read density meters",
         [](bus::SerialLink& l, std::uint8_t s) {
             const Places p = ReadDensityMeters(l, s);
             return !p[0].id.isEmpty() && p[0].correction && p[0].height;
         }},
        {"write identifier",
         [](bus::SerialLink& l, std::uint8_t s) {
             const auto id =
                 parseIdentifier(QStringLiteral("10E8C3A401080065"), IdFamily::Thermometer);
             return WriteIdentifier(l, s, thermometerIdCell(1), *id.id).confirmed();
         }},
        {"write height",
         [](bus::SerialLink& l, std::uint8_t s) { return WriteHeight(l, s, 3, 700).confirmed(); }},
        {"write correction",
         [](bus::SerialLink& l, std::uint8_t s) {
             return WriteDensityCorrection(l, s, 1, 2.5f).confirmed();
         }},
        {"search",
         [](bus::SerialLink& l, std::uint8_t s) { return SearchThermometers(l, s).found > 0; }},
        {"write places",
         [](bus::SerialLink& l, std::uint8_t s) {
             const app::SettingValues v{
                 {placeSetting(PlaceKind::Thermometer, 1, PlaceField::Id)->key,
                  QStringLiteral("10E8C3A401080065")},
                 {placeSetting(PlaceKind::Thermometer, 1, PlaceField::Height)->key, 700}};
             return WritePlaces(l, s, v, app::SilentProgress()).empty();
         }},
    };
    return ops;
}

} // namespace

// The worked example of the 1-Wire CRC application note (family 02, serial
// 00000001B81C, CRC A2), the all-zero code, and codes of this system's
// density meters; a code with its CRC appended leaves no remainder.
void TestPlaces::crcOfKnownRomCodes_data() {
    QTest::addColumn<QByteArray>("rom");
    QTest::newRow("application note example") << QByteArray("021CB801000000A2");
    QTest::newRow("seven zero bytes") << QByteArray("0000000000000000");
    QTest::newRow("density meter 00AB") << QByteArray("445370540000AB70");
}

void TestPlaces::crcOfKnownRomCodes() {
    QFETCH(QByteArray, rom);
    const QByteArray bytes = QByteArray::fromHex(rom);
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    QCOMPARE(int(sensor::oneWireCrc(b, 7)), int(b[7]));
    QVERIFY(sensor::crcMatches(b));
    QCOMPARE(int(sensor::oneWireCrc(b, 8)), 0);
    QCOMPARE(sensor::idText(b), QString::fromLatin1(rom));
    // One bit off and the CRC says so.
    QByteArray broken = bytes;
    broken[3] = char(broken[3] ^ 0x10);
    QVERIFY(!sensor::crcMatches(reinterpret_cast<const std::uint8_t*>(broken.constData())));
}

void TestPlaces::densityEntry_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    const QString prefix = QStringLiteral("4453705400");
    auto full = [&](const char* tail) { return sensor::completeDensityId(prefix + tail); };
    QTest::newRow("empty gives the prefix") << "" << prefix;
    QTest::newRow("12") << "12" << full("0012");
    QTest::newRow("0 is sixteen zeros") << "0" << QString(16, QLatin1Char('0'));
    QTest::newRow("12345 clears") << "12345"
                                  << "";
    QTest::newRow("four hex digits") << "00AB" << QStringLiteral("445370540000AB70");
    QTest::newRow("past the 14th ignored") << "4453705400001299" << full("0012");
    QTest::newRow("spaces removed") << " 44537054 000012 " << full("0012");
}

void TestPlaces::densityEntry() {
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QCOMPARE(sensor::densityIdOnEnter(typed), after);
    if (after.size() == 16) {
        const QByteArray bytes = QByteArray::fromHex(after.toLatin1());
        QVERIFY(sensor::crcMatches(reinterpret_cast<const std::uint8_t*>(bytes.constData())));
    }
}

void TestPlaces::readThermometers() {
    Bench b;
    const sensor::Places p = sensor::ReadThermometers(b.h.link, kSensor);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(p[i].id, QString::fromLatin1(b.sensor().cells[0x81 + i]));
        QCOMPARE(*p[i].height, 300 + 900 * i);
    }
    // The empty places hold no thermometer family code: nothing shown.
    QVERIFY(p[4].id.isEmpty() && !p[4].height);
    QCOMPARE(b.log.frames.first(), requestFrame(kSensor, 0x03, QByteArray(1, char(0x81))));
    QCOMPARE(b.log.frames.at(1), requestFrame(kSensor, 0x03, QByteArray(1, 1)));
}

// Only an identifier that passes every check can be written at all; the
// others name their fault.
void TestPlaces::identifierChecks_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("problem"); // -1: accepted
    const int thermometer = int(sensor::IdFamily::Thermometer);
    const int meter = int(sensor::IdFamily::DensityMeter);
    using P = sensor::IdProblem;
    QTest::newRow("thermometer") << "10E8C3A401080065" << thermometer << -1;
    QTest::newRow("density meter") << "445370540000AB70" << meter << -1;
    QTest::newRow("15 characters") << "10E8C3A40108006" << thermometer << int(P::Length);
    QTest::newRow("17 characters") << "10E8C3A4010800651" << thermometer << int(P::Length);
    QTest::newRow("empty") << "" << thermometer << int(P::Length);
    QTest::newRow("frame characters") << "10AB@014F010032*" << thermometer << int(P::NotHex);
    QTest::newRow("carriage return") << "10E8C3A40108006\r" << thermometer << int(P::NotHex);
    QTest::newRow("lower case") << "10e8c3a401080065" << thermometer << int(P::NotHex);
    QTest::newRow("Z") << "10ZZZZZZZZZZZZZZ" << thermometer << int(P::NotHex);
    QTest::newRow("meter as thermometer") << "445370540000AB70" << thermometer << int(P::Family);
    QTest::newRow("thermometer as meter") << "10E8C3A401080065" << meter << int(P::Family);
    QTest::newRow("CRC off by one") << "10E8C3A401080066" << thermometer << int(P::Crc);
    QTest::newRow("all zero but family") << "1000000000000000" << thermometer << int(P::Crc);
}

void TestPlaces::identifierChecks() {
    QFETCH(QString, id);
    QFETCH(int, family);
    QFETCH(int, problem);
    const auto check = sensor::parseIdentifier(id, sensor::IdFamily(family));
    QCOMPARE(check.id.has_value(), problem < 0);
    QCOMPARE(check.problem.has_value(), problem >= 0);
    if (problem >= 0) {
        QCOMPARE(int(*check.problem), problem);
        const QString text = sensor::idRefusal(QStringLiteral("ТЕРМОМЕТР 3"), id, *check.problem,
                                               sensor::IdFamily(family));
        QVERIFY(text.startsWith(QStringLiteral("ТЕРМОМЕТР 3 \"") + id + QLatin1Char('"')));
        return;
    }
    QCOMPARE(check.id->text(), id);
    Bench b;
    QVERIFY(sensor::WriteIdentifier(b.h.link, kSensor, sensor::thermometerIdCell(6), *check.id));
    // Cell 0x86 in hex, then the characters as they are: length 9.
    QVERIFY(b.log.frames.first().startsWith("@02830986" + id.toLatin1()));
    QCOMPARE(b.sensor().cells[0x86], id.toLatin1());
}

// Every identifier the simulated installation makes is one the tool accepts.
void TestPlaces::simulatedIdentifiersPass() {
    Bench b;
    const sensor::Places t = sensor::ReadThermometers(b.h.link, kSensor);
    const sensor::Places d = sensor::ReadDensityMeters(b.h.link, kSensor);
    QVERIFY(!t[0].id.isEmpty() && !d[0].id.isEmpty());
    for (int i = 0; i < sensor::kPlaces; ++i) {
        if (!t[i].id.isEmpty())
            QVERIFY2(sensor::parseIdentifier(t[i].id, sensor::IdFamily::Thermometer).id,
                     qPrintable(t[i].id));
        if (!d[i].id.isEmpty())
            QVERIFY2(sensor::parseIdentifier(d[i].id, sensor::IdFamily::DensityMeter).id,
                     qPrintable(d[i].id));
    }
}

void TestPlaces::heightZeroNeverWritten() {
    Bench b;
    QVERIFY(!sensor::WriteHeight(b.h.link, kSensor, 1, 0));
    QVERIFY(!sensor::WriteHeight(b.h.link, kSensor, 1, 70000));
    QVERIFY(b.log.frames.isEmpty());
    QVERIFY(sensor::WriteHeight(b.h.link, kSensor, sensor::densityHeightCell(4), 1234));
    QCOMPARE(b.log.frames.first(), requestFrame(kSensor, 0x83, QByteArray("\xC0\x04\xD2", 3)));
}

void TestPlaces::searchCountsEveryCode() {
    Bench b;
    b.sensor().thermometerCount = 2; // a 17-byte fetch answer
    b.sensor().badSearchCode = 2;
    const sensor::SearchResult r = sensor::SearchThermometers(b.h.link, kSensor);
    QCOMPARE(r.found, 2);
    QCOMPARE(r.ids, QStringList{QString::fromLatin1(b.sensor().cells[0x81])});
    QCOMPARE(b.log.frames, (QByteArrayList{requestFrame(kSensor, 0x28, QByteArray(1, 1)),
                                           requestFrame(kSensor, 0x28, QByteArray(1, 2)),
                                           requestFrame(kSensor, 0x28, QByteArray(1, 3))}));
}

void TestPlaces::searchUnanswered_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<sensor::SearchEnd>("end");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("text");
    // Nothing fetched, nothing ended after an unanswered start.
    QTest::newRow("silent") << "silent" << sensor::SearchEnd::NoAnswer << 1
                            << "ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА";
    // The start's long wait takes the late answer, the fetch's does not.
    QTest::newRow("late") << "late" << sensor::SearchEnd::NoResult << 3
                          << "ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА С РЕЗУЛЬТАТОМ";
}

void TestPlaces::searchUnanswered() {
    QFETCH(QString, fault);
    QFETCH(sensor::SearchEnd, end);
    QFETCH(int, frames);
    QFETCH(QString, text);
    Bench b;
    b.h.installation->setSensorFault(kSensor, *sim::faultFromName(fault));
    const sensor::SearchResult r = sensor::SearchThermometers(b.h.link, kSensor);
    QCOMPARE(r.end, end);
    QCOMPARE(r.found, 0);
    QVERIFY(r.ids.isEmpty());
    QCOMPARE(sensor::searchText(r), text);
    QCOMPARE(b.log.frames.size(), frames);
}

void TestPlaces::densityMeters() {
    Bench b;
    const sensor::Places p = sensor::ReadDensityMeters(b.h.link, kSensor);
    QCOMPARE(p[0].id, QString::fromLatin1(b.sensor().cells[0x89]));
    QVERIFY(p[0].id.startsWith(sensor::kDensityPrefix));
    QCOMPARE(*p[1].correction, 1.0f);
    QCOMPARE(*p[1].height, 2 * 256 + 100);
    QVERIFY(p[2].id.isEmpty());
    // The correction read as the meter wants it.
    QVERIFY(
        b.log.frames.contains(requestFrame(kSensor, 0x41, QByteArray("\x01\xBE\x01\x05\x04", 5))));
    // Meters 4..8 live in cells 0xD0.. and 0xC0..
    QCOMPARE(int(sensor::densityIdCell(4)), 0xD0);
    QCOMPARE(int(sensor::densityHeightCell(8)), 0xC4);
}

void TestPlaces::correctionWithItsCrc() {
    Bench b;
    QVERIFY(sensor::WriteDensityCorrection(b.h.link, kSensor, 2, -1.5f));
    const QByteArray x = QByteArray::fromHex("0000C0BF"); // -1.5f, little-endian
    const auto* xb = reinterpret_cast<const std::uint8_t*>(x.constData());
    QCOMPARE(b.log.frames.first(),
             requestFrame(kSensor, 0x40,
                          QByteArray("\x02\x4E\x05\x05", 4) + x + char(sensor::oneWireCrc(xb, 4))));
    QCOMPARE(b.sensor().densityCorrections[1], -1.5f);
    QCOMPARE(*sensor::ReadDensityCorrection(b.h.link, kSensor, 2), -1.5f);
    // A meter that is not there refuses.
    QVERIFY(!sensor::WriteDensityCorrection(b.h.link, kSensor, 5, 1.0f));
}

void TestPlaces::controllerThermometer() {
    SimHarness h(scenarioFrom("controller 0 0 4\n"));
    const auto id = sensor::ReadControllerThermometerId(h.link, 0x80, 3);
    QVERIFY(id && id->startsWith(QLatin1String("10")) && id->size() == 16);
    const QByteArray bytes = QByteArray::fromHex(id->toLatin1());
    QVERIFY(sensor::crcMatches(reinterpret_cast<const std::uint8_t*>(bytes.constData())));
}

// The places' one write order, whoever asks for it: identifiers first,
// then heights, then corrections, thermometers before density meters.
// A sensor that takes no write leaves every value named with its cause;
// after a Break nothing is sent.
void TestPlaces::writePlacesInOneOrder_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("fault"); // -1: every write confirmed
    QTest::newRow("confirmed") << "" << -1;
    QTest::newRow("silent") << "silent" << int(app::WriteFault::NoAnswer);
    QTest::newRow("echo only") << "echo-only" << int(app::WriteFault::EchoOnly);
    QTest::newRow("echoing adapter, silent sensor") << "echo-silent" << int(app::WriteFault::EchoOnly);
    QTest::newRow("ignores writes") << "ignores-writes" << int(app::WriteFault::NoAnswer);
    QTest::newRow("break") << "break" << int(app::WriteFault::Interrupted);
}

void TestPlaces::writePlacesInOneOrder() {
    QFETCH(QString, line);
    QFETCH(int, fault);
    using namespace sensor;
    Bench b;
    if (line == QLatin1String("echo-only")) {
        b.h.installation->setEcho(true);
        b.h.installation->setNoDevices(true);
    } else if (line == QLatin1String("echo-silent")) {
        b.h.installation->setEcho(true);
        b.h.installation->setSensorFault(kSensor, sim::Fault::Silent);
    } else if (!line.isEmpty() && line != QLatin1String("break")) {
        b.h.installation->setSensorFault(kSensor, *sim::faultFromName(line));
    }
    const QString meterId = QStringLiteral("445370540000AB70");
    const app::SettingValues v{
        {placeSetting(PlaceKind::DensityMeter, 1, PlaceField::Correction)->key, -1.5},
        {placeSetting(PlaceKind::DensityMeter, 1, PlaceField::Height)->key, 750},
        {placeSetting(PlaceKind::DensityMeter, 1, PlaceField::Id)->key, meterId},
        {placeSetting(PlaceKind::Thermometer, 2, PlaceField::Height)->key, 1300},
        {placeSetting(PlaceKind::Thermometer, 2, PlaceField::Id)->key,
         QStringLiteral("10E8C3A401080065")},
    };
    app::SilentProgress progress;
    if (line == QLatin1String("break"))
        progress.requestBreak();
    const std::vector<app::NotWritten> failed = WritePlaces(b.h.link, kSensor, v, progress);
    QStringList keys;
    for (const app::NotWritten& n : failed)
        keys << n.row->key;
    QVERIFY2(int(failed.size()) == (fault < 0 ? 0 : 5), qPrintable(keys.join(QLatin1Char(' '))));
    for (const app::NotWritten& n : failed)
        QCOMPARE(int(n.fault), fault);
    if (line == QLatin1String("break")) {
        QVERIFY(b.log.frames.isEmpty());
        return;
    }
    const QByteArray x = QByteArray::fromHex("0000C0BF"); // -1.5f, little-endian
    const auto* xb = reinterpret_cast<const std::uint8_t*>(x.constData());
    QByteArrayList expected{
        requestFrame(kSensor, 0x83, "\x82" + QByteArray("10E8C3A401080065")),
        requestFrame(kSensor, 0x83, QByteArray("\x02\x05\x14", 3)),
        requestFrame(kSensor, 0x83, "\x89" + meterId.toLatin1()),
        requestFrame(kSensor, 0x83, QByteArray("\x09\x02\xEE", 3)),
        requestFrame(kSensor, 0x40,
                     QByteArray("\x01\x4E\x05\x05", 4) + x + char(oneWireCrc(xb, 4)))};
    // A sensor that only reads answers each read the write's check makes.
    QByteArrayList writes;
    for (const QByteArray& f : b.log.frames)
        if (f.startsWith("@0283") || f.startsWith("@0240"))
            writes << f;
    QCOMPARE(writes, expected);
    if (fault < 0) {
        QCOMPARE(b.sensor().cells[0x82], QByteArray("10E8C3A401080065"));
        QCOMPARE(b.sensor().cells[0x09], QByteArray("\x02\xEE", 2));
        QCOMPARE(b.sensor().densityCorrections[0], -1.5f);
    }
}

void TestPlaces::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestPlaces::lineFaults() {
    // The longest: eight places of three reads with their pauses.
    faultmatrix::run(operations(), 8 * (10 + 1000 + 2000 + 1000) + 1200);
}
