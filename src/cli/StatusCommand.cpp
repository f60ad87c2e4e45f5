#include "cli/StatusCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "cli/Output.h"
#include "link/SerialLink.h"
#include "polllog/Health.h"
#include "polllog/LogExport.h"
#include "polllog/PollLog.h"
#include "sensor/StatusDecoder.h"
#include "sensor/StatusPolls.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

namespace cli {
namespace {

void printGrid(const sensor::StatusGrid& grid, FILE* out) {
    std::fprintf(out, "%s\n", qPrintable(grid.header.join(QLatin1Char('\t'))));
    for (const QStringList& row : grid.rows)
        std::fprintf(out, "%s\n", qPrintable(row.join(QLatin1Char('\t'))));
}

// The words after the command: --name VALUE options and flags.
struct Words {
    QString shape; // --extended or --overview
    QString log;
    int everySeconds = 0;
    int count = 0;
};

std::optional<Words> statusWords(const QStringList& args, bool withShape, QString* error) {
    Words w;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto number = [&](int& out, int low, int high) {
            bool ok = false;
            out = ++i < args.size() ? args[i].toInt(&ok) : 0;
            if (!ok || out < low || out > high)
                *error = QStringLiteral("%1: нужно число от %2 до %3").arg(a).arg(low).arg(high);
            return ok && out >= low && out <= high;
        };
        if (withShape && w.shape.isEmpty() &&
            (a == QLatin1String("--extended") || a == QLatin1String("--overview"))) {
            w.shape = a;
        } else if (a == QLatin1String("--log") && i + 1 < args.size()) {
            w.log = args[++i];
        } else if (withShape && a == QLatin1String("--every")) {
            if (!number(w.everySeconds, 1, 86400))
                return std::nullopt;
        } else if (withShape && a == QLatin1String("--count")) {
            if (!number(w.count, 1, 1000000))
                return std::nullopt;
        } else {
            *error = withShape ? QStringLiteral("status: только --extended или --overview, --log "
                                                "FILE, --every SECONDS, --count N")
                               : QStringLiteral("health: только --log FILE");
            return std::nullopt;
        }
    }
    if (w.count > 0 && w.everySeconds == 0) {
        *error = QStringLiteral("--count задаётся только вместе с --every");
        return std::nullopt;
    }
    return w;
}

// One poll of the page the words name, recorded before it is shown:
// whatever was printed is in the log. failure is the exit code when the
// log could not take it.
struct PagePoll {
    std::vector<sensor::StatusGrid> grids;
    sensor::PollResult result;
    int failure = 0;
};

PagePoll pollPage(bus::SerialLink& link, const app::ControllerLayout& layout,
                  app::Progress& progress, const QString& shape, polllog::PollLog& log) {
    PagePoll p;
    std::function<QString(qint64)> record;
    if (shape == QLatin1String("--extended")) {
        p.grids = {sensor::thermometerGrid(), sensor::densityGrid()};
        p.result = sensor::PollExtendedStatus(link, layout, progress, p.grids[0], p.grids[1]);
        record = [&](qint64 now) { return log.recordExtended(p.grids[0], p.grids[1], now); };
    } else if (shape == QLatin1String("--overview")) {
        p.grids = {sensor::configOverviewGrid()};
        p.result = sensor::PollConfigOverview(link, layout, progress, p.grids[0]);
        record = [&](qint64 now) { return log.recordOverview(p.grids[0], now); };
    } else {
        p.grids = {sensor::generalStatusGrid()};
        p.result = sensor::PollGeneralStatus(link, layout, progress, p.grids[0], false);
        const auto kind = sensor::usesPerValuePoll(layout, false) ? polllog::PollKind::PerValue
                                                                  : polllog::PollKind::Combined;
        record = [&, kind](qint64 now) { return log.record(p.grids[0], kind, now); };
    }
    // Only a whole poll is recorded; the file itself is made by the first
    // poll with answers.
    if (log.isOpen() && !p.result.stopped && !p.result.linkLost) {
        const QString why = record(QDateTime::currentDateTimeUtc().toMSecsSinceEpoch());
        if (!why.isEmpty())
            p.failure = fail(QStringLiteral("НЕ ЗАПИСАНО: ") + why, 1);
    }
    return p;
}

// The log of status and health. A file that cannot be written is a failed
// write (exit 1, as every writer); a file that is no poll log, a folder or
// a missing folder is a wrong word (exit 2).
int openLog(polllog::PollLog& log, const QString& path, const QString& site) {
    if (path.isEmpty())
        return 0;
    const QString why = log.open(path, polllog::PollLog::Access::Record, site);
    if (why.isEmpty())
        return 0;
    switch (log.fault()) {
    case app::FileFault::NoSpace:
    case app::FileFault::TooLarge:
    case app::FileFault::Failed:
    case app::FileFault::Busy:
        return fail(QStringLiteral("НЕ ЗАПИСАНО: ") + why, 1);
    default:
        break;
    }
    return fail(why);
}

// What status and health start with: their words, the log opened, the
// layout from the configuration or a scan.
struct Session {
    std::optional<Words> words;
    polllog::PollLog log;
    ConsoleProgress progress;
    app::ControllerLayout layout;

    // 0 when ready, else the exit code.
    int start(bus::SerialLink& link, const CliOptions& o, bool status) {
        QString error;
        words = statusWords(o.commandArgs, status, &error);
        if (!words)
            return fail(error);
        // A site's polls go into the log under its name.
        if (const int code = openLog(log, words->log, o.site))
            return code;
        return layoutFor(link, o, progress, layout);
    }
};

// The end of a poll cut short, the sensors that said nothing, and the
// controllers (or the line) whose sensors were left unasked.
int pollOutcome(const sensor::PollResult& r) {
    if (r.linkLost)
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r.stopped)
        return fail(kInterrupted + QStringLiteral("; выше — то, что успели прочитать"), 1);
    // An empty row is the truth only from a sensor that answered.
    for (int address : r.unanswered)
        noAnswer(sensorName(address));
    for (const app::SilentFront& f : r.silentFronts)
        fail(app::silentFrontText(f), 1);
    return r.unanswered.empty() && r.silentFronts.empty() ? 0 : 1;
}

// The pause between polls; false when Ctrl+C ended it. The log is copied
// into its file meanwhile, so that no poll waits for that.
bool pause(const app::Progress& progress, int seconds, polllog::PollLog& log) {
    QElapsedTimer t;
    t.start();
    log.checkpoint();
    if (const QString problem = log.checkpointProblem(); !problem.isEmpty())
        std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(problem));
    while (t.elapsed() < seconds * 1000LL) {
        if (progress.breakRequested())
            return false;
        QThread::msleep(50);
    }
    return !progress.breakRequested();
}

QDateTime timeWord(const QString& word) {
    // "2026-12-09 05:40" as well as "2026-12-09T05:40"; local time unless
    // the word says otherwise.
    QString iso = word;
    if (iso.size() > 10 && iso[10] == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    return QDateTime::fromString(iso, Qt::ISODate);
}

} // namespace

QString statusWrongWords(const QStringList& args) {
    QString error;
    return statusWords(args, true, &error) ? QString() : error;
}

QString healthWrongWords(const QStringList& args) {
    QString error;
    return statusWords(args, false, &error) ? QString() : error;
}

int runStatusCommand(bus::SerialLink& link, const CliOptions& o) {
    Session session;
    if (const int code = session.start(link, o, true))
        return code;
    const std::optional<Words>& words = session.words;
    polllog::PollLog& log = session.log;
    ConsoleProgress& progress = session.progress;
    const app::ControllerLayout& layout = session.layout;
    int worst = 0;
    for (int n = 0; words->count == 0 || n < words->count; ++n) {
        if (n > 0) {
            if (!pause(progress, words->everySeconds, log))
                break;
            std::printf("\n");
        }
        const PagePoll p = pollPage(link, layout, progress, words->shape, log);
        if (p.failure)
            return p.failure;
        const sensor::PollResult& r = p.result;
        const std::vector<sensor::StatusGrid>& grids = p.grids;
        // A poll cut short shows what it got on standard error only.
        FILE* out = r.stopped || r.linkLost ? stderr : stdout;
        for (const sensor::StatusGrid& g : grids)
            printGrid(g, out);
        // Each poll is flushed as it comes, and checked: a full disk or the
        // reader gone ends the polls here.
        const bool lost = out == stdout && !outputProblem().isEmpty();
        const int code = pollOutcome(r);
        if (r.stopped || r.linkLost)
            return code;
        worst = std::max(worst, code);
        if (lost)
            return checkOutput(worst);
        if (words->everySeconds == 0)
            break;
    }
    return worst;
}

int runHealthCommand(bus::SerialLink& link, const CliOptions& o) {
    Session session;
    if (const int code = session.start(link, o, false))
        return code;
    polllog::PollLog& log = session.log;
    const PagePoll p = pollPage(link, session.layout, session.progress, QString(), log);
    if (p.failure)
        return p.failure;
    if (p.result.stopped || p.result.linkLost)
        return pollOutcome(p.result);
    const sensor::StatusDecoder decoder;
    const auto items = polllog::healthOf(p.grids[0], decoder, log.isOpen() ? &log : nullptr);
    for (const polllog::HealthItem& item : items)
        std::printf("%d\t%s\t%s\n", item.sensor, qPrintable(item.text),
                    qPrintable(polllog::sinceText(item.sinceMs)));
    if (items.empty())
        std::printf("ВСЕ ДАТЧИКИ В НОРМЕ\n");
    return items.empty() ? 0 : 1;
}

int runLogExport(const QStringList& args) {
    const QString usage = QStringLiteral(
        "log-export LOG OUT.csv [--extended | --overview] [--from T] [--to T] [--sensor N] "
        "[--decimal-point] [--site NAME] [--every 1h|1d [--wide [--quantity Q]]]");
    if (args.size() < 2)
        return fail(usage);
    polllog::ExportOptions options;
    QString site;
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--decimal-point")) {
            options.decimalPoint = true;
            continue;
        }
        if (a == QLatin1String("--wide")) {
            options.wide = true;
            continue;
        }
        if (a == QLatin1String("--extended") || a == QLatin1String("--overview")) {
            if (options.page != polllog::Page::General)
                return fail(usage);
            options.page = a == QLatin1String("--extended") ? polllog::Page::Extended
                                                            : polllog::Page::Overview;
            continue;
        }
        if (i + 1 >= args.size())
            return fail(usage);
        const QString value = args[++i];
        if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            const QDateTime t = timeWord(value);
            if (!t.isValid())
                return fail(QStringLiteral("%1: нужно время, например 2026-12-09 05:40").arg(a));
            (a == QLatin1String("--from") ? options.fromMs : options.toMs) = t.toMSecsSinceEpoch();
        } else if (a == QLatin1String("--sensor")) {
            bool ok = false;
            options.sensor = value.toInt(&ok);
            if (!ok || *options.sensor < 1 || *options.sensor > 128)
                return fail(QStringLiteral("--sensor: нужен номер датчика от 1 до 128"));
        } else if (a == QLatin1String("--site")) {
            site = value;
        } else if (a == QLatin1String("--every")) {
            if (value == QLatin1String("1h"))
                options.everyMs = 3600LL * 1000;
            else if (value == QLatin1String("1d"))
                options.everyMs = 24LL * 3600 * 1000;
            else
                return fail(QStringLiteral("--every: 1h или 1d"));
        } else if (a == QLatin1String("--quantity")) {
            int found = -1;
            QStringList titles;
            for (int q = 0; q < polllog::kQuantities; ++q) {
                titles << polllog::quantityTitle(static_cast<polllog::Quantity>(q)).trimmed();
                if (titles.back().compare(value, Qt::CaseInsensitive) == 0)
                    found = q;
            }
            if (found < 0)
                return fail(QStringLiteral("--quantity: одно из ") +
                            titles.join(QStringLiteral(", ")));
            options.quantity = static_cast<polllog::Quantity>(found);
        } else {
            return fail(usage);
        }
    }
    if (options.everyMs > 0 && options.page != polllog::Page::General)
        return fail(QStringLiteral("--every — только для общего состояния"));
    if ((options.wide || options.quantity != polllog::Quantity::Fuel) && options.everyMs == 0)
        return fail(QStringLiteral("--wide и --quantity задаются вместе с --every"));
    // Only read: the export changes nothing in the log.
    polllog::PollLog log;
    if (const QString why = log.open(args[0], polllog::PollLog::Access::Read, site); !why.isEmpty())
        return fail(why);
    // A site the log does not hold, or none named in a log of several,
    // would export nothing but the header.
    QStringList names;
    for (const QString& name : log.siteNames())
        if (!name.isEmpty())
            names << name;
    if (!names.isEmpty() && !names.contains(site) && (!site.isEmpty() || names.size() > 1))
        return fail((site.isEmpty()
                         ? QStringLiteral("в журнале несколько объектов, задайте --site: ")
                         : QStringLiteral("в журнале нет объекта \"%1\"; есть: ").arg(site)) +
                    names.join(QStringLiteral(", ")));
    const app::FileResult r = polllog::exportCsv(log, args[1], options);
    if (!r.ok())
        return fail(QStringLiteral("НЕ ЗАПИСАНО: ") + r.message(), 1);
    return 0;
}

int runLogPrune(const QStringList& args) {
    const QString usage = QStringLiteral("log-prune LOG --keep DAYSd");
    if (args.size() != 3 || args[1] != QLatin1String("--keep"))
        return fail(usage);
    // "90" or "abc" is said as "0d" is: what --keep wants.
    bool ok = args[2].endsWith(QLatin1Char('d'));
    const int days = ok ? args[2].chopped(1).toInt(&ok) : 0;
    if (!ok || days < 1)
        return fail(QStringLiteral("--keep: нужно число дней, например 90d"));
    polllog::PollLog log;
    if (const QString why = log.open(args[0], polllog::PollLog::Access::Maintain); !why.isEmpty())
        return fail(why);
    const qint64 before =
        QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(days) * 24 * 3600 * 1000;
    const int dropped = log.prune(before, true);
    if (dropped < 0)
        return fail(QStringLiteral("НЕ УДАЛЕНО: ") + log.path() + QStringLiteral(": ") +
                        app::fileFaultText(log.fault()),
                    1);
    std::printf("удалено опросов: %d\n", dropped);
    return 0;
}

int runLogSites(const QStringList& args) {
    if (args.size() != 1)
        return fail(QStringLiteral("log-sites LOG"));
    polllog::PollLog log;
    if (const QString why = log.open(args[0], polllog::PollLog::Access::Read); !why.isEmpty())
        return fail(why);
    int code = 0;
    for (const polllog::SiteState& s : log.siteStates()) {
        QString state;
        if (!s.lastPollMs)
            state = QStringLiteral("не опрашивался");
        else if (!s.answered)
            state = QStringLiteral("нет связи ") + polllog::sinceText(s.silentSinceMs);
        else if (s.notNormal > 0)
            state = QStringLiteral("не в норме: %1 из %2").arg(s.notNormal).arg(s.sensors);
        else
            state = QStringLiteral("все %1 в норме").arg(s.sensors);
        if (!s.lastPollMs || !s.answered || s.notNormal > 0)
            code = 1;
        std::printf("%s\t%s\t%s\n", qPrintable(s.site.isEmpty() ? QStringLiteral("-") : s.site),
                    qPrintable(s.lastPollMs ? QDateTime::fromMSecsSinceEpoch(*s.lastPollMs)
                                                  .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                                            : QString()),
                    qPrintable(state));
    }
    return code;
}

} // namespace cli
