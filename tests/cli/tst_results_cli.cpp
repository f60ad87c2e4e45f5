#include "tst_results_cli.h"

#include "cli/CliRun.h"
#include "common/TestFiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

void TestCliResults::ramtestResults_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("no errors") << "" << 0 << "ОШИБОК НЕТ\n"
                               << "";
    QTest::newRow("a cell") << "ramtest 2 123455AA\n"
                            << 1 << "Ошибка по адресу 1234 : зп-55 сч-AA\n"
                            << "";
    QTest::newRow("unexpected length")
        << "ramtest 2 123456\n"
        << 1 << ""
        << "orvant2-cli: ОТВЕТ ТЕСТА ПАМЯТИ НЕОЖИДАННОЙ ДЛИНЫ: 3 БАЙТ, ОЖИДАЛОСЬ 0, 1, 2 ИЛИ 4\n";
    QTest::newRow("no answer") << "sensor 2 fault=silent\n"
                               << 1 << ""
                               << "orvant2-cli: ВОЗМОЖНО УСТРОЙСТВОМ ТЕСТ НЕ ПОДДЕРЖИВАЕТСЯ\n";
    // Only the request's own echo came back: the line failed, not the device.
    QTest::newRow("nothing but the echo") << "echo-only\n"
                                          << 1 << ""
                                          << "orvant2-cli: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)\n";
}

// The memory test's result, whatever the sensor answers; the test is
// stopped after it on the wire.
void TestCliResults::ramtestResults() {
    QFETCH(QString, scenario);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const Run r =
        runCli({QStringLiteral("--simulate"),
                putFile(dir, "line.txt", ("type 1\ncontroller 0 0 4\n" + scenario).toUtf8()),
                QStringLiteral("--config"), putFile(dir, "o.cfg", "KIP_NUM=1,1\nKIP1=0,4\n"),
                QStringLiteral("--trace"), QStringLiteral("alarm"), QStringLiteral("3"),
                QStringLiteral("ramtest")});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, out);
    QStringList messages, sent;
    for (const QString& line : r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("orvant2-cli: ")))
            messages << line;
        else if (line.contains(QStringLiteral(" > датчик 3  ")))
            sent << line.section(QStringLiteral("  "), 1, 1);
    }
    QCOMPARE(messages.join(QLatin1Char('\n')), err.trimmed());
    // On a line that only echoes, the link asks the version once to learn
    // that the copy was its own.
    const QStringList disclosure =
        scenario.startsWith(QLatin1String("echo-only")) ? QStringList{"ReadVersion"} : QStringList{};
    QCOMPARE(sent, QStringList{"StartMemoryTest"} + disclosure + QStringList{"ReadStatus"});
}

// The line goes silent after three blocks: the fourth, at 0x180, is lost.
void TestCliResults::flashLineSilentMidWrite() {
    QTemporaryDir dir;
    const QString hex = putFile(dir, "kip.hex", hexImage());
    const Run r =
        runCli({"--simulate", putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\ncut 50 3\n"),
                "--config", putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"), "flash",
                "controller", "1", hex});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.endsWith(QStringLiteral("orvant2-cli: ПОТЕРЯ СВЯЗИ(00200)\n")),
             qPrintable(r.err));
}

// Ctrl+C while the blocks go out at 9600 baud: the write stops before the
// next block and names the address up to which the loader confirmed it.
void TestCliResults::flashInterruptedNamesTheAddress() {
    QTemporaryDir dir;
    const QString hex = putFile(dir, "kip.hex", hexImage());
    QProcess sim;
    const QString tty = dir.filePath(QStringLiteral("tty"));
    sim.start(QStringLiteral(ORVANT_SIM_BIN),
              {QStringLiteral("--link"), tty, QStringLiteral("--scenario"),
               putFile(dir, "line.txt", "type 1\ncontroller 0 0 4\n"),
               QStringLiteral("--wire-time")});
    QVERIFY(sim.waitForReadyRead(10000));
    QProcess cli;
    cli.start(QStringLiteral(ORVANT_CLI_BIN),
              {QStringLiteral("--port"), tty, QStringLiteral("--config"),
               putFile(dir, "o.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"),
               QStringLiteral("--trace"), QStringLiteral("flash"), QStringLiteral("controller"),
               QStringLiteral("1"), hex});
    QVERIFY(cli.waitForStarted());
    const QByteArray confirmed = "ProgramBlock  данные";
    QByteArray err;
    QElapsedTimer waited;
    waited.start();
    while (err.count(confirmed) < 3 && cli.state() != QProcess::NotRunning &&
           waited.elapsed() < 30000) {
        cli.waitForReadyRead(100);
        err += cli.readAllStandardError();
    }
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    QVERIFY(cli.waitForFinished(20000));
    err += cli.readAllStandardError();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 1);
    const QString text = QString::fromUtf8(err);
    // Every block the loader confirmed before the break, 128 bytes each.
    const int blocks = static_cast<int>(err.count(confirmed));
    QVERIFY2(blocks >= 3 && blocks < 24, qPrintable(text));
    const QString said =
        QStringLiteral("orvant2-cli: ПРОГРАММИРОВАНИЕ ПРЕРВАНО(%1)\n")
            .arg(QStringLiteral("%1").arg(blocks * 128, 5, 16, QLatin1Char('0')).toUpper());
    QVERIFY2(text.endsWith(said), qPrintable(text));
}
