#include "cli/SnapshotCommands.h"

#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "link/SerialLink.h"
#include "snapshot/SnapshotReport.h"
#include "snapshot/SnapshotRestore.h"

#include <cstdio>

namespace cli {
namespace {

std::optional<snapshot::Snapshot> readOrSay(const QString& path, int& code) {
    if (const QString problem = inputFileProblem(path); !problem.isEmpty()) {
        code = fail(problem);
        return std::nullopt;
    }
    QString error;
    auto s = snapshot::readSnapshot(path, &error);
    if (!s)
        code = fail(QStringLiteral("%1: %2").arg(path, error));
    return s;
}

const char* kindText(snapshot::Change::Kind k) {
    switch (k) {
    case snapshot::Change::Sensitive:
        return "\t(пароль или адрес: только с --yes)";
    case snapshot::Change::NotRestorable:
        return "\t(не восстанавливается)";
    default:
        return "";
    }
}

int takeSnapshot(bus::SerialLink& link, const CliOptions& o) {
    ConsoleProgress progress;
    app::ControllerLayout layout;
    if (const int code = layoutFor(link, o, progress, layout))
        return code;
    QString error;
    if (!snapshot::roomForSnapshot(o.commandArgs[0], layout, &error))
        return fail(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(o.commandArgs[0], error), 1);
    std::vector<app::SilentFront> fronts;
    const auto s = snapshot::TakeSnapshot(link, layout, progress, {}, &fronts);
    progress.CloseProgress();
    if (!s)
        return fail(link.isOpen() ? kInterrupted : QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // Devices that answered nothing are named, those that answered only
    // part of what they were asked, and a controller or a line whose
    // devices were left unasked; a file of silent devices alone would
    // record nothing but silence.
    const QStringList silent = snapshot::silentDevices(*s, fronts);
    for (const QString& device : silent)
        noAnswer(device);
    const std::vector<snapshot::PartlyRead> partly = snapshot::partlyRead(*s);
    for (const snapshot::PartlyRead& p : partly)
        fail(snapshot::partlyReadText(p), 1);
    for (const app::SilentFront& f : fronts)
        fail(app::silentFrontText(f), 1);
    if (snapshot::nothingAnswered(*s))
        return fail(snapshot::kNothingAnswered, 1);
    if (!snapshot::writeSnapshot(o.commandArgs[0], *s, &error))
        return fail(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(o.commandArgs[0], error), 1);
    std::printf("controllers=%zu\nsensors=%zu\n", s->controllers.size(), s->sensors.size());
    return silent.isEmpty() && partly.empty() && fronts.empty() ? 0 : 1;
}

// The words of restore and the file they name, settled before the line is
// touched.
struct RestoreWords {
    snapshot::Scope scope;
    bool dryRun = false;
    bool yes = false;
    snapshot::Snapshot target;
};

std::optional<RestoreWords> restoreWords(const QStringList& args, QString* error) {
    RestoreWords w;
    snapshot::Scope& scope = w.scope;
    const QString usage = commandUsage(QStringLiteral("restore"));
    for (int i = 1; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--dry-run"))
            w.dryRun = true;
        else if (args[i] == QLatin1String("--yes"))
            w.yes = true;
        else if (args[i] == QLatin1String("--sensor") && i + 1 < args.size())
            scope.sensor = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--controller") && i + 1 < args.size())
            scope.controller = args[++i].toInt(&ok);
        else
            ok = false;
        if (!ok) {
            *error = usage;
            return std::nullopt;
        }
    }
    if (args.isEmpty() || (scope.sensor && scope.controller)) {
        *error = usage;
        return std::nullopt;
    }
    if (const QString problem = inputFileProblem(args[0]); !problem.isEmpty()) {
        *error = problem;
        return std::nullopt;
    }
    QString why;
    const auto target = snapshot::readSnapshot(args[0], &why);
    if (!target)
        *error = QStringLiteral("%1: %2").arg(args[0], why);
    // Every value of the file is checked before the line is touched.
    else if (const QStringList refused = snapshot::RefusedValues(*target); !refused.isEmpty())
        *error = QStringLiteral("%1: НЕ ВОССТАНОВЛЕНО\n%2")
                     .arg(args[0], refused.join(QLatin1Char('\n')));
    else if (const QString missing = snapshot::scopeMissing(*target, scope, args[0]);
             !missing.isEmpty())
        *error = missing;
    if (!error->isEmpty())
        return std::nullopt;
    w.target = *target;
    return w;
}

int restore(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    QString error;
    std::optional<RestoreWords> w = restoreWords(args, &error);
    if (!w)
        return fail(error);
    const snapshot::Scope& scope = w->scope;
    const bool dryRun = w->dryRun, yes = w->yes;
    const snapshot::Snapshot* target = &w->target;
    ConsoleProgress progress;
    app::ControllerLayout layout;
    if (const int c = layoutFor(link, o, progress, layout))
        return c;
    if (scope.sensor && !routeTo(layout, *scope.sensor - 1).served)
        return fail(notServedText(*scope.sensor));
    if (scope.controller && !controllerAddress(layout, *scope.controller))
        return fail(notInLayoutText(*scope.controller));
    const snapshot::RestorePlan plan =
        snapshot::PrepareRestore(link, layout, *target, scope, progress);
    if (!plan.now)
        return fail(link.isOpen() ? kInterrupted : QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!plan.mismatches.isEmpty())
        return fail(QStringLiteral("%1: НЕ ВОССТАНОВЛЕНО\n%2")
                        .arg(args[0], plan.mismatches.join(QLatin1Char('\n'))));
    for (const snapshot::Difference& d : plan.layout)
        std::printf("%s\n", qPrintable(snapshot::diffLine(d)));
    // Nothing is written to a device that did not answer now.
    for (const snapshot::DeviceRef& d : plan.silent)
        noAnswer(snapshot::deviceName(d.sensor, d.number));
    for (const snapshot::DeviceRef& d : plan.unreached)
        std::fprintf(stderr, "orvant2-cli: %s: НЕТ НА ЛИНИИ, НЕ ВОССТАНОВЛЕН\n",
                     qPrintable(snapshot::deviceName(d.sensor, d.number)));
    for (const snapshot::Change& c : plan.changes)
        std::printf("%s%s\n", qPrintable(snapshot::changeLine(c)), kindText(c.kind));
    // What the file does not have is not written: said, so that nobody
    // takes the device's value for the snapshot's.
    for (const snapshot::Change& c : plan.lacking)
        std::printf("%s\t(нет в снимке, не записывается)\n", qPrintable(snapshot::changeLine(c)));
    const int silentCode = plan.skipped() == 0 ? 0 : 1;
    // An empty plan is said, dry run or not: an empty output looks like
    // a command that did nothing.
    // Nothing to restore only where every device of the snapshot was read.
    if (plan.changes.empty() && plan.skipped() > 0)
        return fail(QStringLiteral("НЕ ВСЕ УСТРОЙСТВА СНИМКА ОТВЕТИЛИ: НЕ СРАВНЕНО С ЕГО "
                                   "ЗНАЧЕНИЯМИ УСТРОЙСТВ: %1")
                        .arg(plan.skipped()),
                    1);
    if (plan.changes.empty())
        std::printf("%s\n", qPrintable(snapshot::kNothingToRestore));
    if (dryRun || plan.changes.empty())
        return silentCode;
    const snapshot::RestoreResult r =
        snapshot::RunRestore(link, layout, plan, *target, yes, progress);
    progress.CloseProgress();
    for (const snapshot::Change& c : r.left)
        std::fprintf(stderr, "orvant2-cli: НЕ ВОССТАНОВЛЕНО: %s %s %s\n",
                     qPrintable(snapshot::deviceName(c.sensor, c.number)), qPrintable(c.key),
                     qPrintable(snapshot::valueText(c.sensor, c.key, c.now)));
    const QString outcome = snapshot::restoreOutcome(r);
    if (!r.completed || !r.left.empty())
        return fail(outcome, 1);
    std::printf("%s\n", qPrintable(outcome));
    return silentCode;
}

} // namespace

QString snapshotWrongWords(const QStringList& args) {
    return args.size() == 1 ? QString() : commandUsage(QStringLiteral("snapshot"));
}

QString restoreWrongWords(const QStringList& args) {
    QString error;
    return restoreWords(args, &error) ? QString() : error;
}

int runSnapshotCommand(bus::SerialLink& link, const CliOptions& o) {
    return o.command == QLatin1String("snapshot") ? takeSnapshot(link, o) : restore(link, o);
}

int runSnapshotDiff(const QStringList& args) {
    if (args.size() != 2)
        return fail(commandUsage(QStringLiteral("snapshot-diff")));
    int code = 0;
    const auto a = readOrSay(args[0], code);
    if (!a)
        return code;
    const auto b = readOrSay(args[1], code);
    if (!b)
        return code;
    const auto diff = snapshot::Diff(*a, *b);
    for (const auto& d : diff)
        std::printf("%s\n", qPrintable(snapshot::diffLine(d)));
    return diff.empty() ? 0 : 1;
}

int runSnapshotReport(const QStringList& args) {
    if (args.size() != 2)
        return fail(commandUsage(QStringLiteral("report")));
    if (snapshot::reportFormat(args[1]) == snapshot::ReportFormat::Unknown)
        return fail(QStringLiteral("%1: ОТЧЁТ ТОЛЬКО .pdf ИЛИ .html").arg(args[1]));
    int code = 0;
    const auto s = readOrSay(args[0], code);
    if (!s)
        return code;
    QString error;
    if (!snapshot::writeReport(*s, args[1], &error))
        return fail(QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(args[1], error), 1);
    return 0;
}

} // namespace cli
