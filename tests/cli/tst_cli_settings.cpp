#include "cli/tst_cli_settings.h"

#include "cli/CliRun.h"
#include "common/TestFiles.h"
#include "common/TestMain.h"
#include "db/DbfTable.h"
#include "db/SensorDatabase.h"
#include "db/UserDatabase.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorCatalogue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

// A user file in dir with sensor 3's record: thermometer 1 with its height,
// and the level correction; its path, empty when it could not be made.
QString userRecordFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("user.dbf"));
    if (!db::CreateUserBase(path))
        return {};
    db::DbfTable t(path);
    const int i = t.AppendBlank();
    t.SetField("S_ADR", "2");
    t.SetField("ID_T1", "10E8C3A401080065");
    t.SetField("H_T1", "1500");
    t.SetField("S_ADD", "-7.5");
    return t.WriteRecord(i) ? path : QString();
}

} // namespace

// A write, then a read in another run against the same devices; the
// layout from a configuration file, transit handled by the command.
void TestCliSettings::sensorSettingsOverPseudoTerminal() {
    SimulatedLine line("type 1\ncontroller 1 4 4\n", "KIP_TYP=1\nKIP_NUM=1,2\nKIP2=4,4\n");
    QVERIFY(line.sim.started);
    const QStringList base = line.words({QStringLiteral("sensor"), QStringLiteral("6")});
    Run r = runCli(base + QStringList{"set", "size=1015", "level-correction=-12.5",
                                      "filling-criterion=12,5", "section-8=1.25",
                                      "density-channel=separate", "single-density-meter=1",
                                      "working-segments=150", "removed-segments=3", "counter=40",
                                      "code-algorithm=1"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    r = runCli(base + QStringList{"get"});
    QVERIFY(line.sim.stop());
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
         {"size=1015", "level-correction=-12.5", "filling-criterion=12.5", "section-8=1.250",
          "density-channel=separate", "single-density-meter=1", "working-segments=150",
          "removed-segments=3", "counter=40", "code-algorithm=1", "code-update=1"})
        QVERIFY2(lines.contains(QLatin1String(want)), want);
    QCOMPARE(lines.last(), QStringLiteral("counter-value=0"));
}

void TestCliSettings::placesOverPseudoTerminal() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QStringList base = line.words({QStringLiteral("sensor"), QStringLiteral("3")});
    Run w1 = runCli(base + QStringList{"densitymeter", "2", "12", "750", "-1,5"});
    Run w2 = runCli(base + QStringList{"thermometer", "6", "10e8c3a401080065", "4000"});
    Run bad = runCli(base + QStringList{"densitymeter", "1", "AB", "500", "x"});
    Run meters = runCli(base + QStringList{"densitymeters"});
    Run thermometers = runCli(base + QStringList{"thermometers"});
    Run found = runCli(base + QStringList{"thermometers", "--search"});
    QVERIFY(line.sim.stop());
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

void TestCliSettings::densityOverPseudoTerminal() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QStringList base = line.words({QStringLiteral("density"), QStringLiteral("3")});
    const Run set = runCli(base + QStringList{"--meter", "2", "set-correction", "-0,7"});
    const Run all = runCli(base + QStringList{"--meter", "2"});
    const Run absent = runCli(base + QStringList{"--meter", "5", "--init"});
    const Run wrong = runCli(base + QStringList{"--meter", "9"});
    const Run search = runCli(base + QStringList{"--search"});
    QVERIFY(line.sim.stop());
    // The meters ЗАПРОСИТЬ finds: number, identifier, height.
    QVERIFY2(search.exitCode == 0, qPrintable(search.err));
    QVERIFY2(search.out.startsWith(QStringLiteral("1\t")) &&
                 search.out.contains(QStringLiteral("\t512\n2\t")) &&
                 search.out.endsWith(QStringLiteral("\t612\nfound=2\n")),
             qPrintable(search.out));
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

void TestCliSettings::alarmOverPseudoTerminal() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QStringList base = line.words({QStringLiteral("alarm"), QStringLiteral("3")});
    const Run set = runCli(base + QStringList{"set", "fuel-max=1500", "enable-leak=1"});
    const Run get = runCli(base + QStringList{"get"});
    const Run off = runCli(base + QStringList{"off", "fuel-max"});
    // Nothing sounds any more: the sensor answers without switching off.
    const Run again = runCli(base + QStringList{"off", "fuel-max"});
    const Run state = runCli(base + QStringList{"state"});
    const Run ram = runCli(base + QStringList{"ramtest"});
    const Run wrong = runCli(base + QStringList{"set", "leak=70000"});
    QVERIFY(line.sim.stop());
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    QVERIFY(get.out.contains(QStringLiteral("fuel-max=1500\n")));
    QVERIFY(get.out.contains(QStringLiteral("enable-leak=1\n")));
    QVERIFY(get.out.contains(QStringLiteral("enable-fuel-max=1\n"))); // kept
    QCOMPARE(off.exitCode, 0);
    QCOMPARE(off.out, QStringLiteral("ВЫКЛЮЧЕНО\n"));
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.contains(QStringLiteral("orvant2-cli: НЕ ПОЛУЧИЛОСЬ: НЕ ПОДТВЕРЖДЕНО\n")),
             qPrintable(again.err));
    QVERIFY2(state.out.startsWith(QStringLiteral("fuel-max=controlled happened\n")),
             qPrintable(state.out));
    QCOMPARE(ram.exitCode, 0);
    QCOMPARE(ram.out, QStringLiteral("ОШИБОК НЕТ\n"));
    QCOMPARE(wrong.exitCode, 2);
}

void TestCliSettings::controllerOverPseudoTerminal() {
    SimulatedLine line("type 0\ncontroller 0 0 4\ncontroller 3 4 8\n",
                       "KIP_TYP=0\nKIP_NUM=2,9\nKIP1=0,4\nKIP4=4,8\n");
    QVERIFY(line.sim.started);
    const QStringList base = line.words({QStringLiteral("controller")});
    const Run set = runCli(base + QStringList{"1", "set", "interval=12,5", "main-channel=usb",
                                              "system-password=0042", "sensor-map=0"});
    const Run get = runCli(base + QStringList{"1", "get"});
    const Run status = runCli(base + QStringList{"4", "status"});
    // Controller 4 moves to address 2; then only address 2 answers.
    const Run moved = runCli(base + QStringList{"4", "set", "address=2", "sensor-count=3"});
    const Run gone = runCli(base + QStringList{"4", "get"});
    QVERIFY(line.sim.stop());
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

void TestCliSettings::controllerWrongWords_data() {
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
                                << "address \"17\": у КИП-Н6 допустимо от 1 до 16";
    QTest::newRow("address 33") << QStringList{"1", "set", "address=33"}
                                << "address \"33\": допустимо от 1 до 32";
    // A controller told it serves no sensor would drop out of every layout.
    QTest::newRow("no sensors") << QStringList{"1", "set", "sensor-count=0"}
                                << "sensor-count \"0\": допустимо от 1 до 16";
    QTest::newRow("unknown key") << QStringList{"1", "set", "speed=9600"} << "нельзя записать";
    QTest::newRow("not in the layout") << QStringList{"5", "get"} << "КИП 5 нет в конфигурации";
    QTest::newRow("no КИП-Н6 has it")
        << QStringList{"17", "set", "interval=5"} << "КИП 17: у КИП-Н6 номера КИП от 1 до 16";
    QTest::newRow("no verb") << QStringList{"1"} << "controller K get";
}

void TestCliSettings::controllerWrongWords() {
    QFETCH(QStringList, words);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r =
        runCli(QStringList{"--simulate", "--config", config, "--trace", "controller"} + words);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // Refused before the wire.
    QVERIFY2(!r.err.contains(QStringLiteral(" > ")), qPrintable(r.err));
}

// Each item a silent controller did not take is named, with the cause, as
// the configuration page says it; every one of them went on the wire.
void TestCliSettings::controllerSetNamesWhatWasNotWritten() {
    QTemporaryDir dir;
    const Run r =
        runCli({"--simulate", putFile(dir, "line.txt", "type 1\ncontroller 0 0 4 fault=silent\n"),
                "--config", putFile(dir, "o.cfg", kOneControllerLayout), "--trace", "controller",
                "1", "set", "interval=12.5", "sensor-map=0"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(
                 QStringLiteral("orvant2-cli: НЕ ЗАПИСАНО: interval, sensor-map — НЕТ ОТВЕТА\n")),
             qPrintable(r.err.right(400)));
    QVERIFY(r.err.contains(QStringLiteral("  PollInterval  [7D]")));
    QVERIFY(r.err.contains(QStringLiteral("  OptionByte  [01]")));
}

// The write of the configuration page, in its order: the range to the
// controller where it is, its own address last.
void TestCliSettings::controllerSetWritesTheAddressLast() {
    QTemporaryDir dir;
    const Run r = runCli({"--simulate", putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"),
                          "--config", putFile(dir, "o.cfg", kOneControllerLayout), "--trace",
                          "controller", "1", "set", "address=4", "first-sensor=9"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА\n"));
    const qsizetype range = r.err.indexOf(QStringLiteral("> КИП 1  AddressRange  [02 08]"));
    const qsizetype address = r.err.indexOf(QStringLiteral("> КИП 1  AddressRange  [01 03]"));
    QVERIFY2(range > 0 && address > range, qPrintable(r.err.right(600)));
}

// A С6 line is scanned over 32 addresses: a controller can be moved past
// 16, and read there.
void TestCliSettings::controllerBeyondSixteen() {
    SimulatedLine line("type 3\ncontroller 0 0 4\n", "KIP_TYP=3\nKIP_NUM=1,1\nKIP1=0,4\n");
    QVERIFY(line.sim.started);
    const Run moved = runCli(line.words({"controller", "1", "set", "address=20"}));
    const QString moved20 = putFile(line.dir, "20.cfg", "KIP_TYP=3\nKIP_NUM=1,524288\nKIP20=0,4\n");
    const Run got =
        runCli({"--port", line.sim.tty, "--config", moved20, "controller", "20", "get"});
    QVERIFY(line.sim.stop());
    QVERIFY2(moved.exitCode == 0, qPrintable(moved.err));
    QVERIFY2(got.exitCode == 0, qPrintable(got.err));
    QVERIFY2(got.out.contains(QStringLiteral("\naddress=20\n")), qPrintable(got.out));
}

void TestCliSettings::keyboardStatusSimulated_data() {
    QTest::addColumn<QString>("type");
    for (const char* type : {"0", "1", "2", "3", "4"})
        QTest::newRow(type) << QString::fromLatin1(type);
    QTest::newRow("5") << QStringLiteral("5");
}

// Every controller type has the keyboard/display processor, and its status
// is read as the page reads it; without a controller there is none.
void TestCliSettings::keyboardStatusSimulated() {
    QFETCH(QString, type);
    const Run r = runCli({"--simulate", "--type", type, "controller", "1", "status", "--keyboard"});
    if (type == QLatin1String("5")) {
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(
                     QStringLiteral("КИП не используется: процессора клавиатуры и индикации нет")),
                 qPrintable(r.err));
        return;
    }
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("\nSTS\n")));
    QVERIFY(!r.out.contains(QStringLiteral("mode=")));
    QVERIFY(!r.out.contains(QStringLiteral("sensors=")));
    QVERIFY2(QRegularExpression(QStringLiteral("\ndump=([0-9A-F]{2} ){5}[0-9A-F]{2}\n$"))
                 .match(r.out)
                 .hasMatch(),
             qPrintable(r.out));
}

// A save takes N_DU from the factory database beside the file; a sensor
// that does not answer leaves the file as it was.
void TestCliSettings::dbSaveNeedsEveryReadAndTheFactoryNumber() {
    QTemporaryDir dir;
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString good = putFile(dir, "good.txt", "type 1\ncontroller 0 0 4\n");
    const QString silent =
        putFile(dir, "silent.txt", "type 1\ncontroller 0 0 4\nsensor 2 fault=silent\n");
    auto cli = [&](const QString& scenario, QStringList words) {
        return runCli(QStringList{kVirtualTime, "--simulate", scenario, "--config", config} +
                      words);
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
    // The line dies at the flags: size and correction were read, the rest
    // not; the record kept is the whole one of the first save.
    const QString part = putFile(dir, "part.txt", "type 1\ncontroller 0 0 4\ncut 4F 0\n");
    const Run halfRead = cli(part, {"db-save", file, "sensor", "3", "--yes"});
    QCOMPARE(halfRead.exitCode, 1);
    QVERIFY2(halfRead.err.contains(QStringLiteral(
                 "датчик 3: НЕ СОХРАНЕНО, нет ответа: reset-on-link-loss, reset-on-density-0-1, "
                 "propagate-after-filling, density-channel, filling-criterion, thermometer.1.id, "
                 "thermometer.2.id, thermometer.3.id, thermometer.4.id, thermometer.5.id, "
                 "thermometer.6.id, thermometer.7.id, thermometer.8.id, meter.1.id, meter.2.id, "
                 "meter.3.id")),
             qPrintable(halfRead.err));
    QCOMPARE(fileBytes(file), before);
}

// What db-save is given to read and cannot read whole is refused before
// the line is touched, and no user file is made: a factory database that
// is no file or not one, a configuration over its size limit.
void TestCliSettings::dbSaveRefusesWhatItCannotRead_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("err");
    QTest::newRow("factory database a folder") << "factory folder"
                                               << "НЕ ФАЙЛ";
    QTest::newRow("factory database a FIFO") << "factory FIFO"
                                             << "НЕ ФАЙЛ";
    QTest::newRow("factory database missing") << "factory missing"
                                              << "ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("factory database of another structure") << "factory other"
                                                           << "Неподходящая структура файла.";
    QTest::newRow("configuration over its limit") << "config"
                                                  << "ФАЙЛ СЛИШКОМ ВЕЛИК";
}

void TestCliSettings::dbSaveRefusesWhatItCannotRead() {
    QFETCH(QString, input);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString factory = dir.filePath(QStringLiteral("factory.dbf"));
    if (input == QLatin1String("factory folder"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("factory.dbf")));
    else if (input == QLatin1String("factory FIFO"))
        QCOMPARE(::mkfifo(QFile::encodeName(factory).constData(), 0600), 0);
    else if (input == QLatin1String("factory other"))
        putFile(dir, "factory.dbf", "not a table");
    if (input == QLatin1String("config"))
        config = putFile(dir, "o.cfg",
                         "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n" + QByteArray(4 * 1024 * 1024, '#'));
    const QString file = dir.filePath(QStringLiteral("user.dbf"));
    QStringList words{"--simulate", "--trace", "--config", config, "db-save", file, "sensor", "3"};
    if (input.startsWith(QLatin1String("factory")))
        words << "--factory" << factory;
    const Run r = runCli(words);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("> ")), qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(file));
}

void TestCliSettings::dbSaveAndLoadOverPseudoTerminal() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    const QString file = line.dir.filePath(QStringLiteral("user.dbf"));
    auto cli = [&](QStringList words) { return runCli(line.words(words)); };
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
    QVERIFY2(loaded.out.contains(QStringLiteral("level-correction=-7.5 ЗАПИСАНО\n")),
             qPrintable(loaded.out));
    QVERIFY(loaded.out.contains(QStringLiteral("thermometer.1.height=333 ЗАПИСАНО\n")));
    const Run settings = cli({"sensor", "3", "get"});
    const Run places = cli({"sensor", "3", "thermometers"});
    const Run missing = cli({"db-load", file, "sensor", "4"});
    QVERIFY(line.sim.stop());
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
void TestCliSettings::valueRefusedBeforeAnyFrame_data() {
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
                             << QStringLiteral("thermometer.1.id \"10AB@014F010032*\"");
    QTest::newRow("db-load, not hex")
        << QStringList{"db-load", "@db", "sensor", "2"} << QStringLiteral("10ZZZZZZZZZZZZZZ")
        << QStringLiteral("не шестнадцатеричные символы");
    QTest::newRow("restore") << QStringList{"restore", "@snapshot"} << injection
                             << QStringLiteral("thermometer.1.id \"10AB@014F010032*\"");
    QTest::newRow("restore, size out of range")
        << QStringList{"restore", "@snapshot"} << QStringLiteral("\"size\": 2000000")
        << QStringLiteral("датчик 1: size \"2000000\": допустимо от 15 до 65531 мм");
    // A place's height or correction without its identifier, and one
    // sensor twice: the whole file is refused, naming what is wrong.
    QTest::newRow("restore, height of a place without identifier")
        << QStringList{"restore", "@snapshot"}
        << QStringLiteral(R"({"thermometer.8.id": "empty", "thermometer.8.height": 500})")
        << QStringLiteral("датчик 1: thermometer.8.height \"500\": у места нет идентификатора");
    QTest::newRow("restore, correction of a density meter without identifier")
        << QStringList{"restore", "@snapshot"}
        << QStringLiteral(R"({"meter.3.id": "empty", "meter.3.correction": 1.5})")
        << QStringLiteral("датчик 1: meter.3.correction \"1.5\": у места нет идентификатора");
    QTest::newRow("restore, one sensor twice")
        << QStringList{"restore", "@snapshot"} << QStringLiteral("twice")
        << QStringLiteral("датчик 1: две записи в снимке: 1-я и ");
    // Values out of their range, the same way.
    QTest::newRow("sensor size") << QStringList{"sensor", "2", "set", "size=2000000"} << QString()
                                 << QStringLiteral("size \"2000000\": допустимо от 15 до 65531 мм");
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
    // What the device's field cannot hold: a number past any float, a
    // decimal the device would drop, a size under one segment.
    const QString huge(40, QLatin1Char('9'));
    QTest::newRow("section, 40 digits")
        << QStringList{"sensor", "2", "set", "section-1=" + huge} << QString()
        << QStringLiteral("section-1 \"%1\": допустимо от -999.999 до 999.999 мм, шаг 0.001")
               .arg(huge);
    QTest::newRow("section, a fourth decimal")
        << QStringList{"sensor", "2", "set", "section-3=1.2345"} << QString()
        << QStringLiteral("section-3 \"1.2345\": допустимо от -999.999 до 999.999 мм, шаг 0.001");
    QTest::newRow("density page correction, 40 digits")
        << QStringList{"density", "2", "--meter", "1", "set-correction", huge} << QString()
        << QStringLiteral("meter.1.correction \"%1\": допустимо от -999.9 до 999.9, шаг 0.1")
               .arg(huge);
    QTest::newRow("density page correction, hundredths")
        << QStringList{"density", "2", "--meter", "2", "set-correction", "1.25"} << QString()
        << QStringLiteral("meter.2.correction \"1.25\": допустимо от -999.9 до 999.9, шаг 0.1");
    QTest::newRow("density-meter correction, 40 digits")
        << QStringList{"sensor", "2", "densitymeter", "1", "445370540000AB70", "700", huge}
        << QString() << QStringLiteral("meter.1.correction \"%1\": допустимо").arg(huge);
    const QString sizes =
        QStringLiteral("допустимо от 15 до 65531 мм, шаг сегмента 15.625 мм (широкого сенсора "
                       "31.25 мм), дробная часть отбрасывается: 15, 31, 46, 62, … 1000, 1015, …");
    QTest::newRow("size under a segment")
        << QStringList{"sensor", "2", "set", "size=16"} << QString() << "size \"16\": " + sizes;
    // Kept as 64 segments, the sensor would tell 1000 mm.
    QTest::newRow("size between segments")
        << QStringList{"sensor", "2", "set", "size=1010"} << QString() << "size \"1010\": " + sizes;
    QTest::newRow("nothing to write") << QStringList{"sensor", "2", "set", "wide=1"} << QString()
                                      << QStringLiteral("НЕЧЕГО ЗАПИСЫВАТЬ");
}

void TestCliSettings::valueRefusedBeforeAnyFrame() {
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
        // One sensor is snapshot enough to edit; the built-in installation
        // would cost a scan and sixteen sensors.
        const QString line = putFile(dir, "line.txt", "type 1\ncontroller 0 0 1\n");
        const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,1\n");
        QCOMPARE(
            runCli({"--simulate", line, "--config", config, "snapshot", snapshotPath}).exitCode, 0);
        QByteArray json = fileBytes(snapshotPath);
        if (bad.startsWith(QLatin1Char('{')) || bad == QLatin1String("twice")) {
            // The first sensor's values edited, or the sensor written twice.
            QJsonObject root = QJsonDocument::fromJson(json).object();
            QJsonArray sensors = root.value(QStringLiteral("sensors")).toArray();
            QJsonObject first = sensors.at(0).toObject();
            if (bad == QLatin1String("twice")) {
                sensors.append(first);
            } else {
                QJsonObject values = first.value(QStringLiteral("values")).toObject();
                const QJsonObject edits = QJsonDocument::fromJson(bad.toUtf8()).object();
                for (auto it = edits.begin(); it != edits.end(); ++it)
                    values.insert(it.key(), it.value());
                first.insert(QStringLiteral("values"), values);
                sensors.replace(0, first);
            }
            root.insert(QStringLiteral("sensors"), sensors);
            json = QJsonDocument(root).toJson();
        } else if (bad.startsWith(QLatin1Char('"'))) {
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

void TestCliSettings::snapshotDiffRestoreReport() {
    SimulatedLine line;
    QVERIFY(line.sim.started);
    auto cli = [&](QStringList words) { return runCli(line.words(words)); };
    auto file = [&](const char* name) { return line.dir.filePath(QLatin1String(name)); };
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
    QVERIFY(line.sim.stop());
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
        putFile(line.dir, "junk.json", "{\"format\":\"orvant2-snapshot\",\"version\":9}");
    const Run refused = runCli({"snapshot-diff", junk, file("a.json")});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY(refused.err.contains(QStringLiteral("версия формата 9")));
}

// A value the snapshot has no answer for is not written: the plan says
// which, with what the sensor holds now.
void TestCliSettings::restoreSaysWhatTheSnapshotLacks() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.json"));
    QCOMPARE(runCli({kVirtualTime, "--simulate", "snapshot", path}).exitCode, 0);
    QJsonObject root = QJsonDocument::fromJson(fileBytes(path)).object();
    QJsonArray sensors = root.value(QStringLiteral("sensors")).toArray();
    QJsonObject first = sensors.at(0).toObject();
    QJsonObject values = first.value(QStringLiteral("values")).toObject();
    values.insert(QStringLiteral("level-correction"), QJsonValue::Null);
    values.remove(QStringLiteral("filling-criterion"));
    first.insert(QStringLiteral("values"), values);
    sensors.replace(0, first);
    root.insert(QStringLiteral("sensors"), sensors);
    putFile(dir, "a.json", QJsonDocument(root).toJson());
    const Run plan = runCli({kVirtualTime, "--simulate", "restore", path, "--dry-run"});
    QVERIFY2(plan.exitCode == 0, qPrintable(plan.err));
    const QStringList lines = plan.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // The two lacking values, and no change to make.
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.last(), QStringLiteral("НЕЧЕГО ВОССТАНАВЛИВАТЬ"));
    for (const char* key : {"level-correction", "filling-criterion"}) {
        const QRegularExpression line(QStringLiteral("^датчик 1\t%1\t-?[0-9.]+\t—\t\\(нет в "
                                                     "снимке, не записывается\\)$")
                                          .arg(QLatin1String(key)));
        QVERIFY2(!lines.filter(line).isEmpty(), qPrintable(plan.out));
    }
}

// A device that answered only part of what the walk asked is named with
// how much did not come, and the snapshot ends in exit 1; what came is
// still written. A null that is the device's own "none" (no alarm volume
// recorded) is no missing value.
void TestCliSettings::snapshotNamesWhatDidNotCome_data() {
    QTest::addColumn<QString>("scenario"); // empty: the built-in installation
    QTest::addColumn<QString>("config");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("err");
    const QString threeControllers =
        QStringLiteral("KIP_TYP=1\nKIP_NUM=3,7\nKIP1=0,6\nKIP2=6,6\nKIP3=12,4\n");
    QTest::newRow("every device answered")
        << QString() << threeControllers << 0 << "controllers=3\nsensors=16\n"
        << QStringList();
    // Sensors 7..16 sit behind controllers 2 and 3: in controller 1's
    // transit only the values a controller passes without it come.
    QStringList behindOthers;
    for (int n = 7; n <= 16; ++n)
        behindOthers
            << QStringLiteral("датчик %1: НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ (74 из 76 без ответа)").arg(n);
    QTest::newRow("sensors behind other controllers")
        << QString() << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,16\n"
        << 1 << "controllers=1\nsensors=16\n"
        << behindOthers;
    QTest::newRow("allocation table unanswered")
        << "type 1\ncontroller 0 0 4\nunheard 0 7A always\n"
        << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"
        << 1 << "controllers=1\nsensors=4\n"
        << QStringList{"КИП 1: НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ (32 из 43 без ответа)"};
    // Silent controllers that still relay: their sensors answer, their
    // alarm set-up (which the controller holds) is not asked.
    QStringList relayed{"КИП 1: НЕТ ОТВЕТА", "КИП 2: НЕТ ОТВЕТА", "КИП 3: НЕТ ОТВЕТА"};
    for (int n = 1; n <= 16; ++n)
        relayed
            << QStringLiteral("датчик %1: НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ (12 из 76 без ответа)").arg(n);
    relayed << QStringLiteral("КИП остался в режиме ТРАНЗИТ");
    QTest::newRow("every controller silent, relaying")
        << "type 1\ncontroller 0 0 6 fault=silent\ncontroller 1 6 6 fault=silent\n"
           "controller 2 12 4 fault=silent\n"
        << threeControllers << 1 << "controllers=3\nsensors=16\n"
        << relayed;
}

void TestCliSettings::snapshotNamesWhatDidNotCome() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QStringList, err);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("snap.json"));
    QStringList args{kVirtualTime, "--simulate"};
    if (!scenario.isEmpty())
        args << putFile(dir, "line.txt", scenario.toUtf8());
    const Run r = runCli(
        args + QStringList{"--config", putFile(dir, "o.cfg", config.toUtf8()), "snapshot", path});
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.err));
    QCOMPARE(r.out, out);
    QCOMPARE(r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             err.replaceInStrings(QRegularExpression(QStringLiteral("^")),
                                  QStringLiteral("orvant2-cli: ")));
    // What came is kept.
    const QJsonArray sensors = QJsonDocument::fromJson(fileBytes(path))
                                   .object()
                                   .value(QStringLiteral("sensors"))
                                   .toArray();
    QCOMPARE(sensors.size(), out.endsWith(QLatin1String("=16\n")) ? 16 : 4);
    const QJsonObject last = sensors.last().toObject().value(QStringLiteral("values")).toObject();
    QVERIFY(last.value(QStringLiteral("version")).isString());
    QVERIFY(last.value(QStringLiteral("size")).isDouble());
}

void TestCliSettings::sensorSettingsFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("absent"); // not on the wire (the trace)
    QTest::newRow("unknown key") << QStringList{"sensor", "3", "set", "colour=red"} << 2
                                 << "нельзя записать \"colour=red\"" << QString();
    QTest::newRow("read-only key") << QStringList{"sensor", "3", "set", "counter-value=5"} << 2
                                   << "нельзя записать" << QString();
    QTest::newRow("not a number") << QStringList{"sensor", "3", "set", "level-correction=1e3"} << 2
                                  << "level-correction \"1e3\": допустимо от -3276.8 до 3276.7 мм"
                                  << QString();
    QTest::newRow("counter 255") << QStringList{"sensor", "3", "set", "counter=255"} << 2
                                 << "counter \"255\": допустимо от 3 до 254" << QString();
    QTest::newRow("half of the segments")
        << QStringList{"sensor", "3", "set", "working-segments=100"} << 2
        << "working-segments и removed-segments задаются вместе" << QString();
    QTest::newRow("forbidden flags")
        << QStringList{"sensor", "3", "set", "density-channel=combined", "single-density-meter=1"}
        << 2 << "Запрещённая комбинация флагов !" << QString();
    QTest::newRow("no such sensor")
        << QStringList{"sensor", "99", "get"} << 2
        << "датчик 99 не обслуживает ни один КИП конфигурации" << QString();
    QTest::newRow("silent sensor reads nothing")
        << QStringList{"SILENT", "sensor", "3", "get"} << 1 << "датчик 3: НЕТ ОТВЕТА" << QString();
    QTest::newRow("silent sensor takes nothing")
        << QStringList{"SILENT", "sensor", "3", "set", "filling-criterion=2"} << 1
        << "НЕ ЗАПИСАНО: filling-criterion — НЕТ ОТВЕТА\n"
        << QString();
    // The reason the properties page gives too (tst_page_faults).
    QTest::newRow("echo-only line")
        << QStringList{"ECHOONLY",           "sensor", "3", "set", "size=1000", "wide=0",
                       "filling-criterion=2"}
        << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: size, filling-criterion — НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)\n"
        << QString();
    // One bit of the code-update byte given: the other is read first, and
    // without it nothing is written.
    QTest::newRow("half a byte, its other half unread")
        << QStringList{"SILENT", "sensor", "3", "set", "code-update=1"} << 1
        << "НЕ ЗАПИСАНО: code-update — НЕ ПРОЧИТАНО ТО, ЧТО ЗАПИСЫВАЕТСЯ ВМЕСТЕ"
        << "CodeUpdate  [";
    // The refusal names the key given, not the one read for it.
    QTest::newRow("code-update byte unread")
        << QStringList{"LINE:cut 19 0", "sensor", "3", "set", "code-update=1"} << 1
        << "НЕ ЗАПИСАНО: code-update — НЕ ПРОЧИТАНО ТО, ЧТО ЗАПИСЫВАЕТСЯ ВМЕСТЕ" << QString();
    QTest::newRow("flag byte unread")
        << QStringList{"LINE:cut 4F 0", "sensor", "3", "set", "reset-on-link-loss=1"} << 1
        << "НЕ ЗАПИСАНО: reset-on-link-loss — НЕ ПРОЧИТАНО ТО, ЧТО ЗАПИСЫВАЕТСЯ ВМЕСТЕ"
        << QString();
    QTest::newRow("half a byte, confirmed") << QStringList{"sensor", "3", "set", "code-update=1"}
                                            << 0 << "ЗАПИСЬ ЗАВЕРШЕНА" << QString();
    // A sensor that answers reads and ignores writes: its silence takes
    // nothing.
    QTest::newRow("writes ignored")
        << QStringList{"DEAF", "sensor", "3", "set", "filling-criterion=2", "code-algorithm=1"} << 1
        << "НЕ ЗАПИСАНО: filling-criterion, code-algorithm — НЕТ ОТВЕТА\n"
        << QString();
    // Only the keys given are named, not the partner read to go with them.
    QTest::newRow("writes ignored, half a byte")
        << QStringList{"DEAF", "sensor", "3", "set", "code-update=0"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: code-update — НЕТ ОТВЕТА\n"
        << QString();
    // A place's write says why, as "set" does: nothing taken is no "ЗАПИСАНО НЕ ВСЁ".
    QTest::newRow("writes ignored, thermometer")
        << QStringList{"DEAF", "sensor", "3", "thermometer", "6", "10e8c3a401080065", "4000"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: thermometer.6.id, thermometer.6.height — НЕТ ОТВЕТА\n"
        << QString();
    QTest::newRow("writes ignored, density meter")
        << QStringList{"DEAF", "sensor", "3", "densitymeter", "2", "12", "750", "-1,5"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: meter.2.id, meter.2.height, meter.2.correction — НЕТ "
           "ОТВЕТА\n"
        << QString();
    // A user file's record goes the way the places and "set" go, and says
    // the same of a sensor that takes nothing.
    QTest::newRow("db-load, silent sensor")
        << QStringList{"SILENT", "db-load", "@db", "sensor", "3"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: thermometer.1.id, thermometer.1.height, level-correction "
           "— НЕТ ОТВЕТА\n"
        << QString();
    QTest::newRow("db-load, echo-only line")
        << QStringList{"ECHOONLY", "db-load", "@db", "sensor", "3"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: thermometer.1.id, thermometer.1.height, level-correction "
           "— НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)\n"
        << QString();
    QTest::newRow("db-load, writes ignored")
        << QStringList{"DEAF", "db-load", "@db", "sensor", "3"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: thermometer.1.id, thermometer.1.height, level-correction "
           "— НЕТ ОТВЕТА\n"
        << QString();
    QTest::newRow("db-load") << QStringList{"db-load", "@db", "sensor", "3"} << 0
                             << "thermometer.1.id=10E8C3A401080065 ЗАПИСАНО\n"
                                "thermometer.1.height=1500 ЗАПИСАНО\n"
                                "level-correction=-7.5 ЗАПИСАНО\n"
                             << QString();
    QTest::newRow("writes ignored, one flag")
        << QStringList{"DEAF", "sensor", "3", "set", "density-channel=separate"} << 1
        << "orvant2-cli: НЕ ЗАПИСАНО: density-channel — НЕТ ОТВЕТА\n"
        << QString();
}

void TestCliSettings::sensorSettingsFailures() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, absent);
    QTemporaryDir dir;
    // A user file with sensor 3's record: a thermometer and the level
    // correction.
    if (args.contains(QStringLiteral("@db"))) {
        const QString path = userRecordFile(dir);
        QVERIFY(!path.isEmpty());
        args.replaceInStrings(QStringLiteral("@db"), path);
    }
    QStringList words{kVirtualTime, QStringLiteral("--simulate")};
    if (args.first() == QLatin1String("SILENT")) {
        args.removeFirst();
        words << putFile(dir, "s.txt", "controller 0 0 4\nsensor 2 fault=silent\n");
    } else if (args.first() == QLatin1String("DEAF")) {
        args.removeFirst();
        words << putFile(dir, "s.txt", "controller 0 0 4\nsensor 2 fault=ignores-writes\n");
    } else if (args.first() == QLatin1String("ECHOONLY")) {
        args.removeFirst();
        words << putFile(dir, "s.txt", "controller 0 0 4\necho-only\n");
    } else if (args.first().startsWith(QLatin1String("LINE:"))) {
        const QByteArray line = args.takeFirst().mid(5).toUtf8();
        words << putFile(dir, "s.txt", "controller 0 0 4\n" + line + "\n");
    }
    // The layout from a file: no scan to wait for.
    words << QStringLiteral("--config")
          << putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    if (!absent.isEmpty())
        words << QStringLiteral("--trace");
    const Run r = runCli(words + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2((exitCode == 0 ? r.out : r.err).contains(message), qPrintable(r.err));
    if (!absent.isEmpty())
        QVERIFY2(!r.err.contains(absent), qPrintable(r.err));
}

// Ctrl+C in the middle of a sensor write: the write on the line ends,
// nothing after it is sent, transit is switched off, and the keys not
// reached are said.
void TestCliSettings::sensorWriteStopsAtBreak_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("said");
    QTest::newRow("set") << QStringList{"sensor",
                                        "3",
                                        "set",
                                        "level-correction=-12.5",
                                        "filling-criterion=7",
                                        "counter=40",
                                        "working-segments=150",
                                        "removed-segments=3"}
                         << "— ПРЕРВАНО";
    // The identifier goes first; the height after it is not reached.
    QTest::newRow("thermometer") << QStringList{"sensor",           "3",   "thermometer", "6",
                                                "10e8c3a401080065", "4000"}
                                 << "thermometer.6.height — ПРЕРВАНО";
    QTest::newRow("db-load") << QStringList{"db-load", "@db", "sensor", "3"} << "— ПРЕРВАНО";
}

void TestCliSettings::sensorWriteStopsAtBreak() {
    QFETCH(QStringList, command);
    QFETCH(QString, said);
    // Slow answers keep the command in the middle of its work.
    SimulatedLine line("type 1\nturnaround 150\ncontroller 0 0 4\n");
    QVERIFY(line.sim.started);
    if (command.contains(QStringLiteral("@db")))
        command.replaceInStrings(QStringLiteral("@db"), userRecordFile(line.dir));
    const QString first = QStringLiteral("> датчик 3  ");
    const Signalled r =
        signalWhenShown(line.words(QStringList{"--trace"} + command), first, SIGINT);
    QVERIFY2(r.reached, qPrintable(r.err));
    QVERIFY(r.finished);
    const QString& err = r.err;
    const qsizetype signalled = r.signalledAt;
    QCOMPARE(r.status, QProcess::NormalExit);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(!err.mid(signalled).contains(first), qPrintable(err.right(800)));
    QVERIFY2(err.contains(said), qPrintable(err.right(800)));
    QVERIFY2(err.contains(QStringLiteral("  ResumeNormal  |")), qPrintable(err.right(800)));
    QVERIFY(!r.out.contains(QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА")));
}

// A snapshot of each controller type, its layout found by the scan, holds
// every device of the line and only those, and restoring it at once finds
// nothing to change.
void TestCliSettings::snapshotOfEachType_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("counts");
    const QByteArray one = "controller 0 0 4\ncontroller 2 8 2\n";
    for (const char* t : {"0", "1", "3", "4"})
        QTest::newRow(t) << t << "type " + QByteArray(t) + "\n" + one
                         << "controllers=2\nsensors=6\n";
    QTest::newRow("2") << "2" << QByteArray("type 2\nsensors 0 4\n")
                       << "controllers=4\nsensors=4\n";
    // No controllers: the layout names no sensors, the walk finds them.
    QTest::newRow("5") << "5" << QByteArray("type 5\nsensors 2 3\n")
                       << "controllers=0\nsensors=3\n";
}

void TestCliSettings::snapshotOfEachType() {
    QFETCH(QString, type);
    QFETCH(QByteArray, scenario);
    QFETCH(QString, counts);
    QTemporaryDir dir;
    const QString line = putFile(dir, "line.txt", scenario);
    // Type 5 asks all 128 addresses, 125 of them silent: on virtual time
    // those waits cost nothing (the line's timing is not what is tried here).
    const Run scan = runCli({kVirtualTime, "--simulate", line, "--type", type, "scan"});
    QVERIFY2(scan.exitCode == 0, qPrintable(scan.err));
    const QString config = putFile(dir, "o.cfg", scan.out.toUtf8());
    const QString file = dir.filePath(QStringLiteral("s.json"));
    const QStringList base{kVirtualTime, "--simulate", line, "--config", config};
    const Run taken = runCli(base + QStringList{"snapshot", file});
    QVERIFY2(taken.exitCode == 0, qPrintable(taken.err));
    QCOMPARE(taken.out, counts);
    const Run restored = runCli(base + QStringList{"restore", file, "--dry-run"});
    QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
    QCOMPARE(restored.out, QStringLiteral("НЕЧЕГО ВОССТАНАВЛИВАТЬ\n"));
    // Where nothing answers, nothing was compared: no "nothing to restore".
    const QString dead = putFile(dir, "dead.txt", scenario + "echo-only\n");
    const Run unread = runCli(
        {kVirtualTime, "--simulate", dead, "--config", config, "restore", file, "--dry-run"});
    QCOMPARE(unread.exitCode, 1);
    QVERIFY2(!unread.out.contains(QStringLiteral("НЕЧЕГО")), qPrintable(unread.out));
    QVERIFY2(unread.err.contains(QStringLiteral("НЕ ВСЕ УСТРОЙСТВА СНИМКА ОТВЕТИЛИ")),
             qPrintable(unread.err));
}

void TestCliSettings::restoreOutsideItsScope_data() {
    QTest::addColumn<QStringList>("scope");
    QTest::addColumn<QString>("error");
    QTest::newRow("sensor in neither") << QStringList{"--sensor", "12"} << "датчика 12 нет в";
    QTest::newRow("sensor not in the layout")
        << QStringList{"--sensor", "6"} << "датчик 6 не обслуживает ни один КИП конфигурации";
    QTest::newRow("controller in neither") << QStringList{"--controller", "3"} << "КИП 3 нет в";
    QTest::newRow("controller not in the layout")
        << QStringList{"--controller", "2"} << "КИП 2 нет в конфигурации";
}

void TestCliSettings::restoreOutsideItsScope() {
    QFETCH(QStringList, scope);
    QFETCH(QString, error);
    QTemporaryDir dir;
    // Sensors 1 and 6 are all the rows need: each walk reads only those.
    const QString scenario =
        putFile(dir, "line.txt", "type 1\ncontroller 0 0 1\ncontroller 1 5 1\n");
    const QString both = putFile(dir, "a.cfg", "KIP_TYP=1\nKIP_NUM=2,3\nKIP1=0,1\nKIP2=5,1\n");
    const QString first = putFile(dir, "b.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,1\n");
    const QString file = dir.filePath(QStringLiteral("s.json"));
    QCOMPARE(runCli({"--simulate", scenario, "--config", both, "snapshot", file}).exitCode, 0);
    const Run r =
        runCli(QStringList{"--simulate", scenario, "--config", first, "restore", file} + scope);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QCOMPARE(r.out, QString());
}

// Devices end their version and date with a zero; no text keeps it.
void TestCliSettings::versionTextsEndAtTheirZero() {
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

ORVANT_CORE_TEST_MAIN(TestCliSettings)
