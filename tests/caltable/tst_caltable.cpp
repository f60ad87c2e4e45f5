#include "caltable/TableFile.h"
#include "caltable/TablePreview.h"
#include "common/FullDisk.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include "tst_rows.h"
#include "tst_programming.h"
#include "tst_transfer.h"

namespace {

QByteArray rowBytes(quint32 volume, quint16 increment) {
    QByteArray b;
    for (int shift = 24; shift >= 0; shift -= 8)
        b.append(char((volume >> shift) & 0xFF));
    b.append(char(increment >> 8));
    b.append(char(increment & 0xFF));
    return b;
}

QByteArray converted(const QByteArray& text, QString* status = nullptr) {
    QTemporaryDir dir;
    QByteArray image;
    QString s;
    const bool ok = caltable::ConvertTableFile(putFile(dir, "t.vlm", text), image, s);
    if (status)
        *status = s;
    return ok ? image : QByteArray("failed");
}

caltable::ParsedTable parsed(const QByteArray& text) {
    QTemporaryDir dir;
    QStringList lines;
    caltable::readTableFile(putFile(dir, "t.vlm", text), lines);
    return caltable::ParseTableText(lines);
}

QByteArray imageOf(const caltable::ParsedTable& t) {
    QByteArray b;
    for (std::size_t i = 0; i < t.volumes.size(); ++i)
        b += rowBytes(t.volumes[i], static_cast<quint16>(t.increments[i]));
    return b;
}

} // namespace

class TestCaltable : public QObject {
    Q_OBJECT
  private slots:
    void writerReadsBackThroughBothReaders();
    void writerLayout();
    void separatorsAndTabs();
    void sixDigitFractionRounds();
    void longFractionsRoundPerDigit_data();
    void longFractionsRoundPerDigit();
    void numberSyntaxSameInBothReaders_data();
    void numberSyntaxSameInBothReaders();
    void lineEnds_data();
    void lineEnds();
    void rowLimitInBothReaders();
    void commentLines();
    void oneRowTable();
    void readerErrors_data();
    void readerErrors();
    void filesOfOtherPrograms_data();
    void filesOfOtherPrograms();
    void valuesTooLargeForTheController_data();
    void valuesTooLargeForTheController();
    void editorFixesARow();
    void fileNames();
    void previewAndLevel();
    void saveAsksBeforeWritingReadOnly();
    void writersOnAFullDisk_data();
    void writersOnAFullDisk();
};

void TestCaltable::writerReadsBackThroughBothReaders() {
    QByteArray image;
    for (int row = 0; row < 300; ++row)
        image += rowBytes(quint32(row) * 123457u + (row % 7), quint16(row * 211 % 65536));
    image += rowBytes(0xFFFFFFFFu, 0xFFFF);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tank_ 3.vlm"));
    QVERIFY(caltable::WriteTableFile(image, 3, path));
    QByteArray back;
    QString status;
    QVERIFY(caltable::ConvertTableFile(path, back, status));
    QCOMPARE(back, image);
    QStringList lines;
    QVERIFY(caltable::readTableFile(path, lines));
    const caltable::ParsedTable t = caltable::ParseTableText(lines);
    QCOMPARE(t.rows, 301);
    QCOMPARE(t.zeroLine, 3);
    QCOMPARE(t.tableSize, 301 * 6);
    QCOMPARE(imageOf(t), image);
}

void TestCaltable::writerLayout() {
    const QStringList lines =
        caltable::tableFileLines(rowBytes(15000, 2500) + rowBytes(123456789, 7), 12);
    QCOMPARE(lines, (QStringList{";", ";  Калибровочная таблица для резервуара № 12", ";",
                                 "0=\t1.5000\t\t0.2500", "1=\t12345.6789\t\t0.0007"}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.vlm"));
    QVERIFY(caltable::writeTableLines(lines, path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith(";\r\n;  \xCA\xE0\xEB\xE8\xE1\xF0")); // CP1251 "Калибр"
    QVERIFY(bytes.endsWith("1=\t12345.6789\t\t0.0007\r\n"));
}

void TestCaltable::separatorsAndTabs() {
    QByteArray text = ";\n";
    for (int row = 0; row < 12; ++row)
        text += QByteArray::number(row) + "=\t0.0000\t\t0.0000\n";
    text += "12=\t1,5\t0.25\n";
    QCOMPARE(converted(text).right(6), rowBytes(15000, 2500));
    const auto t = parsed(text);
    QCOMPARE(t.rows, 13);
    QCOMPARE(t.volumes.back(), 15000u);
    QCOMPARE(t.increments.back(), 2500u);
    // Blanks as separators, no "=" at all, and values needing no rounding help.
    const auto u = parsed("0 0.0003 0,0001\n1   2.5\t\t 0.0010 \n");
    QCOMPARE(u.rows, 2);
    QCOMPARE(u.volumes[0], 3u);
    QCOMPARE(u.increments[0], 1u);
    QCOMPARE(u.increments[1], 10u);
}

void TestCaltable::sixDigitFractionRounds() {
    QCOMPARE(converted("0=\t0.123449\t\t0.00005\n"), rowBytes(1235, 1));
    QCOMPARE(converted("0=\t7.1\t\t0,12\n"), rowBytes(71000, 1200));
}

// Fractions as Python and spreadsheets print floats: the converter rounds
// once per extra digit, however many there are; the preview cuts.
void TestCaltable::longFractionsRoundPerDigit_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("rounded");
    QTest::addColumn<int>("cut");
    QTest::newRow("0.30000000000000004") << QByteArray("0.30000000000000004") << 3000 << 3000;
    QTest::newRow("12.345678901234567") << QByteArray("12.345678901234567") << 123457 << 123456;
    QTest::newRow("0.123449") << QByteArray("0.123449") << 1235 << 1234;
    QTest::newRow("carry into the whole part") << QByteArray("0.99995") << 10000 << 9999;
    QTest::newRow("forty digits") << QByteArray("1.0000999999999999999999999999999999999999")
                                  << 10001 << 10000;
    QTest::newRow("comma") << QByteArray("2,5") << 25000 << 25000;
    QTest::newRow("no fraction digits") << QByteArray("3.") << 30000 << 30000;
    QTest::newRow("no whole digits") << QByteArray(".5") << 5000 << 5000;
}

void TestCaltable::longFractionsRoundPerDigit() {
    QFETCH(QByteArray, value);
    QFETCH(int, rounded);
    QFETCH(int, cut);
    if (rounded <= 0xFFFF)
        QCOMPARE(converted("0=\t0\t" + value + "\n"), rowBytes(0, quint16(rounded)));
    QCOMPARE(converted("0=\t" + value + "\t0\n"), rowBytes(quint32(rounded), 0));
    const auto t = parsed("0=\t" + value + "\t0\n");
    QCOMPARE(t.rows, 1);
    QCOMPARE(int(t.volumes[0]), cut);
}

void TestCaltable::numberSyntaxSameInBothReaders_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("nan") << QByteArray("nan");
    QTest::newRow("inf") << QByteArray("inf");
    QTest::newRow("plus sign") << QByteArray("+1.5");
    QTest::newRow("minus sign") << QByteArray("-1.5");
    QTest::newRow("exponent") << QByteArray("1e3");
    QTest::newRow("two separators") << QByteArray("1.2.3");
    QTest::newRow("separator alone") << QByteArray(".");
    QTest::newRow("hex") << QByteArray("0x10");
    QTest::newRow("trailing letter") << QByteArray("1.5m");
}

void TestCaltable::numberSyntaxSameInBothReaders() {
    QFETCH(QByteArray, value);
    const QByteArray text = "0=\t0.0\t0.0\n1=\t" + value + "\t0.1\n2=\t0.2\t" + value + "\n";
    // Both name the row, its line in the file and the value that is wrong.
    const QString expected = QStringLiteral("ОШИБКА В ДАННЫХ СТРОКИ № 1 (СТРОКА ФАЙЛА 2): ОБЪЁМ «%1» "
                                            "НЕ ЧИСЛО")
                                 .arg(QString::fromLatin1(value));
    QString status;
    QCOMPARE(converted(text, &status), QByteArray("failed"));
    QCOMPARE(status, expected);
    const auto t = parsed(text);
    QCOMPARE(t.rows, -1);
    QCOMPARE(t.status, expected);
    // A third value on the row is refused by both as well.
    QCOMPARE(converted("0=\t0.0\t0.0\t7\n", &status), QByteArray("failed"));
    QCOMPARE(parsed("0=\t0.0\t0.0\t7\n").rows, 0);
}

void TestCaltable::lineEnds_data() {
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("CR alone") << QByteArray("\r");
}

void TestCaltable::lineEnds() {
    QFETCH(QByteArray, end);
    const QByteArray text =
        ";" + end + "0=\t0.0\t0.1" + end + "1=\t0.1\t0.2" + end + "2=\t0.3\t0.4" + end;
    const QByteArray image = rowBytes(0, 1000) + rowBytes(1000, 2000) + rowBytes(3000, 4000);
    QCOMPARE(converted(text), image);
    const auto t = parsed(text);
    QCOMPARE(t.rows, 3);
    QCOMPARE(imageOf(t), image);
}

void TestCaltable::rowLimitInBothReaders() {
    QByteArray text;
    for (int row = 0; row <= caltable::kMaxRows; ++row)
        text += QByteArray::number(row) + "=\t" + QByteArray::number(row) + ".0\t0.1\n";
    QString status;
    QCOMPARE(converted(text, &status), QByteArray("failed"));
    QCOMPARE(status, QStringLiteral("ТАБЛИЦА ДЛИННЕЕ 10922 СТРОК"));
    const auto t = parsed(text);
    QCOMPARE(t.rows, -1);
    QCOMPARE(t.status, status);
    // One row less fits.
    text.truncate(text.lastIndexOf("10922="));
    QCOMPARE(converted(text).size(), caltable::kMaxRows * caltable::kRowBytes);
    QCOMPARE(parsed(text).rows, caltable::kMaxRows);
}

void TestCaltable::commentLines() {
    const QByteArray before =
        ";\n; tank 4\nVolume table\n\n0=\t0.0000\t\t0.0010\n1=\t0.0010\t\t0.0010\n";
    QCOMPARE(parsed(before).rows, 2);
    QCOMPARE(converted(before).size(), 12);
    const QByteArray after = "0=\t0.0000\t\t0.0010\n; a comment\n1=\t0.0010\t\t0.0010\n";
    const auto t = parsed(after);
    QCOMPARE(t.rows, -1);
    const QString said = QStringLiteral(
        "ОШИБКА В НОМЕРЕ 1 СТРОКИ (СТРОКА ФАЙЛА 2): ОЖИДАЛСЯ НОМЕР 1, А В СТРОКЕ «; a comment»");
    QCOMPARE(t.status, said);
    QString status;
    QCOMPARE(converted(after, &status), QByteArray("failed"));
    QCOMPARE(status, said);
}

void TestCaltable::oneRowTable() {
    const auto t = parsed("0=\t12.0000\t\t0.0000\n");
    QCOMPARE(t.rows, 1);
    QCOMPARE(t.tableSize, 6);
    QCOMPARE(converted("0=\t12.0000\t\t0.0000\n").size(), 6);
}

void TestCaltable::readerErrors_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("status");
    QTest::newRow("first row not 0, editor cancelled")
        << QByteArray(";\n1=\t0.1\t0.1\n") << 0 << "НЕТ НУЛЕВОЙ СТРОКИ";
    QTest::newRow("nothing at all") << QByteArray("; empty\n") << 0 << "НЕТ НУЛЕВОЙ СТРОКИ";
    // Each stop names the row, the line of the file and why.
    QTest::newRow("format") << QByteArray("0=\t0.1\t0.1\n1=\t0.2\n") << -1
                            << "ОШИБКА ФОРМАТА СТРОКИ № 1 (СТРОКА ФАЙЛА 2): НУЖНО 3 ПОЛЯ «НОМЕР "
                               "ОБЪЁМ ПРИРАЩЕНИЕ», А НЕ 2";
    QTest::newRow("not a number") << QByteArray("0=\t0.1\t0.1\n1=\t0.x\t0.1\n") << -1
                                  << "ОШИБКА В ДАННЫХ СТРОКИ № 1 (СТРОКА ФАЙЛА 2): ОБЪЁМ «0.x» НЕ "
                                     "ЧИСЛО";
    QTest::newRow("negative") << QByteArray("0=\t-0.1\t0.1\n") << -1
                              << "ОШИБКА В ДАННЫХ СТРОКИ № 0 (СТРОКА ФАЙЛА 1): ОБЪЁМ «-0.1» НЕ "
                                 "ЧИСЛО";
    QTest::newRow("skipped row") << QByteArray(";\n0=\t0.1\t0.1\n2=\t0.1\t0.1\n") << -1
                                 << "ОШИБКА В НОМЕРЕ 1 СТРОКИ (СТРОКА ФАЙЛА 3): ОЖИДАЛСЯ НОМЕР 1, А "
                                    "В СТРОКЕ «2 0.1 0.1»";
}

void TestCaltable::readerErrors() {
    QFETCH(QByteArray, text);
    QFETCH(int, rows);
    QFETCH(QString, status);
    const auto t = parsed(text);
    QCOMPARE(t.rows, rows);
    QCOMPARE(t.status, status);
}

// Tables as editors and spreadsheets save them: a BOM is skipped wherever
// it stands before the table; an export by another separator is refused by
// both readers with a text that names it and the form a row must have.
void TestCaltable::filesOfOtherPrograms_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("status");
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray rows = "0=\t0.0\t0.1\r\n1=\t0.1\t0.2\r\n";
    const QString form = QStringLiteral(": НУЖНО «НОМЕР ОБЪЁМ ПРИРАЩЕНИЕ» ЧЕРЕЗ ПРОБЕЛ, "
                                        "НАПРИМЕР «0 0.0 0.0»");
    QTest::newRow("BOM before the zero line") << bom + rows << QString();
    QTest::newRow("BOM before comments, in UTF-8") << bom + "; Резервуар 4\r\n" + rows << QString();
    QTest::newRow("BOM after a header") << "; tank 4\r\n" + bom + rows << QString();
    QTest::newRow("export by semicolons") << QByteArray("0;0,0;0,1\r\n1;0,1;0,2\r\n")
                                          << QStringLiteral("РАЗДЕЛИТЕЛЬ «;» В СТРОКЕ 1") + form;
    QTest::newRow("export by semicolons, with a heading")
        << QByteArray("N;V;dV\r\n0;0;0\r\n") << QStringLiteral("РАЗДЕЛИТЕЛЬ «;» В СТРОКЕ 2") + form;
    QTest::newRow("CSV by commas") << QByteArray("0,0.0,0.1\r\n1,0.1,0.2\r\n")
                                   << QStringLiteral("РАЗДЕЛИТЕЛЬ «,» (CSV) В СТРОКЕ 1") + form;
    QTest::newRow("CSV by commas and blanks")
        << QByteArray("; tank\r\n0, 0.0, 0.1\r\n1, 0.1, 0.2\r\n")
        << QStringLiteral("РАЗДЕЛИТЕЛЬ «,» (CSV) В СТРОКЕ 2") + form;
    // A spreadsheet that puts every value in double quotes.
    QTest::newRow("CSV by commas, quoted")
        << QByteArray("\"0\",\"0.0\",\"0.0\"\r\n\"1\",\"0.1\",\"0.2\"\r\n")
        << QStringLiteral("РАЗДЕЛИТЕЛЬ «,» (CSV, В КАВЫЧКАХ) В СТРОКЕ 1") + form;
    QTest::newRow("CSV by commas, quoted, with a heading")
        << QByteArray("\"N\",\"V\",\"dV\"\r\n\"0\",\"0.0\",\"0.0\"\r\n")
        << QStringLiteral("РАЗДЕЛИТЕЛЬ «,» (CSV, В КАВЫЧКАХ) В СТРОКЕ 2") + form;
    QTest::newRow("export by semicolons, quoted")
        << QByteArray("\"0\";\"0,0\";\"0,1\"\r\n")
        << QStringLiteral("РАЗДЕЛИТЕЛЬ «;» (В КАВЫЧКАХ) В СТРОКЕ 1") + form;
    QTest::newRow("blanks, quoted") << QByteArray("\"0\" \"0.0\" \"0.1\"\r\n")
                                    << QStringLiteral("ЗНАЧЕНИЯ В КАВЫЧКАХ В СТРОКЕ 1") + form;
    // A decimal comma inside a value is no separator.
    QTest::newRow("decimal commas") << QByteArray("0 0,0 0,1\r\n1 0,1 0,2\r\n") << QString();
    QTest::newRow("export by tabs, four columns")
        << QByteArray("0\t0.0\t0.1\t1\r\n1\t0.1\t0.2\t1\r\n")
        << QStringLiteral("РАЗДЕЛИТЕЛЬ ТАБУЛЯЦИЯ В СТРОКЕ 1") + form;
    QByteArray huge = rows;
    while (huge.size() <= caltable::kMaxTableFileBytes)
        huge += "; padding of a file far larger than any table\r\n";
    QTest::newRow("larger than any table") << huge << QStringLiteral("ФАЙЛ СЛИШКОМ ВЕЛИК");
}

void TestCaltable::filesOfOtherPrograms() {
    QFETCH(QByteArray, text);
    QFETCH(QString, status);
    QString converting;
    const QByteArray image = converted(text, &converting);
    const auto t = parsed(text);
    if (status.isEmpty()) {
        QCOMPARE(image, rowBytes(0, 1000) + rowBytes(1000, 2000));
        QCOMPARE(t.rows, 2);
        return;
    }
    QCOMPARE(image, QByteArray("failed"));
    QCOMPARE(converting, status);
    if (status != QStringLiteral("ФАЙЛ СЛИШКОМ ВЕЛИК"))
        QCOMPARE(t.status, status);
}

void TestCaltable::valuesTooLargeForTheController_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("why");
    QTest::newRow("increment 6.5536") << QByteArray("0=\t0.0\t\t0.0\n1=\t1.0\t\t6.5536\n")
                                      << "ПРИРАЩЕНИЕ «6.5536» БОЛЬШЕ 6.5535";
    QTest::newRow("volume past 32 bits")
        << QByteArray("0=\t0.0\t\t0.0\n1=\t429496.7296\t\t0.0\n")
        << "ОБЪЁМ «429496.7296» БОЛЬШЕ 429496.7295";
}

void TestCaltable::valuesTooLargeForTheController() {
    QFETCH(QByteArray, text);
    QString status;
    QCOMPARE(converted(text, &status), QByteArray("failed"));
    QFETCH(QString, why);
    const QString said = QStringLiteral("ОШИБКА В ДАННЫХ СТРОКИ № 1 (СТРОКА ФАЙЛА 2): ") + why;
    QCOMPARE(status, said);
    const auto t = parsed(text);
    QCOMPARE(t.rows, -1);
    QCOMPARE(t.status, said);
    // The largest values that fit are taken.
    QCOMPARE(converted("0=\t429496.7295\t\t6.5535\n"), rowBytes(0xFFFFFFFFu, 0xFFFF));
}

void TestCaltable::editorFixesARow() {
    QStringList lines{"0=\t0.1\t0.1", "2=\t0.1\t0.1", "2=\t0.3\t0.1"};
    int calls = 0;
    const auto t = caltable::ParseTableText(
        lines, [&](caltable::EditorMode mode, QStringList& l, int line, int row) {
            ++calls;
            if (mode != caltable::EditorMode::EditRow || line != 0 || row != 1)
                return false;
            l[1] = QStringLiteral("1=\t0.2\t0.1");
            return true;
        });
    QCOMPARE(calls, 1);
    QCOMPARE(t.rows, 3);
    QCOMPARE(t.volumes[1], 2000u);
}

void TestCaltable::fileNames() {
    QCOMPARE(caltable::tableFileName(1, false), QStringLiteral("Tank_ 1.vlm"));
    QCOMPARE(caltable::tableFileName(16, false), QStringLiteral("Tank_16.vlm"));
    QCOMPARE(caltable::tableFileName(1, true), QStringLiteral("Tank_ 1R.vlm"));
}

void TestCaltable::previewAndLevel() {
    QStringList lines{";"};
    for (int row = 0; row < 111; ++row) // a lying cylinder: wide in the middle
        lines << QStringLiteral("%1=\t%2\t\t%3")
                     .arg(row)
                     .arg(row * row * 0.01)
                     .arg(0.001 + 0.0001 * (55 - std::abs(55 - row)));
    double scale = 0;
    const QImage image = caltable::DrawTablePreview(lines, 1, scale);
    QCOMPARE(image.size(), QSize(335, 335));
    QCOMPARE(scale, 333.0 / 111);
    int teal = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            teal += c == qRgb(0, 128, 128);
            blue += c == qRgb(0, 0, 255);
        }
    QVERIFY(teal > 100);
    QVERIFY(blue > 100);
    QCOMPARE(caltable::levelAt(334, scale), 0);
    QCOMPARE(caltable::levelAt(334 - 30, scale), 10);
    QCOMPARE(caltable::levelAt(10, 0.0), -1);
}

void TestCaltable::saveAsksBeforeWritingReadOnly() {
    QTemporaryDir dir;
    const QString path = putFile(dir, "t.vlm", "old\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser);
    int asked = 0;
    QVERIFY(!caltable::saveTable({"new"}, path, [&] {
        ++asked;
        return false;
    }));
    QCOMPARE(asked, 1);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("old\r\n"));
    f.close();
    QVERIFY(caltable::saveTable({"new"}, path, [&] {
        ++asked;
        return true;
    }));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("new\r\n"));
    QVERIFY(QFile::permissions(path) & QFileDevice::WriteOwner);
}

// A table read from the controller, and edited lines stored, on a disk
// where nothing more fits: the old file stays and the reason is said.
void TestCaltable::writersOnAFullDisk_data() {
    QTest::addColumn<bool>("edited");
    QTest::newRow("table read from the controller") << false;
    QTest::newRow("edited lines stored") << true;
}

void TestCaltable::writersOnAFullDisk() {
    QFETCH(bool, edited);
    FullDisk disk;
    const QString path = disk.filePath(QStringLiteral("Tank_ 1.vlm"));
    const QByteArray old = ";\r\n0=\t0.0000\t\t0.0010\r\n";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(old), old.size());
    f.close();
    disk.fill();
    QString error;
    const bool written =
        edited ? caltable::saveTable({"0=\t1.0\t1.0"}, path, {}, &error)
               : caltable::WriteTableFile(rowBytes(0, 10) + rowBytes(10, 10), 1, path, &error);
    disk.release();
    QVERIFY(!written);
    QVERIFY2(error.endsWith(app::fileFaultText(disk.expectedFault())), qPrintable(error));
    QCOMPARE(fileBytes(path), old);
    QCOMPARE(disk.files(), QStringList{QStringLiteral("Tank_ 1.vlm")});
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestCaltable files;
    TestTransfer transfer;
    TestTableProgramming programming;
    TestTankRows rows;
    return QTest::qExec(&files, argc, argv) + QTest::qExec(&transfer, argc, argv) +
           QTest::qExec(&programming, argc, argv) + QTest::qExec(&rows, argc, argv);
}
#include "tst_caltable.moc"
