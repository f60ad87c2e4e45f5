#include "caltable/TableReading.h"

#include "app/Progress.h"
#include "caltable/TableFile.h"
#include "link/SerialLink.h"
#include "link/Transit.h"

#include <algorithm>

namespace caltable {

bool TableReadingResult::complete() const {
    return allocationRead && std::all_of(tables.begin(), tables.end(), [](const ReadOutcome& t) {
               return t.reason == ReadReason::None;
           });
}

TableReadingResult ReadTables(bus::SerialLink& link, const TableDevice& device,
                              const std::vector<ReadJob>& jobs, app::Progress& progress) {
    TableReadingResult r;
    r.tables.resize(jobs.size());
    const auto a = ReadAllocation(link, device.controller, device.pageSize);
    if (!a)
        return r;
    r.allocationRead = true;
    // Table reading ends as programming does, with 0xA5, on every way out.
    bus::ServiceMode reading(link, device.controller, bus::ServiceMode::Start::AlreadyIn);
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        ReadOutcome& t = r.tables[j];
        t.entry = a->table[static_cast<std::size_t>(jobs[j].row)];
        if (t.entry.empty()) {
            t.reason = ReadReason::NoTable;
            continue;
        }
        if (device.single && t.entry.size > kSingleTableMax) {
            t.reason = ReadReason::TooLarge;
            continue;
        }
        const TableRead read =
            device.single
                ? ReadSingleTableImage(link, device.controller, t.entry.size, progress)
                : ReadTableImage(link, device.controller, t.entry, device.pageSize, progress);
        // A break or a lost line ends the run; what was not reached stays Stopped.
        if (read.stopped || !link.isOpen())
            break;
        // A table with a chunk missing is no table: no file is written.
        if (!read.image) {
            t.reason = ReadReason::ReadFailed;
            continue;
        }
        if (!WriteTableFile(*read.image, jobs[j].tank, jobs[j].path, &t.error)) {
            t.reason = ReadReason::FileNotWritten;
            continue;
        }
        t.image = *read.image;
        t.reason = ReadReason::None;
    }
    return r;
}

QString describe(const ReadOutcome& t, const ReadJob& job, const QString& shown) {
    switch (t.reason) {
    case ReadReason::None:
        return shown + QStringLiteral("  ГОТОВО");
    case ReadReason::NoTable:
        return QStringLiteral("у резервуара %1 нет таблицы").arg(job.tank);
    case ReadReason::TooLarge:
        return QStringLiteral("таблица %1 байт больше, чем вмещает устройство").arg(t.entry.size);
    case ReadReason::ReadFailed:
        return QStringLiteral("СБОЙ ЧТЕНИЯ №%1").arg(job.tank);
    case ReadReason::FileNotWritten:
        return QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(shown, t.error);
    case ReadReason::Stopped:
        return QStringLiteral("ПРЕРВАНО");
    }
    return {};
}

} // namespace caltable
