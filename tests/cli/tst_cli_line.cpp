#include "cli/tst_cli_line.h"

#include "cli/CliRun.h"
#include "cli/tst_read_only_cli.h"
#include "cli/tst_remote.h"
#include "cli/tst_sites_cli.h"
#include "common/TestFiles.h"
#include "common/TestMain.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

void TestCliLine::scanOverPseudoTerminal() {
    SimulatedLine line("type 1\ncontroller 0 0 4\ncontroller 2 8 4\n");
    QVERIFY(line.sim.started);
    const Run r = runCli({QStringLiteral("--port"), line.sim.tty, QStringLiteral("scan")});
    QVERIFY(line.sim.stop());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("KIP_TYP=1\nKIP_NUM=2,5\nKIP_B=\nKIP1=0,4\nKIP3=8,4\n"));
    QVERIFY(!QFileInfo::exists(line.sim.tty)); // the simulator removes its link
}

// Terminals opened exclusively refuse everyone but root: the check runs as
// "nobody" when the tests run as root.
void TestCliLine::killedClientNeverLocksTheSimulator() {
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

void TestCliLine::portVanishingDuringScan() {
    // As when the USB adapter is pulled: the pseudo-terminal goes away in
    // the middle of a 32-address scan.
    SimulatedLine line("type 3\ncontroller 0 0 4\n");
    QVERIFY(line.sim.started);
    QProcess cli;
    cli.start(QStringLiteral(ORVANT_CLI_BIN),
              {QStringLiteral("--port"), line.sim.tty, QStringLiteral("--type"),
               QStringLiteral("3"), QStringLiteral("scan")});
    QVERIFY(cli.waitForStarted());
    QTest::qWait(1500);
    line.sim.process.kill();
    QVERIFY(cli.waitForFinished(10000));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY(QString::fromUtf8(cli.readAllStandardError())
                .contains(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.")));
    QVERIFY(cli.readAllStandardOutput().isEmpty()); // no layout is claimed
}

void TestCliLine::scanSimulated_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::newRow("built-in installation")
        << QStringList{"--simulate", "scan"}
        << "KIP_TYP=1\nKIP_NUM=3,7\nKIP_B=\nKIP1=0,6\nKIP2=6,6\nKIP3=12,4\n";
    QTest::newRow("as type 0") << QStringList{"--simulate", "--type", "0", "scan"}
                               << "KIP_TYP=0\nKIP_NUM=3,7\nKIP_B=\nKIP1=0,6\nKIP2=6,6\nKIP3=12,4\n";
}

void TestCliLine::scanSimulated() {
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, out);
}

void TestCliLine::wrongWords_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << QStringList{"scan"} << "задайте --port PORT или --simulate";
    QTest::newRow("both") << QStringList{"--port", "/dev/null", "--simulate", "scan"}
                          << "задайте --port PORT или --simulate";
    QTest::newRow("bad type") << QStringList{"--simulate", "--type", "9", "scan"}
                              << "--type: нужен тип КИП 0..5";
    QTest::newRow("no command") << QStringList{"--simulate"} << "не задана команда";
    QTest::newRow("virtual time on a real port")
        << QStringList{"--port", "/dev/null", "--virtual-time", "scan"}
        << "--virtual-time только с --simulate";
    QTest::newRow("unknown command")
        << QStringList{"--simulate", "dance"} << "неизвестная команда \"dance\"";
    QTest::newRow("missing scenario")
        << QStringList{"--simulate", "/nonexistent/s.txt", "scan"} << "/nonexistent/s.txt:";
    QTest::newRow("missing configuration")
        << QStringList{"--simulate", "--trace", "--config", "/nonexistent.cfg", "scan"}
        << "/nonexistent.cfg: ФАЙЛ НЕ НАЙДЕН";
    // The words of every line command are checked before the port is
    // opened: the trace shows not a single frame.
    auto usage = [](const char* words) -> QTestData& {
        return QTest::newRow(words) << (QStringList{"--simulate", "--trace"} +
                                        QString::fromUtf8(words).split(QLatin1Char(' ')));
    };
    usage("scan extra") << "scan: непонятно \"extra\"";
    usage("set-address 200") << "set-address: нужен номер датчика от 1 до 128";
    usage("status --bogus") << "status: только --extended";
    usage("status --every 0") << "--every: нужно число от 1 до 86400";
    usage("health --extended") << "health: только --log FILE";
    usage("sensor 2") << "sensor N get";
    usage("sensor 0 get") << "sensor N: N — номер датчика от 1 до 128";
    usage("sensor 2 set nosuch=1") << "нельзя записать \"nosuch=1\"";
    usage("alarm 2") << "alarm N get";
    usage("alarm 0 get") << "alarm N get";
    usage("alarm 2 dance") << "alarm N get";
    usage("alarm 2 set") << "alarm N get";
    usage("alarm 2 get extra") << "alarm N get";
    usage("alarm 2 off fire") << "off: событие 0..5";
    usage("alarm 2 set nosuch=1") << "нельзя записать \"nosuch=1\"";
    usage("controller 1") << "controller K get";
    usage("controller 0 get") << "controller K get";
    usage("controller 1 dance") << "controller K get";
    usage("controller 1 get extra") << "controller K get";
    usage("controller 1 status --keys") << "controller K get";
    usage("controller 1 set nosuch=1") << "нельзя записать \"nosuch=1\"";
    usage("density 2 dance") << "density N [--meter M]";
    usage("density 0") << "N от 1 до 128, M от 1 до 8";
    usage("density 2 --meter 9") << "N от 1 до 128, M от 1 до 8";
    usage("flash controller 1") << "flash controller K FILE.hex";
    usage("flash disk 1 f.hex") << "flash controller K FILE.hex";
    usage("flash emergency 1 maybe") << "flash controller K FILE.hex";
    usage("flash controller 1 /nonexistent/f.hex") << "/nonexistent/f.hex: ФАЙЛ НЕ НАЙДЕН";
    usage("tables 1") << "tables K list";
    usage("tables x list") << "tables K list";
    usage("tables 1 dance") << "tables K list";
    usage("tables 1 read 3") << "tables K list";
    usage("tables 1 read 40 out.vlm") << "нет резервуара \"40\"";
    usage("tables 1 write --no-verify") << "tables K list";
    usage("tables 1 write table.vlm") << "write: нужно TANK=FILE.vlm, а не \"table.vlm\"";
    usage("tables 1 write 1=/nonexistent/t.vlm") << "/nonexistent/t.vlm: ФАЙЛ НЕ НАЙДЕН";
    // A controller number the type's controllers cannot have is not looked
    // for on the line (no scan); one within it that the layout lacks is.
    const QString n6 = QStringLiteral(": у КИП-Н6 номера КИП от 1 до 16");
    usage("controller 99 get") << "КИП 99" + n6;
    usage("controller 99 set interval=5") << "КИП 99" + n6;
    usage("controller 17 status --keyboard") << "КИП 17" + n6;
    usage("tables 33 list") << "КИП 33" + n6;
    usage("tables 99 clear") << "КИП 99" + n6;
    usage("flash emergency 40 get") << "КИП 40" + n6;
    // A layout naming KIP17 lets that one through to the line, no other.
    usage("--config cfg:KIP_TYP=1\nKIP_NUM=1,65536\nKIP17=0,4 controller 18 get") << "КИП 18" + n6;
    usage("--type 3 controller 33 get") << "КИП 33: у КИП-С6 номера КИП от 1 до 32";
    usage("--config cfg:KIP_TYP=4 tables 20 list") << "КИП 20: у КИП-С7 номера КИП от 1 до 16";
    // Each sensor its own controller: K is a sensor's number.
    usage("--config cfg:KIP_TYP=2\nKIP_B=0,4 controller 99 get") << "КИП 99 нет в конфигурации";
    usage("diagram 2 --bogus") << "diagram N [--save FILE.dgr]";
    usage("snapshot") << "snapshot OUT.json";
    usage("restore") << "restore FILE.json";
    usage("restore /nonexistent/a.json") << "/nonexistent/a.json: ФАЙЛ НЕ НАЙДЕН";
    usage("restore a.json --sensor 1 --controller 1") << "restore FILE.json";
    usage("db-save u.dbf sensor 0") << "db-save FILE.dbf sensor N";
    usage("db-load u.dbf") << "db-load FILE.dbf sensor N";
    // A configuration file ("cfg:" and its lines) with a type no
    // controller has.
    usage("--config cfg:KIP_TYP=9 status") << "KIP_TYP=9: Неизвестный тип КИП: 9 (есть 0..5)";
    usage("--config cfg:KIP_TYP=9 controller 1 status --keyboard")
        << "KIP_TYP=9: Неизвестный тип КИП: 9";
}

void TestCliLine::wrongWords() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    for (QString& a : args)
        if (a.startsWith(QLatin1String("cfg:")))
            a = putFile(dir, "o.cfg", a.mid(4).toUtf8() + '\n');
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QVERIFY2(!r.err.contains(QStringLiteral("> ")), qPrintable(r.err));
}

void TestCliLine::portThatCannotBeOpened() {
    QTemporaryDir dir;
    const Run r = runCli(
        {QStringLiteral("--port"), dir.filePath(QStringLiteral("none")), QStringLiteral("scan")});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral(" -ПОРТ НЕДОСТУПЕН")), qPrintable(r.err));
    // The system's cause in the engineer's language.
    QVERIFY2(r.err.contains(QStringLiteral("Файл или каталог не существует")), qPrintable(r.err));
}

void TestCliLine::traceShowsFrames() {
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
void TestCliLine::traceOneLinePerReplyAtWireSpeed() {
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
void TestCliLine::interruptStopsStatus_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("status") << "status";
    QTest::newRow("scan") << "scan";
}

void TestCliLine::interruptStopsStatus() {
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

void TestCliLine::helpWords_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("shows");
    const QString cli = QStringLiteral(ORVANT_CLI_BIN);
    QTest::newRow("--help") << cli << QStringList{"--help"} << "команды с файлами";
    QTest::newRow("-h") << cli << QStringList{"-h"} << "sensor N get";
    QTest::newRow("command help") << cli << QStringList{"sensor", "--help"}
                                  << "sensor N set KEY=VALUE";
    QTest::newRow("file command help")
        << cli << QStringList{"table-bin", "-h"} << "table-bin FILE OUT";
    // Device texts in the help must come out as they are, not mangled.
    QTest::newRow("cyrillic in help") << cli << QStringList{"density", "--help"}
                                      << QStringLiteral("что показывает ЗАПРОСИТЬ ВСЁ");
    // The window and the simulator say theirs in Russian too; the window's
    // needs no screen.
    const QString window = QStringLiteral(ORVANT_GUI_BIN);
    QTest::newRow("window --help") << window << QStringList{"--help"}
                                   << "использование: orvant2 [--port PATH";
    QTest::newRow("window -h") << window << QStringList{"-h"}
                               << "NOK                    взять порты";
    QTest::newRow("window --help, read-only")
        << window << QStringList{"--help"} << "--read-only            только чтение";
    QTest::newRow("window --help, sites") << window << QStringList{"--help"}
                                          << "--sites FILE           файл объектов";
    QTest::newRow("simulator --help") << QStringLiteral(ORVANT_SIM_BIN) << QStringList{"--help"}
                                      << "использование: orvant2-sim (--link PATH";
}

void TestCliLine::helpWords() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, shows);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(out.contains(shows), qPrintable(out));
    QVERIFY(p.readAllStandardError().isEmpty());
}

// A wrong word: the usage, in Russian, on standard error, exit 2.
void TestCliLine::usageOnWrongWords_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("window") << QStringLiteral(ORVANT_GUI_BIN)
                            << QStringList{"--port", "/dev/null", "--simulate"}
                            << "orvant2: задайте --port или --simulate, не оба\nиспользование:";
    QTest::newRow("simulator") << QStringLiteral(ORVANT_SIM_BIN) << QStringList{"--dance"}
                               << "использование: orvant2-sim (--link PATH";
}

void TestCliLine::usageOnWrongWords() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(says), qPrintable(err));
}

void TestCliLine::simulatorStopsOnSignal() {
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

void TestCliLine::setAddress_data() {
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

void TestCliLine::setAddress() {
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

void TestCliLine::statusFromConfiguration_data() {
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

void TestCliLine::statusFromConfiguration() {
    QFETCH(QString, config);
    QFETCH(QString, mode);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString path = putFile(dir, "orvant2.cfg", config.toUtf8());
    QStringList args{kVirtualTime, QStringLiteral("--simulate"), QStringLiteral("--config"), path,
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

// A read that nobody answered is a failure that names the device; a sensor
// that answered and has nothing fitted is not.
void TestCliLine::unansweredReads_data() {
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
                            << "датчик 3: ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА";
    // The start answered, the result too late: no "found=0".
    QTest::newRow("search answered late")
        << "type 1\ncontroller 0 0 4\nsensor 2 fault=late\n"
        << QStringList{"sensor", "3", "thermometers", "--search"} << 1
        << "датчик 3: ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА С РЕЗУЛЬТАТОМ";
    QTest::newRow("density meter search")
        << silentSensor << QStringList{"density", "3", "--search"} << 1 << "датчик 3: НЕТ ОТВЕТА";
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
    const QString kipEcho = QStringLiteral("КИП 1: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)");
    QTest::newRow("controller settings, echo only")
        << echoOnly << QStringList{"controller", "1", "get"} << 1 << kipEcho;
    QTest::newRow("alarm settings, echo only")
        << echoOnly << QStringList{"alarm", "3", "get"} << 1 << kipEcho;
    QTest::newRow("alarm write, echo only")
        << echoOnly << QStringList{"alarm", "3", "set", "fuel-max=1000"} << 1 << kipEcho;
    QTest::newRow("controller status, echo only")
        << echoOnly << QStringList{"controller", "1", "status"} << 1 << kipEcho;
    QTest::newRow("tables, echo only")
        << echoOnly << QStringList{"tables", "1", "list"} << 1 << kipEcho;
    QTest::newRow("density, echo only")
        << echoOnly << QStringList{"density", "3"} << 1 << "датчик 3: НЕТ ОТВЕТА";
    QTest::newRow("density meter search, echo only")
        << echoOnly << QStringList{"density", "3", "--search"} << 1
        << "датчик 3: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
    QTest::newRow("status without a controller")
        << silentLine << QStringList{"--no-config", "status"} << 1 << "НЕТ ОТВЕТА";
}

void TestCliLine::unansweredReads() {
    QFETCH(QString, scenario);
    QFETCH(QStringList, words);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.json"));
    words.replaceInStrings(QStringLiteral("OUT"), out);
    QStringList args{kVirtualTime, "--simulate", putFile(dir, "line.txt", scenario.toUtf8())};
    if (words.first() == QLatin1String("--no-config"))
        words.removeFirst();
    else
        args << "--config" << putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli(args + words);
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.err));
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QStringLiteral("ТРАНЗИТ")), qPrintable(r.err));
    QVERIFY2(!r.out.contains(QStringLiteral("found=")), qPrintable(r.out));
    // A file is written only when some device answered.
    QCOMPARE(QFileInfo::exists(out), words.first() == QLatin1String("snapshot") &&
                                         !scenario.contains(QLatin1String("0 0 4 fault")));
}

// A dead or echo-only line ends at its front: the text says which, exit 1,
// no file, and the wire shows no sensor asked after the silent controller
// (or after the first three addresses of a line without controllers). A
// live line with a silent sensor asks every other one.
void TestCliLine::deadLineEndsAtItsFront_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("asked"); // sensor numbers on the wire
    QTest::addColumn<QStringList>("unasked");
    const QString four = QStringLiteral("KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString five = QStringLiteral("KIP_TYP=5\n");
    const QString kip = QStringLiteral("КИП 1 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ");
    const QString kipEcho = QStringLiteral(
        "КИП 1 НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ");
    const QString line = QStringLiteral("ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ");
    const QString lineEcho =
        QStringLiteral("ЛИНИЯ НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ");
    const QStringList first{"1"}, behind{"2", "3", "4"}, every{"1", "2", "3", "4"};
    const QStringList status{"status"}, snapshot{"snapshot", "OUT"};
    QTest::newRow("status, dead line") << "type 1" << four << status << kip << first << behind;
    QTest::newRow("status, echo only")
        << "type 1\necho-only" << four << status << kipEcho << first << behind;
    QTest::newRow("snapshot, dead line") << "type 1" << four << snapshot << kip << first << behind;
    QTest::newRow("snapshot, echo only")
        << "type 1\necho-only" << four << snapshot << kipEcho << first << behind;
    QTest::newRow("type-5 snapshot, dead line") << "type 5\nsensors 0 0" << five << snapshot << line
                                                << QStringList{"1", "2", "3"} << QStringList{"4"};
    QTest::newRow("type-5 snapshot, echo only")
        << "type 5\nsensors 0 0\necho-only" << five << snapshot << lineEcho
        << QStringList{"1", "2", "3"} << QStringList{"4"};
    const QString silentFirst = QStringLiteral("type 1\ncontroller 0 0 4\nsensor 0 fault=silent");
    QTest::newRow("status, one silent sensor")
        << silentFirst << four << status << "датчик 1: НЕТ ОТВЕТА" << every << QStringList{};
    QTest::newRow("snapshot, one silent sensor")
        << silentFirst << four << snapshot << "датчик 1: НЕТ ОТВЕТА" << every << QStringList{};
}

void TestCliLine::deadLineEndsAtItsFront() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(QStringList, words);
    QFETCH(QString, error);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, unasked);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.json"));
    words.replaceInStrings(QStringLiteral("OUT"), out);
    const Run r =
        runCli(QStringList{kVirtualTime, "--simulate", putFile(dir, "line.txt", scenario.toUtf8()),
                           "--config", putFile(dir, "o.cfg", config.toUtf8()), "--trace"} +
               words);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(error), qPrintable(r.err));
    const bool live = error.startsWith(QStringLiteral("датчик"));
    QCOMPARE(r.err.contains(QStringLiteral("НЕ ОТВЕЧАЕТ")), !live);
    for (const QString& n : asked)
        QVERIFY2(r.err.contains(QStringLiteral("> датчик %1  ").arg(n)), qPrintable(n));
    for (const QString& n : unasked)
        QVERIFY2(!r.err.contains(QStringLiteral("> датчик %1  ").arg(n)), qPrintable(n));
    // Transit is never switched on for a controller that stayed silent.
    QCOMPARE(r.err.contains(QStringLiteral("EnterTransit")),
             live && words[0] == QLatin1String("snapshot"));
    QCOMPARE(QFileInfo::exists(out), live && words[0] == QLatin1String("snapshot"));
    // A snapshot of silence alone is said as such, as the window says it.
    QCOMPARE(r.err.contains(QStringLiteral("СНИМОК НЕ СДЕЛАН: НИ ОДНО УСТРОЙСТВО НЕ ОТВЕТИЛО")),
             !live && words[0] == QLatin1String("snapshot"));
}

// Leaving transit is tried three times; a controller that never answered
// is reported and the command fails, whatever it did.
void TestCliLine::transitLeftOn_data() {
    QTest::addColumn<QString>("unheard");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("two 0xA5 unheard") << "2" << 0;
    QTest::newRow("never heard") << "always" << 1;
}

void TestCliLine::transitLeftOn() {
    QFETCH(QString, unheard);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString scenario =
        putFile(dir, "line.txt", ("type 1\ncontroller 0 0 4\nunheard 0 A5 " + unheard).toUtf8());
    const QString config = putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const Run r = runCli({kVirtualTime, "--simulate", scenario, "--config", config, "--trace",
                          "sensor", "3", "get"});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.err.count(QStringLiteral("ResumeNormal  !! НЕТ ОТВЕТА")), exitCode == 0 ? 2 : 3);
    QCOMPARE(r.err.contains(QStringLiteral("КИП остался в режиме ТРАНЗИТ")), exitCode != 0);
    // What was read is still shown.
    QVERIFY(r.out.startsWith(QStringLiteral("size=")));
}

// Without controllers nothing is probed for them before the command.
void TestCliLine::typeFiveSendsNoProbes() {
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
    // Alarm settings live in a controller: the refusal names the type.
    const Run alarm = runCli({"--simulate", scenario, "--type", "5", "--trace", "alarm", "3", "get"});
    QCOMPARE(alarm.exitCode, 2);
    QVERIFY2(alarm.err.contains(QStringLiteral(
                 "тип КИП 5 (КИП не используется): настроек сигнализации нет, их хранит КИП")),
             qPrintable(alarm.err));
    QVERIFY2(!alarm.err.contains(QStringLiteral("> ")), qPrintable(alarm.err));
}

// Standard output that cannot take what is printed (a full device, a pipe
// nobody reads) is no success: exit 1 with the reason, a cyclic command
// stops at that poll, and transit is still switched off on the way out.
void TestCliLine::lostOutputEndsTheCommand_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<bool>("closedPipe"); // else /dev/full
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("polls"); // general status polls on the wire, -1: none counted
    const QString full = QStringLiteral("orvant2-cli: ВЫВОД НЕ ЗАПИСАН: НЕТ МЕСТА НА ДИСКЕ\n");
    const QString gone = QStringLiteral("orvant2-cli: ПРЕРВАНО\n");
    const QStringList every{"status", "--every", "1", "--count", "4"};
    QTest::newRow("status, full") << QStringList{"status"} << false << full << 1;
    QTest::newRow("status --every, full") << every << false << full << 1;
    QTest::newRow("status --every, reader gone") << every << true << gone << 1;
    QTest::newRow("sensor in transit, full")
        << QStringList{"sensor", "3", "get"} << false << full << -1;
    QTest::newRow("sensor in transit, reader gone")
        << QStringList{"sensor", "3", "get"} << true << gone << -1;
    QTest::newRow("file command, full")
        << QStringList{"table-check", "@table"} << false << full << -1;
}

void TestCliLine::lostOutputEndsTheCommand() {
    QFETCH(QStringList, words);
    QFETCH(bool, closedPipe);
    QFETCH(QString, said);
    QFETCH(int, polls);
    QTemporaryDir dir;
    words.replaceInStrings(QStringLiteral("@table"), putFile(dir, "t.vlm", tableText()));
    QStringList args = words;
    if (words.first() != QLatin1String("table-check"))
        args = QStringList{kVirtualTime, "--simulate", "--trace", "--config",
                           putFile(dir, "o.cfg", kOneControllerLayout)} +
               words;
    QProcess p;
    int pipeEnds[2] = {-1, -1};
    if (closedPipe) {
        // A pipe whose reader is gone before the first line.
        QVERIFY(::pipe(pipeEnds) == 0);
        ::close(pipeEnds[0]);
        const int writeEnd = pipeEnds[1];
        p.setChildProcessModifier([writeEnd] {
            if (::dup2(writeEnd, STDOUT_FILENO) < 0)
                ::_exit(99);
        });
    } else {
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
    }
    p.start(QStringLiteral(ORVANT_CLI_BIN), args);
    QVERIFY(p.waitForFinished(60000));
    if (closedPipe)
        ::close(pipeEnds[1]);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 1, qPrintable(err));
    // The trace aside, the reason is all that is said.
    QStringList messages = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    messages = messages.filter(QRegularExpression(QStringLiteral("^orvant2-cli: ")));
    QCOMPARE(messages.join(QLatin1Char('\n')) + QLatin1Char('\n'), said);
    if (polls >= 0)
        QCOMPARE(err.count(QStringLiteral("> датчик 1  ReadFullStatus")), polls);
    // Transit was switched on and off again.
    if (words.first() == QLatin1String("sensor")) {
        QVERIFY2(err.contains(QStringLiteral("EnterTransit")), qPrintable(err));
        QVERIFY2(err.lastIndexOf(QStringLiteral("> КИП 1  ResumeNormal")) >
                     err.lastIndexOf(QStringLiteral("> датчик 3")),
                 qPrintable(err));
    }
}

ORVANT_CORE_TEST_MAIN(TestCliLine, TestRemoteLines, TestSitesCli, TestReadOnlyCli)
