#include "common/FullDisk.h"
#include "common/Layouts.h"
#include "common/SimHarness.h"
#include "common/TestMain.h"
#include "polllog/Decimation.h"
#include "polllog/Health.h"
#include "polllog/LogExport.h"
#include "polllog/PollLog.h"
#include "polllog/TrendLoader.h"
#include "polllog/tst_log_engines.h"
#include "sensor/StatusPolls.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using polllog::Quantity;

namespace {

// Two controllers; sensor 3 silent, sensor 7 not fitted; the simulator's
// own faults at addresses 3, 5 and 7 of the second controller's range.
const char* const kScenario = "controller 0 0 8\n"
                              "controller 1 8 4\n"
                              "sensor 2 fault=silent\n"
                              "absent 6\n";

app::ControllerLayout scenarioLayout() {
    return layoutOf({{0, 0, 8}, {1, 8, 4}});
}

// The number and code of a cell as the grid shows it, read independently
// of the log's own parser.
std::pair<double, int> shown(const QString& cell) {
    const QStringList parts = cell.split(QLatin1Char(' '));
    return {parts[0].toDouble(), parts[1].mid(1, 2).toInt(nullptr, 16)};
}

qint64 kStart = 1'760'000'000'000; // a fixed UTC time for the cases

polllog::SensorRow rowWith(int sensor, int s1, double fuel, int fuelCode) {
    polllog::SensorRow r;
    r.sensor = sensor;
    r.s1 = s1;
    r.s2 = 0x13;
    r.values[0] = polllog::Value{fuel, fuelCode};
    return r;
}

// 128 sensors with every value: one poll as the window records it.
std::vector<polllog::SensorRow> fullPoll(int step) {
    std::vector<polllog::SensorRow> rows;
    for (int s = 1; s <= 128; ++s) {
        polllog::SensorRow r = rowWith(s, 0, 1000 + step + s, 0);
        for (int q = 1; q < polllog::kQuantities; ++q)
            r.values[static_cast<std::size_t>(q)] = polllog::Value{double(q * 100 + s), 0};
        rows.push_back(r);
    }
    return rows;
}

qint64 fileSize(const QString& path) {
    return QFileInfo(path).exists() ? QFileInfo(path).size() : 0;
}

// A log as the first version wrote it: polls and readings only, layout
// version 1, write-ahead log on.
bool makeVersionOneLog(const QString& path) {
    bool ok = true;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("v1"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const char* statement : {
                 "PRAGMA journal_mode=WAL",
                 "CREATE TABLE polls(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, "
                 "kind INTEGER NOT NULL)",
                 "CREATE INDEX polls_time ON polls(time)",
                 "CREATE TABLE readings(sensor INTEGER NOT NULL, poll INTEGER NOT NULL, "
                 "s1 INTEGER, s2 INTEGER, fuel REAL, fuel_code INTEGER, water REAL, "
                 "water_code INTEGER, temperature REAL, temperature_code INTEGER, density REAL, "
                 "density_code INTEGER, volume REAL, volume_code INTEGER, mass REAL, "
                 "mass_code INTEGER, normal INTEGER NOT NULL, PRIMARY KEY(sensor, poll)) "
                 "WITHOUT ROWID",
                 "PRAGMA application_id=1330796082",
                 "PRAGMA user_version=1",
                 "INSERT INTO polls VALUES(1, 1760000000000, 1)",
                 "INSERT INTO polls VALUES(2, 1760000010000, 2)",
                 "INSERT INTO readings VALUES(1, 1, 0, 19, 10.5, 0, 1.0, 0, 21.5, 0, 785.0, 0, "
                 "1000.0, 0, 785.0, 0, 1)",
                 "INSERT INTO readings VALUES(2, 1, 1, 19, 20.5, 133, NULL, NULL, NULL, NULL, "
                 "NULL, NULL, NULL, NULL, NULL, NULL, 0)",
                 "INSERT INTO readings VALUES(1, 2, 0, 19, 11.5, 0, 1.0, 0, 21.6, 0, 785.1, 0, "
                 "1001.0, 0, 785.8, 0, 1)",
                 "INSERT INTO readings VALUES(2, 2, 1, 19, 20.5, 133, NULL, NULL, NULL, NULL, "
                 "NULL, NULL, NULL, NULL, NULL, NULL, 0)",
             })
            ok = ok && q.exec(QString::fromLatin1(statement));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v1"));
    return ok;
}

} // namespace

class TestPollLog : public QObject {
    Q_OBJECT
  private slots:
    void valueCells_data();
    void valueCells();
    void logHoldsWhatTheGridShowed();
    void faultStatusIsAGap_data();
    void faultStatusIsAGap();
    void faultSince();
    void health_data();
    void health();
    void csvReadByPython_data();
    void csvReadByPython();
    void exportOnFullDisk();
    void refusedFiles_data();
    void refusedFiles();
    void decimationKeepsExtremesAndGaps();
    void decimationJoinsGapsNarrowerThanAColumn_data();
    void decimationJoinsGapsNarrowerThanAColumn();
    void reopenedLogKeepsPolls();
    void extendedAndOverviewHoldWhatTheGridsShowed();
    void versionOneLogOpens();
    void noFileUntilAPollWithAnswers();
    void fullDiskLeavesNoFile_data();
    void fullDiskLeavesNoFile();
    void checkpointsBetweenPollsKeepTheWalSmall();
    void failedCheckpointSaidOnce();
    void siteOfAFullDiskIsNoSecondWriter();
    void trendsReadOnAThreadOfTheirOwn();

  private:
    QTemporaryDir m_dir;
};

void TestPollLog::valueCells_data() {
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("code");
    QTest::newRow("level") << "1234.5 (00)" << true << 1234.5 << 0;
    QTest::newRow("temperature") << "+21.5 (00)" << true << 21.5 << 0;
    QTest::newRow("below zero") << "-3.7 (0F)" << true << -3.7 << 0x0F;
    QTest::newRow("density") << "-200.0 (B1)" << true << -200.0 << 0xB1;
    QTest::newRow("empty") << "" << false << 0.0 << 0;
    QTest::newRow("no code") << "12.5" << false << 0.0 << 0;
    QTest::newRow("not hex") << "12.5 (ZZ)" << false << 0.0 << 0;
}

void TestPollLog::valueCells() {
    QFETCH(QString, cell);
    QFETCH(bool, valid);
    const auto v = polllog::parseValueCell(cell);
    QCOMPARE(v.has_value(), valid);
    if (valid) {
        QFETCH(double, value);
        QFETCH(int, code);
        QCOMPARE(v->value, value);
        QCOMPARE(v->code, code);
    }
}

void TestPollLog::logHoldsWhatTheGridShowed() {
    SimHarness sim(scenarioFrom(kScenario));
    polllog::PollLog log;
    QCOMPARE(log.open(m_dir.filePath(QStringLiteral("cycles.sqlite"))), QString());
    app::SilentProgress progress;
    std::vector<sensor::StatusGrid> shownGrids;
    for (int cycle = 0; cycle < 3; ++cycle) {
        sensor::StatusGrid grid = sensor::generalStatusGrid();
        sensor::PollGeneralStatus(sim.link, scenarioLayout(), progress, grid, false);
        QCOMPARE(log.record(grid, polllog::PollKind::Combined, kStart + cycle * 10000), QString());
        shownGrids.push_back(grid);
    }
    QCOMPARE(log.pollCount(), 3);
    std::vector<polllog::LoggedRow> logged;
    QVERIFY(log.forEachRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                           [&](const polllog::LoggedRow& r) { logged.push_back(r); }));
    QCOMPARE(logged.size(), std::size_t(3 * 12));
    std::size_t i = 0;
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (const QStringList& cells : shownGrids[static_cast<std::size_t>(cycle)].rows) {
            const polllog::LoggedRow& r = logged[i++];
            QCOMPARE(r.timeMs, kStart + cycle * 10000);
            QCOMPARE(QString::number(r.row.sensor), cells[0]);
            const QString status = r.row.s1 ? QStringLiteral("%1 %2")
                                                  .arg(*r.row.s1, 2, 16, QLatin1Char('0'))
                                                  .arg(*r.row.s2, 2, 16, QLatin1Char('0'))
                                                  .toUpper()
                                            : QString();
            QCOMPARE(status, cells[sensor::ColStatus]);
            for (int q = 0; q < polllog::kQuantities; ++q) {
                const QString cell = cells[polllog::columnOf(static_cast<Quantity>(q))];
                const auto& v = r.row.values[static_cast<std::size_t>(q)];
                QCOMPARE(v.has_value(), !cell.isEmpty());
                if (v) {
                    QCOMPARE(v->value, shown(cell).first);
                    QCOMPARE(v->code, shown(cell).second);
                }
            }
        }
    }
    // The fuel level moves between polls: each poll keeps its own.
    QVERIFY(logged[0].row.values[0]->value != logged[12].row.values[0]->value);
}

void TestPollLog::faultStatusIsAGap_data() {
    QTest::addColumn<int>("sensor");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<bool>("gap");
    QTest::newRow("normal fuel") << 1 << int(Quantity::Fuel) << false;
    QTest::newRow("silent sensor") << 3 << int(Quantity::Fuel) << true;
    QTest::newRow("sensor not fitted") << 7 << int(Quantity::Water) << true;
    QTest::newRow("bare segments, fuel 85") << 6 << int(Quantity::Fuel) << true;
    QTest::newRow("bare segments, water normal") << 6 << int(Quantity::Water) << false;
    QTest::newRow("no density meter, B1") << 8 << int(Quantity::Density) << true;
    QTest::newRow("no table, volume FF") << 8 << int(Quantity::Volume) << true;
    QTest::newRow("no table, mass FF") << 8 << int(Quantity::Mass) << true;
    QTest::newRow("temperature normal") << 8 << int(Quantity::Temperature) << false;
}

void TestPollLog::faultStatusIsAGap() {
    QFETCH(int, sensor);
    QFETCH(int, quantity);
    QFETCH(bool, gap);
    SimHarness sim(scenarioFrom(kScenario));
    polllog::PollLog log;
    QCOMPARE(
        log.open(m_dir.filePath(QStringLiteral("gaps-%1-%2.sqlite").arg(sensor).arg(quantity))),
        QString());
    app::SilentProgress progress;
    for (int cycle = 0; cycle < 2; ++cycle) {
        sensor::StatusGrid grid = sensor::generalStatusGrid();
        sensor::PollGeneralStatus(sim.link, scenarioLayout(), progress, grid, false);
        QCOMPARE(log.record(grid, polllog::PollKind::Combined, kStart + cycle * 10000), QString());
    }
    const polllog::Series s =
        log.series({sensor}, static_cast<Quantity>(quantity), kStart, kStart + 10000);
    const std::vector<polllog::Point>& points = s.at(sensor);
    QCOMPARE(points.size(), std::size_t(2));
    for (const polllog::Point& p : points) {
        QCOMPARE(std::isnan(p.value), gap);
        // Never a zero drawn where the sensor said nothing usable.
        if (!gap)
            QVERIFY(p.value != 0 || quantity == int(Quantity::Water));
    }
    QCOMPARE(points[1].timeMs, kStart + 10000);
}

void TestPollLog::faultSince() {
    polllog::PollLog log;
    QCOMPARE(log.open(m_dir.filePath(QStringLiteral("since.sqlite"))), QString());
    const int codes[] = {0, 0x85, 0x85, 0, 0x85, 0x85};
    const std::optional<qint64> since[] = {std::nullopt, kStart + 1000, kStart + 1000,
                                           std::nullopt, kStart + 4000, kStart + 4000};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(
            log.record({rowWith(1, codes[i] ? 1 : 0, 100 + i, codes[i]), rowWith(2, 0, 200, 0)},
                       polllog::PollKind::Combined, kStart + i * 1000),
            QString());
        QCOMPARE(log.faultSince(1), since[i]);
        QCOMPARE(log.faultSince(2), std::optional<qint64>());
    }
    QCOMPARE(log.faultSince(9), std::optional<qint64>());
}

void TestPollLog::health_data() {
    QTest::addColumn<int>("sensor");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("column");
    QTest::newRow("silent") << 3 << "НЕТ ОТВЕТА" << -1;
    QTest::newRow("thermometer gone") << 4 << "СМОТРИТЕ ТЕМПЕРАТУРУ" << int(sensor::ColTemperature);
    QTest::newRow("bare segments")
        << 6 << "СМОТРИТЕ УРОВЕНЬ; Топливо: ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ" << int(sensor::ColFuel);
    QTest::newRow("not fitted") << 7 << "ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ" << -1;
    QTest::newRow("no density meter, no table")
        << 8
        << "СМОТРИТЕ ПЛОТНОСТЬ; Плотн.: НЕТ ПРИСУТСТВИЯ; Объём: НЕТ ТАБЛИЦЫ; Масса: НЕТ ТАБЛИЦЫ"
        << int(sensor::ColDensity);
    QTest::newRow("thermometer gone, second controller")
        << 11 << "СМОТРИТЕ ТЕМПЕРАТУРУ" << int(sensor::ColTemperature);
}

void TestPollLog::health() {
    QFETCH(int, sensor);
    QFETCH(QString, text);
    QFETCH(int, column);
    SimHarness sim(scenarioFrom(kScenario));
    app::SilentProgress progress;
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    sensor::PollGeneralStatus(sim.link, scenarioLayout(), progress, grid, false);
    polllog::PollLog log;
    QCOMPARE(log.open(m_dir.filePath(QStringLiteral("health-%1.sqlite").arg(sensor))), QString());
    QCOMPARE(log.record(grid, polllog::PollKind::Combined, kStart), QString());
    const sensor::StatusDecoder decoder;
    const auto items = polllog::healthOf(grid, decoder, &log);
    QList<int> numbers;
    for (const auto& item : items)
        numbers << item.sensor;
    QCOMPARE(numbers, (QList<int>{3, 4, 6, 7, 8, 11}));
    const auto it = std::find_if(items.begin(), items.end(),
                                 [&](const auto& item) { return item.sensor == sensor; });
    QCOMPARE(it->text, text);
    QCOMPARE(it->column, column);
    QCOMPARE(grid.rows[static_cast<std::size_t>(it->row)][0], QString::number(sensor));
    QCOMPARE(it->sinceMs, std::optional<qint64>(kStart));
    QVERIFY(polllog::healthOf(grid, decoder, nullptr).front().sinceMs == std::nullopt);
}

void TestPollLog::csvReadByPython_data() {
    QTest::addColumn<bool>("decimalPoint");
    QTest::newRow("semicolon, decimal comma") << false;
    QTest::newRow("comma, decimal point") << true;
}

void TestPollLog::csvReadByPython() {
    QFETCH(bool, decimalPoint);
    polllog::PollLog log;
    QCOMPARE(log.open(m_dir.filePath(QStringLiteral("csv-%1.sqlite").arg(decimalPoint))),
             QString());
    polllog::SensorRow odd = rowWith(12, 4, 2345.6, 0);
    odd.values[3] = polllog::Value{-200.0, 0xB1};
    odd.values[2] = polllog::Value{-3.5, 0};
    odd.values[4] = polllog::Value{1234567.8, 0x0A};
    polllog::SensorRow silent;
    silent.sensor = 13;
    QCOMPARE(log.record({rowWith(1, 0, 10.5, 0), odd, silent}, polllog::PollKind::Combined, kStart),
             QString());
    QCOMPARE(log.record({rowWith(1, 0, 11.5, 0)}, polllog::PollKind::Combined, kStart + 60000),
             QString());
    polllog::ExportOptions options;
    options.decimalPoint = decimalPoint;
    const QString csv = m_dir.filePath(QStringLiteral("out-%1.csv").arg(decimalPoint));
    QVERIFY(polllog::exportCsv(log, csv, options).ok());

    // What a spreadsheet reader makes of it: per row the sensor, the fuel,
    // temperature, density and volume as numbers (or "-" when empty), the
    // density's code.
    const QString script = QStringLiteral(
        "import csv, sys\n"
        "sep, mark = sys.argv[2], sys.argv[3]\n"
        "num = lambda s: repr(float(s.replace(mark, '.'))) if s else '-'\n"
        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
        "    rows = list(csv.reader(f, delimiter=sep))\n"
        "print(rows[0][1], rows[0][3], len(rows[0]))\n"
        "for r in rows[1:]:\n"
        "    print(r[1], num(r[3]), num(r[7]), num(r[9]), r[10] or '-', num(r[11]))\n");
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), script, csv,
                  decimalPoint ? QStringLiteral(",") : QStringLiteral(";"),
                  decimalPoint ? QStringLiteral(".") : QStringLiteral(",")});
    QVERIFY(python.waitForFinished(30000));
    QCOMPARE(python.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(python.readAllStandardOutput()).trimmed().split('\n');
    QCOMPARE(lines, (QStringList{
                        QStringLiteral("Датчик Топливо 15"),
                        QStringLiteral("1 10.5 - - - -"),
                        QStringLiteral("12 2345.6 -3.5 -200.0 B1 1234567.8"),
                        QStringLiteral("13 - - - - -"),
                        QStringLiteral("1 11.5 - - - -"),
                    }));
    // The BOM is there for the spreadsheet to know UTF-8.
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(3), QByteArray("\xEF\xBB\xBF"));

    // One sensor and a time range.
    options.sensor = 1;
    options.fromMs = kStart + 1;
    QVERIFY(polllog::exportCsv(log, csv, options).ok());
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList rows =
        QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows[1].contains(decimalPoint ? QStringLiteral(",1,00 13,11.5,00,")
                                          : QStringLiteral(";1;00 13;11,5;00;")));
}

void TestPollLog::exportOnFullDisk() {
    polllog::PollLog log;
    QCOMPARE(log.open(m_dir.filePath(QStringLiteral("full.sqlite"))), QString());
    QCOMPARE(log.record({rowWith(1, 0, 10.5, 0)}, polllog::PollKind::Combined, kStart), QString());
    FullDisk disk;
    QVERIFY(disk.isValid());
    disk.fill();
    const QString target = disk.filePath(QStringLiteral("out.csv"));
    const app::FileResult r = polllog::exportCsv(log, target, {});
    disk.release();
    QCOMPARE(r.fault, disk.expectedFault());
    QVERIFY(r.message().startsWith(target + QStringLiteral(": ")));
    QCOMPARE(disk.files(), QStringList());
}

void TestPollLog::refusedFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << "text";
    QTest::newRow("another SQLite database") << "database";
    QTest::newRow("folder") << "folder";
    QTest::newRow("missing folder") << "nofolder";
    QTest::newRow("read-only") << "readonly";
    QTest::newRow("broken, with a write-ahead log") << "broken";
}

void TestPollLog::refusedFiles() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("site.sqlite"));
    QString reason;
    std::unique_ptr<FullDisk> readOnly;
    if (kind == QLatin1String("text")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("KIP1=0,6\nKIP2=6,6\n");
        reason = QStringLiteral("НЕ ЖУРНАЛ ОПРОСА");
    } else if (kind == QLatin1String("database")) {
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery(db).exec(QStringLiteral("CREATE TABLE t(x)"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        reason = QStringLiteral("НЕ ЖУРНАЛ ОПРОСА");
    } else if (kind == QLatin1String("broken")) {
        // A log in write-ahead mode whose pages were overwritten.
        {
            polllog::PollLog made;
            QCOMPARE(made.open(path), QString());
            QCOMPARE(made.record(fullPoll(0), polllog::PollKind::Combined, kStart), QString());
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(100));
        f.write(QByteArray(static_cast<int>(f.size()) - 100, '\x5A'));
        f.close();
        reason = QStringLiteral("ФАЙЛ ИСПОРЧЕН");
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
        reason = QStringLiteral("НЕ ФАЙЛ");
    } else if (kind == QLatin1String("nofolder")) {
        path = dir.filePath(QStringLiteral("gone/site.sqlite"));
        reason = QStringLiteral("НЕТ ПАПКИ");
    } else {
        // Root writes past permissions: there the disk itself is read-only.
        readOnly = std::make_unique<FullDisk>(true);
        if (readOnly->mounted()) {
            path = readOnly->filePath(QStringLiteral("site.sqlite"));
            reason = QStringLiteral("ДИСК ТОЛЬКО ДЛЯ ЧТЕНИЯ");
        } else {
            polllog::PollLog made;
            QCOMPARE(made.open(path), QString());
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
            reason = QStringLiteral("НЕТ ДОСТУПА");
        }
    }
    const QByteArray before = QFileInfo(path).isFile() ? [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }() : QByteArray();
    polllog::PollLog log;
    QCOMPARE(log.open(path), path + QStringLiteral(": ") + reason);
    QVERIFY(!log.isOpen());
    // Whatever the file was, it is left as it was, and nothing beside it.
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-shm")));
    if (QFileInfo(path).isFile()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestPollLog::decimationKeepsExtremesAndGaps() {
    // 10 000 points over 100 columns: a saw tooth with one gap three columns
    // wide.
    std::vector<polllog::Point> points;
    for (int i = 0; i < 10000; ++i)
        points.push_back({i * 10, (i >= 5000 && i < 5300) ? std::nan("") : double(i % 37)});
    const auto thin = polllog::decimate(points, 0, 100000, 100);
    QVERIFY(thin.size() <= 4 * 100);
    int gaps = 0;
    double low = 1e9, high = -1e9;
    for (std::size_t i = 0; i < thin.size(); ++i) {
        if (i > 0)
            QVERIFY(thin[i].timeMs >= thin[i - 1].timeMs);
        if (std::isnan(thin[i].value)) {
            ++gaps;
            continue;
        }
        low = std::min(low, thin[i].value);
        high = std::max(high, thin[i].value);
    }
    QCOMPARE(gaps, 1);
    QCOMPARE(low, 0.0);
    QCOMPARE(high, 36.0);
    // Few points are left as they are.
    QCOMPARE(polllog::decimate({points.begin(), points.begin() + 150}, 0, 100000, 100).size(),
             std::size_t(150));
}

// A sensor silent at every third poll of a week at one a minute, and off
// for an hour on the third day: on a chart 1000 columns wide over a week or
// a day a missed minute is a hole of a pixel at most and is joined over;
// the hour stays one break, and over an hour every missed minute is one.
void TestPollLog::decimationJoinsGapsNarrowerThanAColumn_data() {
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<int>("breaks");
    QTest::newRow("the week") << qint64(7 * 86400'000) << 1;
    QTest::newRow("a day") << qint64(86400'000) << 1;
    QTest::newRow("an hour before the outage: every missed minute") << qint64(3600'000) << 20;
}

void TestPollLog::decimationJoinsGapsNarrowerThanAColumn() {
    QFETCH(qint64, spanMs);
    QFETCH(int, breaks);
    constexpr qint64 kMinute = 60'000;
    const qint64 outage = 3 * 1440 * kMinute;
    std::vector<polllog::Point> points;
    for (qint64 i = 0; i < 7 * 1440; ++i) {
        const qint64 t = i * kMinute;
        const bool silent = i % 3 == 2 || (t >= outage && t < outage + 60 * kMinute);
        points.push_back({t, silent ? std::nan("") : double(i % 50)});
    }
    // The stretch ending with the outage's end, or the hour before it.
    const qint64 to = spanMs < 86400'000 ? outage - 1 : outage + spanMs / 2;
    const qint64 from = to - spanMs;
    std::vector<polllog::Point> stretch;
    for (const polllog::Point& p : points)
        if (p.timeMs >= from && p.timeMs <= to)
            stretch.push_back(p);
    const auto thin = polllog::decimate(stretch, from, to, 1000);
    // A break: one or more points without value between two with one.
    int gaps = 0;
    for (std::size_t i = 0; i < thin.size(); ++i)
        gaps += std::isnan(thin[i].value) && (i == 0 || !std::isnan(thin[i - 1].value)) ? 1 : 0;
    QCOMPARE(gaps, breaks);
}

void TestPollLog::reopenedLogKeepsPolls() {
    const QString path = m_dir.filePath(QStringLiteral("reopen.sqlite"));
    {
        polllog::PollLog log;
        QCOMPARE(log.open(path), QString());
        QCOMPARE(log.record({rowWith(1, 0, 10.5, 0)}, polllog::PollKind::PerValue, kStart),
                 QString());
    }
    // Two logs open at once each keep their own connection.
    polllog::PollLog again;
    polllog::PollLog other;
    QCOMPARE(again.open(path), QString());
    QCOMPARE(other.open(m_dir.filePath(QStringLiteral("other.sqlite"))), QString());
    QCOMPARE(again.pollCount(), 1);
    QCOMPARE(other.pollCount(), 0);
    QCOMPARE(again.record({rowWith(1, 0, 11.5, 0)}, polllog::PollKind::Combined, kStart + 1000),
             QString());
    QCOMPARE(again.series({1}, Quantity::Fuel, kStart, kStart + 1000).at(1).size(), std::size_t(2));
}

// The extended status and the configuration overview of the simulator,
// for a few cycles: one row per sensor per poll, every value and code the
// grids showed, read back cell by cell.
void TestPollLog::extendedAndOverviewHoldWhatTheGridsShowed() {
    SimHarness sim(scenarioFrom(kScenario));
    polllog::PollLog log;
    QCOMPARE(log.open(m_dir.filePath(QStringLiteral("pages.sqlite"))), QString());
    app::SilentProgress progress;
    std::vector<std::pair<sensor::StatusGrid, sensor::StatusGrid>> extended;
    std::vector<sensor::StatusGrid> overviews;
    for (int cycle = 0; cycle < 2; ++cycle) {
        sensor::StatusGrid t = sensor::thermometerGrid();
        sensor::StatusGrid d = sensor::densityGrid();
        sensor::PollExtendedStatus(sim.link, scenarioLayout(), progress, t, d);
        QCOMPARE(log.recordExtended(t, d, kStart + cycle * 10000), QString());
        extended.emplace_back(t, d);
        sensor::StatusGrid o = sensor::configOverviewGrid();
        sensor::PollConfigOverview(sim.link, scenarioLayout(), progress, o);
        QCOMPARE(log.recordOverview(o, kStart + cycle * 10000 + 5000), QString());
        overviews.push_back(o);
    }
    QCOMPARE(log.pollCount(), 4);
    QCOMPARE(log.pollCount(polllog::Page::Extended), 2);
    QCOMPARE(log.pollCount(polllog::Page::Overview), 2);
    QCOMPARE(log.pollCount(polllog::Page::General), 0);
    // The general status's trends see none of them.
    QVERIFY(log.series({1}, Quantity::Fuel, 0, std::numeric_limits<qint64>::max()).at(1).empty());

    auto same = [](const QString& cell, const std::optional<polllog::Value>& v) {
        if (cell.isEmpty() || !v)
            return cell.isEmpty() && !v;
        const auto [number, code] = shown(cell);
        return v->value == number && v->code == code;
    };
    std::size_t i = 0;
    int values = 0;
    QVERIFY(log.forEachExtendedRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                                   [&](const polllog::LoggedExtendedRow& r) {
                                       const auto& [t, d] = extended[i / 12];
                                       const std::size_t row = i % 12;
                                       QCOMPARE(r.timeMs, kStart + qint64(i / 12) * 10000);
                                       QCOMPARE(QString::number(r.row.sensor), t.rows[row][0]);
                                       for (int n = 0; n < polllog::kChannels; ++n) {
                                           const auto c = static_cast<std::size_t>(n);
                                           QVERIFY2(same(t.rows[row][n + 1], r.row.thermometers[c]),
                                                    qPrintable(t.rows[row][n + 1]));
                                           QVERIFY2(same(d.rows[row][n + 1], r.row.densities[c]),
                                                    qPrintable(d.rows[row][n + 1]));
                                           values += (r.row.thermometers[c] ? 1 : 0) +
                                                     (r.row.densities[c] ? 1 : 0);
                                       }
                                       ++i;
                                   }));
    QCOMPARE(i, std::size_t(2 * 12));
    QVERIFY(values > 0);
    i = 0;
    QVERIFY(log.forEachOverviewRow(
        0, std::numeric_limits<qint64>::max(), std::nullopt,
        [&](const polllog::LoggedOverviewRow& r) {
            const QStringList& cells = overviews[i / 12].rows[i % 12];
            QCOMPARE(QString::number(r.row.sensor), cells[0]);
            QCOMPARE(r.row.version, cells[sensor::ColVersion]);
            auto text = [](const std::optional<int>& n) {
                return n ? QString::number(*n) : QString();
            };
            QCOMPARE(text(r.row.height), cells[sensor::ColHeight]);
            QCOMPARE(text(r.row.thermometers), cells[sensor::ColThermometers]);
            QCOMPARE(text(r.row.densityMeters), cells[sensor::ColDensityMeters]);
            ++i;
        }));
    QCOMPARE(i, std::size_t(2 * 12));
    // One sensor and a time range.
    i = 0;
    QVERIFY(log.forEachExtendedRow(kStart + 1, std::numeric_limits<qint64>::max(), 2,
                                   [&](const polllog::LoggedExtendedRow& r) {
                                       QCOMPARE(r.row.sensor, 2);
                                       ++i;
                                   }));
    QCOMPARE(i, std::size_t(1));
}

// A log the first version wrote opens: its polls read as before, and it
// takes the polls of the other pages from then on. Opened only to read it
// stays as it is.
void TestPollLog::versionOneLogOpens() {
    const QString path = m_dir.filePath(QStringLiteral("version1.sqlite"));
    QVERIFY(makeVersionOneLog(path));
    {
        polllog::PollLog read;
        QCOMPARE(read.open(path, polllog::PollLog::Access::Read), QString());
        QCOMPARE(read.schemaVersion(), 1);
        QCOMPARE(read.pollCount(), 2);
        int rows = 0;
        QVERIFY(read.forEachExtendedRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                                        [&](const auto&) { ++rows; }));
        QCOMPARE(rows, 0);
        const QString csv = m_dir.filePath(QStringLiteral("version1-extended.csv"));
        polllog::ExportOptions options;
        options.page = polllog::Page::Extended;
        QVERIFY(polllog::exportCsv(read, csv, options).ok());
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count("\r\n"), 1);
        // Read only: nothing to record with.
        QVERIFY(
            !read.record({rowWith(1, 0, 12.5, 0)}, polllog::PollKind::Combined, kStart).isEmpty());
    }
    polllog::PollLog log;
    QCOMPARE(log.open(path), QString());
    QCOMPARE(log.schemaVersion(), polllog::kSchemaVersion);
    QCOMPARE(log.pollCount(), 2);
    QCOMPARE(log.pollCount(polllog::Page::General), 2);
    QCOMPARE(log.sensors(), (std::vector<int>{1, 2}));
    const auto fuel = log.series({1, 2}, Quantity::Fuel, 0, std::numeric_limits<qint64>::max());
    QCOMPARE(fuel.at(1).size(), std::size_t(2));
    QCOMPARE(fuel.at(1)[0].value, 10.5);
    QCOMPARE(fuel.at(1)[1].value, 11.5);
    QCOMPARE(fuel.at(1)[1].timeMs, qint64(1760000010000));
    QVERIFY(std::isnan(fuel.at(2)[0].value));
    QCOMPARE(log.faultSince(2), std::optional<qint64>(1760000000000));
    std::vector<polllog::LoggedRow> logged;
    QVERIFY(log.forEachRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                           [&](const polllog::LoggedRow& r) { logged.push_back(r); }));
    QCOMPARE(logged.size(), std::size_t(4));
    QCOMPARE(logged[1].row.values[0]->code, 133);
    QCOMPARE(logged[2].kind, polllog::PollKind::PerValue);

    // The pages the first version did not keep go in beside.
    polllog::ExtendedRow e;
    e.sensor = 1;
    e.thermometers[0] = polllog::Value{21.5, 0};
    e.densities[7] = polllog::Value{-200.0, 0xB1};
    QCOMPARE(log.recordExtended({e}, 1760000020000), QString());
    polllog::OverviewRow o;
    o.sensor = 1;
    o.version = QStringLiteral("UL-2.0 ; 03.2024");
    o.height = 4000;
    o.thermometers = 8;
    o.densityMeters = 1;
    QCOMPARE(log.recordOverview({o}, 1760000030000), QString());
    QCOMPARE(log.record({rowWith(1, 0, 12.5, 0)}, polllog::PollKind::Combined, 1760000040000),
             QString());
    log.close();

    polllog::PollLog again;
    QCOMPARE(again.open(path, polllog::PollLog::Access::Read), QString());
    QCOMPARE(again.pollCount(), 5);
    QCOMPARE(again.series({1}, Quantity::Fuel, 0, std::numeric_limits<qint64>::max()).at(1).size(),
             std::size_t(3));
    std::vector<polllog::LoggedExtendedRow> extended;
    QVERIFY(again.forEachExtendedRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                                     [&](const auto& r) { extended.push_back(r); }));
    QCOMPARE(extended.size(), std::size_t(1));
    QCOMPARE(extended[0].row.thermometers[0]->value, 21.5);
    QVERIFY(!extended[0].row.thermometers[1]);
    QCOMPARE(extended[0].row.densities[7]->code, 0xB1);
    std::vector<polllog::LoggedOverviewRow> overview;
    QVERIFY(again.forEachOverviewRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                                     [&](const auto& r) { overview.push_back(r); }));
    QCOMPARE(overview.size(), std::size_t(1));
    QCOMPARE(overview[0].row.version, o.version);
    QCOMPARE(overview[0].row.height, o.height);

    // The overview's CSV quotes a device text with the separator in it.
    const QString csv = m_dir.filePath(QStringLiteral("version1-overview.csv"));
    polllog::ExportOptions options;
    options.page = polllog::Page::Overview;
    QVERIFY(polllog::exportCsv(again, csv, options).ok());
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("Время;Датчик;Версия;Высота;Терм.;Плотн."));
    QVERIFY2(lines[1].endsWith(QStringLiteral(";1;\"UL-2.0 ; 03.2024\";4000;8;1")),
             qPrintable(lines[1]));
}

// A missing log is made by the first poll with answers: polls of a silent
// line before it leave no file; after it they are recorded as they are.
void TestPollLog::noFileUntilAPollWithAnswers() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site.sqlite"));
    polllog::PollLog log;
    QCOMPARE(log.open(path), QString());
    QVERIFY(log.isOpen());
    QVERIFY(!log.fileOpen());
    QVERIFY(!QFileInfo::exists(path));

    // Nobody answered: the grids hold sensor numbers only.
    SimHarness silent(scenarioFrom("controller 0 0 4\nsensor 0 fault=silent\n"
                                   "sensor 1 fault=silent\nsensor 2 fault=silent\n"
                                   "sensor 3 fault=silent\n"));
    app::SilentProgress progress;
    const app::ControllerLayout four = layoutOf({{0, 0, 4}});
    sensor::StatusGrid g = sensor::generalStatusGrid();
    sensor::PollGeneralStatus(silent.link, four, progress, g, false);
    QCOMPARE(g.rows.size(), std::size_t(4));
    QCOMPARE(log.record(g, polllog::PollKind::Combined, kStart), QString());
    sensor::StatusGrid t = sensor::thermometerGrid();
    sensor::StatusGrid d = sensor::densityGrid();
    sensor::PollExtendedStatus(silent.link, four, progress, t, d);
    QCOMPARE(log.recordExtended(t, d, kStart + 1000), QString());
    sensor::StatusGrid o = sensor::configOverviewGrid();
    sensor::PollConfigOverview(silent.link, four, progress, o);
    QCOMPARE(log.recordOverview(o, kStart + 2000), QString());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

    // The first answer makes it.
    QCOMPARE(log.record({rowWith(1, 0, 10.5, 0)}, polllog::PollKind::Combined, kStart + 3000),
             QString());
    QVERIFY(log.fileOpen());
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(log.record(g, polllog::PollKind::Combined, kStart + 4000), QString());
    QCOMPARE(log.pollCount(), 2);
    // A silent sensor after that is in the log as it is: no answer.
    QCOMPARE(log.faultSince(1), std::optional<qint64>(kStart + 4000));
}

// On a disk with no room the first poll with answers cannot make the log:
// it says so and leaves no file (no empty one either); with room again the
// next poll makes it.
void TestPollLog::fullDiskLeavesNoFile_data() {
    QTest::addColumn<bool>("sizeLimit");
    QTest::newRow("no space") << false;
    // SQLite calls that a bare I/O error: the log finds out why.
    QTest::newRow("file-size limit") << true;
}

void TestPollLog::fullDiskLeavesNoFile() {
    QFETCH(bool, sizeLimit);
    FullDisk disk(false, sizeLimit);
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("site.sqlite"));
    polllog::PollLog log;
    QCOMPARE(log.open(path), QString());
    disk.fill();
    const QString why = log.record(fullPoll(0), polllog::PollKind::Combined, kStart);
    const QStringList left = disk.files();
    disk.release();
    QCOMPARE(why, path + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault()));
    QCOMPARE(log.fault(), disk.expectedFault());
    QCOMPARE(left, QStringList());
    QVERIFY(log.isOpen());
    QVERIFY(!log.fileOpen());
    QCOMPARE(log.record(fullPoll(1), polllog::PollKind::Combined, kStart + 1000), QString());
    QCOMPARE(log.pollCount(), 1);

    // A log with polls in it on a disk that fills up keeps them all.
    disk.fill();
    const QString again = log.record(fullPoll(2), polllog::PollKind::Combined, kStart + 2000);
    disk.release();
    QCOMPARE(again, path + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault()));
    QVERIFY(QFileInfo(path).isFile());
    log.close();
    polllog::PollLog reopened;
    QCOMPARE(reopened.open(path), QString());
    QCOMPARE(reopened.pollCount(), 1);
}

// A commit only appends to the write-ahead log; the checkpoints between
// polls (in the caller's pause, or on the log's own thread) keep it at
// about one poll's size instead of growing with every poll until the file
// is closed.
void TestPollLog::checkpointsBetweenPollsKeepTheWalSmall() {
    QTemporaryDir dir;
    enum Checkpoints { None, InThePause, OnTheirThread };
    std::map<int, qint64> walSize;
    for (const int checkpoints : {None, InThePause, OnTheirThread}) {
        const QString path = dir.filePath(QStringLiteral("wal-%1.sqlite").arg(checkpoints));
        polllog::PollLog log;
        QCOMPARE(log.open(path), QString());
        for (int i = 0; i < 30; ++i) {
            QCOMPARE(log.record(fullPoll(i), polllog::PollKind::Combined, kStart + i * 10000),
                     QString());
            if (checkpoints == InThePause) {
                log.checkpoint();
            } else if (checkpoints == OnTheirThread) {
                log.checkpointInBackground();
                // The next poll comes seconds later on the line.
                QTest::qWait(50);
            }
        }
        walSize[checkpoints] = fileSize(path + QStringLiteral("-wal"));
        log.close();
        // Closed, every poll is in the file.
        QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
        polllog::PollLog reopened;
        QCOMPARE(reopened.open(path), QString());
        QCOMPARE(reopened.pollCount(), 30);
        QCOMPARE(reopened.series({128}, Quantity::Fuel, 0, std::numeric_limits<qint64>::max())
                     .at(128)
                     .size(),
                 std::size_t(30));
    }
    for (const int checkpoints : {InThePause, OnTheirThread})
        QVERIFY2(walSize[checkpoints] * 5 < walSize[None],
                 qPrintable(QStringLiteral("%1 bytes with checkpoints, %2 without")
                                .arg(walSize[checkpoints])
                                .arg(walSize[None])));
}

// A checkpoint that fails (a full disk) is said once, and again only after
// one worked in between.
void TestPollLog::failedCheckpointSaidOnce() {
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("site.sqlite"));
    polllog::PollLog log;
    QCOMPARE(log.open(path), QString());
    // Two polls: the small disk has room for their write-ahead log.
    for (int i = 0; i < 2; ++i)
        QCOMPARE(log.record(fullPoll(i), polllog::PollKind::Combined, kStart + i * 10000),
                 QString());
    disk.fill();
    log.checkpoint();
    const QString said = log.checkpointProblem();
    log.checkpoint();
    const QString again = log.checkpointProblem();
    disk.release();
    QVERIFY2(said.startsWith(QStringLiteral("ЖУРНАЛ ОПРОСА НЕ ПЕРЕНОСИТСЯ В ФАЙЛ, ЕГО -wal "
                                            "РАСТЁТ: ") +
                             path),
             qPrintable(said));
    QVERIFY2(said.endsWith(app::fileFaultText(disk.expectedFault())), qPrintable(said));
    QCOMPARE(again, QString());
    log.checkpoint();
    QCOMPARE(log.checkpointProblem(), QString());
    QCOMPARE(log.pollCount(), 2);
}

// A site's writer lock that cannot be made beside the log (the disk is
// full) is said as such, not as a second watcher of the site.
void TestPollLog::siteOfAFullDiskIsNoSecondWriter() {
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("sites.sqlite"));
    {
        polllog::PollLog log;
        QCOMPARE(log.open(path, polllog::PollLog::Access::Record, QStringLiteral("A")), QString());
        QCOMPARE(log.record(fullPoll(0), polllog::PollKind::Combined, kStart), QString());
    }
    disk.fill();
    polllog::PollLog log;
    const QString said = log.open(path, polllog::PollLog::Access::Record, QStringLiteral("B"));
    disk.release();
    QCOMPARE(said, path + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault()));
}

// The trends are read on a thread of their own; a request made while one
// runs waits, and a newer one takes its place.
void TestPollLog::trendsReadOnAThreadOfTheirOwn() {
    const QString path = m_dir.filePath(QStringLiteral("trends.sqlite"));
    {
        polllog::PollLog log;
        QCOMPARE(log.open(path), QString());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(log.record(fullPoll(i), polllog::PollKind::Combined, kStart + i * 10000),
                     QString());
    }
    polllog::TrendLoader loader;
    QSignalSpy spy(&loader, &polllog::TrendLoader::loaded);
    polllog::TrendRequest r;
    r.path = path;
    r.firstLook = true;
    r.fromMs = kStart;
    r.toMs = kStart + 40000;
    const int first = loader.load(r);
    QVERIFY(loader.busy());
    r.firstLook = false;
    r.sensors = {7};
    loader.load(r); // waits, then gives way to the next
    r.sensors = {9, 10};
    r.quantity = Quantity::Water;
    const int last = loader.load(r);
    QVERIFY(QTest::qWaitFor([&] { return !loader.busy(); }, 10000));
    QCOMPARE(spy.size(), 2);
    const auto firstData = spy[0][1].value<std::shared_ptr<const polllog::TrendData>>();
    QCOMPARE(spy[0][0].toInt(), first);
    QVERIFY(firstData->thread != QThread::currentThreadId());
    QCOMPARE(firstData->logged.size(), std::size_t(128));
    QCOMPARE(firstData->sensors, (std::vector<int>{1, 2, 3, 4}));
    QCOMPARE(firstData->series.at(1).size(), std::size_t(5));
    QCOMPARE(firstData->series.at(1)[4].value, 1000.0 + 4 + 1);
    const auto lastData = spy[1][1].value<std::shared_ptr<const polllog::TrendData>>();
    QCOMPARE(spy[1][0].toInt(), last);
    QCOMPARE(lastData->sensors, (std::vector<int>{9, 10}));
    QCOMPARE(lastData->series.at(10)[0].value, 110.0);

    // A log not made yet: said so, nothing read.
    r.path = m_dir.filePath(QStringLiteral("none.sqlite"));
    loader.load(r);
    QVERIFY(spy.wait(10000));
    const auto missing = spy[2][1].value<std::shared_ptr<const polllog::TrendData>>();
    QCOMPARE(missing->fault, app::FileFault::Missing);
    QVERIFY(!QFileInfo::exists(r.path));
}

ORVANT_TEST_MAIN(TestPollLog, TestLogEngines)
#include "tst_polllog.moc"
