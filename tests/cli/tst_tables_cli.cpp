#include "cli/tst_tables_cli.h"

#include "cli/CliRun.h"
#include "common/TestFiles.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

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
            : said.arg(QString::number(0x100 + (sent - 1) * 128, 16).toUpper().rightJustified(4, '0'));
    QVERIFY2(err.contains(QStringLiteral("orvant2-cli: ") + named + QLatin1Char('\n')),
             qPrintable(err.right(600)));
    QVERIFY(err.contains(QStringLiteral("orvant2-cli: ПРОБЛЕМЫ СО СВЯЗЬЮ.")));
    QVERIFY(!err.contains(QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА")));
    QVERIFY(cli.readAllStandardOutput().isEmpty());
}
