#include "common/TestFiles.h"
#include "firmware/FirmwareImage.h"
#include "firmware/HexLoader.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "tst_programming.h"
#include "tst_sensor_programming.h"

namespace {

// A data record with a correct checksum.
QByteArray record(int type, int offset, const QByteArray& data) {
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(offset >> 8));
    bytes.append(char(offset));
    bytes.append(char(type));
    bytes.append(data);
    quint8 sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    bytes.append(char(quint8(-sum)));
    return ":" + bytes.toHex().toUpper();
}

QByteArray segment(int value) {
    QByteArray b;
    b.append(char(value >> 8));
    b.append(char(value & 0xFF));
    return record(0x02, 0, b);
}

// A literal with its zero bytes.
template <std::size_t N> QByteArray B(const char (&s)[N]) {
    return QByteArray(s, N - 1);
}

const QByteArray kEof = ":00000001FF";

firmware::FirmwareImage parsed(const QByteArray& text, firmware::LoadResult* result = nullptr) {
    firmware::FirmwareImage image;
    const auto r = firmware::parseHexText(text, image);
    if (result)
        *result = r;
    return image;
}

} // namespace

class TestFirmware : public QObject {
    Q_OBJECT
  private slots:
    void lineEndsAndComments_data();
    void lineEndsAndComments();
    void damagedFilesRefused_data();
    void damagedFilesRefused();
    void type04AndSegments();
    void byteOrderMarkSkipped();
    void jumpsAsCommonToolsWriteThem_data();
    void jumpsAsCommonToolsWriteThem();
    void countZeroRecord();
    void gapsStayFF();
    void faultOfAFile_data();
    void faultOfAFile();
    void lineErrors_data();
    void lineErrors();
    void versionText();
    void controllerImageReplacedOnlyOnSuccess();
    void sensorImageUnusableAfterFailure();
    void matchesObjcopy();
};

void TestFirmware::lineEndsAndComments_data() {
    QTest::addColumn<QByteArray>("separator");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CRLF") << QByteArray("\r\n");
    QTest::newRow("CR alone") << QByteArray("\r");
}

void TestFirmware::lineEndsAndComments() {
    QFETCH(QByteArray, separator);
    const QByteArray text = "; firmware for the main CPU" + separator + separator +
                            record(0, 0x0100, B("REV 4.12\0")) + separator + "comment" + separator +
                            record(0, 0x0109, B("\x01\x02")) + separator + kEof + separator;
    firmware::LoadResult r;
    const auto image = parsed(text, &r);
    QVERIFY(r.ok);
    QCOMPARE(image.start, 0x100);
    QCOMPARE(image.end, 0x10B);
    QCOMPARE(image.data.mid(0x100, 11), QByteArray("REV 4.12\0\x01\x02", 11));
}

// Files damaged on their way, as common tools write them first: each is
// refused with the line that shows it, and nothing of it is kept.
void TestFirmware::damagedFilesRefused_data() {
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    for (const char* tool : {"srec_cat", "objcopy"}) {
        const QString t = QLatin1String(tool);
        QTest::addRow("%s, checksum of line 3", tool) << t << "checksum"
                                                      << "ОШИБКА КОНТРОЛЬНОЙ СУММЫ(стр.3)";
        QTest::addRow("%s, data byte of line 3", tool) << t << "data"
                                                       << "ОШИБКА КОНТРОЛЬНОЙ СУММЫ(стр.3)";
        QTest::addRow("%s, cut in line 5", tool) << t << "cut"
                                                 << "ОШИБКА ДЛИНЫ ЗАПИСИ(стр.5)";
        QTest::addRow("%s, without its end record", tool) << t << "no end"
                                                          << "НЕТ ЗАПИСИ КОНЦА ФАЙЛА";
        QTest::addRow("%s, cut after line 4", tool) << t << "lines"
                                                    << "НЕТ ЗАПИСИ КОНЦА ФАЙЛА(стр.4)";
        QTest::addRow("%s, a byte lost in line 2", tool) << t << "lost"
                                                         << "ОШИБКА ДЛИНЫ ЗАПИСИ(стр.2)";
    }
}

void TestFirmware::damagedFilesRefused() {
    QFETCH(QString, tool);
    QFETCH(QString, damage);
    QFETCH(QString, message);
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP("tool not installed");
    QTemporaryDir dir;
    QByteArray data = "REV 3.1" + QByteArray(1, '\0');
    for (int i = 0; data.size() < 200; ++i)
        data += char(i * 7 + 1);
    const QString bin = putFile(dir, "fw.bin", data);
    const QString hex = dir.filePath(QStringLiteral("fw.hex"));
    QProcess p;
    if (tool == QLatin1String("srec_cat"))
        p.start(program,
                {bin, QStringLiteral("-binary"), QStringLiteral("-offset"), QStringLiteral("256"),
                 QStringLiteral("-o"), hex, QStringLiteral("-intel")});
    else
        p.start(program, {QStringLiteral("-I"), QStringLiteral("binary"), QStringLiteral("-O"),
                          QStringLiteral("ihex"), QStringLiteral("--change-addresses"),
                          QStringLiteral("256"), bin, hex});
    QVERIFY(p.waitForFinished());
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    firmware::FirmwareImage image;
    QVERIFY(firmware::LoadControllerFirmware(hex, image).ok);
    QByteArrayList lines = fileBytes(hex).split('\n');
    for (QByteArray& l : lines)
        l = l.trimmed();
    lines.removeAll(QByteArray());
    QVERIFY(lines.size() > 6);
    QCOMPARE(lines.last(), kEof);
    // Lines are counted from 1; the damage is at a data record.
    auto flip = [](QByteArray& line, int at) { line[at] = line[at] == '0' ? '1' : '0'; };
    if (damage == QLatin1String("checksum"))
        flip(lines[2], lines[2].size() - 1);
    else if (damage == QLatin1String("data"))
        flip(lines[2], 12);
    else if (damage == QLatin1String("cut"))
        lines[4].chop(7);
    else if (damage == QLatin1String("no end"))
        lines.removeLast();
    else if (damage == QLatin1String("lines"))
        lines = lines.mid(0, 4);
    else
        lines[1].remove(12, 2);
    firmware::FirmwareImage damaged;
    const firmware::LoadResult r = firmware::LoadControllerFirmware(
        putFile(dir, "bad.hex", lines.join("\r\n") + "\r\n"), damaged);
    QVERIFY(!r.ok);
    QVERIFY2(r.message.startsWith(message), qPrintable(r.message));
    QVERIFY(!damaged.usable);
}

void TestFirmware::type04AndSegments() {
    const QByteArray text =
        record(0x04, 0, QByteArray("\x00\x01", 2)) + "\n" + record(0, 0x20, B("\x11")) + "\n" +
        segment(0x1000) + "\n" + record(0, 0x30, B("\x22")) + "\n" + segment(0x0800) + "\n" +
        record(0, 0x40, B("\x33")) + "\n" + record(0x04, 0, QByteArray("\x00\x00", 2)) + "\n" +
        record(0, 0x50, B("\x44")) + "\n" + kEof;
    const auto image = parsed(text);
    QCOMPARE(image.data[0x10020], '\x11'); // type 04 gives the upper bits
    QCOMPARE(image.data[0x20], '\xFF');
    QCOMPARE(image.data[0x10030], '\x22'); // segment 0x1000 is 0x10000
    QCOMPARE(image.data[0x40], '\x33');    // segment 0x0800 clears to 0
    QCOMPARE(image.data[0x50], '\x44');
    QCOMPARE(image.end, 0x10031);
    QCOMPARE(image.start, 0x40);
}

void TestFirmware::byteOrderMarkSkipped() {
    firmware::LoadResult r;
    const auto image =
        parsed("\xEF\xBB\xBF" + record(0, 0x10, B("REV 1\0")) + "\r\n" + kEof + "\r\n", &r);
    QVERIFY(r.ok);
    QCOMPARE(image.start, 0x10);
    QCOMPARE(image.data.mid(0x10, 3), QByteArray("REV"));
}

// Data that jumps over 64 KiB boundaries, as srec_cat and objcopy write it
// with extended linear address records.
void TestFirmware::jumpsAsCommonToolsWriteThem_data() {
    QTest::addColumn<QString>("tool");
    QTest::newRow("srec_cat") << "srec_cat";
    QTest::newRow("objcopy") << "objcopy";
}

void TestFirmware::jumpsAsCommonToolsWriteThem() {
    QFETCH(QString, tool);
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP("tool not installed");
    QTemporaryDir dir;
    const QByteArray a = "REV 2.0" + QByteArray(1, '\0') + QByteArray(40, '\xA1');
    const QByteArray b = QByteArray(300, '\xB2');
    const QByteArray c = QByteArray(70, '\xC3');
    const struct {
        const char* name;
        QByteArray bytes;
        int at;
    } parts[] = {{"a.bin", a, 0x0100}, {"b.bin", b, 0x8000}, {"c.bin", c, 0x13000}};
    QString hex = dir.filePath(QStringLiteral("fw.hex"));
    QProcess p;
    if (tool == QLatin1String("srec_cat")) {
        QStringList args;
        for (const auto& part : parts)
            args << putFile(dir, part.name, part.bytes) << QStringLiteral("-binary")
                 << QStringLiteral("-offset") << QString::number(part.at);
        args << QStringLiteral("-o") << hex << QStringLiteral("-intel");
        p.start(program, args);
        QVERIFY(p.waitForFinished());
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    } else {
        // One file per part, joined without their end records.
        QByteArray joined;
        for (const auto& part : parts) {
            const QString out = dir.filePath(QLatin1String(part.name) + QStringLiteral(".hex"));
            p.start(program, {QStringLiteral("-I"), QStringLiteral("binary"), QStringLiteral("-O"),
                              QStringLiteral("ihex"), QStringLiteral("--change-addresses"),
                              QString::number(part.at), putFile(dir, part.name, part.bytes), out});
            QVERIFY(p.waitForFinished());
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
            joined += fileBytes(out).replace(kEof + "\n", "").replace(kEof + "\r\n", "");
        }
        hex = putFile(dir, "joined.hex", joined + kEof + "\n");
    }
    firmware::FirmwareImage image;
    const firmware::LoadResult r = firmware::LoadControllerFirmware(hex, image);
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(image.start, 0x100);
    QCOMPARE(image.end, 0x13000 + c.size());
    for (const auto& part : parts)
        QCOMPARE(image.data.mid(part.at, part.bytes.size()), part.bytes);
    QCOMPARE(image.data[0x3000], '\xFF');
}

void TestFirmware::countZeroRecord() {
    const auto image = parsed(record(0, 0x50, B("\x01")) + "\n" + record(0, 0x80, {}) + "\n" +
                              record(0, 0x10, {}) + "\n" + kEof);
    QCOMPARE(image.start, 0x10);
    QCOMPARE(image.end, 0x80);
}

void TestFirmware::gapsStayFF() {
    const auto image =
        parsed(record(0, 0x00, B("\x01")) + "\n" + record(0, 0x08, B("\x02")) + "\n" + kEof);
    QCOMPARE(image.data.mid(0, 9), QByteArray("\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x02"));
    QCOMPARE(image.data.size(), firmware::kImageSpace);
    QCOMPARE(image.data.back(), '\xFF');
}

// The pages decide by the fault which file is not offered again.
void TestFirmware::faultOfAFile_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("sensor");
    QTest::addColumn<int>("fault");
    using F = firmware::LoadFault;
    QTest::newRow("missing") << "missing.hex" << false << int(F::Missing);
    QTest::newRow("a folder") << "folder" << false << int(F::Unreadable);
    QTest::newRow("bad record") << "bad.hex" << false << int(F::BadRecord);
    QTest::newRow("sensor file without data") << "empty.hex" << true << int(F::NoData);
    QTest::newRow("no version marker") << "plain.hex" << false << int(F::NotSupported);
    QTest::newRow("good") << "good.hex" << false << int(F::None);
}

void TestFirmware::faultOfAFile() {
    QFETCH(QString, file);
    QFETCH(bool, sensor);
    QFETCH(int, fault);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    putFile(dir, "bad.hex", ":zz\n");
    putFile(dir, "empty.hex", ":00000001FF\n");
    putFile(dir, "plain.hex", record(0, 0, B("\x01\x02\x03")) + "\n:00000001FF\n");
    putFile(dir, "good.hex", record(0, 0, QByteArray("REV VQM 1.0\0", 12)) + "\n:00000001FF\n");
    firmware::FirmwareImage image;
    const QString path = dir.filePath(file);
    const firmware::LoadResult r = sensor ? firmware::LoadSensorFirmware(path, image)
                                          : firmware::LoadControllerFirmware(path, image);
    QCOMPARE(int(r.fault), fault);
    QCOMPARE(r.ok, fault == int(firmware::LoadFault::None));
}

void TestFirmware::lineErrors_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    const QByteArray good = record(0, 0, B("\x01"));
    QByteArray badOffset = good;
    badOffset[4] = 'G';
    QTest::newRow("offset on line 5") << good + "\n\n; x\n" + good + "\n" + badOffset + "\n"
                                      << "ОШИБКА АДРЕСА(стр.5)";
    QByteArray badCount = good;
    badCount[1] = 'x';
    QTest::newRow("count") << "\n" + badCount << "ОШИБКА РАЗМЕРА(стр.2)";
    QTest::newRow("segment") << QByteArray(":02000002ZZZZ00") << "ОШИБКА АДРЕСА(стр.1)";
    QTest::newRow("above 128 KiB") << segment(0x2000) + "\n" + good << "ОШИБКА АДРЕСА(стр.2)";
    QTest::newRow("running past 128 KiB")
        << segment(0x1000) + "\n" + record(0, 0xFFFF, B("\x01\x02")) << "ОШИБКА АДРЕСА(стр.2)";
    QByteArray badData = record(0, 0, B("\x01\x02"));
    badData[11] = 'Q';
    QTest::newRow("data pair") << good + "\n" + badData << "ОШИБКА ДАННЫХ(стр.2)";
    QTest::newRow("two records on one line") << good + "\n" + good + good << "ОШИБКА ДАННЫХ(стр.2)";
    QTest::newRow("upper bits past 128 KiB")
        << record(0x04, 0, QByteArray("\x00\x02", 2)) + "\n" + good << "ОШИБКА АДРЕСА(стр.2)";
}

void TestFirmware::lineErrors() {
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    firmware::LoadResult r;
    const auto image = parsed(text, &r);
    QVERIFY(!r.ok);
    QCOMPARE(r.message, message);
    QCOMPARE(r.fault, firmware::LoadFault::BadRecord);
    QCOMPARE(image.end, 0);
    QTemporaryDir dir;
    firmware::FirmwareImage controller;
    QCOMPARE(firmware::LoadControllerFirmware(putFile(dir, "fw.hex", text), controller).message,
             message);
    QVERIFY(!controller.usable);
}

void TestFirmware::versionText() {
    QTemporaryDir dir;
    firmware::FirmwareImage image;
    // No zero after the marker: the text ends with the image.
    const QString path = putFile(dir, "fw.hex", record(0, 0x10, B("xxREV 2.37")) + "\n" + kEof);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime(QDate(2026, 3, 7), QTime(12, 0)),
                              QFileDevice::FileModificationTime));
    }
    auto r = firmware::LoadControllerFirmware(path, image);
    QVERIFY(r.ok);
    QCOMPARE(image.version, QStringLiteral("REV 2.37"));
    // The file's date, day first, whatever the system's language.
    QCOMPARE(image.date, QStringLiteral("07.03.2026"));
    QCOMPARE(image.data.size(), 0x1A);
    // No marker at all.
    r = firmware::LoadControllerFirmware(
        putFile(dir, "b.hex", record(0, 0x10, B("REX")) + "\n" + kEof), image);
    QCOMPARE(r.message, QStringLiteral("Этот файл программой не поддерживается"));
    QCOMPARE(image.version, QStringLiteral("REV 2.37")); // the image in force stays
    // No data: the controller loader says so, the sensor loader says nothing.
    const QString empty = putFile(dir, "c.hex", kEof + "\n");
    QCOMPARE(firmware::LoadControllerFirmware(empty, image).message,
             QStringLiteral("Этот файл программой не поддерживается"));
    firmware::FirmwareImage sensor;
    r = firmware::LoadSensorFirmware(empty, sensor);
    QVERIFY(!r.ok);
    QCOMPARE(r.message, QString());
    QCOMPARE(firmware::LoadSensorFirmware(dir.filePath(QStringLiteral("none.hex")), sensor).message,
             QStringLiteral("ФАЙЛ НЕ НАЙДЕН"));
}

void TestFirmware::controllerImageReplacedOnlyOnSuccess() {
    QTemporaryDir dir;
    firmware::FirmwareImage image;
    QVERIFY(firmware::LoadControllerFirmware(
                putFile(dir, "fw.hex", record(0, 0x40, B("REV A\0")) + "\n" + kEof), image)
                .ok);
    QCOMPARE(image.start, 0x40);
    QCOMPARE(image.end, 0x46);
    QVERIFY(image.usable);
    QVERIFY(
        !firmware::LoadControllerFirmware(dir.filePath(QStringLiteral("missing.hex")), image).ok);
    QCOMPARE(image.version, QStringLiteral("REV A"));
    QVERIFY(image.usable);
}

void TestFirmware::sensorImageUnusableAfterFailure() {
    QTemporaryDir dir;
    firmware::FirmwareImage sensor;
    QVERIFY(firmware::LoadSensorFirmware(
                putFile(dir, "fw.hex", record(0, 0, B("REV S\0")) + "\n" + kEof), sensor)
                .ok);
    QVERIFY(sensor.usable);
    QCOMPARE(sensor.data.size(), firmware::kImageSpace);
    QByteArray bad = record(0, 0x10, B("\x01"));
    bad[5] = 'x';
    QVERIFY(!firmware::LoadSensorFirmware(
                 putFile(dir, "bad.hex", record(0, 0, B("\x55")) + "\n" + bad), sensor)
                 .ok);
    QVERIFY(!sensor.usable);
}

void TestFirmware::matchesObjcopy() {
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty())
        QSKIP("objcopy is not installed");
    QByteArray text;
    for (int a = 0x200; a < 0x1200; a += 16) {
        QByteArray data;
        for (int i = 0; i < 16; ++i)
            data.append(char((a + i * 7) & 0xFF));
        if (a % 0x100 != 0x80) // leave gaps
            text += record(0, a, data) + "\r\n";
    }
    text += segment(0x1000) + "\r\n" + record(0, 0x0010, B("REV 1\0")) + "\r\n" + kEof + "\r\n";
    QTemporaryDir dir;
    const QString hex = putFile(dir, "fw.hex", text);
    const QString bin = dir.filePath(QStringLiteral("peer.bin"));
    QProcess p;
    p.start(objcopy, {QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
                      QStringLiteral("binary"), QStringLiteral("--gap-fill"),
                      QStringLiteral("0xFF"), hex, bin});
    QVERIFY(p.waitForFinished());
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    firmware::FirmwareImage image;
    QVERIFY(firmware::LoadControllerFirmware(hex, image).ok);
    QFile peer(bin);
    QVERIFY(peer.open(QIODevice::ReadOnly));
    QCOMPARE(image.data.mid(image.start, image.end - image.start), peer.readAll());
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestFirmware files;
    TestProgramming programming;
    TestSensorProgramming sensors;
    return QTest::qExec(&files, argc, argv) + QTest::qExec(&programming, argc, argv) +
           QTest::qExec(&sensors, argc, argv);
}
#include "tst_firmware.moc"
