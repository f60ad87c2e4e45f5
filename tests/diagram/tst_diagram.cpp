#include "app/Progress.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "common/TestFiles.h"
#include "diagram/DiagramDrawing.h"
#include "diagram/DiagramFile.h"
#include "diagram/DiagramRead.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

using diagram::CodeKind;

constexpr std::uint8_t kSensor = 2;

// Sensor 2 behind controller 0 with a probe of its own, in transit.
struct Probe {
    explicit Probe(const char* extra = "")
        : h(scenarioFrom(
              qPrintable(QStringLiteral("controller 0 0 4\n") + QString::fromUtf8(extra)))) {
        bus::EnterTransitMode(h.link, 0x80);
        h.link.setObserver(&log);
    }
    diagram::ReadResult read(bool references = true) {
        return diagram::ReadSegmentDiagram(h.link, kSensor, references, progress, d);
    }
    SimHarness h;
    CommandLog log;
    app::SilentProgress progress;
    diagram::Diagram d;
};

QByteArray reply(std::uint8_t command, const QByteArray& data) {
    return bus::encodeReply(kSensor, command, data);
}

// A 64-segment probe that answers from a script: status, count, length,
// two blocks of each array, levels, parameters.
QByteArrayList scriptedProbe(const QByteArray& codes, const QByteArray& dry,
                             const QByteArray& wet) {
    QByteArray parameters(36, '\0');
    parameters[7] = 40;  // fuel segment
    parameters[35] = 60; // water segment
    return {reply(0x0C, QByteArray("\x00\x01", 2)),
            reply(0x03, QByteArray("\x91\x00\x40", 3)),
            reply(0x0D, QByteArray("\x03\xE8\x00\x00\x02\x00", 6)),
            reply(0x0B, QByteArray(1, 2) + codes.left(32)),
            reply(0x0B, QByteArray(1, 1) + codes.mid(32)),
            reply(0x34, QByteArray(1, 2) + dry.left(32)),
            reply(0x34, QByteArray(1, 1) + dry.mid(32)),
            reply(0x35, QByteArray(1, 2) + wet.left(32)),
            reply(0x35, QByteArray(1, 1) + wet.mid(32)),
            reply(0x04, QByteArray("\x02\x9A\x05\x00", 4)),
            reply(0x05, QByteArray("\x00\x20\x00\x00", 4)),
            reply(0x20, parameters)};
}

// The three code layers over the key colour, as the view stacks them.
QImage codeLayers(const diagram::Diagram& d) {
    const auto g = diagram::geometryFor(
        d.segments, QSize(diagram::layerWidthFor(d.segments), diagram::kVisibleHeight));
    QImage image(g.width, g.height, QImage::Format_RGB32);
    image.fill(diagram::kKeyColour);
    QPainter p(&image);
    for (CodeKind kind : {CodeKind::Sensor, CodeKind::Dry, CodeKind::Wet})
        p.drawImage(0, 0, diagram::keyedOut(diagram::DrawCodeLayer(kind, d.codes(kind), g)));
    return image;
}

// A diagram known by heart: a ramp of sensor codes, dry codes with a gap,
// wet codes only in the lower half.
diagram::Diagram knownDiagram(int n) {
    diagram::Diagram d;
    d.segments = n;
    d.sensor.resize(n);
    d.dry.resize(n);
    d.wet.resize(n);
    for (int i = 0; i < n; ++i) {
        d.sensor[i] = static_cast<char>(i < n / 2 ? 40 + i % 5 : 170 + i % 7);
        d.dry[i] = static_cast<char>(i >= 10 && i < 14 ? 255 : 45);
        d.wet[i] = static_cast<char>(i < n / 2 ? 0 : 180);
    }
    return d;
}

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"read",
         [](bus::SerialLink& l, std::uint8_t s) {
             app::SilentProgress p;
             diagram::Diagram d;
             const auto r = diagram::ReadSegmentDiagram(l, s, true, p, d);
             return r.drawn && r.mess == QStringLiteral(" ВСЁ СЧИТАНО");
         }},
        {"clear air",
         [](bus::SerialLink& l, std::uint8_t s) {
             return diagram::ClearOrComputeCodes(l, s, diagram::CodeAction::ClearAir);
         }},
        {"forecast",
         [](bus::SerialLink& l, std::uint8_t s) {
             return diagram::ClearOrComputeCodes(l, s, diagram::CodeAction::Forecast);
         }},
    };
    return ops;
}

} // namespace

class TestDiagram : public QObject {
    Q_OBJECT
  private slots:
    void blocksLastFirst();
    void wideProbe();
    void allZeroCodes();
    void wetArrayShort();
    void sensorBlockRetried();
    void failures_data();
    void failures();
    void breakStopsBetweenBlocks();
    void segmentType1();
    void fieldsFromTheReplies();
    void correctionButtons_data();
    void correctionButtons();
    void codeCommandsOnTheWire_data();
    void codeCommandsOnTheWire();
    void fileLayout();
    void badFiles_data();
    void badFiles();
    void unwritableFileIsReported();
    void referencePicture();
    void gridLines();
    void lineFaults_data();
    void lineFaults();
};

void TestDiagram::blocksLastFirst() {
    Probe p("segments 2 64\n");
    const auto r = p.read();
    QVERIFY(r.drawn);
    QCOMPARE(r.mess, QStringLiteral(" ВСЁ СЧИТАНО"));
    QCOMPARE(p.d.segments, 64);
    QCOMPARE(p.d.codesPerBlock, 32);
    QCOMPARE(p.log.frames, (QByteArrayList{requestFrame(kSensor, 0x0C),
                                           requestFrame(kSensor, 0x03, QByteArray("\x91", 1)),
                                           requestFrame(kSensor, 0x0D),
                                           requestFrame(kSensor, 0x0B, QByteArray("\x02\x01", 2)),
                                           requestFrame(kSensor, 0x0B, QByteArray("\x01\x01", 2)),
                                           requestFrame(kSensor, 0x34, QByteArray("\x02\x01", 2)),
                                           requestFrame(kSensor, 0x34, QByteArray("\x01\x01", 2)),
                                           requestFrame(kSensor, 0x35, QByteArray("\x02\x01", 2)),
                                           requestFrame(kSensor, 0x35, QByteArray("\x01\x01", 2)),
                                           requestFrame(kSensor, 0x04), requestFrame(kSensor, 0x05),
                                           requestFrame(kSensor, 0x20)}));
    // The top of the probe is dry, its bottom in the fuel.
    QVERIFY(static_cast<std::uint8_t>(p.d.sensor[0]) < 60);
    QVERIFY(static_cast<std::uint8_t>(p.d.sensor[63]) > 150);
    QCOMPARE(p.d.dry, p.h.installation->sensor(kSensor)->dryCodes);
    QCOMPARE(p.d.wet, p.h.installation->sensor(kSensor)->wetCodes);
    QVERIFY(r.sensorLayer && r.dryLayer && r.wetLayer);
}

void TestDiagram::wideProbe() {
    Probe p("segments 2 1000\n");
    QVERIFY(p.read().drawn);
    QCOMPARE(p.d.segments, 1000);
    QCOMPARE(p.log.sent.count(QStringLiteral("02:0B")), 32);
    const int width = diagram::layerWidthFor(1000);
    QCOMPARE(width, 1032);
    const auto g = diagram::geometryFor(1000, QSize(width, diagram::kVisibleHeight));
    QCOMPARE(g.pixelsPerSegment, 1);
    QCOMPARE(g.x0, 16);
    QCOMPARE(g.x1, 1016);
    // Dragged only within the view: the right end never leaves its edge.
    const diagram::DragBounds bounds{diagram::kVisibleWidth - width, 0};
    QCOMPARE(diagram::draggedLeft(100, 400, 0, bounds), -196);
    QCOMPARE(diagram::draggedLeft(500, 400, -150, bounds), -50);
    QCOMPARE(diagram::draggedLeft(700, 400, -150, bounds), 0);
    QCOMPARE(diagram::draggedLeft(350, 400, -100, bounds), -150);
    QCOMPARE(diagram::layerWidthFor(836), 836);
    QCOMPARE(diagram::layerWidthFor(64), 836);
    QCOMPARE(diagram::geometryFor(64, QSize(836, 209)).pixelsPerSegment, 13);
    QCOMPARE(diagram::geometryFor(64, QSize(836, 209)).x0, 2);
}

void TestDiagram::allZeroCodes() {
    ScriptedLink s(scriptedProbe(QByteArray(64, '\0'), QByteArray(64, 45), QByteArray(64, 99)));
    app::SilentProgress progress;
    diagram::Diagram d;
    const auto r = diagram::ReadSegmentDiagram(s.link, kSensor, true, progress, d);
    QVERIFY(r.drawn);
    QCOMPARE(r.mess, QStringLiteral("Сенсор не подключен ? ВСЁ СЧИТАНО"));
    QCOMPARE(r.step, QStringLiteral("ВСЁ"));
}

void TestDiagram::wetArrayShort() {
    Probe p("segments 2 64\n");
    p.h.installation->sensor(kSensor)->wetBlockCut = 1;
    const auto r = p.read();
    QVERIFY(r.drawn);
    QCOMPARE(r.mess, QStringLiteral("Считаны не все коды : мокрые."));
    QVERIFY(r.dryLayer);
    QVERIFY(!r.wetLayer);
    // Sensor and dry short: the comma after the last one goes.
    QByteArrayList replies =
        scriptedProbe(QByteArray(64, 50), QByteArray(64, 45), QByteArray(64, 99));
    const QByteArray otherBlock = reply(0x0B, QByteArray(1, 7));
    replies[4] = otherBlock; // three times: the sensor codes stop
    replies.insert(5, otherBlock);
    replies.insert(6, otherBlock);
    replies[8] = reply(0x34, QByteArray(1, 1)); // too short: the dry codes stop
    ScriptedLink s(replies);
    app::SilentProgress progress;
    diagram::Diagram d;
    const auto r2 = diagram::ReadSegmentDiagram(s.link, kSensor, true, progress, d);
    QCOMPARE(r2.mess, QStringLiteral("Считаны не все коды : датчика, сухие"));
    QCOMPARE(r2.codesRead, 32);
}

void TestDiagram::sensorBlockRetried() {
    Probe p("segments 2 64\n");
    // A block lost once is asked for again; the dry and wet blocks are not.
    QByteArrayList replies =
        scriptedProbe(QByteArray(64, 50), QByteArray(64, 45), QByteArray(64, 99));
    replies.insert(3, QByteArray("@0"));
    ScriptedLink s(replies);
    app::SilentProgress progress;
    diagram::Diagram d;
    const auto r = diagram::ReadSegmentDiagram(s.link, kSensor, true, progress, d);
    QVERIFY(r.drawn);
    QCOMPARE(r.mess, QStringLiteral(" ВСЁ СЧИТАНО"));
    QCOMPARE(s.device->written.count(requestFrame(kSensor, 0x0B, QByteArray("\x02\x01", 2))), 2);
}

void TestDiagram::failures_data() {
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QString>("mess");
    QTest::addColumn<QString>("step");
    const QByteArray status = reply(0x0C, QByteArray("\x00\x01", 2));
    const QByteArray count64 = reply(0x03, QByteArray("\x91\x00\x40", 3));
    QTest::newRow("silent") << QByteArrayList{} << "Датчик не отвечает."
                            << "СТАТУС";
    QTest::newRow("no level sensor")
        << QByteArrayList{reply(0x0C, QByteArray("\x07\x12", 2))} << "ДАТЧИКА УРОВНЯ НЕТ"
        << "НАЛИЧИЕ";
    QTest::newRow("no count") << QByteArrayList{status, reply(0x03, QByteArray("\x91\x00", 2))}
                              << "Размер не получен."
                              << "СЕГМЕНТЫ";
    QTest::newRow("no length") << QByteArrayList{status, count64,
                                                 reply(0x0D, QByteArray("\x03", 1))}
                               << "Размер (мм) не получен."
                               << "ДЛИНА";
    QTest::newRow("no segments") << QByteArrayList{status,
                                                   reply(0x03, QByteArray("\x91\x00\x00", 3)),
                                                   reply(0x0D, QByteArray("\x03\xE8", 2))}
                                 << "НУЛЕВОЙ РАЗМЕР СЕНСОРА"
                                 << "ДЛИНА";
    QTest::newRow("20 mm segments")
        << QByteArrayList{status, count64, reply(0x0D, QByteArray("\x05\x00", 2))}
        << "ОШИБКА РАЗМЕРА СЕГМЕНТА"
        << "СЕГ=0";
    // 1300 segments of 15 mm would overrun the arrays.
    QTest::newRow("past 1280 segments")
        << QByteArrayList{status, reply(0x03, QByteArray("\x91\x05\x14", 3)),
                          reply(0x0D, QByteArray("\x4F\x5A", 2))}
        << "ОШИБКА РАЗМЕРА СЕГМЕНТА"
        << "СЕГ=0";
}

void TestDiagram::failures() {
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, mess);
    QFETCH(QString, step);
    ScriptedLink s(replies);
    app::SilentProgress progress;
    diagram::Diagram d;
    const auto r = diagram::ReadSegmentDiagram(s.link, kSensor, true, progress, d);
    QVERIFY(!r.drawn);
    QCOMPARE(r.mess, mess);
    QCOMPARE(r.step, step);
    // No code block is ever asked for.
    QVERIFY(!s.device->written.contains(requestFrame(kSensor, 0x0B, QByteArray("\x01\x01", 2))));
    QCOMPARE(d.segments, 0);
}

void TestDiagram::breakStopsBetweenBlocks() {
    Probe p("segments 2 1000\n");
    int blocks = 0;
    p.h.link.setPump([&] {
        if (p.log.sent.count(QStringLiteral("02:0B")) == 3 && ++blocks == 1)
            p.progress.requestBreak();
    });
    const auto r = p.read();
    QVERIFY(!r.drawn);
    QVERIFY(r.stopped);
    QVERIFY(r.mess.isEmpty());
    QCOMPARE(p.log.sent.count(QStringLiteral("02:0B")), 3);
    QVERIFY(!p.log.sent.contains(QStringLiteral("02:34")));
}

void TestDiagram::segmentType1() {
    Probe p("segments 2 40 1250\n");
    QVERIFY(p.read(false).drawn);
    QCOMPARE(p.d.segmentType, 1);
    QCOMPARE(p.d.codesPerBlock, 16);
    QCOMPARE(p.log.sent.count(QStringLiteral("02:0B")), 3);
    // Without the reference codes their arrays stay cleared.
    QVERIFY(!p.log.sent.contains(QStringLiteral("02:34")));
    QCOMPARE(p.d.dry, QByteArray(40, '\0'));
}

void TestDiagram::fieldsFromTheReplies() {
    ScriptedLink s(scriptedProbe(QByteArray(64, 50), QByteArray(64, 45), QByteArray(64, 99)));
    app::SilentProgress progress;
    diagram::Diagram d;
    QVERIFY(diagram::ReadSegmentDiagram(s.link, kSensor, true, progress, d).drawn);
    QCOMPARE(diagram::levelText(d.fuelLevel), QStringLiteral("666.5(00)"));
    QCOMPARE(diagram::levelText({0x01, 0x02, 0x03, 0xAB}), QStringLiteral("258.3(AB)"));
    QCOMPARE(d.fuelSegment(), 40);
    QCOMPARE(diagram::segmentText(d.fuelSegment(), d.segments), QStringLiteral("40 / 24"));
    QCOMPARE(d.waterSegment(), 60);
    Probe p("segments 2 64\n");
    QVERIFY(p.read().drawn);
    QCOMPARE(QString::number(p.d.noise(), 'f', 3), QStringLiteral("1.000"));
    QCOMPARE(QString::number(p.d.scale(), 'f', 2), QStringLiteral("1.25"));
    QCOMPARE(QString::number(p.d.delta(), 'f', 3), QStringLiteral("6.250"));
}

void TestDiagram::correctionButtons_data() {
    QTest::addColumn<int>("fuel");
    QTest::addColumn<int>("water");
    QTest::addColumn<int>("dryGap");
    QTest::addColumn<int>("wetGap");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("references whole") << 20 << 0 << -1 << -1 << "forecast";
    QTest::newRow("dry gap above the fuel") << 20 << 0 << 17 << -1 << "air forecast";
    QTest::newRow("dry gap too near the fuel") << 20 << 0 << 18 << -1 << "forecast";
    QTest::newRow("wet gap in the fuel") << 20 << 0 << -1 << 22 << "fuel forecast";
    QTest::newRow("wet gap above the window") << 20 << 0 << -1 << 21 << "forecast";
    QTest::newRow("no fuel") << 0 << 0 << 5 << 30 << "air";
    QTest::newRow("water just below the fuel") << 20 << 23 << -1 << -1 << "";
    QTest::newRow("level past the probe") << 70 << 0 << 5 << -1 << "error";
    QTest::newRow("forecast needs both codes") << 20 << 0 << 24 << -1 << "";
}

void TestDiagram::correctionButtons() {
    QFETCH(int, fuel);
    QFETCH(int, water);
    QFETCH(int, dryGap);
    QFETCH(int, wetGap);
    QFETCH(QString, enabled);
    diagram::Diagram d;
    d.segments = 64;
    d.dry = QByteArray(64, 45);
    d.wet = QByteArray(64, 99);
    if (dryGap >= 0)
        d.dry[dryGap] = static_cast<char>(255);
    if (wetGap >= 0)
        d.wet[wetGap] = 0;
    d.parameters[6] = static_cast<std::uint8_t>(fuel >> 8);
    d.parameters[7] = static_cast<std::uint8_t>(fuel);
    d.parameters[35] = static_cast<std::uint8_t>(water);
    const auto b = diagram::correctionButtons(d);
    QStringList on;
    if (b.air)
        on << "air";
    if (b.fuel)
        on << "fuel";
    if (b.forecast)
        on << "forecast";
    if (b.sizeError)
        on << "error";
    QCOMPARE(on.join(QLatin1Char(' ')), enabled);
}

void TestDiagram::codeCommandsOnTheWire_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("clear air") << 0 << requestFrame(kSensor, 0x18, QByteArray("\x03", 1));
    QTest::newRow("clear fuel") << 1 << requestFrame(kSensor, 0x18, QByteArray("\x04", 1));
    QTest::newRow("clear all") << 2 << requestFrame(kSensor, 0x18, QByteArray("\x02", 1));
    QTest::newRow("compute air") << 3 << requestFrame(kSensor, 0x30);
    QTest::newRow("compute fuel") << 4 << requestFrame(kSensor, 0x31);
    QTest::newRow("forecast") << 5 << requestFrame(kSensor, 0x38);
}

void TestDiagram::codeCommandsOnTheWire() {
    QFETCH(int, action);
    QFETCH(QByteArray, frame);
    Probe p("segments 2 64\n");
    QVERIFY(p.read().drawn);
    p.log.frames.clear();
    QVERIFY(
        diagram::ClearOrComputeCodes(p.h.link, kSensor, static_cast<diagram::CodeAction>(action)));
    QCOMPARE(p.log.frames, (QByteArrayList{requestFrame(kSensor, 0x0C), frame}));
    const sim::SimSensor& s = *p.h.installation->sensor(kSensor);
    if (action == 0 || action == 2)
        QCOMPARE(s.dryCodes.count(char(255)), 64);
    if (action == 1 || action == 2)
        QCOMPARE(s.wetCodes.count(char(255)), 64);
    if (action == 5)
        QCOMPARE(s.wetCodes.count(char(255)), 0);
}

void TestDiagram::fileLayout() {
    diagram::Diagram d = knownDiagram(100);
    d.sensorAddress = 0x17;
    d.codesPerBlock = 32;
    d.fuelLevel = {0x02, 0x9A, 0x05, 0x00};
    d.waterLevel = {0x00, 0x20, 0x01, 0x80};
    for (int i = 0; i < diagram::kParameterBytes; ++i)
        d.parameters[i] = static_cast<std::uint8_t>(i + 1);
    const QDateTime at(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);
    const QByteArray bytes = diagram::diagramFileBytes(d, at.toLocalTime());
    QCOMPARE(bytes.size(), 364);
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    QCOMPARE(qFromLittleEndian<qint32>(b), 64);
    QCOMPARE(qFromLittleEndian<qint32>(b + 4), 100);
    QCOMPARE(bytes.mid(8, 4), QByteArray("\x02\x9A\x05\x00", 4));
    QCOMPARE(bytes.mid(12, 4), QByteArray("\x00\x20\x01\x80", 4));
    QCOMPARE(int(b[16]), 1);
    QCOMPARE(int(b[51]), 36);
    QCOMPARE(int(b[60]), 0x17);
    QCOMPARE(int(b[61]), 32);
    QCOMPARE(bytes.mid(62, 2), QByteArray(2, '\0'));
    QCOMPARE(bytes.mid(64, 100), d.sensor);
    QCOMPARE(bytes.mid(164, 100), d.wet);
    QCOMPARE(bytes.mid(264, 100), d.dry);
    // Days since 30 December 1899 in local wall-clock time.
    const double days = qFromLittleEndian<double>(b + 52);
    QCOMPARE(diagram::fromOleDate(days), at.toLocalTime().toTimeSpec(Qt::LocalTime));
    QCOMPARE(diagram::oleDate(QDateTime(QDate(1899, 12, 30), QTime(6, 0), Qt::UTC)), 0.25);

    QTemporaryDir dir;
    const QString path = dir.filePath(diagram::proposedFileName(0x17, at));
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("18261208120000.dgr"));
    QString error;
    QVERIFY(diagram::SaveDiagramFile(path, d, at, &error));
    const auto back = diagram::ReadDiagramFile(path, &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->segments, 100);
    QCOMPARE(back->sensor, d.sensor);
    QCOMPARE(back->dry, d.dry);
    QCOMPARE(back->wet, d.wet);
    QCOMPARE(back->parameters, d.parameters);
    QCOMPARE(back->fuelLevel, d.fuelLevel);
    QCOMPARE(back->sensorAddress, 0x17);
    QCOMPARE(diagram::composed(*back), diagram::composed(d));
}

void TestDiagram::badFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    diagram::Diagram d = knownDiagram(100);
    const QByteArray good = diagram::diagramFileBytes(d, QDateTime::currentDateTime());
    QByteArray offset = good;
    offset[0] = 63;
    QByteArray many = good;
    qToLittleEndian<qint32>(2000, many.data() + 4);
    QByteArray none = good;
    qToLittleEndian<qint32>(0, none.data() + 4);
    QByteArray block = good;
    block[61] = 20;
    QTest::newRow("empty") << QByteArray() << "короче заголовка";
    QTest::newRow("header only") << good.left(63) << "короче заголовка";
    QTest::newRow("offset") << offset << "смещение";
    QTest::newRow("2000 segments") << many << "1..1280";
    QTest::newRow("no segments") << none << "1..1280";
    QTest::newRow("cut short") << good.left(300) << "длина";
    QTest::newRow("trailing bytes") << good + "x"
                                    << "длина";
    QTest::newRow("block size") << block << "блока";
}

void TestDiagram::badFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QString why;
    QVERIFY(!diagram::diagramFromBytes(bytes, &why));
    QVERIFY2(why.contains(error), qPrintable(why));
}

void TestDiagram::unwritableFileIsReported() {
    QTemporaryDir dir;
    QString error;
    QVERIFY(!diagram::SaveDiagramFile(dir.filePath(QStringLiteral("no/such/folder/x.dgr")),
                                      knownDiagram(10), QDateTime::currentDateTime(), &error));
    QVERIFY(!error.isEmpty());
    // An old file stays as it was when the new one cannot be made whole.
    const QString path = putFile(dir, "old.dgr", "old");
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool written =
        diagram::SaveDiagramFile(path, knownDiagram(10), QDateTime::currentDateTime(), &error);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (::geteuid() != 0) {
        QVERIFY(!written);
        QCOMPARE(fileBytes(path), QByteArray("old"));
    }
}

void TestDiagram::referencePicture() {
    const QImage image = codeLayers(knownDiagram(64));
    // From the source tree: a compiler cache may leave __FILE__ relative,
    // which QFINDTESTDATA cannot resolve from the test's working folder.
    const QString reference = QStringLiteral(ORVANT_SOURCE_DIR "/tests/diagram/reference-64.png");
    if (qEnvironmentVariableIsSet("ORVANT_WRITE_REFERENCE"))
        QVERIFY(image.save(QStringLiteral(ORVANT_SOURCE_DIR "/tests/diagram/reference-64.png")));
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(expected.size(), image.size());
    int differing = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            differing += image.pixel(x, y) != expected.pixel(x, y);
    QCOMPARE(differing, 0);
    // What the picture holds: blue steps, red with a gap, green only below.
    const auto g = diagram::geometryFor(64, QSize(836, 209));
    const int yDry = static_cast<int>(g.baseY - 45 * g.codeScale);
    QCOMPARE(image.pixel(g.x(5) + 3, yDry), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(g.x(11) + 3, yDry), diagram::kKeyColour);
    QCOMPARE(image.pixel(g.x(40) + 3, static_cast<int>(g.baseY - 180 * g.codeScale)),
             qRgb(0, 128, 0));
}

void TestDiagram::gridLines() {
    const auto g = diagram::geometryFor(64, QSize(836, 209));
    const QImage grid = diagram::DrawDiagramGrid(g, 0, 32);
    const QRgb grey = qRgb(160, 160, 164);
    QCOMPARE(grid.pixel(g.x0, g.baseY), grey);
    QCOMPARE(grid.pixel(g.x1, g.baseY), grey);
    QCOMPARE(grid.pixel(g.x0 - 1, g.baseY), diagram::kKeyColour);
    QCOMPARE(grid.pixel(g.x0, 100), grey); // the left border is solid
    // The block boundary between block 2 and block 1, dashed.
    int dashed = 0;
    for (int y = 8; y < g.baseY; ++y)
        dashed += grid.pixel(g.x(32), y) == grey;
    QVERIFY(dashed > 40 && dashed < g.baseY - 8);
    // A 0-segment probe is no picture at all.
    const QImage empty = diagram::DrawDiagramGrid(diagram::geometryFor(0, QSize(836, 209)), 0, 32);
    QCOMPARE(empty.pixel(418, 100), diagram::kKeyColour);
}

void TestDiagram::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestDiagram::lineFaults() {
    // The longest: the read's status twice, every block of three arrays and
    // the levels (160 segments: 5 blocks an array), or a 10 s code command.
    faultmatrix::run(operations(), 2 * 500 + 5 * 3 * 500 + 10 * 1000 + 3 * 500 + 2000);
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    TestDiagram t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_diagram.moc"
