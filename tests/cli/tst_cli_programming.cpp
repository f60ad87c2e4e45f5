#include "cli/tst_cli_programming.h"

#include "caltable/TableFile.h"
#include "cli/CliRun.h"
#include "cli/tst_results_cli.h"
#include "cli/tst_tables_cli.h"
#include "common/TestFiles.h"
#include "common/TestMain.h"
#include "diagram/DiagramFile.h"

#include <QImage>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

void TestCliProgramming::diagramSavedAndDrawn() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\nsegments 2 100\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString dgr = dir.filePath(QStringLiteral("s3.dgr"));
    const QString png = dir.filePath(QStringLiteral("s3.png"));
    const QString again = dir.filePath(QStringLiteral("again.png"));
    const Run read = runCli({"--simulate", scenario, "--config", config, "--trace", "diagram", "3",
                             "--save", dgr, "--png", png});
    QVERIFY2(read.exitCode == 0, qPrintable(read.err));
    // After the read, as the page does: the sensor's next measurement starts.
    const qsizetype trigger = read.err.indexOf(QStringLiteral("> датчик 3  Trigger  | @028A"));
    QVERIFY2(trigger > read.err.lastIndexOf(QStringLiteral("< датчик 3")), qPrintable(read.err));
    QVERIFY(read.out.startsWith(QStringLiteral("segments=100\ncodes-per-block=32\n")));
    QVERIFY(read.out.endsWith(QStringLiteral("status=ВСЁ СЧИТАНО\n")));
    QCOMPARE(QFileInfo(dgr).size(), 364);
    const Run drawn = runCli({"dgr-png", dgr, again});
    QVERIFY2(drawn.exitCode == 0, qPrintable(drawn.err));
    // The same picture from the line and from the file.
    QCOMPARE(QImage(again), QImage(png));
    QCOMPARE(QImage(png).size(), QSize(836, 209));
    QVERIFY(drawn.out.contains(QStringLiteral("\nsaved=")));
}

void TestCliProgramming::flashOverPseudoTerminal() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QString hex = putFile(line.dir, "kip.hex", hexImage());
    const Run r = runCli(line.words({"flash", "controller", "1", hex}));
    const Run again = runCli(line.words({"flash", "controller", "1", hex}));
    QVERIFY(line.sim.stop());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("version=REV VQM 5.02 KIP-N6\ndate=30-11-2026\n"));
    QVERIFY(r.err.contains(QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО")));
    // The device now runs the new firmware: LINK reads its version.
    QVERIFY(again.err.contains(QStringLiteral("в устройстве REV VQM 5.02 KIP-N6")));
}

void TestCliProgramming::flashSensorOverPseudoTerminal() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QString hex = putFile(line.dir, "dut.hex", hexImage());
    const Run r = runCli(line.words({"flash", "sensor", "3", hex}));
    const Run again = runCli(line.words({"flash", "sensor", "3", hex}));
    const Run flag = runCli(line.words({"flash", "emergency", "1", "on"}));
    const Run read = runCli(line.words({"flash", "emergency", "1", "get"}));
    QVERIFY(line.sim.stop());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("version=REV VQM 5.02 KIP-N6\ndate=14-10-2026\n"));
    QVERIFY(r.err.contains(QStringLiteral("в устройстве DUT V3.02 14-10-2026")));
    QVERIFY(again.err.contains(QStringLiteral("в устройстве REV VQM 5.02 KIP-N6")));
    QVERIFY2(flag.exitCode == 0, qPrintable(flag.err));
    QVERIFY(flag.err.contains(QStringLiteral("УСТАНОВЛЕН АВАРИЙНЫЙ РЕЖИМ")));
    QCOMPARE(read.out, QStringLiteral("emergency=1\n"));
}

void TestCliProgramming::flashSensorEmergency() {
    // The controller, its flag set, is switched on while the tool probes; the
    // sensor's firmware no longer runs.
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\nemergency 0\nbroken 2\npoweroff 0 6\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString hex = putFile(dir, "dut.hex", hexImage());
    const Run r = runCli(
        {"--simulate", scenario, "--config", config, "flash", "sensor", "3", hex, "--emergency"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА")));
    QCOMPARE(r.out, QStringLiteral("version=REV VQM 5.02 KIP-N6\ndate=14-10-2026\n"));
}

void TestCliProgramming::flashFailures_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("no such file") << QStringList{"flash", "controller", "1", "/nonexistent.hex"}
                                  << 2 << "ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("not a hex file")
        << QStringList{"flash", "controller", "1", "JUNK"} << 2 << "junk.hex";
    QTest::newRow("silent controller")
        << QStringList{"flash", "controller", "2", "HEX"} << 1 << "НЕТ ОТВЕТА";
    QTest::newRow("wrong target") << QStringList{"flash", "sensorx", "1", "HEX"} << 2
                                  << "flash controller K";
    QTest::newRow("sensor without a loader")
        << QStringList{"flash", "sensor", "2", "HEX"} << 1 << "НЕТ ОТВЕТА";
    QTest::newRow("emergency loader never found")
        << QStringList{"flash", "sensor", "2", "HEX", "--emergency"} << 1
        << "СВЯЗИ НЕТ. ПОПРОБУЙТЕ ПОВТОРИТЬ.";
    QTest::newRow("sensor file without data")
        << QStringList{"flash", "sensor", "1", "EMPTY"} << 2 << "нет данных";
    QTest::newRow("flag of a silent controller")
        << QStringList{"flash", "emergency", "2", "get"} << 1 << "НЕТ ОТВЕТА";
    QTest::newRow("flag word") << QStringList{"flash", "emergency", "1", "up"} << 2
                               << "flash emergency K on|off|get";
    QTest::newRow("keyboard processor's file")
        << QStringList{"flash", "controller", "1", "KBD"} << 2
        << "REV VQS 2.00 — ФАЙЛ ДЛЯ ПРОЦЕССОРА KBD/LCD, А ВЫБРАН ЦЕНТРАЛЬНЫЙ ПРОЦЕССОР";
}

void TestCliProgramming::flashFailures() {
    QFETCH(QStringList, words);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    words.replaceInStrings(QStringLiteral("JUNK"), putFile(dir, "junk.hex", ":zz\n"));
    words.replaceInStrings(QStringLiteral("HEX"), putFile(dir, "kip.hex", hexImage()));
    words.replaceInStrings(QStringLiteral("EMPTY"), putFile(dir, "empty.hex", ":00000001FF\n"));
    words.replaceInStrings(QStringLiteral("KBD"), putFile(dir, "kbd.hex", hexImage("REV VQS 2.00")));
    const QString scenario =
        putFile(dir, "line.txt",
                "type 1\ncontroller 0 0 4\ncontroller 1 4 4 fault=silent\nsensor 1 fault=silent\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=2,3\nKIP1=0,4\nKIP2=4,4\n");
    const Run r =
        runCli(QStringList{"--simulate", scenario, "--config", config, "--trace"} + words);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    // A refusal is said before anything goes on the line.
    if (exitCode == 2)
        QVERIFY2(!r.err.contains(QStringLiteral("> ")), qPrintable(r.err));
}

// What the window hides for a controller type is refused for it here too,
// before anything is sent.
void TestCliProgramming::flashRefusedByType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("error");
    const QString noFlag = QStringLiteral("аварийного режима нет, есть у КИП-Н6, КИП-С6");
    const QString noPort = QStringLiteral("разъёма процессора KBD/LCD нет, есть у КИП-Н5, КИП-С7");
    QTest::newRow("flag, Н5") << 0 << QStringList{"flash", "emergency", "1", "on"} << noFlag;
    QTest::newRow("flag, С7") << 4 << QStringList{"flash", "emergency", "1", "get"} << noFlag;
    QTest::newRow("emergency sensor update, С5")
        << 2 << QStringList{"flash", "sensor", "1", "HEX", "--emergency"} << noFlag;
    QTest::newRow("keyboard, Н6") << 1 << QStringList{"flash", "keyboard", "1", "HEX"} << noPort;
    QTest::newRow("keyboard, С6") << 3 << QStringList{"flash", "keyboard", "1", "HEX"} << noPort;
}

void TestCliProgramming::flashRefusedByType() {
    QFETCH(int, type);
    QFETCH(QStringList, words);
    QFETCH(QString, error);
    QTemporaryDir dir;
    words.replaceInStrings(QStringLiteral("HEX"), putFile(dir, "kip.hex", hexImage()));
    const QString config = putFile(
        dir, "o.cfg", QStringLiteral("KIP_TYP=%1\nKIP_NUM=1,1\nKIP1=0,4\n").arg(type).toUtf8());
    const Run r = runCli(QStringList{"--simulate", "--trace", "--config", config} + words);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("> ")), qPrintable(r.err));
}

void TestCliProgramming::tablesOverPseudoTerminal_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("tank");
    QTest::addColumn<QString>("controller");
    // The file read back names the tank, in type 2 the sensor's number.
    QTest::addColumn<QString>("named");
    QTest::newRow("multi-table") << "type 1\ncontroller 0 0 4\n"
                                 << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"
                                 << "5"
                                 << "1"
                                 << "№ 5";
    QTest::newRow("single table") << "type 2\nsensors 0 2\n"
                                  << "KIP_TYP=2\nKIP_NUM=0,1\nKIP_B=0,2\n"
                                  << "1"
                                  << "2"
                                  << "№ 2";
}

void TestCliProgramming::tablesOverPseudoTerminal() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(QString, tank);
    QFETCH(QString, controller);
    QFETCH(QString, named);
    SimulatedLine line(scenario.toUtf8(), config.toUtf8());
    QVERIFY(line.sim.started);
    const QByteArray table = tableText();
    const QString file = putFile(line.dir, "t.vlm", table);
    const QString back = line.dir.filePath(QStringLiteral("back.vlm"));
    const QStringList base = line.words({QStringLiteral("tables"), controller});
    const Run written = runCli(base + QStringList{"write", tank + "=" + file});
    const Run listed = runCli(base + QStringList{"list"});
    const Run read = runCli(base + QStringList{"read", tank, back});
    const Run cleared = runCli(base + QStringList{"clear"});
    const Run empty = runCli(base + QStringList{"list"});
    const Run absent = runCli(base + QStringList{"read", tank, back + "2"});
    QVERIFY(line.sim.stop());
    QVERIFY2(written.exitCode == 0, qPrintable(written.err));
    QCOMPARE(listed.out, QStringLiteral("%1\t0\t426\n").arg(tank));
    QVERIFY2(read.exitCode == 0, qPrintable(read.err));
    // The table read back converts to the bytes that were written.
    QByteArray sent;
    QByteArray got;
    QString status;
    QVERIFY(caltable::ConvertTableFile(file, sent, status));
    QVERIFY(caltable::ConvertTableFile(back, got, status));
    QCOMPARE(got, sent);
    QStringDecoder cp1251("windows-1251");
    const QString header = cp1251(fileBytes(back).left(200));
    QVERIFY2(header.contains(QStringLiteral("резервуара ") + named), qPrintable(header));
    QCOMPARE(cleared.exitCode, 0);
    QCOMPARE(empty.out, QString());
    QCOMPARE(absent.exitCode, 1);
    QVERIFY(!QFileInfo::exists(back + "2"));
}

void TestCliProgramming::diagramFailures_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("no such file") << QStringList{"dgr-png", "/nonexistent/x.dgr", "o.png"} << 2
                                  << "ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("not a diagram")
        << QStringList{"dgr-png", "JUNK", "o.png"} << 2 << "не файл диаграммы";
    QTest::newRow("picture not writable") << QStringList{"dgr-png", "GOOD", "/nonexistent/o.png"}
                                          << 1 << "/nonexistent/o.png: НЕТ ПАПКИ";
    QTest::newRow("silent sensor")
        << QStringList{"--simulate", "SCENARIO", "--config", "CONFIG", "diagram", "2"} << 1
        << "Датчик не отвечает.";
    QTest::newRow("save not writable")
        << QStringList{"--simulate", "SCENARIO", "--config", "CONFIG",
                       "diagram",    "3",        "--save",   "/nonexistent/x.dgr"}
        << 1 << "НЕ ЗАПИСАНО";
    QTest::newRow("wrong words") << QStringList{"--simulate", "diagram", "3", "--colour"} << 2
                                 << "diagram N";
}

void TestCliProgramming::diagramFailures() {
    QFETCH(QStringList, words);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    diagram::Diagram d;
    d.segments = 4;
    d.sensor = d.dry = d.wet = QByteArray(4, 9);
    QFile good(dir.filePath(QStringLiteral("good.dgr")));
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write(diagram::diagramFileBytes(d, QDateTime::currentDateTime()));
    good.close();
    const QString scenario =
        putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\nsensor 1 fault=silent\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    words.replaceInStrings(QStringLiteral("JUNK"), putFile(dir, "junk.dgr", "junk"));
    words.replaceInStrings(QStringLiteral("GOOD"), good.fileName());
    words.replaceInStrings(QStringLiteral("SCENARIO"), scenario);
    words.replaceInStrings(QStringLiteral("CONFIG"), config);
    const Run r = runCli(words);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
}

// A table written without its read-back is not passed off as checked.
void TestCliProgramming::tablesWrittenUnverifiedSaySo() {
    QTemporaryDir dir;
    QByteArray table;
    for (int row = 0; row <= 20; ++row)
        table += QStringLiteral("%1=\t%2.0000\t\t0.0012\r\n").arg(row).arg(row).toLatin1();
    const QStringList base{
        "--simulate", putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"),
        "--config",   putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"),
        "tables",     "1",
        "write",      "1=" + putFile(dir, "t.vlm", table)};
    const Run checked = runCli(base);
    QVERIFY2(checked.exitCode == 0, qPrintable(checked.err));
    QVERIFY(checked.out.startsWith(QStringLiteral("резервуар 1: ЗАПИСАНО, страница ")));
    QVERIFY(!checked.out.contains(QStringLiteral("НЕ СВЕРЕНО")));
    const Run unchecked = runCli(base + QStringList{"--no-verify"});
    QVERIFY2(unchecked.exitCode == 0, qPrintable(unchecked.err));
    QVERIFY2(unchecked.out.contains(QStringLiteral("(НЕ СВЕРЕНО)")), qPrintable(unchecked.out));
}

// A controller whose firmware is dead answers no scan: the emergency mode
// goes to its own address all the same.
void TestCliProgramming::flashDeadControllerInEmergency() {
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\ncontroller 1 4 4\ndead 1\n");
    const QString hex = putFile(dir, "kip.hex", hexImage());
    const Run r =
        runCli({"--simulate", scenario, "--trace", "flash", "controller", "2", hex, "--emergency"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("version=REV VQM 5.02 KIP-N6\ndate=30-11-2026\n"));
    QVERIFY2(!r.err.contains(QStringLiteral("> КИП 1 ")), qPrintable(r.err));
}

ORVANT_CORE_TEST_MAIN(TestCliProgramming, TestTablesCli, TestCliResults)
