// Sites at fleet scale.
//
// One round: 32 sites of 16 sensors, each an orvant2-sim on a TCP port at
// wire speed, polled by the watcher into one SQLite log; the round (every
// site polled and recorded) against one site's poll alone. Target: no more
// than 1.2 times the one site's poll, the longest recording far below it.
//
// A week: 1-minute polls of 32 sites x 16 sensors, generated straight into
// a SQLite file and into a throw-away PostgreSQL server; then one sensor's
// week trend (target < 1 s), every site's state as log-sites and the
// window's sites view read it (< 2 s), and each site's hourly export
// (< 30 s in all, with the process's peak memory before and after).
//
//   bench_sites [--round-only | --week-only] [--days N]
#include "../tests/common/PgCluster.h"
#include "polllog/LogExport.h"
#include "polllog/PollLog.h"
#include "sites/Watcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <atomic>
#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

constexpr int kSites = 32;
constexpr int kSensors = 16;

long peakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct Sim {
    QProcess process;
    QString url;
};

std::unique_ptr<Sim> startSim(const QString& scenario) {
    auto s = std::make_unique<Sim>();
    s->process.start(QStringLiteral(ORVANT_SIM_BIN),
                     {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"),
                      QStringLiteral("--scenario"), scenario, QStringLiteral("--wire-time")});
    if (s->process.waitForReadyRead(10000)) {
        const QByteArray line = s->process.readLine().trimmed();
        if (line.startsWith("ready "))
            s->url = QString::fromUtf8(line.mid(6));
    }
    return s;
}

sites::Site siteAt(int i, const QString& url) {
    sites::Site s;
    s.name = QStringLiteral("site %1").arg(i + 1);
    s.line = url;
    s.everySeconds = 3600;
    s.entries = {{QStringLiteral("KIP_TYP"), QStringLiteral("1")},
                 {QStringLiteral("KIP_NUM"), QStringLiteral("1,1")},
                 {QStringLiteral("KIP1"), QStringLiteral("0,16")}};
    return s;
}

// Every site polled once; the time from the start to the last one's
// recorded poll, and the longest single poll.
double roundMs(const std::vector<sites::Site>& list, const QString& log, double* longestPollMs) {
    sites::WatchOptions o;
    o.log = log;
    std::atomic<int> polled{0};
    std::atomic<bool> done{false};
    QElapsedTimer t;
    t.start();
    double last = 0;
    *longestPollMs = 0;
    o.stopBetweenPolls = [&] { return done.load(); };
    o.report = [&](const sites::SiteEvent& e) {
        if (e.kind == sites::SiteEvent::Kind::Polled || e.kind == sites::SiteEvent::Kind::Failed ||
            e.kind == sites::SiteEvent::Kind::NotLogged) {
            if (e.kind != sites::SiteEvent::Kind::Polled)
                std::fprintf(stderr, "%s: %s\n", qPrintable(list[e.site].name), qPrintable(e.text));
            last = t.nsecsElapsed() / 1e6;
            *longestPollMs =
                std::max(*longestPollMs, double(QDateTime::currentMSecsSinceEpoch() - e.timeMs));
            if (++polled == static_cast<int>(list.size()))
                done = true;
        }
    };
    sites::watchSites(list, o);
    return last;
}

void round(const QTemporaryDir& dir) {
    const QString scenario = dir.filePath(QStringLiteral("sixteen.txt"));
    QFile f(scenario);
    f.open(QIODevice::WriteOnly);
    f.write("type 1\ncontroller 0 0 16\n");
    f.close();
    std::vector<std::unique_ptr<Sim>> sims;
    std::vector<sites::Site> all;
    for (int i = 0; i < kSites; ++i) {
        sims.push_back(startSim(scenario));
        if (sims.back()->url.isEmpty()) {
            std::printf("orvant2-sim did not start\n");
            return;
        }
        all.push_back(siteAt(i, sims.back()->url));
    }
    double longest = 0;
    const double one = roundMs({all[0]}, dir.filePath(QStringLiteral("one.sqlite")), &longest);
    std::printf("one site of %d sensors at 9600 baud over TCP: %.0f ms\n", kSensors, one);
    const double whole = roundMs(all, dir.filePath(QStringLiteral("round.sqlite")), &longest);
    std::printf("round of %d sites x %d sensors: %.0f ms = %.2f x one site (target <= 1.2); "
                "longest poll with its recording %.0f ms\n",
                kSites, kSensors, whole, whole / one, longest);
}

// A week of 1-minute polls written in bulk, in each engine's SQL. A poll's
// readings lie together, as the watcher writes them in one transaction.
bool fill(const QString& path, bool server, int days, qint64 t0) {
    for (int s = 0; s < kSites; ++s) {
        polllog::PollLog log;
        if (const QString why = log.open(path, polllog::PollLog::Access::Record,
                                         QStringLiteral("site %1").arg(s + 1));
            !why.isEmpty()) {
            std::printf("%s\n", qPrintable(why));
            return false;
        }
        // The file is made by the first poll with answers.
        if (s == 0 && !server) {
            polllog::SensorRow r;
            r.sensor = 1;
            r.s1 = 0;
            r.s2 = 0x13;
            r.values[0] = polllog::Value{1, 0};
            log.record({r}, polllog::PollKind::Combined, t0 - 60000);
        }
    }
    const qint64 polls = qint64(days) * 24 * 60 * kSites;
    QSqlDatabase db = QSqlDatabase::addDatabase(
        server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    bool ok = true;
    {
        if (server) {
            const QUrl url(path);
            db.setHostName(url.host());
            db.setPort(url.port());
            db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
        } else {
            db.setDatabaseName(path);
        }
        ok = db.open();
        QSqlQuery q(db);
        const QString numbers = server ? QStringLiteral("generate_series(1, %1) AS n(i)").arg(polls)
                                       : QStringLiteral("n");
        const QString cte = server ? QString()
                                   : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                                    "SELECT i + 1 FROM n WHERE i < %1) ")
                                         .arg(polls);
        const QString sensorsCte =
            server ? QStringLiteral("generate_series(1, 16) AS s(k)")
                   : QStringLiteral("(WITH RECURSIVE s(k) AS (SELECT 1 UNION ALL SELECT k + 1 "
                                    "FROM s WHERE k < 16) SELECT k FROM s) s");
        const QString fuel = QStringLiteral("1200 + ((p.id * 7 + s.k * 13) %% 800)")
                                 .replace(QStringLiteral("%%"), QStringLiteral("%"));
        const QStringList statements{
            cte + QStringLiteral("INSERT INTO polls(id, site, time, kind, answered) SELECT "
                                 "i + 10, (i - 1) %% 32 + 1, %1 + ((i - 1) / 32) * 60000, 1, 16 "
                                 "FROM %2")
                      .arg(t0)
                      .arg(numbers)
                      .replace(QStringLiteral("%%"), QStringLiteral("%")),
            QStringLiteral("INSERT INTO readings(site, sensor, poll, s1, s2, fuel, fuel_code, "
                           "water, water_code, temperature, temperature_code, density, "
                           "density_code, volume, volume_code, mass, mass_code, normal) "
                           "SELECT p.site, s.k, p.id, 0, 19, %1, 0, 12, 0, 15.5, 0, 785.5, 0, "
                           "(%1) * 11, 0, (%1) * 8.58, 0, 1 FROM polls p, %2 WHERE p.id > 10 "
                           "ORDER BY p.id, s.k")
                .arg(fuel, sensorsCte),
        };
        QElapsedTimer t;
        t.start();
        for (const QString& s : statements)
            if (ok && !q.exec(s)) {
                std::printf("%s\n", qPrintable(q.lastError().text()));
                ok = false;
            }
        if (ok && server)
            ok = q.exec(QStringLiteral(
                     "SELECT setval('polls_id_seq', (SELECT max(id) FROM polls))")) &&
                 q.exec(QStringLiteral("ANALYZE"));
        if (ok && !server)
            ok = q.exec(QStringLiteral("ANALYZE")) &&
                 q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        std::printf("  %lld polls, %lld readings generated in %.1f s\n", polls, polls * kSensors,
                    t.nsecsElapsed() / 1e9);
        db.close();
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

void week(const QString& path, bool server, int days, const QTemporaryDir& dir) {
    std::printf("%s:\n", server ? "PostgreSQL" : "SQLite");
    const qint64 t0 = QDateTime::currentMSecsSinceEpoch() - qint64(days) * 86'400'000;
    if (!fill(path, server, days, t0))
        return;
    if (!server)
        std::printf("  file %.0f MB\n", QFileInfo(path).size() / 1e6);
    polllog::PollLog log;
    log.open(path, polllog::PollLog::Access::Read, QStringLiteral("site 7"));
    QElapsedTimer t;
    t.start();
    const auto series =
        log.series({5}, polllog::Quantity::Fuel, t0, t0 + qint64(days) * 86'400'000);
    std::printf("  one sensor's trend over %d days: %zu points in %.0f ms (target < 1000)\n", days,
                series.at(5).size(), t.nsecsElapsed() / 1e6);
    t.restart();
    const auto states = log.siteStates();
    std::printf("  every site's state (log-sites, the sites view): %zu sites in %.0f ms "
                "(target < 2000)\n",
                states.size(), t.nsecsElapsed() / 1e6);
    const long before = peakKiB();
    t.restart();
    qint64 bytes = 0;
    for (int s = 0; s < kSites; ++s) {
        polllog::PollLog site;
        site.open(path, polllog::PollLog::Access::Read, QStringLiteral("site %1").arg(s + 1));
        polllog::ExportOptions o;
        o.everyMs = 3'600'000;
        const QString out = dir.filePath(QStringLiteral("hours.csv"));
        if (!polllog::exportCsv(site, out, o).ok())
            std::printf("  export of site %d failed\n", s + 1);
        bytes += QFileInfo(out).size();
    }
    std::printf("  hourly export of every site: %.1f MB of CSV in %.1f s (target < 30); peak "
                "memory %ld MB before, %ld MB after\n",
                bytes / 1e6, t.nsecsElapsed() / 1e9, before / 1024, peakKiB() / 1024);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int days = 7;
    if (const qsizetype at = args.indexOf(QStringLiteral("--days")); at > 0 && at + 1 < args.size())
        days = args[at + 1].toInt();
    QTemporaryDir dir;
    if (!args.contains(QStringLiteral("--week-only")))
        round(dir);
    if (args.contains(QStringLiteral("--round-only")))
        return 0;
    week(dir.filePath(QStringLiteral("week.sqlite")), false, days, dir);
    qputenv("PGPASSWORD", PgCluster::kPassword);
    PgCluster server;
    if (!server.ready()) {
        std::printf("PostgreSQL: %s\n", qPrintable(server.error()));
        return 1;
    }
    week(server.url(server.createDatabase(QStringLiteral("week"))), true, days, dir);
    return 0;
}
