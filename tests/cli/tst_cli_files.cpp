#include "cli/tst_cli_files.h"

#include "cli/CliRun.h"
#include "cli/tst_polllog_cli.h"
#include "cli/tst_recordings.h"
#include "common/FullDisk.h"
#include "common/TestFiles.h"
#include "common/TestMain.h"
#include "db/DbfTable.h"
#include "db/SensorDatabase.h"
#include "db/UserDatabase.h"

#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const char* const kLine = "type 1\ncontroller 0 0 4\nsegments 2 100\n";
const char* const kLayout = "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n";

// The inputs a command reads, made in dir: words naming them are replaced.
QStringList withInputs(QStringList words, const QTemporaryDir& dir) {
    const QString scenario = putFile(dir, "line.txt", kLine);
    const QString config = putFile(dir, "o.cfg", kLayout);
    for (QString& w : words) {
        if (w == QLatin1String("SCENARIO")) {
            w = scenario;
        } else if (w == QLatin1String("CONFIG")) {
            w = config;
        } else if (w == QLatin1String("DGR")) {
            w = dir.filePath(QStringLiteral("in.dgr"));
            runCli({"--simulate", scenario, "--config", config, "diagram", "3", "--save", w});
        } else if (w == QLatin1String("SNAPSHOT")) {
            w = dir.filePath(QStringLiteral("in.json"));
            runCli({"--simulate", scenario, "--config", config, "snapshot", w});
        } else if (w == QLatin1String("VLM")) {
            w = putFile(dir, "in.vlm", "0=\t0.0\t0.1\r\n1=\t0.1\t0.2\r\n");
        } else if (w == QLatin1String("BIN")) {
            w = putFile(dir, "in.bin", QByteArray(60, '\1'));
        } else if (w == QLatin1String("HEX")) {
            w = putFile(dir, "in.hex", hexImage());
        }
    }
    return words;
}

} // namespace

void TestCliFiles::dbFind_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("found, one skipped")
        << "007" << 0
        << "1\t10000000000000A1\t100\n2\t10000000000000A3\t300\n3\t\t\n4\t\t\n5\t\t\n"
           "6\t\t\n7\t\t\n8\t\t\n"
        << "";
    QTest::newRow("7 is not 007") << "7" << 2 << ""
                                  << "НОМЕР 7 НЕ НАЙДЕН В БАЗЕ";
}

void TestCliFiles::dbFind() {
    QFETCH(QString, number);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("factory.dbf"));
    {
        db::DbfTable t(path);
        t.AddField("N_DU", 'C', 5, 0);
        for (int k = 1; k <= 8; ++k) {
            t.AddField(db::numbered("ID_T", k), 'C', 16, 0);
            t.AddField(db::numbered("H_T", k), 'C', 5, 0);
        }
        const int i = t.AppendBlank();
        t.SetField("N_DU", "007");
        const QByteArray ids[] = {"10000000000000A1", "28000000000000A2", "10000000000000A3"};
        for (int k = 0; k < 3; ++k) {
            t.SetField(db::numbered("ID_T", k + 1), ids[k]);
            t.SetField(db::numbered("H_T", k + 1), QByteArray::number(100 * (k + 1)));
        }
        t.WriteRecord(i);
    }
    const Run r = runCli({"db-find", path, number});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, out);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    // A user file or anything else is refused.
    const QString junk = putFile(dir, "junk.dbf", "junk");
    QCOMPARE(runCli({"db-find", junk, number}).exitCode, 2);
}

void TestCliFiles::fileCommands() {
    QTemporaryDir dir;
    // :LLAAAATT data CC, checksums as a generator writes them.
    const QString hex = putFile(dir, "fw.hex", ":06100000524556203100AC\n:00000001FF\n");
    Run r = runCli({QStringLiteral("hex-info"), hex});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith(QStringLiteral("start=01000\nend=01006\nversion=REV 1\ndate=")),
             qPrintable(r.out));
    const QString bin = dir.filePath(QStringLiteral("fw.bin"));
    QCOMPARE(runCli({QStringLiteral("hex-bin"), hex, bin}).exitCode, 0);
    QCOMPARE(fileBytes(bin), QByteArray("REV 1\0", 6));

    const QString table = putFile(dir, "t.vlm", ";\r\n0=\t0.0000\t\t0.0010\r\n1=\t1,5\t0.25\r\n");
    r = runCli({QStringLiteral("table-check"), table});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("rows=2\nheight=1\n"));
    const QString image = dir.filePath(QStringLiteral("t.bin"));
    QCOMPARE(runCli({QStringLiteral("table-bin"), table, image}).exitCode, 0);
    QCOMPARE(fileBytes(image), QByteArray("\0\0\0\0\0\x0A\0\0\x3A\x98\x09\xC4", 12));
    const QString back = dir.filePath(QStringLiteral("Tank_ 1.vlm"));
    QCOMPARE(runCli({QStringLiteral("table-write"), image, QStringLiteral("1"), back}).exitCode, 0);
    QVERIFY(fileBytes(back).endsWith("0=\t0.0000\t\t0.0010\r\n1=\t1.5000\t\t0.2500\r\n"));

    QByteArray dbf(32, '\0');
    dbf[0] = 3;
    dbf[4] = 1;  // one record
    dbf[8] = 97; // two fields
    dbf[10] = 9;
    QByteArray f1(32, '\0'), f2(32, '\0');
    f1.replace(0, 4, "N_DU");
    f1[11] = 'C';
    f1[16] = 5;
    f2.replace(0, 5, "S_ADR");
    f2[11] = 'C';
    f2[16] = 3;
    const QString table2 = putFile(dir, "s.dbf", dbf + f1 + f2 + "\x0D" + " 12   7  " + "\x1A");
    r = runCli({QStringLiteral("dbf-dump"), table2});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("*\tN_DU\tS_ADR\n\t12\t7\n"));
    // A deleted record is marked, not listed as live.
    QByteArray two = dbf;
    two[4] = 2;
    const QString table3 =
        putFile(dir, "d.dbf", two + f1 + f2 + "\x0D" + "*99   1  " + " 12   7  " + "\x1A");
    r = runCli({QStringLiteral("dbf-dump"), table3});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("*\tN_DU\tS_ADR\n*\t99\t1\n\t12\t7\n"));
}

void TestCliFiles::fileCommandFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing hex") << QStringList{"hex-info", "/nonexistent.hex"} << "ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("unsupported hex")
        << QStringList{"hex-info", "HEX:NOREV"} << "Этот файл программой не поддерживается";
    QTest::newRow("sensor file without data")
        << QStringList{"hex-info", "--sensor", "HEX:EMPTY"} << "в файле нет данных";
    QTest::newRow("bad table") << QStringList{"table-check", "VLM:BAD"}
                               << "ОШИБКА В ДАННЫХ СТРОКИ № 1";
    QTest::newRow("table from a spreadsheet, quoted")
        << QStringList{"table-check", "VLM:QUOTED"}
        << "orvant2-cli: РАЗДЕЛИТЕЛЬ «,» (CSV, В КАВЫЧКАХ) В СТРОКЕ 1: НУЖНО «НОМЕР ОБЪЁМ "
           "ПРИРАЩЕНИЕ» ЧЕРЕЗ ПРОБЕЛ, НАПРИМЕР «0 0.0 0.0»\n";
    QTest::newRow("table too big")
        << QStringList{"table-bin", "VLM:BIG", "OUT"} << "ОШИБКА В ДАННЫХ СТРОКИ № 0";
    QTest::newRow("missing dbf") << QStringList{"dbf-dump", "/nonexistent.dbf"}
                                 << "/nonexistent.dbf: ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("folder as a table") << QStringList{"table-check", "/tmp"} << "/tmp: НЕ ФАЙЛ";
    QTest::newRow("device as firmware")
        << QStringList{"hex-info", "/dev/null"} << "/dev/null: НЕ ФАЙЛ";
    QTest::newRow("folder as dbf") << QStringList{"dbf-dump", "/tmp"} << "/tmp: НЕ ФАЙЛ";
    QTest::newRow("folder as configuration")
        << QStringList{"--simulate", "--config", "/tmp", "status"} << "/tmp: НЕ ФАЙЛ";
    QTest::newRow("missing scenario") << QStringList{"--simulate", "/nonexistent.txt", "scan"}
                                      << "/nonexistent.txt: ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("extra word after scan")
        << QStringList{"--simulate", "scan", "extra"} << "scan: непонятно \"extra\"";
    QTest::newRow("broken dbf") << QStringList{"dbf-dump", "DBF:BROKEN"}
                                << "непригодная таблица dBASE";
    QTest::newRow("empty table image") << QStringList{"table-write", "BIN:EMPTY", "1", "OUT"}
                                       << "НЕ ТАБЛИЦА: 0 БАЙТ, А НУЖНО ПО 6 НА СТРОКУ";
    QTest::newRow("table image with a cut row")
        << QStringList{"table-write", "BIN:ODD", "1", "OUT"} << "НЕ ТАБЛИЦА: 13 БАЙТ";
    QTest::newRow("report neither PDF nor HTML")
        << QStringList{"report", "VLM:BAD", "OUT.doc"} << "ОТЧЁТ ТОЛЬКО .pdf ИЛИ .html";
    QTest::newRow("port for a file")
        << QStringList{"--simulate", "table-check", "x"} << "работает с файлами";
}

void TestCliFiles::fileCommandFailures() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    for (QString& a : args) {
        if (a == QLatin1String("HEX:NOREV"))
            a = putFile(dir, "a.hex", ":0300000041424337\n:00000001FF\n");
        else if (a == QLatin1String("HEX:EMPTY"))
            a = putFile(dir, "b.hex", ":00000001FF\n");
        else if (a == QLatin1String("VLM:BAD"))
            a = putFile(dir, "a.vlm", "0=\t0.0\t0.0\n1=\t-1\t0.0\n");
        else if (a == QLatin1String("VLM:QUOTED"))
            a = putFile(dir, "q.vlm", "\"0\",\"0.0\",\"0.0\"\r\n\"1\",\"0.1\",\"0.1\"\r\n");
        else if (a == QLatin1String("VLM:BIG"))
            a = putFile(dir, "b.vlm", "0=\t0.0\t7.0\n");
        else if (a == QLatin1String("DBF:BROKEN"))
            a = putFile(dir, "a.dbf", QByteArray(20, '\3'));
        else if (a == QLatin1String("BIN:EMPTY"))
            a = putFile(dir, "e.bin", {});
        else if (a == QLatin1String("BIN:ODD"))
            a = putFile(dir, "o.bin", QByteArray(13, '\1'));
        else if (a == QLatin1String("OUT"))
            a = dir.filePath(QStringLiteral("out.bin"));
        else if (a == QLatin1String("OUT.doc"))
            a = dir.filePath(QStringLiteral("out.bin.doc"));
    }
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.bin"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.bin.doc"))));
    QVERIFY(!QFile::exists(QStringLiteral("/nonexistent.dbf")));
}

// Every file the CLI writes, on a disk where nothing more fits: the old file
// stays byte for byte, nothing is left beside it, the failure names the file
// and the reason, and the exit code is 1.
void TestCliFiles::writersOnAFullDisk_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("target");
    const QStringList sim{"--simulate", "SCENARIO", "--config", "CONFIG"};
    QTest::newRow("db-save") << sim + QStringList{"db-save", "TARGET", "sensor", "3"} << "u.dbf";
    QTest::newRow("snapshot") << sim + QStringList{"snapshot", "TARGET"} << "s.json";
    QTest::newRow("diagram --save")
        << sim + QStringList{"diagram", "3", "--save", "TARGET"} << "d.dgr";
    QTest::newRow("diagram --png")
        << sim + QStringList{"diagram", "3", "--png", "TARGET"} << "d.png";
    QTest::newRow("dgr-png") << QStringList{"dgr-png", "DGR", "TARGET"} << "d.png";
    QTest::newRow("report html") << QStringList{"report", "SNAPSHOT", "TARGET"} << "r.html";
    QTest::newRow("report pdf") << QStringList{"report", "SNAPSHOT", "TARGET"} << "r.pdf";
    QTest::newRow("table-bin") << QStringList{"table-bin", "VLM", "TARGET"} << "t.bin";
    QTest::newRow("table-write") << QStringList{"table-write", "BIN", "1", "TARGET"} << "t.vlm";
    QTest::newRow("hex-bin") << QStringList{"hex-bin", "HEX", "TARGET"} << "f.bin";
}

void TestCliFiles::writersOnAFullDisk() {
    QFETCH(QStringList, words);
    QFETCH(QString, target);
    QTemporaryDir dir;
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(target);
    words = withInputs(words, dir);
    words.replaceInStrings(QStringLiteral("TARGET"), path);
    QByteArray old(5000, 'o');
    if (target.endsWith(QLatin1String(".dbf"))) {
        // A user file with one record already.
        QStringList first = words;
        first[first.size() - 1] = QStringLiteral("2");
        const Run made = runCli(first);
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        old = fileBytes(path);
    } else {
        putFile(dir, "old", old);
        QVERIFY(QFile::copy(dir.filePath(QStringLiteral("old")), path));
    }
    const QStringList before = disk.files();
    disk.fill();
    const Run r = runCli(words);
    disk.release();
    QCOMPARE(r.exitCode, 1);
    const QString reason = app::fileFaultText(disk.expectedFault());
    QVERIFY2(r.err.contains(path) && r.err.contains(reason), qPrintable(r.err));
    QCOMPARE(fileBytes(path), old);
    QCOMPARE(disk.files(), before);
    // With room again the same command succeeds.
    const Run again = runCli(words);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QVERIFY(fileBytes(path) != old);
    QCOMPARE(disk.files(), before);
}

// A snapshot walks every device of the line for minutes: on a disk where
// it cannot be written it is refused before the first frame.
void TestCliFiles::snapshotRefusedBeforeTheLine() {
    QTemporaryDir dir;
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("s.json"));
    disk.fill();
    const Run r = runCli(withInputs(
        {"--trace", "--simulate", "SCENARIO", "--config", "CONFIG", "snapshot", path}, dir));
    disk.release();
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(path + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault())),
             qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("> ")), qPrintable(r.err));
    QVERIFY(!QFile::exists(path));
}

// Past the file-size limit a write fails with a message instead of the
// process being killed half-way, and leaves nothing behind.
void TestCliFiles::writerPastAFileSizeLimit() {
    QTemporaryDir dir;
    FullDisk limit(false, true);
    QByteArray table;
    for (int row = 0; row <= 200; ++row)
        table += QStringLiteral("%1=\t%2.0000\t\t0.0012\r\n").arg(row).arg(row).toLatin1();
    const QString bin = dir.filePath(QStringLiteral("t.bin"));
    QCOMPARE(runCli({"table-bin", putFile(dir, "t.vlm", table), bin}).exitCode, 0);
    const QString target = limit.filePath(QStringLiteral("t.vlm"));
    const QByteArray old(100, 'o');
    putFile(dir, "old", old);
    QVERIFY(QFile::copy(dir.filePath(QStringLiteral("old")), target));
    const QStringList before = limit.files();
    limit.fill();
    const Run r = runCli({"table-write", bin, "1", target});
    limit.release();
    QVERIFY2(r.exitCode == 1, qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("ФАЙЛ СЛИШКОМ ВЕЛИК")), qPrintable(r.err));
    QCOMPARE(fileBytes(target), old);
    QCOMPARE(limit.files(), before);
}

// A FIFO with no writer would block an ordinary open for good, and
// /dev/zero never ends: every reader refuses both at once.
void TestCliFiles::readersRefuseWhatIsNoFile_data() {
    QTest::addColumn<QStringList>("words");
    const QStringList sim{"--simulate", "SCENARIO", "--config", "CONFIG"};
    const QList<std::pair<const char*, QStringList>> readers{
        {"hex-info", {"hex-info", "IN"}},
        {"hex-bin", {"hex-bin", "IN", "OUT"}},
        {"table-check", {"table-check", "IN"}},
        {"table-bin", {"table-bin", "IN", "OUT"}},
        {"table-write", {"table-write", "IN", "1", "OUT"}},
        {"dbf-dump", {"dbf-dump", "IN"}},
        {"dgr-png", {"dgr-png", "IN", "OUT"}},
        {"snapshot-diff", {"snapshot-diff", "IN", "SNAPSHOT"}},
        {"report", {"report", "IN", "OUT.html"}},
        {"configuration", {"--simulate", "SCENARIO", "--config", "IN", "status"}},
        {"scenario", {"--simulate", "IN", "scan"}},
        {"db-load", sim + QStringList{"db-load", "IN", "sensor", "3"}},
        {"db-find", {"db-find", "IN", "12"}},
        {"restore", sim + QStringList{"restore", "IN", "--dry-run"}},
        {"tables write", sim + QStringList{"tables", "1", "write", "5=IN"}},
        {"flash", sim + QStringList{"flash", "controller", "1", "IN"}},
    };
    for (const auto& [name, words] : readers) {
        QTest::addRow("%s, FIFO", name) << QStringList(words).replaceInStrings("IN", "FIFO");
        QTest::addRow("%s, /dev/zero", name)
            << QStringList(words).replaceInStrings("IN", "/dev/zero");
    }
}

void TestCliFiles::readersRefuseWhatIsNoFile() {
    QFETCH(QStringList, words);
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    words = withInputs(words, dir);
    words.replaceInStrings(QStringLiteral("FIFO"), fifo);
    words.replaceInStrings(QStringLiteral("OUT"), dir.filePath(QStringLiteral("out")));
    const Run r = runCli(words);
    QVERIFY2(r.exitCode == 2, qPrintable(QString::number(r.exitCode) + r.err));
    QVERIFY2(r.err.contains(QStringLiteral("НЕ ФАЙЛ")), qPrintable(r.err));
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("out*")}, QDir::Files), QStringList());
}

// The simulator's --link replaces only a link it made earlier; its own
// scenario is read as every file is.
void TestCliFiles::simulatorKeepsOthersFiles() {
    QTemporaryDir dir;
    const QString file = putFile(dir, "notes.txt", "mine");
    QProcess sim;
    sim.start(QStringLiteral(ORVANT_SIM_BIN), {QStringLiteral("--link"), file});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 1);
    QCOMPARE(fileBytes(file), QByteArray("mine"));
    // A stale link of an earlier run is taken over.
    const QString tty = dir.filePath(QStringLiteral("tty"));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/999999"), tty));
    {
        Simulator running(dir, QString());
        QVERIFY(running.started);
    }
    QVERIFY(!QFileInfo(tty).isSymLink());
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& scenario : {fifo, QStringLiteral("/dev/zero")}) {
        sim.start(QStringLiteral(ORVANT_SIM_BIN),
                  {QStringLiteral("--link"), dir.filePath(QStringLiteral("tty2")),
                   QStringLiteral("--scenario"), scenario});
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardError().contains("НЕ ФАЙЛ"));
    }
}

// A user file named without extension is saved as NAME.dbf, where user
// files are looked for.
void TestCliFiles::userFileNameGetsItsExtension() {
    QTemporaryDir dir;
    const QStringList sim = withInputs({"--simulate", "SCENARIO", "--config", "CONFIG"}, dir);
    const QString name = dir.filePath(QStringLiteral("user1"));
    const Run saved = runCli(sim + QStringList{"db-save", name, "sensor", "3"});
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
    QVERIFY(!QFileInfo::exists(name));
    QVERIFY(db::CheckStructure(name + QStringLiteral(".dbf"), true, false));
    const Run loaded = runCli(sim + QStringList{"db-load", name + ".dbf", "sensor", "3"});
    QVERIFY2(loaded.exitCode == 0, qPrintable(loaded.err));
}

// dbf-dump prints text in UTF-8, decoded by the table's language driver as
// the common dBASE readers take it (the bytes below are those readers'
// encodings), and one record on one line whatever a field holds.
void TestCliFiles::dbfDumpDecodesTheCodePage_data() {
    QTest::addColumn<int>("driver");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString tank = QStringLiteral("Резервуар №4");
    QTest::newRow("none (CP1251)") << 0x00 << QByteArray::fromHex("d0e5e7e5f0e2f3e0f020b934") << tank;
    QTest::newRow("Russian Windows")
        << 0xC9 << QByteArray::fromHex("d0e5e7e5f0e2f3e0f020b934") << tank;
    QTest::newRow("Russian OEM") << 0x26 << QByteArray::fromHex("90a5a7a5e0a2e3a0e020fc34") << tank;
    QTest::newRow("Russian MS-DOS")
        << 0x65 << QByteArray::fromHex("90a5a7a5e0a2e3a0e020fc34") << tank;
    QTest::newRow("International MS-DOS (CP850)")
        << 0x02 << QByteArray::fromHex("477294e1652035f8") << QStringLiteral("Größe 5°");
    QTest::newRow("Eastern European MS-DOS (CP852)")
        << 0x64 << QByteArray::fromHex("9da264ab") << QStringLiteral("Łódź");
    QTest::newRow("Hebrew Windows (CP1255)")
        << 0x7D << QByteArray::fromHex("f9ece5ed") << QStringLiteral("שלום");
    QTest::newRow("Eastern European Windows (CP1250)")
        << 0xC8 << QByteArray::fromHex("a3f3649f") << QStringLiteral("Łódź");
    QTest::newRow("Russian Macintosh")
        << 0x96 << QByteArray::fromHex("90e5e7e5f0e2f3e0f0") << QStringLiteral("Резервуар");
    // A driver nobody knows: this system's own code page.
    QTest::newRow("unknown driver") << 0xEE << QByteArray::fromHex("d0e5e7e5f0e2f3e0f0")
                                    << QStringLiteral("Резервуар");
    // A NUL inside ends nothing, padding NULs are padding; tabs, line breaks
    // and backslashes are escaped.
    QTest::newRow("NUL, tab, line breaks") << 0xC9 << QByteArray("A\0B\tC\nD\rE\\F\0\0", 13)
                                           << QStringLiteral("A\\0B\\tC\\nD\\rE\\\\F");
}

void TestCliFiles::dbfDumpDecodesTheCodePage() {
    QFETCH(int, driver);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QByteArray value = bytes.leftJustified(16, ' ');
    QByteArray dbf(32, '\0');
    dbf[0] = 3;
    dbf[4] = 1;
    dbf[8] = 65; // one field
    dbf[10] = 17;
    dbf[29] = char(driver);
    QByteArray field(32, '\0');
    field.replace(0, 4, "NOTE");
    field[11] = 'C';
    field[16] = 16;
    QTemporaryDir dir;
    const Run r =
        runCli({"dbf-dump", putFile(dir, "n.dbf", dbf + field + "\x0D " + value + "\x1A")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("*\tNOTE\n\t") + text + QStringLiteral("\n"));
}

// Every language driver names a code page this build can decode.
void TestCliFiles::everyLanguageDriverDecodes() {
    QTemporaryDir dir;
    for (int driver = 0; driver < 256; ++driver) {
        QByteArray dbf(32, '\0');
        dbf[0] = 3;
        dbf[8] = 33;
        dbf[10] = 1;
        dbf[29] = char(driver);
        const QString path = putFile(dir, "d.dbf", dbf + "\x0D\x1A");
        db::DbfTable table(path);
        QVERIFY(table.IsOpen());
        QVERIFY2(QStringDecoder(table.codePage().constData()).isValid(),
                 qPrintable(QStringLiteral("0x%1: %2")
                                .arg(driver, 2, 16, QLatin1Char('0'))
                                .arg(QString::fromLatin1(table.codePage()))));
    }
}

ORVANT_CORE_TEST_MAIN(TestCliFiles, TestPollLogCli, TestRecordings)
