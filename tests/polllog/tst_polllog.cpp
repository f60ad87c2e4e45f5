#include "common/FullDisk.h"
#include "common/Layouts.h"
#include "common/SimHarness.h"
#include "common/TestMain.h"
#include "polllog/Decimation.h"
#include "polllog/Health.h"
#include "polllog/LogExport.h"
#include "polllog/PollLog.h"
#include "sensor/StatusPolls.h"

#include <QProcess>
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
    void reopenedLogKeepsPolls();

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
    // Whatever the file was, it is left as it was.
    if (QFileInfo(path).isFile()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestPollLog::decimationKeepsExtremesAndGaps() {
    // 10 000 points over 100 columns: a saw tooth with one gap.
    std::vector<polllog::Point> points;
    for (int i = 0; i < 10000; ++i)
        points.push_back({i * 10, (i >= 5000 && i < 5020) ? std::nan("") : double(i % 37)});
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

ORVANT_TEST_MAIN(TestPollLog)
#include "tst_polllog.moc"
