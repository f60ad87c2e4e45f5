#include "cli/StatusCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
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
    if (!w.log.isEmpty() && !w.shape.isEmpty()) {
        *error = QStringLiteral("--log записывает только общее состояние");
        return std::nullopt;
    }
    if (w.count > 0 && w.everySeconds == 0) {
        *error = QStringLiteral("--count задаётся только вместе с --every");
        return std::nullopt;
    }
    return w;
}

// The general status, recorded before it is shown: whatever was printed is
// in the log. Empty when it went well, else the exit code.
struct GeneralPoll {
    sensor::StatusGrid grid = sensor::generalStatusGrid();
    sensor::PollResult result;
    int failure = 0;
};

GeneralPoll pollGeneral(bus::SerialLink& link, const app::ControllerLayout& layout,
                        app::Progress& progress, polllog::PollLog& log) {
    GeneralPoll p;
    p.result = sensor::PollGeneralStatus(link, layout, progress, p.grid, false);
    if (log.isOpen() && !p.result.stopped && !p.result.linkLost) {
        const auto kind = sensor::usesPerValuePoll(layout, false) ? polllog::PollKind::PerValue
                                                                  : polllog::PollKind::Combined;
        const QString why =
            log.record(p.grid, kind, QDateTime::currentDateTimeUtc().toMSecsSinceEpoch());
        if (!why.isEmpty())
            p.failure = fail(QStringLiteral("НЕ ЗАПИСАНО: ") + why, 1);
    }
    return p;
}

int openLog(polllog::PollLog& log, const QString& path) {
    if (path.isEmpty())
        return 0;
    const QString why = log.open(path);
    return why.isEmpty() ? 0 : fail(why);
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
        if (const int code = openLog(log, words->log))
            return code;
        return layoutFor(link, o, progress, layout);
    }
};

// The end of a poll cut short, or the sensors that said nothing.
int pollOutcome(const sensor::PollResult& r) {
    if (r.linkLost)
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r.stopped)
        return fail(kInterrupted + QStringLiteral("; выше — то, что успели прочитать"), 1);
    // An empty row is the truth only from a sensor that answered.
    for (int address : r.unanswered)
        noAnswer(sensorName(address));
    return r.unanswered.empty() ? 0 : 1;
}

// The pause between polls; false when Ctrl+C ended it.
bool pause(const app::Progress& progress, int seconds) {
    QElapsedTimer t;
    t.start();
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
            if (!pause(progress, words->everySeconds))
                break;
            std::printf("\n");
        }
        sensor::PollResult r;
        std::vector<sensor::StatusGrid> grids;
        if (words->shape == QLatin1String("--extended")) {
            grids = {sensor::thermometerGrid(), sensor::densityGrid()};
            r = sensor::PollExtendedStatus(link, layout, progress, grids[0], grids[1]);
        } else if (words->shape == QLatin1String("--overview")) {
            grids = {sensor::configOverviewGrid()};
            r = sensor::PollConfigOverview(link, layout, progress, grids[0]);
        } else {
            GeneralPoll p = pollGeneral(link, layout, progress, log);
            if (p.failure)
                return p.failure;
            grids = {p.grid};
            r = p.result;
        }
        // A poll cut short shows what it got on standard error only.
        FILE* out = r.stopped || r.linkLost ? stderr : stdout;
        for (const sensor::StatusGrid& g : grids)
            printGrid(g, out);
        std::fflush(out);
        const int code = pollOutcome(r);
        if (r.stopped || r.linkLost)
            return code;
        worst = std::max(worst, code);
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
    const GeneralPoll p = pollGeneral(link, session.layout, session.progress, log);
    if (p.failure)
        return p.failure;
    if (p.result.stopped || p.result.linkLost)
        return pollOutcome(p.result);
    const sensor::StatusDecoder decoder;
    const auto items = polllog::healthOf(p.grid, decoder, log.isOpen() ? &log : nullptr);
    for (const polllog::HealthItem& item : items)
        std::printf("%d\t%s\t%s\n", item.sensor, qPrintable(item.text),
                    qPrintable(polllog::sinceText(item.sinceMs)));
    if (items.empty())
        std::printf("ВСЕ ДАТЧИКИ В НОРМЕ\n");
    return items.empty() ? 0 : 1;
}

int runLogExport(const QStringList& args) {
    const QString usage = QStringLiteral("log-export FILE.sqlite OUT.csv [--from T] [--to T] "
                                         "[--sensor N] [--decimal-point]");
    if (args.size() < 2)
        return fail(usage);
    polllog::ExportOptions options;
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--decimal-point")) {
            options.decimalPoint = true;
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
        } else {
            return fail(usage);
        }
    }
    polllog::PollLog log;
    if (const int code = openLog(log, args[0]))
        return code;
    const app::FileResult r = polllog::exportCsv(log, args[1], options);
    if (!r.ok())
        return fail(QStringLiteral("НЕ ЗАПИСАНО: ") + r.message(), 1);
    return 0;
}

} // namespace cli
