#include "cli/tst_polllog_cli.h"

#include "cli/CliRun.h"
#include "common/FullDisk.h"
#include "common/TestFiles.h"
#include "polllog/PollLog.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>

namespace {

// The printed grids: one list of rows (cells) per grid, a grid starting at
// its header (first cell firstTitle).
std::vector<std::vector<QStringList>> printedPolls(const QString& out,
                                                   const QString& firstTitle = "Рез.") {
    std::vector<std::vector<QStringList>> polls;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.first() == firstTitle)
            polls.emplace_back();
        else if (!polls.empty())
            polls.back().push_back(cells);
    }
    return polls;
}

// The CSV's rows as fields, the header left out.
std::vector<QStringList> csvRows(const QString& path) {
    QFile f(path);
    std::vector<QStringList> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    const QStringList lines =
        QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i)
        rows.push_back(lines[i].split(QLatin1Char(',')));
    return rows;
}

// A cell as printed and its two CSV fields (number with ".", code) say the same.
bool sameValue(const QString& cell, const QString& number, const QString& code) {
    if (cell.isEmpty())
        return number.isEmpty() && code.isEmpty();
    const QStringList shown = cell.split(QLatin1Char(' '));
    return shown.size() == 2 && shown[0].toDouble() == number.toDouble() &&
           shown[1] == QStringLiteral("(%1)").arg(code);
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
    QTest::newRow("count without every")
        << QStringList{"--simulate", "status", "--count", "3"} << 2
        << "--count задаётся только вместе с --every";
    QTest::newRow("export of two pages")
        << QStringList{"log-export", "@text", "@out", "--extended", "--overview"} << 2
        << "log-export LOG OUT.csv [--extended | --overview]";
    QTest::newRow("every zero") << QStringList{"--simulate", "status", "--every", "0"} << 2
                                << "--every: нужно число от 1 до 86400";
    QTest::newRow("log not SQLite")
        << QStringList{"--simulate", "status", "--log", "@text"} << 2 << "@text: НЕ ЖУРНАЛ ОПРОСА";
    QTest::newRow("export of a text file")
        << QStringList{"log-export", "@text", "@out"} << 2 << "@text: НЕ ЖУРНАЛ ОПРОСА";
    QTest::newRow("export of a missing log")
        << QStringList{"log-export", "@missing", "@out"} << 2 << "@missing: ФАЙЛ НЕ НАЙДЕН";
    // Whatever is wrong with the days, --keep says what it wants.
    const QString keep = QStringLiteral("orvant2-cli: --keep: нужно число дней, например 90d\n");
    for (const char* days : {"90", "abc", "0d", "d", "-5d"})
        QTest::addRow("prune, --keep %s", days)
            << QStringList{"log-prune", "@text", "--keep", days} << 2 << keep;
    QTest::newRow("prune without --keep")
        << QStringList{"log-prune", "@text"} << 2 << "orvant2-cli: log-prune LOG --keep DAYSd\n";
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

// The extended status and the overview are recorded as printed, poll after
// poll, and come out of the log as CSV with the same cells.
void TestPollLogCli::otherPagesLogged_data() {
    QTest::addColumn<QString>("page");
    QTest::newRow("extended status") << "--extended";
    QTest::newRow("configuration overview") << "--overview";
}

void TestPollLogCli::otherPagesLogged() {
    QFETCH(QString, page);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("site.sqlite"));
    const QString config = putFile(dir, "site.cfg", kBuiltInLayout);
    const Run status = runCli({"--simulate", "--config", config, "status", page, "--log", log,
                               "--every", "1", "--count", "2"});
    QVERIFY2(status.exitCode == 0, qPrintable(status.err));
    const QString csv = dir.filePath(QStringLiteral("site.csv"));
    const Run exported = runCli({"log-export", log, csv, page, "--decimal-point"});
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
    const std::vector<QStringList> rows = csvRows(csv);
    QCOMPARE(rows.size(), std::size_t(2 * 16));
    std::size_t at = 0;
    if (page == QLatin1String("--extended")) {
        // Per poll the thermometers' grid, then the density channels'.
        const auto grids = printedPolls(status.out, QStringLiteral("Рез"));
        QCOMPARE(grids.size(), std::size_t(4));
        int values = 0;
        for (std::size_t poll = 0; poll < 2; ++poll) {
            const auto& t = grids[2 * poll];
            const auto& d = grids[2 * poll + 1];
            QCOMPARE(t.size(), std::size_t(16));
            for (std::size_t r = 0; r < 16; ++r) {
                const QStringList& fields = rows[at++];
                QCOMPARE(fields.size(), 2 + 4 * 8);
                QCOMPARE(fields[1], t[r][0]);
                for (int n = 1; n <= 8; ++n) {
                    QVERIFY2(sameValue(t[r][n], fields[2 * n], fields[2 * n + 1]),
                             qPrintable(t[r][n] + " / " + fields.join(',')));
                    QVERIFY2(sameValue(d[r][n], fields[16 + 2 * n], fields[17 + 2 * n]),
                             qPrintable(d[r][n] + " / " + fields.join(',')));
                    values += t[r][n].isEmpty() ? 0 : 1;
                }
            }
        }
        QVERIFY(values > 0);
    } else {
        const auto grids = printedPolls(status.out, QStringLiteral("Рез"));
        QCOMPARE(grids.size(), std::size_t(2));
        for (const auto& grid : grids) {
            QCOMPARE(grid.size(), std::size_t(16));
            for (const QStringList& cells : grid) {
                const QStringList& fields = rows[at++];
                QCOMPARE(fields.mid(1), cells);
            }
        }
    }
    polllog::PollLog reopened;
    QCOMPARE(reopened.open(log), QString());
    QCOMPARE(reopened.pollCount(), 2);
    QCOMPARE(reopened.pollCount(page == QLatin1String("--extended") ? polllog::Page::Extended
                                                                    : polllog::Page::Overview),
             2);
}

// A line where nothing answers (the adapter's echo only, or every sensor
// silent) leaves no log file behind, not even an empty one; the polls are
// printed and the silent sensors named as ever.
void TestPollLogCli::noLogWithoutAnswers_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("page");
    QTest::newRow("echo only") << "type 1\ncontroller 0 0 4\necho-only\n" << "";
    QTest::newRow("echo only, extended") << "type 1\ncontroller 0 0 4\necho-only\n"
                                         << "--extended";
    QTest::newRow("echo only, overview") << "type 1\ncontroller 0 0 4\necho-only\n"
                                         << "--overview";
    QTest::newRow("silent sensors")
        << "type 1\ncontroller 0 0 4\nsensor 0 fault=silent\nsensor 1 fault=silent\n"
           "sensor 2 fault=silent\nsensor 3 fault=silent\n"
        << "";
}

void TestPollLogCli::noLogWithoutAnswers() {
    QFETCH(QString, line);
    QFETCH(QString, page);
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "line.txt", line.toUtf8());
    const QString config = putFile(dir, "site.cfg", "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n");
    const QString log = dir.filePath(QStringLiteral("site.sqlite"));
    QStringList args{"--simulate", scenario, "--config", config, "status"};
    if (!page.isEmpty())
        args << page;
    args << "--log" << log << "--every" << "1" << "--count" << "2";
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("НЕТ ОТВЕТА")), qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("НЕ ЗАПИСАНО")));
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("site.sqlite*")},
                                        QDir::Files | QDir::Hidden),
             QStringList());
}

// On a disk where nothing fits, status --log fails as every writer does:
// "НЕ ЗАПИСАНО: FILE: НЕТ МЕСТА НА ДИСКЕ", exit 1, no file made (not even an
// empty one), and a log already there keeps every poll it had.
void TestPollLogCli::logOnAFullDisk_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("existing");
    QTest::newRow("new log") << "" << false;
    QTest::newRow("new log, overview") << "--overview" << false;
    QTest::newRow("log with polls") << "" << true;
}

void TestPollLogCli::logOnAFullDisk() {
    QFETCH(QString, page);
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString config = putFile(dir, "site.cfg", kBuiltInLayout);
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString log = disk.filePath(QStringLiteral("site.sqlite"));
    QStringList args{"--simulate", "--config", config, "status"};
    if (!page.isEmpty())
        args << page;
    args << "--log" << log;
    if (existing)
        QCOMPARE(runCli(args).exitCode, 0);
    const QStringList before = disk.files();
    disk.fill();
    const Run r = runCli(args);
    disk.release();
    QCOMPARE(r.exitCode, 1);
    const QString said = QStringLiteral("НЕ ЗАПИСАНО: ") + log + QStringLiteral(": ") +
                         app::fileFaultText(disk.expectedFault());
    QVERIFY2(r.err.contains(said), qPrintable(r.err));
    // Recorded before printed: the poll that was not recorded is not shown.
    QVERIFY2(!r.out.contains(QStringLiteral("Рез")), qPrintable(r.out));
    // Beside a log that was there SQLite may keep its write-ahead log and
    // its index until the next opening that may write: they belong to it.
    QStringList left = disk.files();
    if (existing)
        left.removeIf([](const QString& name) {
            return name == QLatin1String("site.sqlite-wal") ||
                   name == QLatin1String("site.sqlite-shm");
        });
    QCOMPARE(left, before);
    if (existing) {
        polllog::PollLog reopened;
        QCOMPARE(reopened.open(log), QString());
        QCOMPARE(reopened.pollCount(), 1);
    }
    // With room again the same command records.
    const Run again = runCli(args);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QCOMPARE(disk.files(), QStringList{QStringLiteral("site.sqlite")});
    polllog::PollLog reopened;
    QCOMPARE(reopened.open(log), QString());
    QCOMPARE(reopened.pollCount(), existing ? 2 : 1);
}
