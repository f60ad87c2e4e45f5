#include "tst_databases.h"

#include "common/FullDisk.h"
#include "common/TestFiles.h"
#include "db/SectionBuilder.h"
#include "db/UserDatabase.h"

#include <QDir>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Fields = QList<std::pair<QByteArray, int>>;
using Records = QList<QMap<QByteArray, QByteArray>>;

QString table(const QString& path, const Fields& fields, const Records& records) {
    db::DbfTable t(path);
    for (const auto& [name, length] : fields)
        t.AddField(name, 'C', length, 0);
    for (const auto& r : records) {
        const int i = t.AppendBlank();
        for (auto it = r.begin(); it != r.end(); ++it)
            t.SetField(it.key(), it.value());
        t.WriteRecord(i);
    }
    return path;
}

Fields factoryFields(bool withAddress = false) {
    Fields f{{"N_DU", 5}, {"L_SENS", 5}};
    for (int k = 1; k <= 8; ++k)
        f << std::pair(db::numbered("ID_T", k), 16) << std::pair(db::numbered("H_T", k), 5);
    if (withAddress)
        f << std::pair(QByteArray("S_ADR"), 3);
    return f;
}

QByteArray id(int n, const char* family = "10") {
    return QByteArray(family) + QByteArray::number(n, 16).toUpper().rightJustified(14, '0');
}

// A factory record with thermometers at 300, 1200, ...
QMap<QByteArray, QByteArray> factoryRecord(const QByteArray& number, const QList<QByteArray>& ids) {
    QMap<QByteArray, QByteArray> r{{"N_DU", number}, {"L_SENS", "3000"}};
    for (int k = 0; k < ids.size(); ++k) {
        r[db::numbered("ID_T", k + 1)] = ids[k];
        r[db::numbered("H_T", k + 1)] = QByteArray::number(300 + 900 * k);
    }
    return r;
}

QString factory(const QTemporaryDir& dir, const char* name = "factory.dbf") {
    return table(dir.filePath(QLatin1String(name)), factoryFields(),
                 {factoryRecord("12", {id(1), id(2), id(3)}),
                  factoryRecord("007", {id(4), "28AAAAAAAAAAAA01", id(5), id(6)}),
                  factoryRecord("31", {id(7), id(8)})});
}

db::UserFields someFields(int address) {
    db::UserFields f;
    f.address = address;
    f.size = QStringLiteral("2500");
    f.correction = QStringLiteral("-1.5");
    f.criterion = QStringLiteral("3.5");
    for (int k = 0; k < 3; ++k) {
        f.thermometerIds[k] = QString::fromLatin1(id(10 + k));
        f.thermometerHeights[k] = QString::number(200 + 100 * k);
    }
    f.meterIds[0] = QStringLiteral("A100000000000001");
    f.meterHeights[0] = QStringLiteral("150");
    f.resetOnDensity01 = true;
    f.separate = true;
    return f;
}

QString python() {
    // Debian's own, with its packages.
    const QString p =
        QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    QProcess probe;
    probe.start(p, {QStringLiteral("-c"), QStringLiteral("import dbfread")});
    return !p.isEmpty() && probe.waitForFinished() && probe.exitCode() == 0 ? p : QString();
}

// Field names, then each record, as dbfread reads them.
QString dbfreadText(const QString& path) {
    QProcess p;
    p.start(python(), {QStringLiteral("-c"),
                       QStringLiteral("import dbfread,sys\n"
                                      "t=dbfread.DBF(sys.argv[1],char_decode_errors='strict')\n"
                                      "print('|'.join(t.field_names))\n"
                                      "for r in t: print('|'.join(r.values()))"),
                       path});
    p.waitForFinished();
    return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QStringLiteral("!");
}

} // namespace

void TestDatabases::factoryBaseAtStartUp() {
    QTemporaryDir dir;
    // A user file (with S_ADR) is never taken by the scan.
    table(dir.filePath(QStringLiteral("a_user.dbf")), factoryFields(true),
          {factoryRecord("1", {id(1)})});
    QCOMPARE(db::FindFactoryBase(dir.path()), QString());
    QVERIFY(db::CheckStructure(dir.filePath(QStringLiteral("a_user.dbf")), false, false));
    const QString f = factory(dir, "b_factory.DBF");
    QCOMPARE(db::FindFactoryBase(dir.path()), f);
    putFile(dir, "c_junk.dbf", "not a table at all");
    QCOMPARE(db::FindFactoryBase(dir.path()), f);
}

void TestDatabases::structure_data() {
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<bool>("user");
    QTest::addColumn<bool>("scanning");
    QTest::addColumn<bool>("passes");
    Fields userOnes = factoryFields(true);
    for (int k = 1; k <= 3; ++k)
        userOnes << std::pair(db::numbered("ID_D", k), 16) << std::pair(db::numbered("H_D", k), 5);
    for (const char* n : {"S_ADD", "UP_CRIT", "RST_B2", "RST_DN", "RETR", "ML_DIF"})
        userOnes << std::pair(QByteArray(n), 7);
    Fields noH8 = factoryFields();
    noH8.removeIf([](const auto& f) { return f.first == "H_T8"; });
    Fields noMl = userOnes;
    noMl.removeLast();
    Fields lower = factoryFields();
    lower[0].first = "n_du";
    QTest::newRow("factory") << factoryFields() << false << true << true;
    QTest::newRow("user as user") << userOnes << true << false << true;
    QTest::newRow("user while scanning") << userOnes << false << true << false;
    QTest::newRow("factory as user") << factoryFields() << true << false << false;
    QTest::newRow("without H_T8") << noH8 << false << false << false;
    QTest::newRow("user without ML_DIF") << noMl << true << false << false;
    QTest::newRow("names compared exactly") << lower << false << false << false;
}

void TestDatabases::structure() {
    QFETCH(Fields, fields);
    QFETCH(bool, user);
    QFETCH(bool, scanning);
    QFETCH(bool, passes);
    QTemporaryDir dir;
    const QString path = table(dir.filePath(QStringLiteral("t.dbf")), fields, {});
    QCOMPARE(db::CheckStructure(path, user, scanning), passes);
}

void TestDatabases::lookupByNumber_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("12") << "12" << QStringList{id(1), id(2), id(3)};
    QTest::newRow("blanks around") << " 12 " << QStringList{id(1), id(2), id(3)};
    QTest::newRow("7 is not 007") << "7" << QStringList{};
    // Not starting with "10": skipped, the rest move down.
    QTest::newRow("007") << "007" << QStringList{id(4), id(5), id(6)};
}

void TestDatabases::lookupByNumber() {
    QFETCH(QString, number);
    QFETCH(QStringList, ids);
    QTemporaryDir dir;
    const db::FactoryRead r = db::FindFactoryByNumber(factory(dir), number, {});
    QVERIFY(r.opened);
    QStringList got;
    QStringList heights;
    if (r.record)
        for (const auto& [i, h] : db::factoryThermometers(*r.record)) {
            got << i;
            heights << h;
        }
    QCOMPARE(got, ids);
    if (number == QLatin1String("007"))
        QCOMPARE(heights, (QStringList{"300", "2100", "3000"}));
}

void TestDatabases::lookupByIdentifiers() {
    QTemporaryDir dir;
    const QString f = factory(dir);
    const auto r = db::FindFactoryByIds(f, {QString(), QStringLiteral(" ") + id(8)}, {});
    QVERIFY(r);
    QCOMPARE(r->number, QStringLiteral("31"));
    QCOMPARE(db::factoryNumber(*r), 31);
    QVERIFY(!db::FindFactoryByIds(f, {id(99)}, {}));
    QVERIFY(!db::FindFactoryByIds(f, {QString(), QString()}, {}));
    // A number that is not one counts as 1.
    db::FactoryRecord odd;
    odd.number = QStringLiteral("A7");
    QCOMPARE(db::factoryNumber(odd), 1);
}

void TestDatabases::lockedFileIsTriedTwice() {
    QTemporaryDir dir;
    const QString bad = putFile(dir, "held.dbf", QByteArray("\x03\x01\x02", 3));
    int prompts = 0;
    QVERIFY(!db::openDatabase(bad, [&] { ++prompts; }));
    QCOMPARE(prompts, 1);
    // A database gone away is not created again.
    QVERIFY(!db::openDatabase(dir.filePath(QStringLiteral("gone.dbf")), [&] { ++prompts; }));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("gone.dbf"))));
    QCOMPARE(prompts, 1);
}

void TestDatabases::newUserFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QVERIFY(db::CreateUserBase(path));
    const db::DbfTable t(path);
    QCOMPARE(t.fieldCount(), 32);
    QStringList names;
    int length = 1;
    for (int k = 0; k < t.fieldCount(); ++k) {
        names << QString::fromLatin1(t.fieldName(k));
        length += t.fieldLength(k);
    }
    QCOMPARE(names.mid(0, 6),
             (QStringList{"N_DU", "N_SENS", "L_SENS", "S_ADD", "UP_CRIT", "ID_T1"}));
    QCOMPARE(names.mid(26), (QStringList{"H_D3", "S_ADR", "RST_B2", "RST_DN", "RETR", "ML_DIF"}));
    const QByteArray bytes = fileBytes(path);
    QCOMPARE(quint8(bytes[8]) | quint8(bytes[9]) << 8, 32 * 32 + 33);
    QCOMPARE(quint8(bytes[10]) | quint8(bytes[11]) << 8, length);
    QVERIFY(db::CheckStructure(path, true, false));
}

void TestDatabases::saveAndLoad() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QCOMPARE(db::SaveUserRecord(path, someFields(4), 12, {}, {}).outcome, db::SaveOutcome::Saved);
    // Address 5 as typed is S_ADR 4.
    const db::LoadResult r = db::LoadUserRecord(path, 4, {});
    QCOMPARE(r.outcome, db::LoadOutcome::Loaded);
    QCOMPARE(*r.values.thermometerIds[2], QString::fromLatin1(id(12)));
    QCOMPARE(*r.values.thermometerHeights[2], 400);
    QVERIFY(!r.values.thermometerIds[3]);
    QCOMPARE(*r.values.meterIds[0], QStringLiteral("A100000000000001"));
    QCOMPARE(*r.values.meterHeights[0], 150);
    QCOMPARE(*r.values.size, 2500);
    QCOMPARE(*r.values.correction, QStringLiteral("-1.5"));
    QCOMPARE(*r.values.criterion, QStringLiteral("3.5"));
    QCOMPARE(*r.values.resetOnLinkLoss, false);
    QCOMPARE(*r.values.resetOnDensity01, true);
    QCOMPARE(*r.values.separate, true);
    QCOMPARE(db::LoadUserRecord(path, 5, {}).outcome, db::LoadOutcome::NoSuchAddress);
    db::DbfTable t(path);
    QVERIFY(t.ReadRecord(0));
    QCOMPARE(t.GetField("N_DU"), QByteArray("12   "));
    // Without a factory number N_DU stays empty.
    QCOMPARE(db::SaveUserRecord(path, someFields(9), 1, {}, {}).outcome, db::SaveOutcome::Saved);
    db::DbfTable again(path);
    QVERIFY(again.ReadRecord(1));
    QCOMPARE(again.GetField("N_DU"), QByteArray("     "));
    // A factory database is no user file.
    QTemporaryDir other;
    QCOMPARE(db::SaveUserRecord(factory(other), someFields(1), 0, {}, {}).outcome,
             db::SaveOutcome::BadStructure);
    QCOMPARE(db::LoadUserRecord(factory(other), 1, {}).outcome, db::LoadOutcome::BadStructure);
}

void TestDatabases::loadRules_data() {
    QTest::addColumn<QByteArray>("idText");
    QTest::addColumn<QByteArray>("height");
    QTest::addColumn<QByteArray>("reset");
    QTest::addColumn<bool>("idTaken");
    QTest::addColumn<bool>("heightTaken");
    QTest::addColumn<bool>("resetTaken");
    QTest::newRow("all good") << id(1) << QByteArray("300") << QByteArray("1") << true << true
                              << true;
    QTest::newRow("15 characters")
        << id(1).left(15) << QByteArray("300") << QByteArray("0") << false << false << true;
    QTest::newRow("height not a number")
        << id(1) << QByteArray("3x") << QByteArray("") << true << false << false;
    QTest::newRow("height zero") << id(1) << QByteArray("0") << QByteArray("-1") << true << false
                                 << false;
}

void TestDatabases::loadRules() {
    QFETCH(QByteArray, idText);
    QFETCH(QByteArray, height);
    QFETCH(QByteArray, reset);
    QFETCH(bool, idTaken);
    QFETCH(bool, heightTaken);
    QFETCH(bool, resetTaken);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QVERIFY(db::CreateUserBase(path));
    {
        db::DbfTable t(path);
        const int i = t.AppendBlank();
        t.SetField("S_ADR", "0");
        t.SetField("ID_T1", idText);
        t.SetField("H_T1", height);
        t.SetField("RST_B2", reset);
        QVERIFY(t.WriteRecord(i));
    }
    const db::LoadResult r = db::LoadUserRecord(path, 0, {});
    QCOMPARE(r.outcome, db::LoadOutcome::Loaded);
    QCOMPARE(r.values.thermometerIds[0].has_value(), idTaken);
    QCOMPARE(r.values.thermometerHeights[0].has_value(), heightTaken);
    QCOMPARE(r.values.resetOnLinkLoss.has_value(), resetTaken);
    QVERIFY(!r.values.size);
    QVERIFY(!r.values.correction);
}

void TestDatabases::secondSaveAsks() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QCOMPARE(db::SaveUserRecord(path, someFields(4), 0, {}, {}).outcome, db::SaveOutcome::Saved);
    const QByteArray before = fileBytes(path);
    int asked = 0;
    db::UserFields changed = someFields(4);
    changed.size = QStringLiteral("3100");
    QCOMPARE(db::SaveUserRecord(path, changed, 0, [&] { return ++asked, false; }, {}).outcome,
             db::SaveOutcome::Declined);
    QCOMPARE(asked, 1);
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(db::SaveUserRecord(path, changed, 0, [&] { return ++asked, true; }, {}).outcome,
             db::SaveOutcome::Saved);
    QCOMPARE(asked, 2);
    db::DbfTable t(path);
    QCOMPARE(t.RecordCount(), 1);
    QVERIFY(t.ReadRecord(0));
    QCOMPARE(t.GetField("L_SENS"), QByteArray("3100 "));
}

void TestDatabases::interruptedSave_data() {
    QTest::addColumn<int>("written");
    QTest::addColumn<bool>("fileExisted");
    for (int k : {0, 20, 600, 1100, -30, -1}) {
        QTest::newRow(qPrintable(QStringLiteral("existing file, cut at %1").arg(k))) << k << true;
        QTest::newRow(qPrintable(QStringLiteral("new file, cut at %1").arg(k))) << k << false;
    }
}

void TestDatabases::interruptedSave() {
    QFETCH(int, written);
    QFETCH(bool, fileExisted);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    if (fileExisted)
        QCOMPARE(db::SaveUserRecord(path, someFields(1), 0, {}, {}).outcome,
                 db::SaveOutcome::Saved);
    const QByteArray before = fileBytes(path);
    // The machine stops after part of the new file went to the disk.
    const db::FileWriter crash = [written](const QString& p, const QByteArray& bytes) {
        QSaveFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes.left(written >= 0 ? written : bytes.size() + written));
        f.cancelWriting();
        return app::FileResult{app::FileFault::NoSpace, p};
    };
    QCOMPARE(db::SaveUserRecord(path, someFields(2), 0, {}, {}, crash).outcome,
             db::SaveOutcome::Failed);
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QFile::exists(path), fileExisted);
    if (fileExisted && !python().isEmpty())
        QVERIFY(dbfreadText(path).contains(QStringLiteral("|1|")));
}

void TestDatabases::peerToolsReadWhatIsSaved() {
    if (python().isEmpty())
        QSKIP("python3-dbfread is not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QCOMPARE(db::SaveUserRecord(path, someFields(4), 12, {}, {}).outcome, db::SaveOutcome::Saved);
    const QStringList lines = dbfreadText(path).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("N_DU|N_SENS|L_SENS|S_ADD|UP_CRIT|ID_T1|")));
    const QStringList values = lines[1].split(QLatin1Char('|'));
    QCOMPARE(values.size(), 32);
    QCOMPARE(values[0], QStringLiteral("12"));
    QCOMPARE(values[2], QStringLiteral("2500"));
    QCOMPARE(values[3], QStringLiteral("-1.5"));
    QCOMPARE(values[5], QString::fromLatin1(id(10)));
    QCOMPARE(values[27], QStringLiteral("4"));
    QCOMPARE(values.mid(28), (QStringList{"0", "1", "0", "1"}));
    const QString dbfdump = QStandardPaths::findExecutable(QStringLiteral("dbfdump"));
    if (dbfdump.isEmpty())
        QSKIP("shapelib's dbfdump is not installed");
    QProcess p;
    p.start(dbfdump, {path});
    QVERIFY(p.waitForFinished());
    const QStringList dumped =
        QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(dumped.size(), 2);
    QCOMPARE(dumped[0].simplified().split(QLatin1Char(' ')).size(), 32);
    QVERIFY(dumped[1].contains(QString::fromLatin1(id(12))));
    QVERIFY(dumped[1].contains(QStringLiteral("-1.5")));
}

void TestDatabases::peerToolsFileLoads() {
    const QString dbfcreate = QStandardPaths::findExecutable(QStringLiteral("dbfcreate"));
    const QString dbfadd = QStandardPaths::findExecutable(QStringLiteral("dbfadd"));
    if (dbfcreate.isEmpty() || dbfadd.isEmpty())
        QSKIP("shapelib's dbfcreate/dbfadd are not installed");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("peer.dbf"));
    QStringList create{path};
    QStringList add{path};
    for (const db::FieldSpec& f : db::userFields())
        create << QStringLiteral("-s") << QString::fromLatin1(f.name) << QString::number(f.length);
    QVERIFY(QProcess::execute(dbfcreate, create) == 0);
    // A record as another tool writes it: values in field order.
    QMap<QByteArray, QString> values{
        {"N_DU", "77"},  {"L_SENS", "4000"}, {"S_ADD", "2.5"}, {"UP_CRIT", "4"}, {"ID_T1", id(21)},
        {"H_T1", "350"}, {"ID_T2", id(22)},  {"H_T2", "1250"}, {"S_ADR", "6"},   {"RST_B2", "1"},
        {"RST_DN", "0"}, {"RETR", "1"},      {"ML_DIF", "0"}};
    for (const db::FieldSpec& f : db::userFields())
        add << values.value(f.name);
    QVERIFY(QProcess::execute(dbfadd, add) == 0);
    const db::LoadResult r = db::LoadUserRecord(path, 6, {});
    QCOMPARE(r.outcome, db::LoadOutcome::Loaded);
    QCOMPARE(*r.values.thermometerIds[1], QString::fromLatin1(id(22)));
    QCOMPARE(*r.values.thermometerHeights[1], 1250);
    QVERIFY(!r.values.thermometerIds[2]);
    QCOMPARE(*r.values.size, 4000);
    QCOMPARE(*r.values.correction, QStringLiteral("2.5"));
    QCOMPARE(*r.values.resetOnLinkLoss, true);
    QCOMPARE(*r.values.propagate, true);
    QCOMPARE(*r.values.separate, false);
    // And a save into the peer's file keeps its other record readable.
    QCOMPARE(db::SaveUserRecord(path, someFields(1), 0, {}, {}).outcome, db::SaveOutcome::Saved);
    QCOMPARE(db::LoadUserRecord(path, 6, {}).outcome, db::LoadOutcome::Loaded);
    if (!python().isEmpty())
        QCOMPARE(dbfreadText(path).count(QLatin1Char('\n')), 3);
}

namespace {

struct PeerRecord {
    int address;
    int size;
    bool deleted;
};

// A user file made by shapelib, S_ADR addressWidth wide; records another
// program deleted carry the mark in their first byte.
QString peerUserFile(const QTemporaryDir& dir, int addressWidth, const QList<PeerRecord>& records) {
    const QString dbfcreate = QStandardPaths::findExecutable(QStringLiteral("dbfcreate"));
    const QString dbfadd = QStandardPaths::findExecutable(QStringLiteral("dbfadd"));
    if (dbfcreate.isEmpty() || dbfadd.isEmpty())
        return {};
    const QString path = dir.filePath(QStringLiteral("peer.dbf"));
    QStringList create{path};
    for (const db::FieldSpec& f : db::userFields())
        create << QStringLiteral("-s") << QString::fromLatin1(f.name)
               << QString::number(f.name == "S_ADR" ? addressWidth : f.length);
    if (QProcess::execute(dbfcreate, create) != 0)
        return {};
    for (const PeerRecord& r : records) {
        QStringList add{path};
        for (const db::FieldSpec& f : db::userFields())
            add << (f.name == "S_ADR"    ? QString::number(r.address)
                    : f.name == "L_SENS" ? QString::number(r.size)
                                         : QString());
        if (QProcess::execute(dbfadd, add) != 0)
            return {};
    }
    QByteArray bytes = fileBytes(path);
    const int header = quint8(bytes[8]) | quint8(bytes[9]) << 8;
    const int length = quint8(bytes[10]) | quint8(bytes[11]) << 8;
    for (int i = 0; i < records.size(); ++i)
        if (records[i].deleted)
            bytes[header + i * length] = '*';
    putFile(dir, "peer.dbf", bytes);
    return path;
}

} // namespace

Q_DECLARE_METATYPE(PeerRecord)

// Lookups never see a deleted record, a save never revives one, and a value
// longer than its field is refused, not cut into another value.
void TestDatabases::deletedRecordsOfPeerTools_data() {
    QTest::addColumn<int>("addressWidth");
    QTest::addColumn<QList<PeerRecord>>("records");
    QTest::addColumn<int>("loadedSize"); // 0: not found
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("savedAt"); // -1: refused
    QTest::newRow("deleted before a live one")
        << 3 << QList<PeerRecord>{{5, 1111, true}, {5, 4000, false}} << 4000 << 5 << 1;
    QTest::newRow("only a deleted one") << 3 << QList<PeerRecord>{{5, 1111, true}} << 0 << 5 << 1;
    QTest::newRow("deleted after a live one")
        << 3 << QList<PeerRecord>{{5, 4000, false}, {5, 1111, true}} << 4000 << 5 << 0;
    QTest::newRow("address wider than S_ADR C(2)")
        << 2 << QList<PeerRecord>{{7, 4000, false}} << 0 << 101 << -1;
}

void TestDatabases::deletedRecordsOfPeerTools() {
    QFETCH(int, addressWidth);
    QFETCH(QList<PeerRecord>, records);
    QFETCH(int, loadedSize);
    QFETCH(int, address);
    QFETCH(int, savedAt);
    QTemporaryDir dir;
    const QString path = peerUserFile(dir, addressWidth, records);
    if (path.isEmpty())
        QSKIP("shapelib's dbfcreate/dbfadd are not installed");
    const db::LoadResult loaded = db::LoadUserRecord(path, address, {});
    QCOMPARE(loaded.outcome, loadedSize ? db::LoadOutcome::Loaded : db::LoadOutcome::NoSuchAddress);
    if (loadedSize)
        QCOMPARE(*loaded.values.size, loadedSize);
    const QByteArray before = fileBytes(path);
    const db::SaveResult saved =
        db::SaveUserRecord(path, someFields(address), 0, [] { return true; }, {});
    if (savedAt < 0) {
        QCOMPARE(saved.outcome, db::SaveOutcome::TooLong);
        QCOMPARE(saved.problem, path + QStringLiteral(": ПОЛЕ S_ADR ДЛИНОЙ 2 НЕ ВМЕЩАЕТ ЗНАЧЕНИЕ"));
        QCOMPARE(fileBytes(path), before);
        return;
    }
    QCOMPARE(saved.outcome, db::SaveOutcome::Saved);
    db::DbfTable t(path);
    QCOMPARE(t.RecordCount(), std::max<int>(records.size(), savedAt + 1));
    // Deleted records stay deleted and as they were.
    for (int i = 0; i < records.size(); ++i) {
        QVERIFY(t.ReadRecord(i));
        QCOMPARE(t.isDeleted(), records[i].deleted);
        if (i != savedAt)
            QCOMPARE(t.GetField("L_SENS").trimmed(), QByteArray::number(records[i].size));
    }
    QVERIFY(t.ReadRecord(savedAt));
    QVERIFY(!t.isDeleted());
    QCOMPARE(t.GetField("L_SENS").trimmed(), QByteArray("2500"));
    QCOMPARE(*db::LoadUserRecord(path, address, {}).values.size, 2500);
    if (!python().isEmpty())
        QVERIFY(dbfreadText(path) != QStringLiteral("!"));
}

void TestDatabases::deletedFactoryRecordNotFound() {
    QTemporaryDir dir;
    const QString path = factory(dir);
    // The first "12" as another program deletes it; a live "12" after it.
    {
        db::DbfTable t(path);
        const int i = t.AppendBlank();
        t.SetField("N_DU", "12");
        t.SetField("ID_T1", id(40));
        QVERIFY(t.WriteRecord(i));
    }
    QByteArray bytes = fileBytes(path);
    const int header = quint8(bytes[8]) | quint8(bytes[9]) << 8;
    bytes[header] = '*';
    putFile(dir, "factory.dbf", bytes);
    const db::FactoryRead r = db::FindFactoryByNumber(path, QStringLiteral("12"), {});
    QVERIFY(r.record);
    QCOMPARE(r.record->ids[0], QString::fromLatin1(id(40)));
    QVERIFY(!db::FindFactoryByIds(path, {QString::fromLatin1(id(1))}, {}));
}

// A save killed at any moment: the file is the old one or the new one, and
// the next save removes whatever the killed one left beside it.
void TestDatabases::killedSaveLeavesNothingBehind() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QCOMPARE(db::SaveUserRecord(path, someFields(1), 0, {}, {}).outcome, db::SaveOutcome::Saved);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (int a = 2;; a = a % 100 + 2)
                db::SaveUserRecord(path, someFields(a), 0, [] { return true; }, {});
        }
        ::usleep(2000 + 1500 * round);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        db::DbfTable t(path);
        QVERIFY(t.IsOpen());
        QVERIFY(t.RecordCount() >= 1);
        QCOMPARE(db::SaveUserRecord(path, someFields(1), 0, [] { return true; }, {}).outcome,
                 db::SaveOutcome::Saved);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("user.dbf")});
    }
}

// A disk that fills up at any point of a save, into a new file or beside
// records already there: the save names the full disk, the file stays as
// it was, and nothing is left beside it.
void TestDatabases::saveOnAFullDiskAtEverySize_data() {
    QTest::addColumn<int>("records"); // in the file before the save
    QTest::addColumn<int>("freeBytes");
    for (const int records : {0, 3, 40})
        for (const int free : {0, 1000, 4096, 6000, 8192, 12288})
            QTest::addRow("%d records, %d bytes free", records, free) << records << free;
}

void TestDatabases::saveOnAFullDiskAtEverySize() {
    QFETCH(int, records);
    QFETCH(int, freeBytes);
    FullDisk disk;
    if (!disk.mounted())
        QSKIP("a disk of its own needs root");
    const QString path = disk.filePath(QStringLiteral("user.dbf"));
    for (int a = 0; a < records; ++a)
        QCOMPARE(db::SaveUserRecord(path, someFields(a), 0, {}, {}).outcome,
                 db::SaveOutcome::Saved);
    const QByteArray before = records > 0 ? fileBytes(path) : QByteArray();
    disk.fill();
    QFile filler(disk.filePath(QStringLiteral(".filler")));
    QVERIFY(filler.resize(std::max<qint64>(0, filler.size() - freeBytes)));
    const db::SaveResult r = db::SaveUserRecord(path, someFields(100), 0, {}, {});
    disk.release();
    const QStringList left = disk.files();
    if (r.outcome == db::SaveOutcome::Saved) {
        QCOMPARE(left, QStringList{QStringLiteral("user.dbf")});
        return;
    }
    QCOMPARE(r.outcome, db::SaveOutcome::Failed);
    QCOMPARE(r.problem, path + QStringLiteral(": НЕТ МЕСТА НА ДИСКЕ"));
    QCOMPARE(left, records > 0 ? QStringList{QStringLiteral("user.dbf")} : QStringList{});
    if (records > 0)
        QCOMPARE(fileBytes(path), before);
}

// Two windows saving at once each change a copy of their own.
void TestDatabases::workFileIsTheProcessOwn() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    QStringList seen;
    const auto r = db::SaveUserRecord(
        path, someFields(1), 0, {}, {}, [&](const QString& target, const QByteArray& bytes) {
            seen = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            return app::writeFileAtomically(target, bytes);
        });
    QCOMPARE(r.outcome, db::SaveOutcome::Saved);
    QVERIFY2(seen.contains(QStringLiteral(".user.dbf.%1-work.tmp")
                               .arg(QCoreApplication::applicationPid())),
             qPrintable(seen.join(QLatin1Char(' '))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("user.dbf")});
}

// Two processes saving into one file at once, again and again: the second
// waits for the first, and no record is lost.
void TestDatabases::concurrentSavesKeepEveryRecord() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    constexpr int kRounds = 50;
    for (int round = 0; round < kRounds; ++round) {
        pid_t children[2];
        for (int k = 0; k < 2; ++k) {
            children[k] = ::fork();
            QVERIFY(children[k] >= 0);
            if (children[k] == 0) {
                const auto r = db::SaveUserRecord(path, someFields(2 * round + k), 0, {}, {});
                ::_exit(r.outcome == db::SaveOutcome::Saved ? 0 : 1);
            }
        }
        for (pid_t child : children) {
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        QCOMPARE(db::DbfTable(path).RecordCount(), 2 * round + 2);
    }
    for (int address = 0; address < 2 * kRounds; ++address)
        QCOMPARE(db::LoadUserRecord(path, address, {}).outcome, db::LoadOutcome::Loaded);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("user.dbf")});
}

// The builder -------------------------------------------------------------------

namespace {

using Section = std::tuple<QByteArray, QByteArray, QByteArray, QList<QByteArray>>;

// Sections: number, length, tube length, then identifier/height pairs.
QString sections(const QTemporaryDir& dir, const QList<Section>& list, bool tubeField = true) {
    Fields fields{{"N_SENS", 5}, {"L_SENS", 5}};
    if (tubeField)
        fields << std::pair(QByteArray("L_TR"), 5);
    for (int k = 1; k <= 8; ++k)
        fields << std::pair(db::numbered("ID_T", k), 16) << std::pair(db::numbered("H_T", k), 5);
    Records records;
    for (const auto& [number, length, tube, places] : list) {
        QMap<QByteArray, QByteArray> r{{"N_SENS", number}, {"L_SENS", length}, {"L_TR", tube}};
        for (int k = 0; k + 1 < places.size(); k += 2) {
            r[db::numbered("ID_T", k / 2 + 1)] = places[k];
            r[db::numbered("H_T", k / 2 + 1)] = places[k + 1];
        }
        records << r;
    }
    return table(dir.filePath(QStringLiteral("sections.dbf")), fields, records);
}

QStringList column(const db::SectionBuilder& b, db::SectionBuilder::Column c) {
    QStringList out;
    for (const QStringList& row : b.rows())
        out << row.value(c);
    return out;
}

} // namespace

void TestSectionBuilder::sectionRows() {
    QTemporaryDir dir;
    const QString d =
        sections(dir, {{"5", "1000", "1100", {id(1), "100", id(2), "400", id(3), "700"}}});
    db::SectionBuilder b;
    QCOMPARE(b.add(d, QStringLiteral(" 5 ")), QString());
    QCOMPARE(b.rows().size(), 3);
    QCOMPARE(column(b, db::SectionBuilder::Id), (QStringList{id(3), id(2), id(1)}));
    QCOMPARE(column(b, db::SectionBuilder::Length), (QStringList{"", "", "1000"}));
    QCOMPARE(column(b, db::SectionBuilder::Tube), (QStringList{"", "", "1100"}));
    QCOMPARE(column(b, db::SectionBuilder::Number), (QStringList{"3", "2", "1"}));
    QCOMPARE(b.tubeLength(), QStringLiteral("1100"));
    // A number not in the database adds nothing and says nothing.
    QCOMPARE(b.add(d, QStringLiteral("6")), QString());
    QCOMPARE(b.sections(), 1);
}

void TestSectionBuilder::heightsAndTotals() {
    QTemporaryDir dir;
    const QString d =
        sections(dir, {{"1", "1000", "", {id(1), "100"}}, {"2", "2000", "", {id(2), "150"}}});
    db::SectionBuilder b;
    b.add(d, QStringLiteral("1"));
    b.add(d, QStringLiteral("2"));
    QCOMPARE(column(b, db::SectionBuilder::Height), (QStringList{"1150", "100"}));
    QCOMPARE(b.sensorLength(), QStringLiteral("3000"));
    b.setBottom(true);
    QCOMPARE(column(b, db::SectionBuilder::Height), (QStringList{"1650", "600"}));
    QCOMPARE(b.sensorLength(), QStringLiteral("3500"));
    QCOMPARE(b.tubeLength(), QStringLiteral("3500"));
}

void TestSectionBuilder::identifiersTaken_data() {
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<int>("rows");
    QTest::newRow("16 characters from 10") << id(1) << 2;
    QTest::newRow("15 characters") << id(1).left(15) << 1;
    QTest::newRow("16 characters from 28") << id(1, "28") << 1;
}

void TestSectionBuilder::identifiersTaken() {
    QFETCH(QByteArray, first);
    QFETCH(int, rows);
    QTemporaryDir dir;
    const QString d = sections(dir, {{"3", "1500", "", {first, "100", id(2), "600"}}});
    db::SectionBuilder b;
    b.add(d, QStringLiteral("3"));
    QCOMPARE(b.rows().size(), rows);
    // The lengths stay with the lowest row of the section, whatever it holds.
    QCOMPARE(b.rows().last().value(db::SectionBuilder::Length), QStringLiteral("1500"));
    QCOMPARE(b.rows().last().value(db::SectionBuilder::Section), QStringLiteral("3"));
    QCOMPARE(b.rows().first().value(db::SectionBuilder::Id), QString::fromLatin1(id(2)));
}

void TestSectionBuilder::numberingAndLimit() {
    QTemporaryDir dir;
    const QString d =
        sections(dir, {{"1", "1000", "", {id(1), "100", id(2), "300", id(3), "500"}}});
    db::SectionBuilder b;
    b.configure(QString(), QStringLiteral("2"));
    b.add(d, QStringLiteral("1"));
    QVERIFY(b.overLimit());
    QVERIFY(!b.canApply());
    b.toggleUse(1);
    QCOMPARE(column(b, db::SectionBuilder::Number), (QStringList{"2", "", "1"}));
    QVERIFY(b.canApply());
    b.toggleUse(1);
    QVERIFY(!b.canApply());
}

void TestSectionBuilder::withoutTubeField() {
    QTemporaryDir dir;
    const QString d = sections(dir, {{"1", "1000", "", {id(1), "100"}}}, false);
    db::SectionBuilder b;
    b.add(d, QStringLiteral("1"));
    QCOMPARE(b.rows().last().value(db::SectionBuilder::Tube), QString());
    QCOMPARE(b.tubeLength(), b.sensorLength());
}

void TestSectionBuilder::settings_data() {
    QTest::addColumn<QString>("underFuel");
    QTest::addColumn<QString>("termNum");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("limit");
    QTest::newRow("missing") << ""
                             << "" << 500 << 8;
    QTest::newRow("negative") << "-5"
                              << "-1" << 500 << 8;
    QTest::newRow("more than the places") << "450"
                                          << "12" << 450 << 8;
    QTest::newRow("fewer") << "0"
                           << "5" << 0 << 5;
}

void TestSectionBuilder::settings() {
    QFETCH(QString, underFuel);
    QFETCH(QString, termNum);
    QFETCH(int, bottom);
    QFETCH(int, limit);
    db::SectionBuilder b;
    b.configure(underFuel, termNum);
    QCOMPARE(b.bottomLength(), bottom);
    QCOMPARE(b.thermometerLimit(), limit);
}

void TestSectionBuilder::moveAndDelete() {
    QTemporaryDir dir;
    const QString d = sections(
        dir, {{"1", "1000", "", {id(1), "100", id(2), "200"}}, {"2", "2000", "", {id(3), "150"}}});
    db::SectionBuilder b;
    b.add(d, QStringLiteral("1"));
    b.add(d, QStringLiteral("2"));
    // Section 2 (row 0) goes below section 1.
    b.clickSection(0);
    QCOMPARE(b.block(), (std::optional<std::pair<int, int>>({0, 0})));
    QVERIFY(!b.canMoveUp());
    QVERIFY(b.canMoveDown());
    b.moveDown();
    QCOMPARE(b.block(), (std::optional<std::pair<int, int>>({2, 2})));
    QCOMPARE(column(b, db::SectionBuilder::Section), (QStringList{"1", "1", "2"}));
    QCOMPARE(column(b, db::SectionBuilder::Height), (QStringList{"2200", "2100", "150"}));
    b.moveUp();
    QCOMPARE(column(b, db::SectionBuilder::Section), (QStringList{"2", "1", "1"}));
    // A click inside the block deselects it.
    b.clickSection(0);
    QVERIFY(!b.block());
    // Every section deleted: the next starts from the bottom again.
    b.clickSection(1);
    b.deleteBlock();
    QCOMPARE(b.sensorLength(), QStringLiteral("2000"));
    QCOMPARE(b.rows().size(), 1);
    b.clickSection(0);
    b.deleteBlock();
    QCOMPARE(b.sections(), 0);
    QCOMPARE(b.rows().size(), 1);
    b.add(d, QStringLiteral("2"));
    QCOMPARE(b.rows().size(), 1);
    QCOMPARE(b.sensorLength(), QStringLiteral("2000"));
}

void TestSectionBuilder::messages_data() {
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("mess");
    QTest::newRow("no file") << "missing.dbf"
                             << "1"
                             << "Исходный файл не найден";
    QTest::newRow("not a number") << "sections.dbf"
                                  << "1a"
                                  << "Неправильный номер секции";
    QTest::newRow("negative") << "sections.dbf"
                              << "-1"
                              << "Неправильный номер секции";
    QTest::newRow("empty table") << "empty.dbf"
                                 << "1"
                                 << "Исходный файл пустой";
    QTest::newRow("not a table") << "junk.dbf"
                                 << "1"
                                 << "Исходный файл не открывается";
}

void TestSectionBuilder::messages() {
    QFETCH(QString, database);
    QFETCH(QString, number);
    QFETCH(QString, mess);
    QTemporaryDir dir;
    sections(dir, {{"1", "1000", "", {id(1), "100"}}});
    table(dir.filePath(QStringLiteral("empty.dbf")), {{"N_SENS", 5}}, {});
    putFile(dir, "junk.dbf", "junk");
    db::SectionBuilder b;
    QCOMPARE(b.add(dir.filePath(database), number), mess);
    QCOMPARE(b.sections(), 0);
}
