#include "cli/tst_tables_cli.h"

#include "cli/CliRun.h"
#include "common/TestFiles.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

void TestTablesCli::lineLostNamesTheBlock_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("controller");
    // %1: the blocks sent, the last of them unanswered.
    QTest::addColumn<QString>("said");
    QTest::newRow("multi-table") << "type 1\ncontroller 0 0 4\n"
                                 << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"
                                 << "1"
                                 << "резервуар 1: ОБРЫВ СВЯЗИ НА БЛОКЕ %1 ИЗ 4";
    QTest::newRow("single table") << "type 2\nsensors 0 2\n"
                                  << "KIP_TYP=2\nKIP_NUM=0,1\nKIP_B=0,2\n"
                                  << "2"
                                  << "резервуар 1: ОБРЫВ СВЯЗИ. АДР.%1H";
}

// The simulator, at the speed of the wire, is killed once the second block
// of the table is on its way: the block the write had reached is named,
// the line is said to be lost, and the command fails.
void TestTablesCli::lineLostNamesTheBlock() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    QFETCH(QString, controller);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString tty = dir.filePath(QStringLiteral("tty"));
    QProcess sim;
    sim.start(QStringLiteral(ORVANT_SIM_BIN),
              {QStringLiteral("--link"), tty, QStringLiteral("--scenario"),
               putFile(dir, "line.txt", scenario.toUtf8()), QStringLiteral("--wire-time")});
    QVERIFY(sim.waitForReadyRead(10000));
    QProcess cli;
    cli.setReadChannel(QProcess::StandardError);
    cli.start(QStringLiteral(ORVANT_CLI_BIN),
              {QStringLiteral("--port"), tty, QStringLiteral("--config"),
               putFile(dir, "o.cfg", config.toUtf8()), QStringLiteral("--trace"),
               QStringLiteral("tables"), controller, QStringLiteral("write"),
               QStringLiteral("1=") + putFile(dir, "t.vlm", tableText())});
    const QString request = QStringLiteral("  WriteTableBlock  [");
    QString err;
    const QDeadlineTimer deadline(60000);
    while (err.count(request) < 2 && !deadline.hasExpired() &&
           cli.state() != QProcess::NotRunning) {
        cli.waitForReadyRead(200);
        err += QString::fromUtf8(cli.readAllStandardError());
    }
    sim.kill();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY(cli.waitForFinished(30000));
    err += QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitCode(), 1);
    const int sent = static_cast<int>(err.count(request));
    QVERIFY2(sent >= 2, qPrintable(err));
    const QString named =
        controller == QLatin1String("1")
            ? said.arg(sent)
            : said.arg(
                  QString::number(0x100 + (sent - 1) * 128, 16).toUpper().rightJustified(4, '0'));
    QVERIFY2(err.contains(QStringLiteral("orvant2-cli: ") + named + QLatin1Char('\n')),
             qPrintable(err.right(600)));
    QVERIFY(err.contains(QStringLiteral("orvant2-cli: ПРОБЛЕМЫ СО СВЯЗЬЮ.")));
    QVERIFY(!err.contains(QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА")));
    QVERIFY(cli.readAllStandardOutput().isEmpty());
}

void TestTablesCli::serviceLeftOnIsSaid_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("out");
    QTest::newRow("tables write") << QStringList{"tables", "1", "write", "1=TABLE"}
                                  << "ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА";
    QTest::newRow("alarm set") << QStringList{"alarm", "3", "set", "fuel-max=1500"}
                               << "ЗАПИСЬ ЗАВЕРШЕНА";
}

// The controller hears none of the three ends of its service mode: the
// work is done, and the command says the controller may still be in that
// mode, and fails.
void TestTablesCli::serviceLeftOnIsSaid() {
    QFETCH(QStringList, command);
    QFETCH(QString, out);
    QTemporaryDir dir;
    const QString table = putFile(dir, "t.vlm", tableText());
    command.replaceInStrings(QStringLiteral("TABLE"), table);
    const Run r = runCli(
        QStringList{"--simulate",
                    putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\nunheard 0 A5 always\n"),
                    "--config", putFile(dir, "o.cfg", kOneControllerLayout), "--trace"} +
        command);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.contains(out), qPrintable(r.out));
    QVERIFY2(r.err.contains(
                 QStringLiteral("orvant2-cli: КИП 1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ\n")),
             qPrintable(r.err.right(600)));
    QCOMPARE(r.err.count(QStringLiteral("  ResumeNormal")), 3 * 2); // each sent and unanswered
}

void TestTablesCli::signalEndsLikeBreak_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<QStringList>("command");
    // The request after which the signal comes: the controller is then in
    // the mode the command must switch off.
    QTest::addColumn<QString>("after");
    for (const auto& [name, sig] : {std::pair{"SIGTERM", SIGTERM}, std::pair{"SIGHUP", SIGHUP}}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 in a table write").arg(name)))
            << sig << QStringList{"tables", "1", "write", "1=TABLE"} << "  WriteTableBlock  [";
        QTest::newRow(qPrintable(QStringLiteral("%1 in a sensor write").arg(name)))
            << sig
            << QStringList{"sensor",
                           "3",
                           "set",
                           "level-correction=-12.5",
                           "filling-criterion=7",
                           "counter=40",
                           "working-segments=150",
                           "removed-segments=3"}
            << "  EnterTransit  |";
    }
}

// What timeout, a service manager or a dropped ssh session sends ends the
// command as Ctrl+C does: Break, then transit and service mode off. The
// controller's own status says so afterwards.
void TestTablesCli::signalEndsLikeBreak() {
    QFETCH(int, signal);
    QFETCH(QStringList, command);
    QFETCH(QString, after);
    // Slow answers keep the command in the middle of its work.
    SimulatedLine line("type 1\nturnaround 150\ncontroller 0 0 4\n");
    QVERIFY(line.sim.started);
    command.replaceInStrings(QStringLiteral("TABLE"), putFile(line.dir, "t.vlm", tableText()));
    const Signalled r = signalWhenShown(line.words(QStringList{"--trace"} + command), after, signal);
    QVERIFY2(r.reached, qPrintable(r.err));
    QVERIFY(r.finished);
    QCOMPARE(r.status, QProcess::NormalExit);
    const QString& err = r.err;
    QVERIFY2(err.contains(QStringLiteral("  ResumeNormal  |")), qPrintable(err.right(800)));
    const Run status = runCli(line.words({"controller", "1", "status"}));
    QVERIFY(line.sim.stop());
    QCOMPARE(status.exitCode, 0);
    const QStringList lamps = status.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(!lamps.contains(QStringLiteral("TRA")), qPrintable(status.out));
    QVERIFY2(!lamps.contains(QStringLiteral("SPM")), qPrintable(status.out));
}
