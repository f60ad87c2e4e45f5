#include "cli/tst_watch_cli.h"

#include "cli/CliRun.h"
#include "common/BlackHole.h"
#include "common/FullDisk.h"
#include "common/PgCluster.h"
#include "common/TestFiles.h"
#include "common/TestMain.h"
#include "sites/Watcher.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <algorithm>
#include <atomic>

#include <csignal>

namespace {

// orvant2-sim serving a scenario on a loopback TCP port.
struct TcpSim {
    explicit TcpSim(const QString& scenario, bool wireTime = false, quint16 port = 0) {
        QStringList args{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
                         QStringLiteral("--scenario"), scenario};
        if (wireTime)
            args << QStringLiteral("--wire-time");
        process.start(QStringLiteral(ORVANT_SIM_BIN), args);
        if (process.waitForReadyRead(10000)) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith("ready "))
                url = QString::fromUtf8(line.mid(6));
        }
    }
    ~TcpSim() {
        process.kill();
        process.waitForFinished(5000);
    }
    quint16 port() const { return static_cast<quint16>(url.section(QLatin1Char(':'), -1).toInt()); }
    QProcess process;
    QString url;
};

// orvant2-cli watch, its output gathered as it comes.
struct Watcher {
    Watcher(const QString& sites, const QString& log, const QStringList& more = {}) {
        process.start(QStringLiteral(ORVANT_CLI_BIN),
                      QStringList{QStringLiteral("--sites"), sites, QStringLiteral("watch"),
                                  QStringLiteral("--log"), log} +
                          more);
    }
    ~Watcher() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    void take() {
        out += QString::fromUtf8(process.readAllStandardOutput());
        err += QString::fromUtf8(process.readAllStandardError());
    }
    // Lines of the site saying what, so far.
    int count(const QString& site, const QString& what) {
        take();
        int n = 0;
        for (const QString& line : out.split(QLatin1Char('\n')))
            if (line.section(QLatin1Char('\t'), 1, 1) == site &&
                line.section(QLatin1Char('\t'), 2).startsWith(what))
                ++n;
        return n;
    }
    bool waitFor(const std::function<bool()>& done, int ms = 60000) {
        const QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
                return done();
            QTest::qWait(50);
        }
        return true;
    }
    int stop() {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        if (!process.waitForFinished(60000))
            return -1;
        take();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QProcess process;
    QString out;
    QString err;
};

const QByteArray kFourSensors = "type 1\ncontroller 0 0 4\n";
const QByteArray kLayout = "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n";
// Four controllers of 16 sensors: at wire speed a poll of some seconds.
const QByteArray kSixtyFour = "type 3\ncontroller 0 0 16\ncontroller 1 16 16\n"
                              "controller 2 32 16\ncontroller 3 48 16\n";
const QByteArray kSixtyFourLayout = "KIP_TYP=3\nKIP_NUM=4,15\nKIP1=0,16\nKIP2=16,16\n"
                                    "KIP3=32,16\nKIP4=48,16\n";

QByteArray site(const QString& name, const QString& line, int every) {
    return "[" + name.toUtf8() + "]\nline=" + line.toUtf8() +
           "\nevery=" + QByteArray::number(every) + "\n" + kLayout;
}

// A site whose four sensors answered the last poll (the simulated tank may
// show one of them out of norm at that moment).
bool answeredFour(const QString& state) {
    return QRegularExpression(QStringLiteral("^(все 4 в норме|не в норме: \\d из 4)$"))
        .match(state)
        .hasMatch();
}

// log-sites: the state of each site, by name.
std::map<QString, QString> siteStates(const QString& log) {
    const Run r = runCli({QStringLiteral("log-sites"), log});
    std::map<QString, QString> out;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out[line.section(QLatin1Char('\t'), 0, 0)] = line.section(QLatin1Char('\t'), 2);
    return out;
}

} // namespace

TestWatchCli::TestWatchCli() = default;
TestWatchCli::~TestWatchCli() = default;

void TestWatchCli::initTestCase() {
    qputenv("PGPASSWORD", PgCluster::kPassword);
    m_server = std::make_unique<PgCluster>();
    QVERIFY2(m_server->ready(), qPrintable(m_server->error()));
}

// A live site, a dead one (nobody listens) and a hung one (connected, never
// a word): the live one keeps its period while the others wait out their
// silence, and the log says which ones had no connection since when.
void TestWatchCli::sitesPolledSideBySide() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", kFourSensors);
    TcpSim live(scenario);
    QVERIFY(!live.url.isEmpty());
    QTcpServer hung; // the kernel accepts; nobody ever answers
    QVERIFY(hung.listen(QHostAddress::LocalHost));
    QTcpServer gone;
    QVERIFY(gone.listen(QHostAddress::LocalHost));
    const quint16 deadPort = gone.serverPort();
    gone.close();
    const QString sites = putFile(
        dir, "sites.cfg",
        site(QStringLiteral("Живой"), live.url, 1) +
            site(QStringLiteral("Мёртвый"), QStringLiteral("tcp://127.0.0.1:%1").arg(deadPort), 1) +
            site(QStringLiteral("Молчащий"),
                 QStringLiteral("tcp://127.0.0.1:%1").arg(hung.serverPort()), 1));
    const QString log = dir.filePath(QStringLiteral("poll.sqlite"));
    Watcher w(sites, log);
    // The silent controller takes its answer waits; the live site is polled
    // again and again meanwhile.
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Молчащий"), QStringLiteral("НЕТ СВЯЗИ")) >= 1;
    }),
             qPrintable(w.out + w.err));
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Живой"), QStringLiteral("опрошено 4 из 4")) >= 3;
    }),
             qPrintable(w.out + w.err));
    QVERIFY(w.waitFor(
        [&] { return w.count(QStringLiteral("Мёртвый"), QStringLiteral("НЕТ СВЯЗИ")) >= 2; }));
    // Tried again after a growing pause.
    QVERIFY2(w.out.contains(QStringLiteral("Мёртвый\tНЕТ СВЯЗИ")), qPrintable(w.out));
    QVERIFY2(w.out.contains(QStringLiteral("снова через 5 с")), qPrintable(w.out));
    QVERIFY(w.waitFor([&] { return w.out.contains(QStringLiteral("снова через 10 с")); }));
    // Every line carries its time with the UTC offset.
    QVERIFY(QRegularExpression(
                QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d\t"))
                .match(w.out)
                .hasMatch());
    QCOMPARE(w.stop(), 0);
    const auto states = siteStates(log);
    QVERIFY2(answeredFour(states.at(QStringLiteral("Живой"))),
             qPrintable(states.at(QStringLiteral("Живой"))));
    QVERIFY2(states.at(QStringLiteral("Мёртвый")).startsWith(QStringLiteral("нет связи с ")),
             qPrintable(states.at(QStringLiteral("Мёртвый"))));
    QVERIFY(states.at(QStringLiteral("Молчащий")).startsWith(QStringLiteral("нет связи с ")));
}

// A watcher whose only site is dead from the start: its SQLite log is made
// by the failed polls, so that it says since when the site is out of reach.
void TestWatchCli::deadSiteAloneIsLogged() {
    QTemporaryDir dir;
    const QString sites = putFile(
        dir, "sites.cfg",
        site(QStringLiteral("Мёртвый"), QStringLiteral("tcp://127.0.0.1:%1").arg(refusingPort()), 1));
    const QString log = dir.filePath(QStringLiteral("poll.sqlite"));
    Watcher w(sites, log);
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Мёртвый"), QStringLiteral("НЕТ СВЯЗИ")) >= 1;
    }),
             qPrintable(w.out + w.err));
    QCOMPARE(w.stop(), 0);
    const auto states = siteStates(log);
    QVERIFY2(states.count(QStringLiteral("Мёртвый")) == 1 &&
                 states.at(QStringLiteral("Мёртвый")).startsWith(QStringLiteral("нет связи с ")),
             qPrintable(runCli({QStringLiteral("log-sites"), log}).err));
}

// A poll's progress counts up to its steps, as the terminal line shows it.
void TestWatchCli::pollProgressCountsUp() {
    QTemporaryDir dir;
    TcpSim live(putFile(dir, "s.txt", kFourSensors));
    QVERIFY(!live.url.isEmpty());
    sites::Site s;
    s.name = QStringLiteral("Живой");
    s.line = live.url;
    s.everySeconds = 60;
    s.entries = {{QStringLiteral("KIP_TYP"), QStringLiteral("1")},
                 {QStringLiteral("KIP_NUM"), QStringLiteral("1,1")},
                 {QStringLiteral("KIP1"), QStringLiteral("0,4")}};
    std::vector<int> steps;
    int of = 0;
    std::atomic<bool> polled{false};
    sites::WatchOptions o;
    o.log = dir.filePath(QStringLiteral("w.sqlite"));
    o.stopBetweenPolls = [&] { return polled.load(); };
    o.report = [&](const sites::SiteEvent& e) {
        if (e.kind == sites::SiteEvent::Kind::Progress) {
            steps.push_back(e.step);
            of = e.steps;
        } else if (e.kind == sites::SiteEvent::Kind::Polled) {
            polled = true;
        }
    };
    sites::watchSites({s}, o);
    QVERIFY(polled);
    QVERIFY(of > 0);
    QVERIFY(std::is_sorted(steps.begin(), steps.end()));
    QCOMPARE(steps.back(), of);
}

// The far end hangs up in the middle of a poll: that poll is a failed one,
// the next connection is made by itself once the far end is back.
void TestWatchCli::hangUpMidPollComesBack() {
    QTemporaryDir dir;
    // 64 sensors at wire speed: a poll long enough to cut.
    const QString scenario = putFile(dir, "s.txt", kSixtyFour);
    auto far = std::make_unique<TcpSim>(scenario, true);
    QVERIFY(!far->url.isEmpty());
    const quint16 port = far->port();
    const QString sites =
        putFile(dir, "sites.cfg",
                "[Далёкий]\nline=" + far->url.toUtf8() + "\nevery=1\n" + kSixtyFourLayout);
    const QString log = dir.filePath(QStringLiteral("poll.sqlite"));
    Watcher w(sites, log);
    QVERIFY(w.waitFor(
        [&] { return w.count(QStringLiteral("Далёкий"), QStringLiteral("опрошено")) >= 1; }));
    // The next poll runs now; the far end goes away within it.
    QTest::qWait(2000);
    far.reset();
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Далёкий"), QStringLiteral("НЕТ СВЯЗИ")) >= 1;
    }),
             qPrintable(w.out + w.err));
    far = std::make_unique<TcpSim>(scenario, false, port);
    QVERIFY(!far->url.isEmpty());
    const int before = w.count(QStringLiteral("Далёкий"), QStringLiteral("опрошено 64 из 64"));
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Далёкий"), QStringLiteral("опрошено 64 из 64")) > before;
    }),
             qPrintable(w.out + w.err));
    QCOMPARE(w.stop(), 0);
}

// The first signal lets the poll under way end and be logged; a second
// ends it at once.
void TestWatchCli::firstSignalEndsThePollSecondAtOnce() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", kSixtyFour);
    TcpSim far(scenario, true);
    QVERIFY(!far.url.isEmpty());
    const QString sites =
        putFile(dir, "sites.cfg",
                "[Далёкий]\nline=" + far.url.toUtf8() + "\nevery=3600\n" + kSixtyFourLayout);
    const QString log = dir.filePath(QStringLiteral("poll.sqlite"));
    {
        Watcher w(sites, log);
        QTest::qWait(800); // within the first poll
        ::kill(static_cast<pid_t>(w.process.processId()), SIGTERM);
        QVERIFY(w.process.waitForFinished(60000));
        w.take();
        QCOMPARE(w.process.exitCode(), 0);
        // The poll ended and was logged before the watcher stopped.
        QVERIFY2(w.out.contains(QStringLiteral("Далёкий\tопрошено 64 из 64")), qPrintable(w.out));
        QVERIFY(w.out.contains(QStringLiteral("Далёкий\tостановлен")));
    }
    {
        Watcher w(sites, log);
        QTest::qWait(800);
        ::kill(static_cast<pid_t>(w.process.processId()), SIGTERM);
        QTest::qWait(50);
        ::kill(static_cast<pid_t>(w.process.processId()), SIGTERM);
        QVERIFY(w.process.waitForFinished(60000));
        w.take();
        QCOMPARE(w.process.exitCode(), 0);
        // Broken off: no poll, and nothing half of one in the log.
        QVERIFY2(!w.out.contains(QStringLiteral("опрошено")), qPrintable(w.out));
    }
    {
        const Run r =
            runCli({QStringLiteral("log-export"), log, dir.filePath(QStringLiteral("all.csv"))});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("all.csv"))).count("\r\n"), 1 + 64);
    }
}

void TestWatchCli::secondWatcherOfSiteRefused_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

// Two watchers of one site: the second is refused with a clear text and
// ends; the first goes on.
void TestWatchCli::secondWatcherOfSiteRefused() {
    QFETCH(bool, server);
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", kFourSensors);
    TcpSim live(scenario);
    QVERIFY(!live.url.isEmpty());
    const QString sites =
        putFile(dir, "sites.cfg", site(QStringLiteral("Нефтебаза 3"), live.url, 1));
    const QString log =
        server
            ? m_server->url(m_server->createDatabase(QStringLiteral("two_%1").arg(++m_databases)))
            : dir.filePath(QStringLiteral("poll.sqlite"));
    Watcher first(sites, log);
    QVERIFY2(first.waitFor([&] {
        return first.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено")) >= 1;
    }),
             qPrintable(first.out + first.err));
    Watcher second(sites, log);
    QVERIFY(second.process.waitForFinished(30000));
    second.take();
    QCOMPARE(second.process.exitCode(), 1);
    QVERIFY2(second.err.contains(QStringLiteral("orvant2-cli: Нефтебаза 3: ") +
                                 (server ? log : log) +
                                 QStringLiteral(": объект \"Нефтебаза 3\" уже записывает другой "
                                                "наблюдатель")),
             qPrintable(second.err));
    // Tables already there are no news: the server's notices stay off.
    QVERIFY2(!second.err.contains(QStringLiteral("NOTICE")), qPrintable(second.err));
    const int polled = first.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено"));
    QVERIFY(first.waitFor([&] {
        return first.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено")) > polled;
    }));
    QCOMPARE(first.stop(), 0);
}

// The SQLite log's disk full: each poll meanwhile is reported not logged
// (never silently lost), the watcher goes on, and logs again once there is
// room.
void TestWatchCli::fullDiskReportedNotDropped() {
    FullDisk disk;
    QVERIFY(disk.isValid());
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", kFourSensors);
    TcpSim live(scenario);
    const QString sites =
        putFile(dir, "sites.cfg", site(QStringLiteral("Нефтебаза 3"), live.url, 1));
    const QString log = disk.filePath(QStringLiteral("poll.sqlite"));
    Watcher w(sites, log);
    QVERIFY(w.waitFor(
        [&] { return w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено")) >= 1; }));
    disk.fill();
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("НЕ ЗАПИСАНО")) >= 2;
    }),
             qPrintable(w.out + w.err));
    QVERIFY2(w.err.contains(app::fileFaultText(disk.expectedFault())), qPrintable(w.err));
    disk.release();
    const int polled = w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено"));
    QVERIFY(w.waitFor([&] {
        return w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено")) > polled;
    }));
    QCOMPARE(w.stop(), 0);
}

// The database server stopped while watching: the polls meanwhile are
// reported not logged; once it is back the watcher logs again on a new
// connection by itself.
void TestWatchCli::serverStoppedAndRestarted() {
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", kFourSensors);
    TcpSim live(scenario);
    const QString sites =
        putFile(dir, "sites.cfg", site(QStringLiteral("Нефтебаза 3"), live.url, 1));
    const QString log = m_server->url(m_server->createDatabase(QStringLiteral("restart_watch")));
    Watcher w(sites, log);
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено")) >= 1;
    }),
             qPrintable(w.out + w.err));
    QVERIFY(m_server->stop());
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("НЕ ЗАПИСАНО")) >= 1;
    }),
             qPrintable(w.out + w.err));
    QVERIFY2(w.err.contains(QStringLiteral("НЕТ СВЯЗИ С СЕРВЕРОМ БАЗЫ ДАННЫХ")), qPrintable(w.err));
    QVERIFY(m_server->start());
    const int polled = w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено"));
    QVERIFY2(w.waitFor([&] {
        return w.count(QStringLiteral("Нефтебаза 3"), QStringLiteral("опрошено")) > polled;
    }),
             qPrintable(w.out + w.err));
    const int stopped = w.stop();
    QVERIFY2(stopped == 0, qPrintable(w.err));
    // The last poll is in the log, with its line answered.
    const QString state = siteStates(log).at(QStringLiteral("Нефтебаза 3"));
    QVERIFY2(!state.startsWith(QStringLiteral("нет связи")) &&
                 !state.startsWith(QStringLiteral("не опрашивался")),
             qPrintable(state));
}

void TestWatchCli::exportsAndPrunesEitherLog_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

// What the watcher wrote reads back through the same commands from either
// log: hourly spread per sensor, one column per sensor, and a prune.
void TestWatchCli::exportsAndPrunesEitherLog() {
    QFETCH(bool, server);
    QTemporaryDir dir;
    const QString scenario = putFile(dir, "s.txt", kFourSensors);
    TcpSim live(scenario);
    const QString sites = putFile(dir, "sites.cfg", site(QStringLiteral("A"), live.url, 1));
    const QString log = server ? m_server->url(m_server->createDatabase(
                                     QStringLiteral("export_%1").arg(++m_databases)))
                               : dir.filePath(QStringLiteral("poll.sqlite"));
    {
        Watcher w(sites, log);
        QVERIFY(w.waitFor(
            [&] { return w.count(QStringLiteral("A"), QStringLiteral("опрошено")) >= 2; }));
        const int stopped = w.stop();
        QVERIFY2(stopped == 0, qPrintable(w.err));
    }
    const QString csv = dir.filePath(QStringLiteral("hours.csv"));
    Run r = runCli({QStringLiteral("log-export"), log, csv, QStringLiteral("--site"),
                    QStringLiteral("A"), QStringLiteral("--every"), QStringLiteral("1h")});
    QCOMPARE(r.exitCode, 0);
    // A site the log does not hold exports nothing, and says which it holds.
    const Run typo = runCli({QStringLiteral("log-export"), log, dir.filePath("typo.csv"),
                             QStringLiteral("--site"), QStringLiteral("Б")});
    QCOMPARE(typo.exitCode, 2);
    QVERIFY2(typo.err.contains(QStringLiteral("в журнале нет объекта \"Б\"; есть: A")),
             qPrintable(typo.err));
    QVERIFY(!QFile::exists(dir.filePath("typo.csv")));
    QStringList lines =
        QString::fromUtf8(fileBytes(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    // The header, then each sensor once in this hour (or twice across an hour's end).
    QVERIFY2(lines.size() == 5 || lines.size() == 9, qPrintable(lines.join('\n')));
    QVERIFY(fileBytes(csv).startsWith("\xEF\xBB\xBF"));
    QVERIFY2(lines[0].contains(QStringLiteral("Начало;Датчик;Топливо мин;Топливо сред;")),
             qPrintable(lines[0]));
    const QStringList first = lines[1].split(QLatin1Char(';'));
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:00:00[+-]\\d\\d:\\d\\d$"))
            .match(first[0])
            .hasMatch(),
        qPrintable(first[0]));
    QCOMPARE(first[1], QStringLiteral("1"));
    QCOMPARE(first.size(), 2 + 6 * 3);
    r = runCli({QStringLiteral("log-export"), log, csv, QStringLiteral("--site"),
                QStringLiteral("A"), QStringLiteral("--every"), QStringLiteral("1d"),
                QStringLiteral("--wide")});
    QCOMPARE(r.exitCode, 0);
    lines = QString::fromUtf8(fileBytes(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QVERIFY(lines.size() == 2 || lines.size() == 3);
    QCOMPARE(lines[0].split(QLatin1Char(';')).size(), 1 + 4 * 3);
    QVERIFY2(lines[0].contains(QStringLiteral(";Топливо 4 макс")), qPrintable(lines[0]));
    // Nothing is older than a day: the prune keeps all; the sites read as before.
    r = runCli({QStringLiteral("log-prune"), log, QStringLiteral("--keep"), QStringLiteral("1d")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("удалено опросов: 0\n"));
    QVERIFY(answeredFour(siteStates(log).at(QStringLiteral("A"))));
}

ORVANT_CORE_TEST_MAIN(TestWatchCli)
