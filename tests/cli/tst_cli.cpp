#include "caltable/TableFile.h"
#include "cli/CliRun.h"
#include "cli/tst_polllog_cli.h"
#include "cli/tst_remote.h"
#include "cli/tst_results_cli.h"
#include "common/FullDisk.h"
#include "common/TestFiles.h"
#include "db/DbfTable.h"
#include "db/SensorDatabase.h"
#include "db/UserDatabase.h"
#include "diagram/DiagramFile.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorCatalogue.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

class TestCli : public QObject {
    Q_OBJECT
  private slots:
    void scanOverPseudoTerminal();
    void scanSimulated_data();
    void scanSimulated();
    void wrongWords_data();
    void wrongWords();
    void portThatCannotBeOpened();
    void traceShowsFrames();
    void traceOneLinePerReplyAtWireSpeed();
    void interruptStopsStatus_data();
    void interruptStopsStatus();
    void helpWords_data();
    void helpWords();
    void simulatorStopsOnSignal();
    void killedClientNeverLocksTheSimulator();
    void portVanishingDuringScan();
    void statusFromConfiguration_data();
    void statusFromConfiguration();
    void fileCommands();
    void fileCommandFailures_data();
    void fileCommandFailures();
    void setAddress_data();
    void setAddress();
    void sensorSettingsOverPseudoTerminal();
    void placesOverPseudoTerminal();
    void densityOverPseudoTerminal();
    void alarmOverPseudoTerminal();
    void controllerOverPseudoTerminal();
    void controllerWrongWords_data();
    void controllerWrongWords();
    void keyboardStatusSimulated();
    void diagramSavedAndDrawn();
    void flashOverPseudoTerminal();
    void flashSensorOverPseudoTerminal();
    void flashSensorEmergency();
    void flashFailures_data();
    void flashFailures();
    void flashRefusedByType_data();
    void flashRefusedByType();
    void dbFind_data();
    void dbFind();
    void dbSaveAndLoadOverPseudoTerminal();
    void dbSaveNeedsEveryReadAndTheFactoryNumber();
    void snapshotDiffRestoreReport();
    void valueRefusedBeforeAnyFrame_data();
    void valueRefusedBeforeAnyFrame();
    void tablesOverPseudoTerminal_data();
    void tablesOverPseudoTerminal();
    void diagramFailures_data();
    void diagramFailures();
    void sensorSettingsFailures_data();
    void sensorSettingsFailures();
    void unansweredReads_data();
    void unansweredReads();
    void transitLeftOn_data();
    void transitLeftOn();
    void typeFiveSendsNoProbes();
    void tablesWrittenUnverifiedSaySo();
    void flashDeadControllerInEmergency();
    void restoreOutsideItsScope_data();
    void restoreOutsideItsScope();
    void versionTextsEndAtTheirZero();
    void writersOnAFullDisk_data();
    void writersOnAFullDisk();
    void writerPastAFileSizeLimit();
    void readersRefuseWhatIsNoFile_data();
    void readersRefuseWhatIsNoFile();
    void simulatorKeepsOthersFiles();
    void userFileNameGetsItsExtension();
    void dbfDumpDecodesTheCodePage_data();
    void dbfDumpDecodesTheCodePage();
};

void TestCli::scanOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\ncontroller 2 8 4\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QString& tty = sim.tty;
    const Run r = runCli({QStringLiteral("--port"), tty, QStringLiteral("scan")});
    QVERIFY(sim.stop());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("KIP_TYP=1\nKIP_NUM=2,5\nKIP_B=\nKIP1=0,4\nKIP3=8,4\n"));
    QVERIFY(!QFileInfo::exists(tty)); // the simulator removes its link
}

// A write, then a read in another run against the same devices; the
// layout from a configuration file, transit handled by the command.
void TestCli::sensorSettingsOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 1 4 4\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,2\nKIP2=4,4\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QString& tty = sim.tty;
    const QStringList base{QStringLiteral("--port"),   tty,
                           QStringLiteral("--config"), config,
                           QStringLiteral("sensor"),   QStringLiteral("6")};
    Run r = runCli(base + QStringList{"set", "level-correction=-12.5", "filling-criterion=12,5",
                                      "section-8=1.25", "density-channel=separate",
                                      "single-density-meter=1", "working-segments=150",
                                      "removed-segments=3", "counter=40", "code-algorithm=1"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    r = runCli(base + QStringList{"get"});
    QVERIFY(sim.stop());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Every setting of the sensor's catalogue rows, in their order.
    QStringList keys, rows;
    for (const QString& line : lines)
        keys << line.section(QLatin1Char('='), 0, 0);
    for (const app::Setting& row : sensor::sensorSettings())
        if (sensor::isOwnSetting(row))
            rows << row.key;
    QCOMPARE(keys, rows);
    QCOMPARE(lines[1], QStringLiteral("wide=0"));
    for (const char* want :
         {"level-correction=-12.5", "filling-criterion=12.5", "section-8=1.250",
          "density-channel=separate", "single-density-meter=1", "working-segments=150",
          "removed-segments=3", "counter=40", "code-algorithm=1", "code-update=1"})
        QVERIFY2(lines.contains(QLatin1String(want)), want);
    QCOMPARE(lines.last(), QStringLiteral("counter-value=0"));
}

void TestCli::placesOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QString& tty = sim.tty;
    const QStringList base{QStringLiteral("--port"),   tty,
                           QStringLiteral("--config"), config,
                           QStringLiteral("sensor"),   QStringLiteral("3")};
    Run w1 = runCli(base + QStringList{"densitymeter", "2", "12", "750", "-1,5"});
    Run w2 = runCli(base + QStringList{"thermometer", "6", "10e8c3a401080065", "4000"});
    Run bad = runCli(base + QStringList{"densitymeter", "1", "AB", "500", "x"});
    Run meters = runCli(base + QStringList{"densitymeters"});
    Run thermometers = runCli(base + QStringList{"thermometers"});
    Run found = runCli(base + QStringList{"thermometers", "--search"});
    QVERIFY(sim.stop());
    QVERIFY2(w1.exitCode == 0 && w2.exitCode == 0, qPrintable(w1.err + w2.err));
    QCOMPARE(bad.exitCode, 2);
    const QString id =
        QStringLiteral("44537054000012") +
        QString::fromLatin1(
            QByteArray(
                1, char(sensor::oneWireCrc(
                       reinterpret_cast<const std::uint8_t*>("\x44\x53\x70\x54\x00\x00\x12"), 7)))
                .toHex()
                .toUpper());
    QVERIFY2(meters.out.split(QLatin1Char('\n')).at(1) ==
                 QStringLiteral("2\t%1\t750\t-1.5").arg(id),
             qPrintable(meters.out));
    QVERIFY2(thermometers.out.contains(QStringLiteral("6\t10E8C3A401080065\t4000\n")),
             qPrintable(thermometers.out));
    QVERIFY(found.out.endsWith(QStringLiteral("found=4\n")));
}

void TestCli::densityOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QString& tty = sim.tty;
    const QStringList base{QStringLiteral("--port"),   tty,
                           QStringLiteral("--config"), config,
                           QStringLiteral("density"),  QStringLiteral("3")};
    const Run set = runCli(base + QStringList{"--meter", "2", "set-correction", "-0,7"});
    const Run all = runCli(base + QStringList{"--meter", "2"});
    const Run absent = runCli(base + QStringList{"--meter", "5", "--init"});
    const Run wrong = runCli(base + QStringList{"--meter", "9"});
    QVERIFY(sim.stop());
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QVERIFY2(all.exitCode == 0, qPrintable(all.err));
    const QStringList lines = all.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("status=00 00"));
    QVERIFY(lines.contains(QStringLiteral("version=2.05")));
    QVERIFY(lines.contains(QStringLiteral("correction=-0.7")));
    QCOMPARE(absent.exitCode, 1);
    QVERIFY(absent.err.contains(QStringLiteral("СБОЙ ИНИЦИАЛИЗАЦИИ")));
    QCOMPARE(wrong.exitCode, 2);
}

void TestCli::alarmOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QString& tty = sim.tty;
    const QStringList base{QStringLiteral("--port"),   tty,
                           QStringLiteral("--config"), config,
                           QStringLiteral("alarm"),    QStringLiteral("3")};
    const Run set = runCli(base + QStringList{"set", "fuel-max=1500", "enable-leak=1"});
    const Run get = runCli(base + QStringList{"get"});
    const Run off = runCli(base + QStringList{"off", "fuel-max"});
    const Run state = runCli(base + QStringList{"state"});
    const Run ram = runCli(base + QStringList{"ramtest"});
    const Run wrong = runCli(base + QStringList{"set", "leak=70000"});
    QVERIFY(sim.stop());
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QVERIFY(get.out.contains(QStringLiteral("fuel-max=1500\n")));
    QVERIFY(get.out.contains(QStringLiteral("enable-leak=1\n")));
    QVERIFY(get.out.contains(QStringLiteral("enable-fuel-max=1\n"))); // kept
    QCOMPARE(off.exitCode, 0);
    QVERIFY2(state.out.startsWith(QStringLiteral("fuel-max=controlled happened\n")),
             qPrintable(state.out));
    QCOMPARE(ram.exitCode, 0);
    QCOMPARE(ram.out, QStringLiteral("ОШИБОК НЕТ\n"));
    QCOMPARE(wrong.exitCode, 2);
}

void TestCli::controllerOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", "type 0\ncontroller 0 0 4\ncontroller 3 4 8\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=0\nKIP_NUM=2,9\nKIP1=0,4\nKIP4=4,8\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QStringList base{QStringLiteral("--port"), sim.tty, QStringLiteral("--config"), config,
                           QStringLiteral("controller")};
    const Run set = runCli(base + QStringList{"1", "set", "interval=12,5", "main-channel=usb",
                                              "system-password=0042", "sensor-map=0"});
    const Run get = runCli(base + QStringList{"1", "get"});
    const Run status = runCli(base + QStringList{"4", "status"});
    // Controller 4 moves to address 2; then only address 2 answers.
    const Run moved = runCli(base + QStringList{"4", "set", "address=2", "sensor-count=3"});
    const Run gone = runCli(base + QStringList{"4", "get"});
    QVERIFY(sim.stop());
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QCOMPARE(set.out, QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА\n"));
    QCOMPARE(get.exitCode, 0);
    QCOMPARE(get.out, QStringLiteral("interval=12.5\nmain-channel=USB\nsecond-channel=RS232\n"
                                     "address=1\nfirst-sensor=1\nsensor-count=4\nsensor-map=0\n"));
    QCOMPARE(status.exitCode, 0);
    const QStringList lamps = status.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lamps.mid(0, 8), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
    QVERIFY(lamps.contains(QStringLiteral("SUP")));
    // After the lamps what the page shows beside them: the sensor count,
    // the mode and the reply's bytes.
    QCOMPARE(lamps.mid(lamps.size() - 3), (QStringList{"sensors=8", "mode=00 ЗАПРОС  СТАТУСА",
                                                       "dump=08 00 FF 01 81 0C 00 12 00 41"}));
    QVERIFY2(moved.exitCode == 0, qPrintable(moved.err));
    QCOMPARE(gone.exitCode, 1);
    QVERIFY(gone.out.contains(QStringLiteral("\naddress=\n")));
}

void TestCli::controllerWrongWords_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("error");
    QTest::newRow("interval too short") << QStringList{"1", "set", "interval=0.5"}
                                        << "interval \"0.5\": допустимо от 1.0 до 25.5 с";
    QTest::newRow("interval too long")
        << QStringList{"1", "set", "interval=25.6"} << "от 1.0 до 25.5 с";
    QTest::newRow("password letters")
        << QStringList{"1", "set", "working-password=12a4"} << "допустимо 4 цифры";
    QTest::newRow("password short")
        << QStringList{"1", "set", "system-password=123"} << "system-password \"123\"";
    QTest::newRow("X3 has no USB")
        << QStringList{"1", "set", "second-channel=USB"} << "допустимо RS232, RS485";
    QTest::newRow("address 17") << QStringList{"1", "set", "address=17"}
                                << "address \"17\": допустимо от 1 до 16";
    QTest::newRow("unknown key") << QStringList{"1", "set", "speed=9600"} << "нельзя записать";
    QTest::newRow("not in the layout") << QStringList{"5", "get"} << "КИП 5 нет в конфигурации";
    QTest::newRow("no verb") << QStringList{"1"} << "controller K get";
}

void TestCli::controllerWrongWords() {
    QFETCH(QStringList, words);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli(QStringList{"--simulate", "--config", config, "controller"} + words);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}

void TestCli::keyboardStatusSimulated() {
    const Run r = runCli({"--simulate", "controller", "1", "status", "--keyboard"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("\nSTS\n")));
    QVERIFY(!r.out.contains(QStringLiteral("mode=")));
    QVERIFY(!r.out.contains(QStringLiteral("sensors=")));
    QVERIFY2(QRegularExpression(QStringLiteral("\ndump=([0-9A-F]{2} ){5}[0-9A-F]{2}\n$"))
                 .match(r.out)
                 .hasMatch(),
             qPrintable(r.out));
}

void TestCli::diagramSavedAndDrawn() {
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

void TestCli::flashOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString hex = putFile(dir, "kip.hex", hexImage());
    Simulator sim(dir, putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"));
    QVERIFY(sim.started);
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli({"--port", sim.tty, "--config", config, "flash", "controller", "1", hex});
    const Run again =
        runCli({"--port", sim.tty, "--config", config, "flash", "controller", "1", hex});
    QVERIFY(sim.stop());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("version=REV VQM 5.02 KIP-N6\ndate=30-11-2026\n"));
    QVERIFY(r.err.contains(QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО")));
    // The device now runs the new firmware: LINK reads its version.
    QVERIFY(again.err.contains(QStringLiteral("в устройстве REV VQM 5.02 KIP-N6")));
}

void TestCli::flashSensorOverPseudoTerminal() {
    QTemporaryDir dir;
    const QString hex = putFile(dir, "dut.hex", hexImage());
    Simulator sim(dir, putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"));
    QVERIFY(sim.started);
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli({"--port", sim.tty, "--config", config, "flash", "sensor", "3", hex});
    const Run again = runCli({"--port", sim.tty, "--config", config, "flash", "sensor", "3", hex});
    const Run flag =
        runCli({"--port", sim.tty, "--config", config, "flash", "emergency", "1", "on"});
    const Run read =
        runCli({"--port", sim.tty, "--config", config, "flash", "emergency", "1", "get"});
    QVERIFY(sim.stop());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("version=REV VQM 5.02 KIP-N6\ndate=14-10-2026\n"));
    QVERIFY(r.err.contains(QStringLiteral("в устройстве DUT V3.02 14-10-2026")));
    QVERIFY(again.err.contains(QStringLiteral("в устройстве REV VQM 5.02 KIP-N6")));
    QVERIFY2(flag.exitCode == 0, qPrintable(flag.err));
    QVERIFY(flag.err.contains(QStringLiteral("УСТАНОВЛЕН АВАРИЙНЫЙ РЕЖИМ")));
    QCOMPARE(read.out, QStringLiteral("emergency=1\n"));
}

void TestCli::flashSensorEmergency() {
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

void TestCli::flashFailures_data() {
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
}

void TestCli::flashFailures() {
    QFETCH(QStringList, words);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    words.replaceInStrings(QStringLiteral("JUNK"), putFile(dir, "junk.hex", ":zz\n"));
    words.replaceInStrings(QStringLiteral("HEX"), putFile(dir, "kip.hex", hexImage()));
    words.replaceInStrings(QStringLiteral("EMPTY"), putFile(dir, "empty.hex", ":00000001FF\n"));
    const QString scenario =
        putFile(dir, "line.txt",
                "type 1\ncontroller 0 0 4\ncontroller 1 4 4 fault=silent\nsensor 1 fault=silent\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=2,3\nKIP1=0,4\nKIP2=4,4\n");
    const Run r = runCli(QStringList{"--simulate", scenario, "--config", config} + words);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
}

// What the window hides for a controller type is refused for it here too,
// before anything is sent.
void TestCli::flashRefusedByType_data() {
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

void TestCli::flashRefusedByType() {
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

void TestCli::dbFind_data() {
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

void TestCli::dbFind() {
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

// A save takes N_DU from the factory database beside the file; a sensor
// that does not answer leaves the file as it was.
void TestCli::dbSaveNeedsEveryReadAndTheFactoryNumber() {
    QTemporaryDir dir;
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString good = putFile(dir, "good.txt", "type 1\ncontroller 0 0 4\n");
    const QString silent =
        putFile(dir, "silent.txt", "type 1\ncontroller 0 0 4\nsensor 2 fault=silent\n");
    auto cli = [&](const QString& scenario, QStringList words) {
        return runCli(QStringList{"--simulate", scenario, "--config", config} + words);
    };
    const QString id = cli(good, {"sensor", "3", "thermometers"}).out.section('\t', 1, 1);
    QCOMPARE(id.size(), 16);
    {
        db::DbfTable t(dir.filePath(QStringLiteral("factory.dbf")));
        t.AddField("N_DU", 'C', 5, 0);
        for (int k = 1; k <= 8; ++k) {
            t.AddField(db::numbered("ID_T", k), 'C', 16, 0);
            t.AddField(db::numbered("H_T", k), 'C', 5, 0);
        }
        const int i = t.AppendBlank();
        t.SetField("N_DU", "42");
        t.SetField("ID_T1", id.toLatin1());
        QVERIFY(t.WriteRecord(i));
    }
    const QString file = dir.filePath(QStringLiteral("user.dbf"));
    const Run saved = cli(good, {"db-save", file, "sensor", "3"});
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
    {
        db::DbfTable t(file);
        QVERIFY(t.ReadRecord(0));
        QCOMPARE(t.GetField("N_DU").trimmed(), QByteArray("42"));
    }
    const QByteArray before = fileBytes(file);
    const Run unanswered = cli(silent, {"db-save", file, "sensor", "3", "--yes"});
    QCOMPARE(unanswered.exitCode, 1);
    QVERIFY2(unanswered.err.contains(QStringLiteral("датчик 3: НЕТ ОТВЕТА")),
             qPrintable(unanswered.err));
    QCOMPARE(fileBytes(file), before);
}

void TestCli::dbSaveAndLoadOverPseudoTerminal() {
    QTemporaryDir dir;
    Simulator sim(dir, putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"));
    QVERIFY(sim.started);
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString file = dir.filePath(QStringLiteral("user.dbf"));
    auto cli = [&](QStringList words) {
        return runCli(QStringList{"--port", sim.tty, "--config", config} + words);
    };
    const Run saved = cli({"db-save", file, "sensor", "3"});
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
    const QByteArray first = fileBytes(file);
    // A second save for the address asks; without --yes the file stays.
    const Run again = cli({"db-save", file, "sensor", "3"});
    QCOMPARE(again.exitCode, 1);
    QCOMPARE(fileBytes(file), first);
    // The record edited as another sensor's would be, then loaded.
    {
        db::DbfTable t(file);
        QVERIFY(t.ReadRecord(0));
        QCOMPARE(t.GetField("S_ADR").trimmed(), QByteArray("2"));
        t.SetField("S_ADD", "-7.5");
        t.SetField("H_T1", "333");
        QVERIFY(t.WriteRecord(0));
    }
    const Run loaded = cli({"db-load", file, "sensor", "3"});
    QVERIFY2(loaded.exitCode == 0, qPrintable(loaded.err));
    QVERIFY(loaded.out.contains(QStringLiteral("correction=-7.5 ЗАПИСАНО")));
    const Run settings = cli({"sensor", "3", "get"});
    const Run places = cli({"sensor", "3", "thermometers"});
    const Run missing = cli({"db-load", file, "sensor", "4"});
    QVERIFY(sim.stop());
    QVERIFY(settings.out.contains(QStringLiteral("level-correction=-7.5\n")));
    QVERIFY(places.out.startsWith(QStringLiteral("1\t")));
    QCOMPARE(places.out.split(QLatin1Char('\n')).first().section(QLatin1Char('\t'), 2),
             QStringLiteral("333"));
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(missing.err.contains(QStringLiteral("ТАКОГО АДРЕСА НЕТ В БАЗЕ")));
}

// An identifier that is not one (frame characters, a wrong family, a bad
// CRC) or a value out of its range never reaches the line, whichever way
// it comes in: the trace shows not a single request.
void TestCli::valueRefusedBeforeAnyFrame_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QString>("err");
    const QString injection = QStringLiteral("10AB@014F010032*");
    QTest::newRow("thermometer, frame characters")
        << QStringList{"sensor", "2", "thermometer", "3", injection, "1500"} << QString()
        << QStringLiteral("thermometer 3 \"10AB@014F010032*\": не шестнадцатеричные символы");
    QTest::newRow("thermometer, CRC")
        << QStringList{"sensor", "2", "thermometer", "3", "108CE7E95A3AAA38", "1500"} << QString()
        << QStringLiteral("CRC не совпадает");
    QTest::newRow("thermometer, density meter's family")
        << QStringList{"sensor", "2", "thermometer", "3", "445370540000AB70", "1500"} << QString()
        << QStringLiteral("семейство не 10");
    QTest::newRow("density meter, thermometer's family")
        << QStringList{"sensor", "2", "densitymeter", "1", "108CE7E95A3AAA37", "700", "1.5"}
        << QString() << QStringLiteral("densitymeter 1 \"108CE7E95A3AAA37\": семейство не 44");
    QTest::newRow("db-load") << QStringList{"db-load", "@db", "sensor", "2"} << injection
                             << QStringLiteral("thermometer1 \"10AB@014F010032*\"");
    QTest::newRow("db-load, not hex")
        << QStringList{"db-load", "@db", "sensor", "2"} << QStringLiteral("10ZZZZZZZZZZZZZZ")
        << QStringLiteral("не шестнадцатеричные символы");
    QTest::newRow("restore") << QStringList{"restore", "@snapshot"} << injection
                             << QStringLiteral("thermometer.1.id \"10AB@014F010032*\"");
    QTest::newRow("restore, size out of range")
        << QStringList{"restore", "@snapshot"} << QStringLiteral("\"size\": 2000000")
        << QStringLiteral("датчик 1: size \"2000000\": допустимо от 1 до 65535 мм");
    // Values out of their range, the same way.
    QTest::newRow("sensor size") << QStringList{"sensor", "2", "set", "size=2000000"} << QString()
                                 << QStringLiteral("size \"2000000\": допустимо от 1 до 65535 мм");
    QTest::newRow("controller interval")
        << QStringList{"controller", "1", "set", "interval=30"} << QString()
        << QStringLiteral("interval \"30\": допустимо от 1.0 до 25.5 с");
    QTest::newRow("alarm threshold")
        << QStringList{"alarm", "2", "set", "fuel-max=70000"} << QString()
        << QStringLiteral("alarm.fuel-max \"70000\": допустимо от 0 до 65535 мм");
    QTest::newRow("thermometer height")
        << QStringList{"sensor", "2", "thermometer", "3", "108CE7E95A3AAA37", "70000"} << QString()
        << QStringLiteral("thermometer.3.height \"70000\": допустимо от 1 до 65535 мм");
    QTest::newRow("density-meter correction")
        << QStringList{"sensor", "2", "densitymeter", "1", "445370540000AB70", "700", "1000"}
        << QString() << QStringLiteral("meter.1.correction \"1000\": допустимо от -999.9 до 999.9");
}

void TestCli::valueRefusedBeforeAnyFrame() {
    QFETCH(QStringList, words);
    QFETCH(QString, bad);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("user.dbf"));
    const QString snapshotPath = dir.filePath(QStringLiteral("a.json"));
    if (words.contains(QStringLiteral("@db"))) {
        QVERIFY(db::CreateUserBase(dbPath));
        db::DbfTable t(dbPath);
        const int i = t.AppendBlank();
        t.SetField("S_ADR", "1");
        t.SetField("ID_T1", bad.toLatin1());
        t.SetField("H_T1", "1500");
        QVERIFY(t.WriteRecord(i));
        words.replaceInStrings(QStringLiteral("@db"), dbPath);
    }
    if (words.contains(QStringLiteral("@snapshot"))) {
        QCOMPARE(runCli({"--simulate", "snapshot", snapshotPath}).exitCode, 0);
        QByteArray json = fileBytes(snapshotPath);
        if (bad.startsWith(QLatin1Char('"'))) {
            // One value of the first sensor edited by hand.
            const QRegularExpression value(bad.section(QLatin1Char(':'), 0, 0) +
                                           QStringLiteral(": [0-9.-]+"));
            const auto m = value.match(QString::fromUtf8(json));
            QVERIFY(m.hasMatch());
            json = QString::fromUtf8(json)
                       .replace(m.capturedStart(), m.capturedLength(), bad)
                       .toUtf8();
        } else {
            const QByteArray key = "\"thermometer.1.id\": \"";
            const qsizetype at = json.indexOf(key) + key.size();
            QVERIFY(at > key.size());
            json.replace(at, 16, bad.toLatin1());
        }
        putFile(dir, "a.json", json);
        words.replaceInStrings(QStringLiteral("@snapshot"), snapshotPath);
    }
    const Run r = runCli(QStringList{"--simulate", "--trace"} + words);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("> ")), qPrintable(r.err));
}

void TestCli::snapshotDiffRestoreReport() {
    QTemporaryDir dir;
    Simulator sim(dir, putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"));
    QVERIFY(sim.started);
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    auto cli = [&](QStringList words) {
        return runCli(QStringList{"--port", sim.tty, "--config", config} + words);
    };
    auto file = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    QCOMPARE(cli({"snapshot", file("a.json")}).out, QStringLiteral("controllers=1\nsensors=4\n"));
    // Three settings changed on the line.
    QCOMPARE(cli({"controller", "1", "set", "interval=5.5"}).exitCode, 0);
    QCOMPARE(cli({"sensor", "3", "set", "level-correction=-10"}).exitCode, 0);
    QCOMPARE(cli({"sensor", "2", "thermometer", "1", "108CE7E95A3AAA37", "600"}).exitCode, 0);
    QCOMPARE(cli({"snapshot", file("b.json")}).exitCode, 0);
    const Run diff = runCli({"snapshot-diff", file("a.json"), file("b.json")});
    const Run plan = cli({"restore", file("a.json"), "--dry-run"});
    const Run restored = cli({"restore", file("a.json")});
    QCOMPARE(cli({"snapshot", file("c.json")}).exitCode, 0);
    QVERIFY(sim.stop());
    QCOMPARE(diff.exitCode, 1);
    const QStringList lines = diff.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4); // the interval, one identifier and its height, the correction
    // Keys and values in the page's units.
    QVERIFY(diff.out.contains(QStringLiteral("КИП 1\tinterval\t10.0\t5.5\n")));
    QVERIFY(diff.out.contains(QStringLiteral("датчик 3\tlevel-correction\t-1.5\t-10.0\n")));
    // The file holds the passwords: its owner alone reads it.
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(file("a.json")) & others, QFileDevice::Permissions());
    QCOMPARE(plan.exitCode, 0);
    QCOMPARE(plan.out.count(QLatin1Char('\n')), 4);
    QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
    QVERIFY(restored.out.endsWith(QStringLiteral("ВОССТАНОВЛЕНО\n")));
    const Run same = runCli({"snapshot-diff", file("a.json"), file("c.json")});
    QCOMPARE(same.exitCode, 0);
    QCOMPARE(same.out, QString());
    // The report of the first snapshot, as PDF.
    QCOMPARE(runCli({"report", file("a.json"), file("a.pdf")}).exitCode, 0);
    QVERIFY(fileBytes(file("a.pdf")).startsWith("%PDF"));
    // Files that are not snapshots are refused with a reason.
    const QString junk =
        putFile(dir, "junk.json", "{\"format\":\"orvant2-snapshot\",\"version\":9}");
    const Run refused = runCli({"snapshot-diff", junk, file("a.json")});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY(refused.err.contains(QStringLiteral("версия формата 9")));
}

void TestCli::tablesOverPseudoTerminal_data() {
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

void TestCli::tablesOverPseudoTerminal() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(QString, tank);
    QFETCH(QString, controller);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QByteArray table = tableText();
    const QString file = putFile(dir, "t.vlm", table);
    const QString back = dir.filePath(QStringLiteral("back.vlm"));
    Simulator sim(dir, putFile(dir, "line.txt", scenario.toUtf8()));
    QVERIFY(sim.started);
    const QStringList base{QStringLiteral("--port"),   sim.tty,
                           QStringLiteral("--config"), putFile(dir, "o.cfg", config.toUtf8()),
                           QStringLiteral("tables"),   controller};
    const Run written = runCli(base + QStringList{"write", tank + "=" + file});
    const Run listed = runCli(base + QStringList{"list"});
    const Run read = runCli(base + QStringList{"read", tank, back});
    const Run cleared = runCli(base + QStringList{"clear"});
    const Run empty = runCli(base + QStringList{"list"});
    const Run absent = runCli(base + QStringList{"read", tank, back + "2"});
    QVERIFY(sim.stop());
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

void TestCli::diagramFailures_data() {
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

void TestCli::diagramFailures() {
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

void TestCli::sensorSettingsFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown key") << QStringList{"sensor", "3", "set", "colour=red"} << 2
                                 << "нельзя записать \"colour=red\"";
    QTest::newRow("read-only key")
        << QStringList{"sensor", "3", "set", "counter-value=5"} << 2 << "нельзя записать";
    QTest::newRow("not a number") << QStringList{"sensor", "3", "set", "level-correction=1e3"} << 2
                                  << "level-correction \"1e3\": допустимо от -3276.8 до 3276.7 мм";
    QTest::newRow("counter 255") << QStringList{"sensor", "3", "set", "counter=255"} << 2
                                 << "counter \"255\": допустимо от 3 до 254";
    QTest::newRow("half of the segments")
        << QStringList{"sensor", "3", "set", "working-segments=100"} << 2
        << "working-segments и removed-segments задаются вместе";
    QTest::newRow("forbidden flags")
        << QStringList{"sensor", "3", "set", "density-channel=combined", "single-density-meter=1"}
        << 2 << "Запрещённая комбинация флагов !";
    QTest::newRow("no such sensor") << QStringList{"sensor", "99", "get"} << 2
                                    << "датчик 99 не обслуживает ни один КИП конфигурации";
    QTest::newRow("silent sensor reads nothing")
        << QStringList{"SILENT", "sensor", "3", "get"} << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("silent sensor takes nothing")
        << QStringList{"SILENT", "sensor", "3", "set", "filling-criterion=2"} << 1
        << "НЕ ЗАПИСАНО: filling-criterion — НЕТ ОТВЕТА\n";
    // The reason the properties page gives too (tst_page_faults).
    QTest::newRow("echo-only line")
        << QStringList{"ECHOONLY", "sensor", "3", "set", "size=1000", "filling-criterion=2"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: size, filling-criterion — НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)\n";
}

void TestCli::sensorSettingsFailures() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QStringList words{QStringLiteral("--simulate")};
    if (args.first() == QLatin1String("SILENT")) {
        args.removeFirst();
        words << putFile(dir, "s.txt", "controller 0 0 4\nsensor 2 fault=silent\n");
    } else if (args.first() == QLatin1String("ECHOONLY")) {
        args.removeFirst();
        words << putFile(dir, "s.txt", "controller 0 0 4\necho-only\n");
    }
    // The layout from a file: no scan to wait for.
    words << QStringLiteral("--config")
          << putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli(words + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

// Terminals opened exclusively refuse everyone but root: the check runs as
// "nobody" when the tests run as root.
void TestCli::killedClientNeverLocksTheSimulator() {
    const bool root = ::geteuid() == 0;
    auto asUser = [root](QProcess& p) {
        if (root)
            p.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
    };
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n");
    const QString tty = dir.filePath(QStringLiteral("tty"));
    QProcess sim;
    asUser(sim);
    sim.start(QStringLiteral(ORVANT_SIM_BIN),
              {QStringLiteral("--link"), tty, QStringLiteral("--scenario"), scenario});
    QVERIFY(sim.waitForReadyRead(10000));
    QProcess first;
    asUser(first);
    first.start(QStringLiteral(ORVANT_CLI_BIN),
                {QStringLiteral("--port"), tty, QStringLiteral("scan")});
    QVERIFY(first.waitForStarted());
    QTest::qWait(800);
    first.kill(); // no chance to close the port
    QVERIFY(first.waitForFinished(5000));
    QTest::qWait(700);
    QProcess second;
    asUser(second);
    second.start(QStringLiteral(ORVANT_CLI_BIN),
                 {QStringLiteral("--port"), tty, QStringLiteral("scan")});
    QVERIFY(second.waitForFinished(20000));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
    QCOMPARE(second.readAllStandardOutput(),
             QByteArray("KIP_TYP=1\nKIP_NUM=1,1\nKIP_B=\nKIP1=0,4\n"));
}

void TestCli::portVanishingDuringScan() {
    // As when the USB adapter is pulled: the pseudo-terminal goes away in
    // the middle of a 32-address scan.
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", "type 3\ncontroller 0 0 4\n");
    Simulator sim(dir, scenario);
    QVERIFY(sim.started);
    const QString& tty = sim.tty;
    QProcess cli;
    cli.start(QStringLiteral(ORVANT_CLI_BIN),
              {QStringLiteral("--port"), tty, QStringLiteral("--type"), QStringLiteral("3"),
               QStringLiteral("scan")});
    QVERIFY(cli.waitForStarted());
    QTest::qWait(1500);
    sim.process.kill();
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY(QString::fromUtf8(cli.readAllStandardError())
                .contains(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.")));
    QVERIFY(cli.readAllStandardOutput().isEmpty()); // no layout is claimed
}

void TestCli::scanSimulated_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::newRow("built-in installation")
        << QStringList{"--simulate", "scan"}
        << "KIP_TYP=1\nKIP_NUM=3,7\nKIP_B=\nKIP1=0,6\nKIP2=6,6\nKIP3=12,4\n";
    QTest::newRow("as type 0") << QStringList{"--simulate", "--type", "0", "scan"}
                               << "KIP_TYP=0\nKIP_NUM=3,7\nKIP_B=\nKIP1=0,6\nKIP2=6,6\nKIP3=12,4\n";
}

void TestCli::scanSimulated() {
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, out);
}

void TestCli::wrongWords_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << QStringList{"scan"} << "задайте --port PORT или --simulate";
    QTest::newRow("both") << QStringList{"--port", "/dev/null", "--simulate", "scan"}
                          << "задайте --port PORT или --simulate";
    QTest::newRow("bad type") << QStringList{"--simulate", "--type", "9", "scan"}
                              << "--type: нужен тип КИП 0..5";
    QTest::newRow("no command") << QStringList{"--simulate"} << "не задана команда";
    QTest::newRow("unknown command")
        << QStringList{"--simulate", "dance"} << "неизвестная команда \"dance\"";
    QTest::newRow("missing scenario")
        << QStringList{"--simulate", "/nonexistent/s.txt", "scan"} << "/nonexistent/s.txt:";
}

void TestCli::wrongWords() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}

void TestCli::portThatCannotBeOpened() {
    QTemporaryDir dir;
    const Run r = runCli(
        {QStringLiteral("--port"), dir.filePath(QStringLiteral("none")), QStringLiteral("scan")});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral(" -ПОРТ НЕДОСТУПЕН")), qPrintable(r.err));
}

void TestCli::traceShowsFrames() {
    const Run r =
        runCli({QStringLiteral("--simulate"), QStringLiteral("--trace"), QStringLiteral("scan")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains(QStringLiteral("> КИП 1  ReadVersion  | @800100")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("< КИП 1  ReadVersion  данные 13 байт: 4B 49")));
    QVERIFY(r.err.contains(QStringLiteral("*<0D>")));
    QVERIFY(r.err.contains(QStringLiteral("< КИП 4  ReadVersion  !! НЕТ ОТВЕТА")));
    // Each request names its command.
    QVERIFY(r.err.contains(QStringLiteral("  ReadVersion")));
    QVERIFY(r.err.contains(QStringLiteral("  AddressRange")));
}

// At 9600 baud the characters trickle in; the trace still shows one line
// per reply.
void TestCli::traceOneLinePerReplyAtWireSpeed() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n");
    QProcess sim;
    const QString tty = dir.filePath(QStringLiteral("tty"));
    sim.start(QStringLiteral(ORVANT_SIM_BIN),
              {QStringLiteral("--link"), tty, QStringLiteral("--scenario"), scenario,
               QStringLiteral("--wire-time")});
    QVERIFY(sim.waitForReadyRead(10000));
    const Run r = runCli(
        {QStringLiteral("--port"), tty, QStringLiteral("--trace"), QStringLiteral("--config"),
         putFile(dir, "o.cfg", "KIP_NUM=1,1\nKIP1=0,2\n"), QStringLiteral("status")});
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(r.exitCode, 0);
    int replies = 0;
    for (const QString& line : r.err.split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String(" < ")))
            continue;
        ++replies;
        QVERIFY2(line.contains(QStringLiteral(" < датчик ")) &&
                     line.contains(QStringLiteral("| @")) &&
                     line.contains(QStringLiteral("данные 30 байт")),
                 qPrintable(line));
    }
    QCOMPARE(replies, 2); // one full status per sensor
}

// Ctrl+C during the scan ends the whole command, not just the scan; what
// was found so far goes to standard error only.
void TestCli::interruptStopsStatus_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("status") << "status";
    QTest::newRow("scan") << "scan";
}

void TestCli::interruptStopsStatus() {
    QFETCH(QString, command);
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "one.txt", "type 1\ncontroller 0 0 2\n");
    QProcess p;
    p.start(QStringLiteral(ORVANT_CLI_BIN), {QStringLiteral("--simulate"), scenario, command});
    QVERIFY(p.waitForStarted());
    QTest::qWait(1200);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("ПРЕРВАНО"), err.constData());
    if (command == QLatin1String("scan"))
        QVERIFY2(err.contains("KIP1=0,2"), err.constData());
}

void TestCli::helpWords_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("shows");
    QTest::newRow("--help") << QStringList{"--help"} << "команды с файлами";
    QTest::newRow("-h") << QStringList{"-h"} << "sensor N get";
    QTest::newRow("command help") << QStringList{"sensor", "--help"} << "sensor N set KEY=VALUE";
    QTest::newRow("file command help") << QStringList{"table-bin", "-h"} << "table-bin FILE OUT";
    // Device texts in the help must come out as they are, not mangled.
    QTest::newRow("cyrillic in help")
        << QStringList{"density", "--help"} << QStringLiteral("что показывает ЗАПРОСИТЬ ВСЁ");
}

void TestCli::helpWords() {
    QFETCH(QStringList, args);
    QFETCH(QString, shows);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(shows), qPrintable(r.out));
    QVERIFY(r.err.isEmpty());
}

void TestCli::simulatorStopsOnSignal() {
    QTemporaryDir dir;
    QProcess sim;
    const QString tty = dir.filePath(QStringLiteral("tty"));
    QVERIFY(startSimulator(sim, tty, QString()));
    QVERIFY(QFileInfo(tty).isSymLink());
    ::kill(static_cast<pid_t>(sim.processId()), SIGINT);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(tty));
}

void TestCli::setAddress_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stream");
    QTest::newRow("lone sensor") << "type 5\nsensors 3 1\n"
                                 << "17" << 0 << "Адрес установлен";
    QTest::newRow("two sensors") << "type 5\nsensors 3 2\n"
                                 << "17" << 1 << "Адрес не установлен";
    QTest::newRow("none on the line") << "type 5\nsensors 0 0\n"
                                      << "17" << 1 << "Адрес не установлен";
    QTest::newRow("number 0") << "type 5\nsensors 3 1\n"
                              << "0" << 2 << "set-address: нужен номер датчика от 1 до 128";
    QTest::newRow("not a number") << "type 5\nsensors 3 1\n"
                                  << "x" << 2 << "set-address: нужен номер датчика";
}

void TestCli::setAddress() {
    QFETCH(QString, scenario);
    QFETCH(QString, number);
    QFETCH(int, exitCode);
    QFETCH(QString, stream);
    QTemporaryDir dir;
    const QString path = putFile(dir, "s.txt", scenario.toUtf8());
    const Run r =
        runCli({QStringLiteral("--simulate"), path, QStringLiteral("set-address"), number});
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2((exitCode == 0 ? r.out : r.err).contains(stream), qPrintable(r.out + r.err));
}

void TestCli::statusFromConfiguration_data() {
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("general") << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=6,2\n"
                             << ""
                             << QStringList{
                                    "Рез.\tСтатус\tТопливо\tВода\tТемпер.\tПлотн.\tОбъём\tМасса",
                                    "7\t", "8\t"};
    QTest::newRow("no sensors")
        << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,0\n"
        << "" << QStringList{"Рез.\tСтатус\tТопливо\tВода\tТемпер.\tПлотн.\tОбъём\tМасса"};
    QTest::newRow("overview") << "KIP_TYP=1\nKIP_NUM=1,2\nKIP2=6,1\n"
                              << "--overview"
                              << QStringList{"Рез\tВерсия\tВысота\tТерм. \tПлотн.",
                                             "7\tDUT V3.06\t"};
    QTest::newRow("extended") << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,1\n"
                              << "--extended"
                              << QStringList{
                                     "Рез\tT1\tT2\tT3\tT4\tT5\tT6\tT7\tT8", "1\t+21.5 (00)\t",
                                     "Рез\tD1\tD2\tD3\tD4\tD5\tD6\tD7\tD8", "1\t0.0 (B0)\t"};
}

void TestCli::statusFromConfiguration() {
    QFETCH(QString, config);
    QFETCH(QString, mode);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString path = putFile(dir, "orvant2.cfg", config.toUtf8());
    QStringList args{QStringLiteral("--simulate"), QStringLiteral("--config"), path,
                     QStringLiteral("status")};
    if (!mode.isEmpty())
        args << mode;
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    const QStringList got = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(got.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(got[i].startsWith(lines[i]), qPrintable(got[i]));
    // Every line has one cell per column, empty ones included.
    for (const QString& line : got)
        QCOMPARE(line.count(QLatin1Char('\t')), got[0].count(QLatin1Char('\t')));
}

namespace {} // namespace

void TestCli::fileCommands() {
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

void TestCli::fileCommandFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing hex") << QStringList{"hex-info", "/nonexistent.hex"} << "ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("unsupported hex")
        << QStringList{"hex-info", "HEX:NOREV"} << "Этот файл программой не поддерживается";
    QTest::newRow("sensor file without data")
        << QStringList{"hex-info", "--sensor", "HEX:EMPTY"} << "в файле нет данных";
    QTest::newRow("bad table") << QStringList{"table-check", "VLM:BAD"}
                               << "ОШИБКА В ДАННЫХ СТРОКИ № 1";
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

void TestCli::fileCommandFailures() {
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

// A read that nobody answered is a failure that names the device; a sensor
// that answered and has nothing fitted is not.
void TestCli::unansweredReads_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    const QString silentSensor =
        QStringLiteral("type 1\ncontroller 0 0 4\nsensor 2 fault=silent\n");
    // Silent devices still act: the sensors too, or transit would reach them.
    const QString silentLine =
        QStringLiteral("type 1\ncontroller 0 0 4 fault=silent\nsensor 0 fault=silent\nsensor 1 "
                       "fault=silent\nsensor 2 fault=silent\nsensor 3 fault=silent\n");
    QTest::newRow("status") << silentSensor << QStringList{"status"} << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("extended status")
        << silentSensor << QStringList{"status", "--extended"} << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("thermometers") << silentSensor << QStringList{"sensor", "3", "thermometers"} << 1
                                  << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("density meters") << silentSensor << QStringList{"sensor", "3", "densitymeters"}
                                    << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("search") << silentSensor
                            << QStringList{"sensor", "3", "thermometers", "--search"} << 1
                            << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("settings") << silentSensor << QStringList{"sensor", "3", "get"} << 1
                              << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("none fitted, answered")
        << silentSensor << QStringList{"sensor", "1", "densitymeters"} << 0 << "";
    QTest::newRow("snapshot of a silent line")
        << silentLine << QStringList{"snapshot", "OUT"} << 1 << "КИП 1: НЕТ ОТВЕТА";
    QTest::newRow("snapshot with a silent sensor")
        << silentSensor << QStringList{"snapshot", "OUT"} << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("scan of a silent line")
        << silentLine << QStringList{"--no-config", "scan"} << 1 << "НЕТ ОТВЕТА";
    QTest::newRow("scan hearing no controller")
        << "type 1\ncontroller 0 0 4 fault=address\n"
        << QStringList{"--no-config", "scan"} << 1 << "КИП НЕ НАЙДЕНЫ";
    // Nothing but the echo: every read names the silent device, and a
    // controller that never answered is not said to be left in transit.
    const QString echoOnly = QStringLiteral("type 1\ncontroller 0 0 4\necho-only\n");
    QTest::newRow("controller settings, echo only")
        << echoOnly << QStringList{"controller", "1", "get"} << 1 << "КИП 1: НЕТ ОТВЕТА";
    QTest::newRow("alarm settings, echo only")
        << echoOnly << QStringList{"alarm", "3", "get"} << 1 << "КИП 1: НЕТ ОТВЕТА";
    QTest::newRow("tables, echo only")
        << echoOnly << QStringList{"tables", "1", "list"} << 1 << "КИП 1: НЕТ ОТВЕТА";
    QTest::newRow("density, echo only")
        << echoOnly << QStringList{"density", "3"} << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("status without a controller")
        << silentLine << QStringList{"--no-config", "status"} << 1 << "НЕТ ОТВЕТА";
}

void TestCli::unansweredReads() {
    QFETCH(QString, scenario);
    QFETCH(QStringList, words);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.json"));
    words.replaceInStrings(QStringLiteral("OUT"), out);
    QStringList args{"--simulate", putFile(dir, "line.txt", scenario.toUtf8())};
    if (words.first() == QLatin1String("--no-config"))
        words.removeFirst();
    else
        args << "--config" << putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli(args + words);
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.err));
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("ТРАНЗИТ")), qPrintable(r.err));
    // A file is written only when some device answered.
    QCOMPARE(QFileInfo::exists(out), words.first() == QLatin1String("snapshot") &&
                                         !scenario.contains(QLatin1String("0 0 4 fault")));
}

// Leaving transit is tried three times; a controller that never answered
// is reported and the command fails, whatever it did.
void TestCli::transitLeftOn_data() {
    QTest::addColumn<QString>("unheard");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("two 0xA5 unheard") << "2" << 0;
    QTest::newRow("never heard") << "always" << 1;
}

void TestCli::transitLeftOn() {
    QFETCH(QString, unheard);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", ("type 1\ncontroller 0 0 4\nunheard 0 A5 " + unheard).toUtf8());
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r =
        runCli({"--simulate", scenario, "--config", config, "--trace", "sensor", "3", "get"});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.err.count(QStringLiteral("ResumeNormal  !! НЕТ ОТВЕТА")), exitCode == 0 ? 2 : 3);
    QCOMPARE(r.err.contains(QStringLiteral("КИП остался в режиме ТРАНЗИТ")), exitCode != 0);
    // What was read is still shown.
    QVERIFY(r.out.startsWith(QStringLiteral("size=")));
}

// A table written without its read-back is not passed off as checked.
void TestCli::tablesWrittenUnverifiedSaySo() {
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

// Without controllers nothing is probed for them before the command.
void TestCli::typeFiveSendsNoProbes() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 5\nsensors 2 1\n");
    const Run r =
        runCli({"--simulate", scenario, "--type", "5", "--trace", "sensor", "3", "densitymeters"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("> КИП")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("> датчик 3")));
    const Run scan = runCli({"--simulate", scenario, "--type", "5", "--trace", "scan"});
    QCOMPARE(scan.exitCode, 0);
    QVERIFY2(!scan.err.contains(QStringLiteral("> КИП")), qPrintable(scan.err));
    QVERIFY(scan.out.startsWith(QStringLiteral("KIP_TYP=5\n")));
}

// A controller whose firmware is dead answers no scan: the emergency mode
// goes to its own address all the same.
void TestCli::flashDeadControllerInEmergency() {
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

void TestCli::restoreOutsideItsScope_data() {
    QTest::addColumn<QStringList>("scope");
    QTest::addColumn<QString>("error");
    QTest::newRow("sensor in neither") << QStringList{"--sensor", "12"} << "датчика 12 нет в";
    QTest::newRow("sensor not in the layout")
        << QStringList{"--sensor", "6"} << "датчик 6 не обслуживает ни один КИП конфигурации";
    QTest::newRow("controller in neither") << QStringList{"--controller", "3"} << "КИП 3 нет в";
    QTest::newRow("controller not in the layout")
        << QStringList{"--controller", "2"} << "КИП 2 нет в конфигурации";
}

void TestCli::restoreOutsideItsScope() {
    QFETCH(QStringList, scope);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\ncontroller 1 4 4\n");
    const QString both = putFile(dir, "a.cfg", "KIP_TYP=1\nKIP_NUM=2,3\nKIP1=0,4\nKIP2=4,4\n");
    const QString first = putFile(dir, "b.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString file = dir.filePath(QStringLiteral("s.json"));
    QCOMPARE(runCli({"--simulate", scenario, "--config", both, "snapshot", file}).exitCode, 0);
    const Run r =
        runCli(QStringList{"--simulate", scenario, "--config", first, "restore", file} + scope);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QCOMPARE(r.out, QString());
}

// Devices end their version and date with a zero; no text keeps it.
void TestCli::versionTextsEndAtTheirZero() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", "type 1\ncontroller 0 0 2\n");
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,2\n");
    const QString file = dir.filePath(QStringLiteral("s.json"));
    const Run overview =
        runCli({"--simulate", scenario, "--config", config, "status", "--overview"});
    QVERIFY2(overview.exitCode == 0, qPrintable(overview.err));
    QVERIFY(overview.out.contains(QStringLiteral("\tDUT V3.01\t")));
    QVERIFY(!overview.out.contains(QChar(0)));
    QCOMPARE(runCli({"--simulate", scenario, "--config", config, "snapshot", file}).exitCode, 0);
    const QByteArray json = fileBytes(file);
    QVERIFY(json.contains("\"KIP-N6 V4.10\""));
    QVERIFY(json.contains("\"VQ.DATE.30-11-2026\""));
    QVERIFY(json.contains("\"DUT V3.01\""));
    QVERIFY(!json.contains("\\u0000"));
    const QString html = dir.filePath(QStringLiteral("s.html"));
    QCOMPARE(runCli({"report", file, html}).exitCode, 0);
    QVERIFY(!fileBytes(html).contains('\0'));
}

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

// Every file the CLI writes, on a disk where nothing more fits: the old file
// stays byte for byte, nothing is left beside it, the failure names the file
// and the reason, and the exit code is 1.
void TestCli::writersOnAFullDisk_data() {
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

void TestCli::writersOnAFullDisk() {
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

// Past the file-size limit a write fails with a message instead of the
// process being killed half-way, and leaves nothing behind.
void TestCli::writerPastAFileSizeLimit() {
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
void TestCli::readersRefuseWhatIsNoFile_data() {
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

void TestCli::readersRefuseWhatIsNoFile() {
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
void TestCli::simulatorKeepsOthersFiles() {
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
void TestCli::userFileNameGetsItsExtension() {
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

// dbf-dump prints text in UTF-8, decoded by the table's language driver.
void TestCli::dbfDumpDecodesTheCodePage_data() {
    QTest::addColumn<int>("driver");
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("none (CP1251)") << 0x00 << QByteArray("windows-1251");
    QTest::newRow("Russian Windows") << 0xC9 << QByteArray("windows-1251");
    QTest::newRow("Russian DOS") << 0x26 << QByteArray("IBM866");
}

void TestCli::dbfDumpDecodesTheCodePage() {
    QFETCH(int, driver);
    QFETCH(QByteArray, encoding);
    const QString text = QStringLiteral("Резервуар №4");
    QStringEncoder encode(encoding.constData());
    QByteArray value = encode(text);
    value = value.leftJustified(16, ' ');
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestCli cli;
    TestRemoteLines remote;
    TestPollLogCli log;
    TestCliResults results;
    return QTest::qExec(&cli, argc, argv) + QTest::qExec(&remote, argc, argv) +
           QTest::qExec(&log, argc, argv) + QTest::qExec(&results, argc, argv);
}
#include "tst_cli.moc"
