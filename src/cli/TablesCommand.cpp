#include "cli/TablesCommand.h"

#include "caltable/TableFile.h"
#include "caltable/TableProgramming.h"
#include "caltable/TableReading.h"
#include "caltable/TableTransfer.h"
#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "link/SerialLink.h"

#include <cstdio>
#include <map>

namespace cli {
namespace {

struct Device {
    bus::SerialLink& link;
    std::uint8_t address;
    bool single;
    int pageSize;
};

int list(Device& d) {
    const auto a = caltable::ReadAllocation(d.link, d.address, d.pageSize);
    if (!a)
        return noAnswer(controllerName(d.address), d.link);
    for (int i = 0; i < a->entries; ++i)
        if (!a->table[i].empty())
            std::printf("%d\t%d\t%d\n", i + 1, a->table[i].startPage, a->table[i].size);
    return 0;
}

// A tank word: 1..32 (only 1 where the one table is the sensor's own).
std::optional<int> tankOf(const QString& word, bool single) {
    bool ok = false;
    const int tank = word.toInt(&ok);
    if (!ok || tank < 1 || tank > (single ? 1 : caltable::kTanks))
        return std::nullopt;
    return tank;
}

int read(Device& d, const QString& tankWord, const QString& out) {
    const std::optional<int> tank = tankOf(tankWord, d.single);
    if (!tank)
        return fail(QStringLiteral("нет резервуара \"%1\"").arg(tankWord));
    // In type 2 the one table is the sensor's own: the file names its number.
    const caltable::ReadJob job{*tank - 1, d.single ? (d.address & 0x7F) + 1 : *tank, out};
    ConsoleProgress progress;
    const caltable::TableReadingResult r =
        caltable::ReadTables(d.link, {d.address, d.single, d.pageSize}, {job}, progress);
    if (!r.allocationRead)
        return noAnswer(controllerName(d.address), d.link);
    if (!d.link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    const QString said = caltable::describe(r.tables.front(), job, out);
    if (!r.complete())
        return fail(said, 1);
    std::printf("%s\n", qPrintable(said));
    return 0;
}

int write(Device& d, const QStringList& words) {
    bool verify = true;
    // One job per file: a file given for several tanks is written once.
    std::map<QString, caltable::TableJob> byFile;
    std::vector<QString> order;
    for (const QString& w : words) {
        if (w == QLatin1String("--no-verify")) {
            verify = false;
            continue;
        }
        const qsizetype eq = w.indexOf(QLatin1Char('='));
        const std::optional<int> tank = tankOf(w.left(eq), d.single);
        if (!tank)
            return fail(QStringLiteral("write: нужно TANK=FILE.vlm, а не \"%1\"").arg(w));
        const QString path = w.mid(eq + 1);
        if (const QString problem = inputFileProblem(path); !problem.isEmpty())
            return fail(problem);
        if (!byFile.count(path)) {
            caltable::TableJob job;
            QString status;
            if (!caltable::ConvertTableFile(path, job.image, status))
                return fail(QStringLiteral("%1: %2").arg(path, status));
            byFile[path] = job;
            order.push_back(path);
        }
        byFile[path].rows.push_back(*tank - 1);
    }
    const auto a = caltable::ReadAllocation(d.link, d.address, d.pageSize);
    if (!a)
        return noAnswer(controllerName(d.address), d.link);
    caltable::TablePlan plan;
    plan.allocation = a->table;
    plan.firstPage = a->firstFreePage;
    plan.verify = verify;
    for (const QString& path : order)
        plan.tables.push_back(byFile[path]);
    ConsoleProgress progress;
    const caltable::TableProgrammingResult r =
        caltable::ProgramTables(d.link, {d.address, d.single, d.pageSize}, plan, progress);
    for (std::size_t j = 0; j < r.tables.size(); ++j) {
        const caltable::TableOutcome& t = r.tables[j];
        QStringList tanks;
        for (int row : plan.tables[j].rows)
            tanks << QString::number(row + 1);
        const QString line = QStringLiteral("резервуар %1: %2")
                                 .arg(tanks.join(QLatin1Char(',')), caltable::describe(t));
        // Written without the read-back is said so, and is no failure.
        if (t.recorded)
            std::printf("%s\n", qPrintable(line));
        else
            std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(line));
    }
    if (r.store == caltable::AllocationStore::Stored)
        std::printf("%s\n", qPrintable(caltable::describe(r.store)));
    else if (r.store == caltable::AllocationStore::Failed)
        std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(caltable::describe(r.store)));
    if (const QString run = caltable::describe(r); !run.isEmpty())
        std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(run));
    return r.complete() ? 0 : 1;
}

int clear(Device& d) {
    if (!caltable::ClearAllocationTable(d.link, d.address, d.single))
        return fail(QStringLiteral("СБОЙ УДАЛЕНИЯ ТАБЛИЦЫ"), 1);
    std::printf("ТАБЛИЦА ПУСТАЯ\n");
    return 0;
}

} // namespace

QString tablesWrongWords(const QStringList& args) {
    bool ok = false;
    const int number = args.value(0).toInt(&ok);
    const QString verb = args.value(1);
    const auto size = args.size();
    const bool known = (verb == QLatin1String("list") && size == 2) ||
                       (verb == QLatin1String("read") && size == 4) ||
                       (verb == QLatin1String("write") && size > 2) ||
                       (verb == QLatin1String("clear") && size == 2);
    if (!ok || number < 1 || number > 128 || !known)
        return commandUsage(QStringLiteral("tables"));
    if (verb == QLatin1String("read") && !tankOf(args[2], false))
        return QStringLiteral("нет резервуара \"%1\"").arg(args[2]);
    if (verb != QLatin1String("write"))
        return {};
    bool files = false;
    for (const QString& w : args.mid(2)) {
        if (w == QLatin1String("--no-verify"))
            continue;
        const qsizetype eq = w.indexOf(QLatin1Char('='));
        if (eq <= 0 || !tankOf(w.left(eq), false))
            return QStringLiteral("write: нужно TANK=FILE.vlm, а не \"%1\"").arg(w);
        const QString path = w.mid(eq + 1);
        if (const QString problem = inputFileProblem(path); !problem.isEmpty())
            return problem;
        QByteArray image;
        QString status;
        if (!caltable::ConvertTableFile(path, image, status))
            return QStringLiteral("%1: %2").arg(path, status);
        files = true;
    }
    return files ? QString() : commandUsage(QStringLiteral("tables"));
}

int runTablesCommand(bus::SerialLink& link, const CliOptions& o) {
    // The words and the files were checked before the port was opened.
    const QStringList& args = o.commandArgs;
    const int number = args[0].toInt();
    const QString verb = args[1];
    ConsoleProgress progress;
    app::ControllerLayout layout;
    std::uint8_t address = 0;
    if (const int code = controllerFor(link, o, progress, number, layout, address))
        return code;
    const bool single = layout.isDirectSensorType();
    Device d{link, address, single, 0};
    if (verb == QLatin1String("clear"))
        return clear(d);
    d.pageSize = single ? caltable::kSinglePageSize : caltable::ReadPageSize(link, address);
    if (verb == QLatin1String("list"))
        return list(d);
    if (verb == QLatin1String("read"))
        return read(d, args[2], args[3]);
    return write(d, args.mid(2));
}

} // namespace cli
