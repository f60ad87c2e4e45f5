#include "caltable/TableProgramming.h"

#include "app/Progress.h"
#include "link/SerialLink.h"
#include "link/Transit.h"

#include <algorithm>

namespace caltable {
namespace {

// A write or read-back that did not end whole: why, from what the link
// and the loop know.
TableReason undone(bool stopped, const bus::SerialLink& link, TableReason otherwise) {
    if (stopped)
        return TableReason::Stopped;
    return link.isOpen() ? otherwise : TableReason::LineLost;
}

// Whether the run goes on to the next table after this one.
bool runGoesOn(TableReason reason) {
    return reason != TableReason::Stopped && reason != TableReason::LineLost;
}

// Writes one table and, when asked, reads it back; true when the run goes
// on. unanswered: it ended on a request that got no answer at all.
bool programOne(bus::SerialLink& link, const TableDevice& device, const TableJob& job, int page,
                bool verify, app::Progress& progress, TableOutcome& o, bool& unanswered) {
    const Transfer t =
        device.single ? WriteSingleTableImage(link, device.controller, job.image, progress)
                      : WriteTableImage(link, device.controller, job.image, page, progress);
    o.blocks = t.blocks;
    if (!t.done) {
        o.block = t.block;
        o.address = t.address;
        o.reason = undone(t.stopped, link, TableReason::BlockRefused);
        unanswered = !t.stopped && !t.refused;
        return runGoesOn(o.reason);
    }
    o.entry = {static_cast<quint16>(page), static_cast<quint16>(job.image.size())};
    o.state = TableState::WrittenUnconfirmed;
    if (!verify) {
        o.reason = TableReason::NotVerified;
        o.recorded = true;
        return true;
    }
    o.phase = TablePhase::ReadingBack;
    const TableRead back =
        device.single
            ? ReadSingleTableImage(link, device.controller, o.entry.size, progress)
            : ReadTableImage(link, device.controller, o.entry, device.pageSize, progress);
    if (!back.image) {
        o.reason = undone(back.stopped, link, TableReason::ReadBackFailed);
        unanswered = !back.stopped;
        return runGoesOn(o.reason);
    }
    if (*back.image != job.image) {
        o.state = TableState::Failed;
        o.reason = TableReason::ReadBackDiffers;
        return true;
    }
    o.state = TableState::Confirmed;
    o.reason = TableReason::None;
    o.recorded = true;
    return true;
}

// A port that went away is often noticed only at a later request. The
// first table that ended unanswered with nothing heard after it is where
// the line was lost; the tables after it were never reached.
void placeTheLoss(std::vector<TableOutcome>& tables, const std::vector<quint64>& silentFrom,
                  quint64 heard) {
    const auto lost = std::find(silentFrom.begin(), silentFrom.end(), heard);
    if (lost == silentFrom.end())
        return;
    const std::size_t j = static_cast<std::size_t>(lost - silentFrom.begin());
    tables[j].reason = TableReason::LineLost;
    for (std::size_t k = j + 1; k < tables.size(); ++k) {
        TableOutcome& t = tables[k];
        if (t.recorded || t.reason == TableReason::TooLarge)
            continue;
        const int size = t.size;
        t = TableOutcome{};
        t.size = size;
    }
}

} // namespace

bool TableProgrammingResult::complete() const {
    const bool allWritten = std::all_of(tables.begin(), tables.end(), [](const TableOutcome& t) {
        return t.state == TableState::Confirmed || t.reason == TableReason::NotVerified;
    });
    return allWritten && !serviceRefused && !lineLost && store != AllocationStore::Failed;
}

TableProgrammingResult ProgramTables(bus::SerialLink& link, const TableDevice& device,
                                     const TablePlan& plan, app::Progress& progress) {
    TableProgrammingResult r;
    r.allocation = plan.allocation;
    const int firstPage = device.single ? 0 : plan.firstPage;
    r.nextFreePage = firstPage;
    r.tables.resize(plan.tables.size());
    // Past its memory the single table would run over 0x1000 and never
    // read back.
    bool anyToWrite = false;
    for (std::size_t j = 0; j < plan.tables.size(); ++j) {
        TableOutcome& o = r.tables[j];
        o.size = static_cast<int>(plan.tables[j].image.size());
        if (device.single && o.size > kSingleTableMax)
            o.reason = TableReason::TooLarge;
        else
            anyToWrite = true;
    }
    if (!anyToWrite)
        return r;
    int page = firstPage;
    // Characters heard on the line when each table ended unanswered.
    constexpr quint64 kAnswered = ~quint64{0};
    std::vector<quint64> silentFrom(plan.tables.size(), kAnswered);
    {
        bus::ServiceMode service(link, device.controller);
        r.serviceRefused = !service.accepted();
        for (std::size_t j = 0; j < plan.tables.size(); ++j) {
            TableOutcome& o = r.tables[j];
            if (o.reason == TableReason::TooLarge)
                continue;
            if (r.serviceRefused) {
                o.reason = TableReason::ServiceRefused;
                continue;
            }
            bool unanswered = false;
            const bool goOn =
                programOne(link, device, plan.tables[j], page, plan.verify, progress, o, unanswered);
            if (unanswered)
                silentFrom[j] = link.charactersReceived();
            // The pages of a table written are taken whatever its read-back says.
            if (!device.single && o.entry.size != 0)
                page += pagesFor(o.entry.size, device.pageSize);
            if (o.recorded)
                for (int row : plan.tables[j].rows)
                    if (row >= 0 && row < kTanks)
                        r.allocation[row] = o.entry;
            if (!goOn)
                break;
        }
    }
    r.nextFreePage = page;
    r.lineLost = !link.isOpen();
    if (r.lineLost)
        placeTheLoss(r.tables, silentFrom, link.charactersReceived());
    // Only whole tables are recorded, once the service mode has ended.
    const bool anyRecorded = std::any_of(r.tables.begin(), r.tables.end(),
                                         [](const TableOutcome& t) { return t.recorded; });
    if (anyRecorded)
        r.store = StoreAllocationTable(link, device.controller, r.allocation, device.single)
                      ? AllocationStore::Stored
                      : AllocationStore::Failed;
    return r;
}

QString describe(const TableOutcome& t) {
    const QString where =
        t.address >= 0
            ? QStringLiteral(". АДР.%1H").arg(t.address, 4, 16, QLatin1Char('0')).toUpper()
            : QStringLiteral(" НА БЛОКЕ %1 ИЗ %2").arg(t.block + 1).arg(t.blocks);
    const QString written = QStringLiteral("ЗАПИСАНО, страница %1").arg(t.entry.startPage);
    const bool readingBack = t.phase == TablePhase::ReadingBack;
    switch (t.reason) {
    case TableReason::None:
        return written;
    case TableReason::NotVerified:
        return written + QStringLiteral(" (НЕ СВЕРЕНО)");
    case TableReason::TooLarge:
        return QStringLiteral("ТАБЛИЦА %1 БАЙТ, БОЛЬШЕ %2").arg(t.size).arg(kSingleTableMax);
    case TableReason::ServiceRefused:
    case TableReason::NotReached:
        return QStringLiteral("НЕ ЗАПИСАНО");
    case TableReason::BlockRefused:
        return (t.address >= 0 ? QStringLiteral("СБОЙ ПРОГР-Я") : QStringLiteral("СБОЙ ПРОГРАММИРОВАНИЯ")) +
               where;
    case TableReason::LineLost:
        return readingBack ? written + QStringLiteral(" (НЕ СВЕРЕНО: ОБРЫВ СВЯЗИ)")
                           : QStringLiteral("ОБРЫВ СВЯЗИ") + where;
    case TableReason::Stopped:
        return readingBack ? written + QStringLiteral(" (НЕ СВЕРЕНО: ПРЕРВАНО)")
                           : QStringLiteral("ПРЕРВАНО") + where;
    case TableReason::ReadBackFailed:
        return written + QStringLiteral(" (НЕ СВЕРЕНО: СБОЙ ЧТЕНИЯ)");
    case TableReason::ReadBackDiffers:
        return QStringLiteral("ОШИБКА СВЕРКИ");
    }
    return {};
}

QString describe(AllocationStore store) {
    switch (store) {
    case AllocationStore::NotNeeded:
        return {};
    case AllocationStore::Stored:
        return QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА");
    case AllocationStore::Failed:
        return QStringLiteral("СБОЙ ЗАПИСИ ТАБЛИЦЫ РАЗМЕЩЕНИЯ");
    }
    return {};
}

QString describe(const TableProgrammingResult& r) {
    if (r.lineLost)
        return QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");
    if (r.serviceRefused)
        return QStringLiteral("КИП не ответил. Попробуйте повторить.");
    return {};
}

} // namespace caltable
