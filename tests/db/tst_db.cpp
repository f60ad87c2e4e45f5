#include "common/FullDisk.h"
#include "common/TestFiles.h"
#include "db/DbfTable.h"
#include "tst_databases.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

int le16(const QByteArray& b, int at) {
    return quint8(b[at]) | (quint8(b[at + 1]) << 8);
}

// A table with fields N_DU(5), S_ADR(3), TID(16) and the given records.
QString sensorTable(const QTemporaryDir& dir, const QList<QByteArrayList>& records) {
    const QString path = dir.filePath(QStringLiteral("sens.dbf"));
    db::DbfTable t(path);
    t.AddField("N_DU", 'C', 5, 0);
    t.AddField("S_ADR", 'C', 3, 0);
    t.AddField("TID", 'C', 16, 0);
    for (const QByteArrayList& r : records) {
        const int i = t.AppendBlank();
        t.SetField("N_DU", r[0]);
        t.SetField("S_ADR", r[1]);
        t.SetField("TID", r[2]);
        t.WriteRecord(i);
    }
    return path;
}

} // namespace

class TestDb : public QObject {
    Q_OBJECT
  private slots:
    void createsEmptyTable();
    void addFieldsToEmptyTable();
    void addFieldKeepsRecords();
    void setAndGetField();
    void fieldIndexIsCaseSensitive();
    void recordBounds();
    void malformedHeaders_data();
    void malformedHeaders();
    void failedAddFieldKeepsTable();
    void failedAppendKeepsTable();
    void addFieldKinds_data();
    void addFieldKinds();
    void addFieldKeepsHeaderBytes();
    void readByDbfread();
    void readByDbfdump();
};

void TestDb::createsEmptyTable() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.dbf"));
    db::DbfTable t(path);
    QVERIFY(t.IsOpen());
    QCOMPARE(t.RecordCount(), 0);
    QCOMPARE(t.fieldCount(), 0);
    QByteArray want(32, '\0');
    want[0] = 3;
    want[1] = 98;
    want[2] = 2;
    want[3] = 4;
    want[8] = 33;
    want[10] = 1;
    QCOMPARE(fileBytes(path), want + "\x0D\x1A");
}

void TestDb::addFieldsToEmptyTable() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.dbf"));
    db::DbfTable t(path);
    QCOMPARE(t.AddField("N_DU", 'C', 5, 0), -1);
    QVERIFY(t.lastAddFieldSucceeded());
    t.AddField("S_ADR", 'C', 3, 0);
    const QByteArray b = fileBytes(path);
    QCOMPARE(le16(b, 8), 97);
    QCOMPARE(le16(b, 10), 9);
    QCOMPARE(b.size(), 97 + 1);
    QCOMPARE(b.mid(32, 5), QByteArray("N_DU\0", 5));
    QCOMPARE(b[32 + 11], 'C');
    QCOMPARE(int(b[32 + 16]), 5);
    QCOMPARE(b.mid(64, 6), QByteArray("S_ADR\0", 6));
    QCOMPARE(b[96], '\x0D');
    QCOMPARE(b[97], '\x1A');
    QVERIFY(!QFile::exists(path + QStringLiteral(".bak")));
    QCOMPARE(t.fieldCount(), 2);
    // A long name is cut to ten characters.
    t.AddField("ABCDEFGHIJKLMN", 'C', 2, 0);
    QCOMPARE(t.fieldName(2), QByteArray("ABCDEFGHIJ"));
}

void TestDb::addFieldKeepsRecords() {
    QTemporaryDir dir;
    const QString path =
        sensorTable(dir, {{"12345", "7", "10A1B2C3D4E5F601"}, {"2", "128", "short"}});
    db::DbfTable t(path);
    t.AddField("H", 'C', 4, 0);
    QCOMPARE(t.RecordCount(), 2);
    QVERIFY(t.ReadRecord(1));
    QCOMPARE(t.GetField("N_DU"), QByteArray("2    "));
    QCOMPARE(t.GetField("S_ADR"), QByteArray("128"));
    QCOMPARE(t.GetField("TID"), QByteArray("short           "));
    QCOMPARE(t.GetField("H"), QByteArray("    "));
    QVERIFY(t.ReadRecord(0));
    QCOMPARE(t.GetField("TID"), QByteArray("10A1B2C3D4E5F601"));
    const QByteArray b = fileBytes(path);
    QCOMPARE(le16(b, 10), 1 + 5 + 3 + 16 + 4);
    QCOMPARE(b.back(), '\x1A');
}

void TestDb::setAndGetField() {
    QTemporaryDir dir;
    const QString path = sensorTable(dir, {{"1", "2", "3"}});
    db::DbfTable t(path);
    QVERIFY(t.ReadRecord(0));
    // A value longer than its field is refused, never cut into another one.
    QVERIFY(!t.SetField("S_ADR", "123456"));
    QCOMPARE(t.GetField("S_ADR"), QByteArray("2  "));
    QVERIFY(t.SetField("S_ADR", "123"));
    QCOMPARE(t.GetField("S_ADR"), QByteArray("123"));
    QVERIFY(t.SetField("N_DU", "9"));
    QCOMPARE(t.GetField("N_DU"), QByteArray("9    "));
    t.SetField("NOPE", "x");
    QCOMPARE(t.GetField("NOPE"), QByteArray());
    QVERIFY(t.WriteRecord(0));
    db::DbfTable again(path);
    QVERIFY(again.ReadRecord(0));
    QCOMPARE(again.GetField("S_ADR"), QByteArray("123"));
    QCOMPARE(again.GetField("TID"), QByteArray("3               "));
}

void TestDb::fieldIndexIsCaseSensitive() {
    QTemporaryDir dir;
    db::DbfTable t(sensorTable(dir, {}));
    QCOMPARE(t.FieldIndex("N_DU"), 0);
    QCOMPARE(t.FieldIndex("TID"), 2);
    QCOMPARE(t.FieldIndex("n_du"), -1);
}

void TestDb::recordBounds() {
    QTemporaryDir dir;
    db::DbfTable t(sensorTable(dir, {{"1", "2", "3"}}));
    QVERIFY(!t.ReadRecord(-1));
    QVERIFY(!t.ReadRecord(1));
    QVERIFY(!t.WriteRecord(1));
    QCOMPARE(t.AppendBlank(), 1);
    QVERIFY(t.ReadRecord(1));
    QCOMPARE(t.GetField("N_DU"), QByteArray("     "));
}

void TestDb::malformedHeaders_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("shorter than a header") << db::emptyTableBytes().left(20);
    QByteArray b(32, '\0');
    b[0] = 3;
    b[8] = 65; // one descriptor
    b[10] = 3; // record length 3, but the field has 10
    QByteArray d(32, '\0');
    d.replace(0, 4, "NAME");
    d[11] = 'C';
    d[16] = 10;
    QTest::newRow("record shorter than its fields") << b + d + "\x0D\x1A";
    QByteArray past = b + d + "\x0D";
    past[8] = char(200);
    QTest::newRow("header past the end") << past;
    QByteArray many = b + d + "\x0D";
    many[10] = 11;
    many[4] = 5; // five records, none in the file
    QTest::newRow("more records than the file holds") << many;
    QByteArray zeroRecord = db::emptyTableBytes();
    zeroRecord[10] = 0;
    QTest::newRow("record length 0") << zeroRecord;
}

void TestDb::malformedHeaders() {
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = putFile(dir, "bad.dbf", bytes);
    db::DbfTable t(path);
    QVERIFY(!t.IsOpen());
    QCOMPARE(t.RecordCount(), 0);
    QVERIFY(!t.ReadRecord(0));
    QCOMPARE(t.AppendBlank(), -1);
    QCOMPARE(fileBytes(path), bytes); // nothing was written to it
}

void TestDb::failedAddFieldKeepsTable() {
    QTemporaryDir dir;
    // The rebuilt table does not fit on the disk.
    FullDisk disk;
    const QString path = disk.filePath(QStringLiteral("s.dbf"));
    QVERIFY(QFile::copy(sensorTable(dir, {{"1", "2", "3"}}), path));
    const QByteArray before = fileBytes(path);
    db::DbfTable t(path);
    disk.fill();
    t.AddField("NEW", 'C', 4, 0);
    disk.release();
    QVERIFY(!t.lastAddFieldSucceeded());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(disk.files(), QStringList{QStringLiteral("s.dbf")});
    QVERIFY(t.IsOpen());
    QVERIFY(t.ReadRecord(0));
    QCOMPARE(t.GetField("N_DU"), QByteArray("1    "));
}

// A write cut short (a full disk, a file size limit) must leave the table as
// it was, readable here and elsewhere.
void TestDb::failedAppendKeepsTable() {
    QTemporaryDir dir;
    const QString path = sensorTable(dir, {{"1", "2", "3"}, {"4", "5", "6"}});
    const QByteArray before = fileBytes(path);
    db::DbfTable t(path);
    rlimit old{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(before.size() + 3);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
    const int index = t.AppendBlank();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(index, -1);
    QCOMPARE(fileBytes(path).size(), before.size());
    QCOMPARE(fileBytes(path).toHex(), before.toHex());
    QCOMPARE(t.RecordCount(), 2);
    db::DbfTable again(path);
    QVERIFY(again.IsOpen());
    QCOMPARE(again.RecordCount(), 2);
    QVERIFY(again.ReadRecord(1));
    QCOMPARE(again.GetField("N_DU"), QByteArray("4    "));
    // With room again the append works and the end mark follows the record.
    QCOMPARE(t.AppendBlank(), 2);
    QCOMPARE(fileBytes(path).back(), '\x1A');
    QCOMPARE(fileBytes(path).size(), before.size() + 1 + 5 + 3 + 16);
}

void TestDb::addFieldKinds_data() {
    QTest::addColumn<char>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("added");
    QTest::newRow("date") << 'D' << 8 << true;
    QTest::newRow("logical") << 'L' << 1 << true;
    QTest::newRow("numeric") << 'N' << 6 << true;
    QTest::newRow("memo") << 'M' << 10 << false;
    QTest::newRow("unknown") << 'Q' << 4 << false;
    QTest::newRow("no length") << 'C' << 0 << false;
}

void TestDb::addFieldKinds() {
    QFETCH(char, type);
    QFETCH(int, length);
    QFETCH(bool, added);
    QTemporaryDir dir;
    const QString path = sensorTable(dir, {{"1", "2", "3"}});
    const QByteArray before = fileBytes(path);
    db::DbfTable t(path);
    t.AddField("EXTRA", type, length, 0);
    QCOMPARE(t.lastAddFieldSucceeded(), added);
    QVERIFY(!QFile::exists(path + QStringLiteral(".bak")));
    db::DbfTable again(path);
    QVERIFY(again.IsOpen());
    QVERIFY(again.ReadRecord(0));
    QCOMPARE(again.GetField("TID"), QByteArray("3").leftJustified(16, ' '));
    if (!added) {
        QCOMPARE(fileBytes(path), before);
        return;
    }
    QCOMPARE(again.fieldCount(), 4);
    QCOMPARE(again.fieldLength(3), length);
    QCOMPARE(le16(fileBytes(path), 10), 1 + 5 + 3 + 16 + length);
    QCOMPARE(again.GetField("EXTRA"), QByteArray(length, ' '));
}

// Bytes others write into the header (the date, the language driver 0xC9
// for CP1251) survive a new field, so other readers still decode the text.
void TestDb::addFieldKeepsHeaderBytes() {
    QTemporaryDir dir;
    const QString path = sensorTable(dir, {{"1", "2", "3"}});
    QByteArray bytes = fileBytes(path);
    bytes[1] = char(124);
    bytes[2] = char(11);
    bytes[3] = char(30);
    bytes[29] = char(0xC9);
    putFile(dir, "sens.dbf", bytes);
    db::DbfTable t(path);
    t.AddField("NEW", 'C', 4, 0);
    QVERIFY(t.lastAddFieldSucceeded());
    const QByteArray after = fileBytes(path);
    QCOMPARE(after.mid(1, 3), bytes.mid(1, 3));
    QCOMPARE(quint8(after[29]), quint8(0xC9));
    QCOMPARE(le16(after, 8), 32 + 4 * 32 + 1);
}

void TestDb::readByDbfread() {
    const QString python = QStandardPaths::findExecutable(
        QStringLiteral("python3"), {QStringLiteral("/usr/bin")}); // Debian's, with its packages
    QProcess probe;
    probe.start(python, {QStringLiteral("-c"), QStringLiteral("import dbfread")});
    if (python.isEmpty() || !probe.waitForFinished() || probe.exitCode() != 0)
        QSKIP("python3-dbfread is not installed");
    QTemporaryDir dir;
    const QString path =
        sensorTable(dir, {{"12345", "7", "10A1B2C3D4E5F601"}, {"2", "128", "short"}});
    QProcess p;
    p.start(python, {QStringLiteral("-c"),
                     QStringLiteral("import dbfread,sys\n"
                                    "t=dbfread.DBF(sys.argv[1],char_decode_errors='strict')\n"
                                    "print('|'.join(t.field_names))\n"
                                    "for r in t: print('|'.join(r.values()))"),
                     path});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QStringLiteral("N_DU|S_ADR|TID\n12345|7|10A1B2C3D4E5F601\n2|128|short\n"));
}

void TestDb::readByDbfdump() {
    const QString dbfdump = QStandardPaths::findExecutable(QStringLiteral("dbfdump"));
    if (dbfdump.isEmpty())
        QSKIP("shapelib's dbfdump is not installed");
    QTemporaryDir dir;
    const QString path =
        sensorTable(dir, {{"12345", "7", "10A1B2C3D4E5F601"}, {"2", "128", "short"}});
    QProcess p;
    p.start(dbfdump, {path});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].simplified(), QStringLiteral("N_DU S_ADR TID"));
    QCOMPARE(lines[1].simplified(), QStringLiteral("12345 7 10A1B2C3D4E5F601"));
    QCOMPARE(lines[2].simplified(), QStringLiteral("2 128 short"));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestDb table;
    TestDatabases databases;
    TestSectionBuilder builder;
    return QTest::qExec(&table, argc, argv) + QTest::qExec(&databases, argc, argv) +
           QTest::qExec(&builder, argc, argv);
}
#include "tst_db.moc"
