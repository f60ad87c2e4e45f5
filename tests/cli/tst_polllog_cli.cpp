#include "cli/tst_polllog_cli.h"

#include "cli/CliRun.h"
#include "common/TestFiles.h"
#include "polllog/PollLog.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>

namespace {

// The printed grids: one list of rows (cells) per poll.
std::vector<std::vector<QStringList>> printedPolls(const QString& out) {
    std::vector<std::vector<QStringList>> polls;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.first() == QStringLiteral("Рез."))
            polls.emplace_back();
        else
            polls.back().push_back(cells);
    }
    return polls;
}

// The built-in installation's layout: no scan before the polls.
const QByteArray kBuiltInLayout = "KIP_TYP=1\nKIP_NUM=3,7\nKIP1=0,6\nKIP2=6,6\nKIP3=12,4\n";

QString integrity(const QString& path) {
    QString result;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
                result = q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return result;
}

} // namespace

void TestPollLogCli::logHoldsWhatWasPrinted() {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("site.sqlite"));
    const Run status =
        runCli({"--simulate", "status", "--log", log, "--every", "1", "--count", "2"});
    QCOMPARE(status.exitCode, 0);
    const auto polls = printedPolls(status.out);
    QCOMPARE(polls.size(), std::size_t(2));

    // What the spreadsheet gets: the same cells, poll after poll.
    const QString csv = dir.filePath(QStringLiteral("site.csv"));
    const Run exported = runCli({"log-export", log, csv, "--decimal-point"});
    QCOMPARE(exported.exitCode, 0);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 2 * 16);
    int line = 1;
    for (const auto& poll : polls) {
        QCOMPARE(poll.size(), std::size_t(16));
        for (const QStringList& cells : poll) {
            const QStringList fields = lines[line++].split(QLatin1Char(','));
            QCOMPARE(fields[1], cells[0]);
            QCOMPARE(fields[2], cells[1]);
            for (int c = 2; c < 8; ++c) {
                const QStringList shown = cells[c].split(QLatin1Char(' '));
                QCOMPARE(fields[2 * c - 1].toDouble(), shown[0].toDouble());
                QCOMPARE(QStringLiteral("(%1)").arg(fields[2 * c]), shown[1]);
            }
        }
    }
}

void TestPollLogCli::killedMidRunKeepsEveryEarlierPoll() {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("site.sqlite"));
    const QString config = putFile(dir, "site.cfg", kBuiltInLayout);
    QProcess cli;
    cli.start(QStringLiteral(ORVANT_CLI_BIN),
              {"--simulate", "--config", config, "status", "--log", log, "--every", "1"});
    QByteArray out;
    // Two whole grids printed (a blank line between them)...
    while (out.count("\n") < 2 * 17 + 1 && cli.waitForReadyRead(10000))
        out += cli.readAllStandardOutput();
    QVERIFY(out.count("\n") >= 2 * 17 + 1);
    // ...and the next poll under way after the pause of a second; wherever
    // the kill lands, the log must hold every poll printed.
    QTest::qWait(1300);
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    QVERIFY(cli.waitForFinished(5000));
    out += cli.readAllStandardOutput();
    std::size_t printed = 0;
    for (const auto& poll : printedPolls(QString::fromUtf8(out)))
        printed += poll.size() == 16 ? 1 : 0;
    QVERIFY(printed >= 2);
    QCOMPARE(integrity(log), QStringLiteral("ok"));
    polllog::PollLog reopened;
    QCOMPARE(reopened.open(log), QString());
    // Recorded before printed: at most the poll in progress is not printed.
    const auto polls = static_cast<std::size_t>(reopened.pollCount());
    QVERIFY(polls >= printed);
    QVERIFY(polls <= printed + 1);
    const auto series =
        reopened.series({1}, polllog::Quantity::Fuel, 0, std::numeric_limits<qint64>::max());
    QCOMPARE(series.at(1).size(), polls);
}

void TestPollLogCli::health_data() {
    QTest::addColumn<int>("sensors");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("all normal") << 3 << 0 << QStringList{"ВСЕ ДАТЧИКИ В НОРМЕ"};
    QTest::newRow("faults") << 8 << 1
                            << QStringList{"4\tСМОТРИТЕ ТЕМПЕРАТУРУ",
                                           "6\tСМОТРИТЕ УРОВЕНЬ; Топливо: ЕСТЬ ЗАНУЛЁННЫЕ "
                                           "СЕГМЕНТЫ",
                                           "8\tСМОТРИТЕ ПЛОТНОСТЬ; Плотн.: НЕТ ПРИСУТСТВИЯ; "
                                           "Объём: НЕТ ТАБЛИЦЫ; Масса: НЕТ ТАБЛИЦЫ"};
}

void TestPollLogCli::health() {
    QFETCH(int, sensors);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString file =
        putFile(dir, "line.txt", QStringLiteral("controller 0 0 %1\n").arg(sensors).toUtf8());
    const QString config =
        putFile(dir, "site.cfg",
                QStringLiteral("KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,%1\n").arg(sensors).toUtf8());
    const Run once = runCli({"--simulate", file, "--config", config, "health"});
    QCOMPARE(once.exitCode, exitCode);
    QStringList got = once.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Without a log nobody knows since when: the third field stays empty.
    for (QString& l : got) {
        if (l.endsWith(QLatin1Char('\t')))
            l.chop(1);
    }
    QCOMPARE(got, lines);

    // With the log: since the first poll that was not normal.
    const QString log = dir.filePath(QStringLiteral("site.sqlite"));
    QCOMPARE(runCli({"--simulate", file, "--config", config, "health", "--log", log}).exitCode,
             exitCode);
    const Run second = runCli({"--simulate", file, "--config", config, "health", "--log", log});
    QCOMPARE(second.exitCode, exitCode);
    polllog::PollLog reopened;
    QCOMPARE(reopened.open(log), QString());
    QCOMPARE(reopened.pollCount(), 2);
    if (exitCode == 0)
        return;
    const qint64 first =
        reopened.series({2}, polllog::Quantity::Fuel, 0, std::numeric_limits<qint64>::max())
            .at(2)
            .front()
            .timeMs;
    const QString since = QStringLiteral("\tс ") + QDateTime::fromMSecsSinceEpoch(first).toString(
                                                       QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    for (const QString& l : second.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        QVERIFY2(l.endsWith(since), qPrintable(l));
}

void TestPollLogCli::wrongWords_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("count without every") << QStringList{"--simulate", "status", "--count", "3"} << 2
                                         << "--count задаётся только вместе с --every";
    QTest::newRow("log of the extended status")
        << QStringList{"--simulate", "status", "--extended", "--log", "x.sqlite"} << 2
        << "--log записывает только общее состояние";
    QTest::newRow("every zero") << QStringList{"--simulate", "status", "--every", "0"} << 2
                                << "--every: нужно число от 1 до 86400";
    QTest::newRow("log not SQLite")
        << QStringList{"--simulate", "status", "--log", "@text"} << 2 << "@text: НЕ ЖУРНАЛ ОПРОСА";
    QTest::newRow("export of a text file")
        << QStringList{"log-export", "@text", "@out"} << 2 << "@text: НЕ ЖУРНАЛ ОПРОСА";
    QTest::newRow("export of a missing log")
        << QStringList{"log-export", "@missing", "@out"} << 2 << "@missing: ФАЙЛ НЕ НАЙДЕН";
    QTest::newRow("export, bad time")
        << QStringList{"log-export", "@text", "@out", "--from", "yesterday"} << 2
        << "--from: нужно время, например 2026-12-09 05:40";
}

void TestPollLogCli::wrongWords() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString text = putFile(dir, "notes.sqlite", "KIP1=0,6\n");
    auto place = [&](QString s) {
        return s.replace(QStringLiteral("@text"), text)
            .replace(QStringLiteral("@missing"), dir.filePath(QStringLiteral("none.sqlite")))
            .replace(QStringLiteral("@out"), dir.filePath(QStringLiteral("out.csv")));
    };
    for (QString& a : args)
        a = place(a);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(place(message)), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.csv"))));
    QCOMPARE(QFileInfo(text).size(), qint64(9));
}
