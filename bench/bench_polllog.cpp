// The poll log at the size of a week of cyclic polling: 128 sensors every
// 10 s for 7 days (about 7.7 million rows), generated into a temporary
// file. Times what the trends view and the window need: one quantity of 16
// sensors read and thinned for drawing over a day and over the week (target
// under 1 s), the file size, and recording one poll of 128 sensors (target
// under 50 ms, so it never delays the next poll), with the checkpoint that
// follows each poll timed apart (the window runs it on a thread of its own,
// the command-line tool in the pause between polls). The file goes to the
// system's temporary folder, or where --keep says.
//
//   bench_polllog [--days N] [--keep FILE.sqlite]
// --keep leaves the log there; a log already there is measured as it is.
#include "polllog/Decimation.h"
#include "polllog/PollLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>

namespace {

constexpr int kSensors = 128;
constexpr qint64 kStepMs = 10'000;
constexpr qint64 kDayMs = 86'400'000;
constexpr int kDrawnSensors = 16;
constexpr int kColumns = 1000; // a chart as wide as a large screen

// A level that fills and empties over a day, with a fault now and then.
std::vector<polllog::SensorRow> pollAt(qint64 step) {
    std::vector<polllog::SensorRow> rows(kSensors);
    for (int s = 0; s < kSensors; ++s) {
        polllog::SensorRow& r = rows[static_cast<std::size_t>(s)];
        r.sensor = s + 1;
        const bool fault = (step / 90 + s) % 97 == 0;
        r.s1 = fault ? 1 : 0;
        r.s2 = 0x13;
        const double phase = double(step) / 8640.0 * 2 * M_PI + s;
        const double fuel = std::round((1200 + 800 * std::sin(phase)) * 10) / 10;
        r.values[0] = polllog::Value{fuel, fault ? 0x85 : 0};
        r.values[1] = polllog::Value{double(12 + s % 40), 0};
        r.values[2] = polllog::Value{std::round(150 + 60 * std::sin(phase / 3)) / 10, 0};
        r.values[3] = polllog::Value{785.0 + s * 0.1, 0};
        r.values[4] = polllog::Value{fuel * 11, 0};
        r.values[5] = polllog::Value{std::round(fuel * 8.58 * 10) / 10, 0};
    }
    return rows;
}

// Wall time and the process's CPU time: on a busy machine the two differ.
struct Took {
    double wallMs, cpuMs;
};

Took drawMs(const polllog::PollLog& log, qint64 from, qint64 to, std::size_t* points) {
    QElapsedTimer t;
    t.start();
    const std::clock_t cpu = std::clock();
    std::vector<int> sensors;
    for (int s = 1; s <= kDrawnSensors; ++s)
        sensors.push_back(s * 8 - 3); // spread over the line
    const polllog::Series series = log.series(sensors, polllog::Quantity::Fuel, from, to);
    *points = 0;
    for (const auto& [sensor, raw] : series)
        *points += polllog::decimate(raw, from, to, kColumns).size();
    return {t.nsecsElapsed() / 1e6, double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int days = 7;
    QString keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--days") == 0)
            days = std::max(1, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--keep") == 0)
            keep = QString::fromLocal8Bit(argv[i + 1]);
    }
    QTemporaryDir dir;
    const QString path = keep.isEmpty() ? dir.filePath(QStringLiteral("site.sqlite")) : keep;
    polllog::PollLog log;
    QElapsedTimer t;
    t.start();
    // A log of an earlier version is brought to this one by the opening.
    if (const QString why = log.open(path); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 2;
    }
    const double openMs = t.nsecsElapsed() / 1e6;
    // A log kept by an earlier run is measured again as it is.
    const bool reuse = log.pollCount() > 0;
    if (reuse)
        std::printf("opened the kept log in %.1f ms (layout version %d)\n", openMs,
                    log.schemaVersion());
    const qint64 polls = reuse ? log.pollCount() : days * kDayMs / kStepMs;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - polls * kStepMs;
    // The first poll makes the file, as in the window.
    if (!reuse)
        log.record(pollAt(0), polllog::PollKind::Combined, start);
    t.restart();
    // The history goes in through a connection of its own, a thousand polls
    // a transaction: one commit per poll, as the window does, would take
    // hours for a week. The polls and rows are those record() writes.
    log.close();
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("gen"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        QSqlQuery poll(db);
        poll.prepare(QStringLiteral("INSERT INTO polls(id, time, kind) VALUES(?, ?, 1)"));
        q.prepare(QStringLiteral("INSERT INTO readings VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                 "?, ?, ?, ?, ?, ?)"));
        for (qint64 p = 1; p < polls && !reuse; ++p) {
            if (p % 1000 == 1)
                db.transaction();
            poll.bindValue(0, p + 1);
            poll.bindValue(1, start + p * kStepMs);
            poll.exec();
            for (const polllog::SensorRow& r : pollAt(p)) {
                q.bindValue(0, r.sensor);
                q.bindValue(1, p + 1);
                q.bindValue(2, *r.s1);
                q.bindValue(3, *r.s2);
                for (int i = 0; i < polllog::kQuantities; ++i) {
                    q.bindValue(4 + 2 * i, r.values[std::size_t(i)]->value);
                    q.bindValue(5 + 2 * i, r.values[std::size_t(i)]->code);
                }
                q.bindValue(16, r.normal() ? 1 : 0);
                if (!q.exec()) {
                    std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                    return 1;
                }
            }
            if (p % 1000 == 999 || p == polls - 1)
                db.commit();
            if (p % 8640 == 8639)
                std::fprintf(stderr, "day %lld of %d generated\n", (p + 1) / 8640, days);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gen"));
    if (const QString why = log.open(path); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 2;
    }
    qint64 end = start + (polls - 1) * kStepMs;
    if (reuse) {
        const polllog::Series last =
            log.series({1}, polllog::Quantity::Fuel, 0, std::numeric_limits<qint64>::max());
        end = last.at(1).back().timeMs;
        days = int((end - last.at(1).front().timeMs + kStepMs) / kDayMs);
    }
    std::printf("%s: %lld polls, %lld rows in %.1f s\n", reuse ? "kept log" : "generated", polls,
                polls * kSensors, t.nsecsElapsed() / 1e9);

    // Each twice: the first read from disk, the second from the cache.
    for (const auto& [name, span] :
         {std::pair{"one day", kDayMs}, std::pair{"the week", qint64(days) * kDayMs}}) {
        std::size_t points = 0;
        const Took cold = drawMs(log, end - span, end, &points);
        const Took warm = drawMs(log, end - span, end, &points);
        std::printf("draw %s, 16 sensors, fuel: %.0f ms, CPU %.0f ms (again %.0f ms, CPU %.0f "
                    "ms), %zu points drawn of %lld read\n",
                    name, cold.wallMs, cold.cpuMs, warm.wallMs, warm.cpuMs, points,
                    qint64(kDrawnSensors) * std::min<qint64>(polls, span / kStepMs));
    }
    std::printf("file size: %.1f MB (%.1f bytes a row)\n", QFileInfo(path).size() / 1e6,
                double(QFileInfo(path).size()) / (polls * kSensors));

    // The next polls of the cycle, each followed by the checkpoint that
    // copies it into the file (between polls, timed apart).
    struct Spread {
        double sum = 0, worst = 0, cpuSum = 0, cpuWorst = 0;
        void add(const Took& took) {
            sum += took.wallMs;
            worst = std::max(worst, took.wallMs);
            cpuSum += took.cpuMs;
            cpuWorst = std::max(cpuWorst, took.cpuMs);
        }
    };
    auto timed = [&](const std::function<void()>& work) {
        QElapsedTimer w;
        w.start();
        const std::clock_t cpu = std::clock();
        work();
        return Took{w.nsecsElapsed() / 1e6, double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC};
    };
    Spread records, checkpoints;
    constexpr int kRecords = 40;
    int failed = 0;
    for (int i = 0; i < kRecords; ++i) {
        const auto rows = pollAt(polls + i);
        records.add(timed([&] {
            failed +=
                log.record(rows, polllog::PollKind::Combined, end + (i + 1) * kStepMs).isEmpty()
                    ? 0
                    : 1;
        }));
        checkpoints.add(timed([&] { log.checkpoint(); }));
    }
    std::printf("record one poll of 128 sensors (%d polls%s): %.2f ms on average, %.2f ms at "
                "worst (CPU %.2f ms on average, %.2f ms at worst)\n",
                kRecords, failed ? ", some FAILED" : "", records.sum / kRecords, records.worst,
                records.cpuSum / kRecords, records.cpuWorst);
    std::printf("checkpoint after each poll, between polls: %.2f ms on average, %.2f ms at worst "
                "(CPU %.2f ms on average)\n",
                checkpoints.sum / kRecords, checkpoints.worst, checkpoints.cpuSum / kRecords);
    // As the window does: the checkpoint on a thread of its own while the
    // next polls are recorded.
    Spread background;
    for (int i = 0; i < kRecords; ++i) {
        const auto rows = pollAt(polls + kRecords + i);
        background.add(timed([&] {
            log.record(rows, polllog::PollKind::Combined, end + (kRecords + i + 1) * kStepMs);
        }));
        log.checkpointInBackground();
        // A poll of 128 sensors takes seconds on the line: a little of that.
        QThread::msleep(500);
    }
    std::printf("record one poll of 128 sensors, checkpoints in the background: %.2f ms on "
                "average, %.2f ms at worst\n",
                background.sum / kRecords, background.worst);
    return 0;
}
