#include "caltable/TankRows.h"

#include "caltable/TableFile.h"

#include <QFileInfo>

#include <algorithm>

namespace caltable {

QString TankRows::sizeText(int size) const {
    if (single)
        return QString::number(size);
    return QStringLiteral("%1 / %2").arg(size).arg(pagesFor(size, pageSize));
}

QString TankRows::heightText(int size) {
    return QString::number(size / kRowBytes - 1);
}

void TankRows::showEntry(int row, const Entry& e) {
    TankRow& r = rows[row];
    r.s = QString::number(e.startPage);
    r.e = sizeText(e.size);
    r.h = heightText(e.size);
}

void TankRows::clearCells(int row) {
    TankRow& r = rows[row];
    r.f.clear();
    r.s.clear();
    r.e.clear();
    r.h.clear();
}

void TankRows::loadAllocation(const AllocationRead& read) {
    firstFreePage = 0;
    for (TankRow& r : rows)
        r.selected = RowGroup::None;
    for (int i = 0; i < read.entries; ++i) {
        TankRow& r = rows[i];
        r.filePath.clear();
        r.allocation = {};
        r.planned = {};
        clearCells(i);
        if (!read.table[i].empty()) {
            r.allocation = read.table[i];
            showEntry(i, r.allocation);
        }
    }
    firstFreePage = read.firstFreePage;
    nextPlannedPage = firstFreePage;
}

void TankRows::clearAll() {
    for (int i = 0; i < kTanks; ++i) {
        rows[i].allocation.size = 0;
        rows[i].planned.size = 0;
        rows[i].filePath.clear();
        clearCells(i);
    }
    nextPlannedPage = 0;
    firstFreePage = 0;
}

RowGroup TankRows::groupFromCells(int row) const {
    const TankRow& r = rows[row];
    if (!r.f.isEmpty())
        return RowGroup::FileRow;
    return r.e.isEmpty() ? RowGroup::EmptyRow : RowGroup::ControllerTable;
}

int TankRows::count(RowGroup g) const {
    return static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [g](const TankRow& r) { return r.selected == g; }));
}

int TankRows::filesToWrite() const {
    return static_cast<int>(std::count_if(rows.begin(), rows.end(),
                                          [](const TankRow& r) { return !r.filePath.isEmpty(); }));
}

QString TankRows::select(int row) {
    TankRow& r = rows[row];
    if (r.selected != RowGroup::None) {
        r.selected = RowGroup::None;
        return QStringLiteral("ВЫБОР РЕЗЕРВУАРА ОТМЕНЕН");
    }
    const RowGroup g = groupFromCells(row);
    if (g == RowGroup::FileRow && count(RowGroup::FileRow) >= 2)
        return {};
    r.selected = g;
    return QStringLiteral("РЕЗЕРВУАР ВЫБРАН");
}

ButtonStates TankRows::buttons() const {
    ButtonStates b;
    const int files = count(RowGroup::FileRow);
    const int empties = count(RowGroup::EmptyRow);
    const int tables = count(RowGroup::ControllerTable);
    b.exchange = files + empties + tables == 2;
    b.duplicate = files + tables == 1 && empties >= 1;
    b.readTables = tables >= 1;
    b.cancelFile = files == 1;
    b.saveAllocation = saveAllocationEnabled || allocationChanged;
    b.program = filesToWrite() > 0;
    return b;
}

bool TankRows::assignable(int row) const {
    const TankRow& r = rows[row];
    if (r.allocation.size == 0)
        return true;
    for (int i = 0; i < kTanks; ++i)
        if (i != row && rows[i].allocation.size != 0 &&
            rows[i].allocation.startPage == r.allocation.startPage)
            return true;
    return false;
}

int TankRows::rowShowing(const QString& fileName, int except) const {
    for (int i = 0; i < kTanks; ++i)
        if (i != except && !rows[i].f.isEmpty() && rows[i].f == fileName)
            return i;
    return -1;
}

void TankRows::shareFile(int row, int from) {
    TankRow& r = rows[row];
    const TankRow& f = rows[from];
    r.filePath = f.filePath;
    r.planned = f.planned;
    r.f = f.f;
    r.h = f.h;
    r.s = f.s;
    r.e = f.e;
}

QString TankRows::applyFile(int row, const QString& path, int tableRows, int tableSize,
                            int tankNumber) {
    TankRow& r = rows[row];
    r.filePath = path;
    r.f = QFileInfo(path).fileName();
    r.s = QString::number(nextPlannedPage);
    r.e = sizeText(tableSize);
    r.h = QString::number(tableRows - 1);
    r.planned = {static_cast<quint16>(nextPlannedPage), static_cast<quint16>(tableSize)};
    nextPlannedPage += pagesFor(tableSize, pageSize);
    return QStringLiteral("ФАЙЛ ДЛЯ РЕЗЕРВУАРА №%1 УСТАНОВЛЕН").arg(tankNumber);
}

void TankRows::cancelFile(int row) {
    TankRow& r = rows[row];
    if (r.selected == RowGroup::FileRow)
        r.selected = RowGroup::None;
    clearCells(row);
    if (r.planned.size == 0) {
        r.filePath.clear();
        return;
    }
    // The same file planned for other tanks: the last of them keeps it.
    int sharer = -1;
    for (int i = 0; i < kTanks; ++i)
        if (i != row && rows[i].planned.size != 0 &&
            rows[i].planned.startPage == r.planned.startPage)
            sharer = i;
    if (sharer >= 0) {
        if (!r.filePath.isEmpty() && rows[sharer].filePath.isEmpty())
            rows[sharer].filePath = r.filePath;
        r.filePath.clear();
        r.planned = {};
        return;
    }
    if (r.filePath.isEmpty())
        return;
    r.filePath.clear();
    const int s = r.planned.startPage;
    const int c = pagesFor(r.planned.size, pageSize);
    nextPlannedPage = std::max(nextPlannedPage - c, 0);
    r.planned = {};
    // Whatever was planned after it moves down into its place.
    for (int i = 0; i < kTanks; ++i) {
        TankRow& o = rows[i];
        if (o.planned.size == 0 || o.planned.startPage < s)
            continue;
        o.planned.startPage = static_cast<quint16>(std::max(o.planned.startPage - c, 0));
        o.s = o.f.isEmpty() && o.planned.startPage == 0 ? QString()
                                                        : QString::number(o.planned.startPage);
    }
}

void TankRows::cancelSelectedFiles() {
    for (int i = 0; i < kTanks; ++i)
        if (rows[i].selected == RowGroup::FileRow)
            cancelFile(i);
}

void TankRows::dropGroup(RowGroup g) {
    for (TankRow& r : rows)
        if (r.selected == g)
            r.selected = RowGroup::None;
}

QString TankRows::exchange() {
    std::vector<int> picked;
    for (int i = 0; i < kTanks; ++i)
        if (rows[i].selected != RowGroup::None)
            picked.push_back(i);
    if (picked.size() != 2)
        return {};
    TankRow& a = rows[picked[0]];
    TankRow& b = rows[picked[1]];
    const bool aTable = a.selected == RowGroup::ControllerTable;
    const bool bTable = b.selected == RowGroup::ControllerTable;
    const bool aEmpty = a.selected == RowGroup::EmptyRow;
    const bool bEmpty = b.selected == RowGroup::EmptyRow;
    if (aTable && bTable) {
        std::swap(a.allocation, b.allocation);
        std::swap(a.s, b.s);
        std::swap(a.e, b.e);
        std::swap(a.h, b.h);
        dropGroup(RowGroup::ControllerTable);
    } else if ((aTable && bEmpty) || (aEmpty && bTable)) {
        TankRow& table = aTable ? a : b;
        TankRow& empty = aTable ? b : a;
        empty.allocation = table.allocation;
        empty.s = table.s;
        empty.e = table.e;
        empty.h = table.h;
        table.allocation = {};
        table.s.clear();
        table.e.clear();
        table.h.clear();
        dropGroup(RowGroup::ControllerTable);
        dropGroup(RowGroup::EmptyRow);
    } else {
        // Pairs with a planned file change nothing.
        return {};
    }
    allocationChanged = true;
    return QStringLiteral("ОБМЕНЯНО");
}

QString TankRows::duplicate() {
    const int files = count(RowGroup::FileRow);
    const int tables = count(RowGroup::ControllerTable);
    if (count(RowGroup::EmptyRow) < 1 || files + tables != 1)
        return {};
    int source = -1;
    for (int i = 0; i < kTanks && source < 0; ++i)
        if (rows[i].selected == RowGroup::FileRow || rows[i].selected == RowGroup::ControllerTable)
            source = i;
    const TankRow& src = rows[source];
    const bool file = src.selected == RowGroup::FileRow;
    for (int i = 0; i < kTanks; ++i) {
        TankRow& t = rows[i];
        if (t.selected != RowGroup::EmptyRow)
            continue;
        if (file) {
            t.filePath = src.filePath;
            t.planned = src.planned;
        } else {
            t.allocation = src.allocation;
            allocationChanged = true;
        }
        t.f = src.f;
        t.s = src.s;
        t.e = src.e;
        t.h = src.h;
    }
    for (TankRow& r : rows)
        r.selected = RowGroup::None;
    return QStringLiteral("РАЗМНОЖЕНО");
}

std::vector<PlannedFile> TankRows::plannedFiles() const {
    std::vector<PlannedFile> out;
    for (int i = 0; i < kTanks; ++i) {
        const TankRow& r = rows[i];
        if (r.filePath.isEmpty())
            continue;
        // A row sharing an earlier row's planned place goes with that file.
        auto same = std::find_if(out.begin(), out.end(), [&](const PlannedFile& p) {
            const TankRow& first = rows[p.rows.front()];
            return first.planned.size != 0 && first.planned == r.planned && p.path == r.filePath;
        });
        if (same != out.end())
            same->rows.push_back(i);
        else
            out.push_back({r.filePath, {i}});
    }
    return out;
}

void TankRows::written(const std::vector<int>& written, const Entry& entry) {
    for (int row : written) {
        TankRow& r = rows[row];
        r.allocation = entry;
        r.f.clear();
        r.filePath.clear();
        r.planned = {};
        r.s = QString::number(entry.startPage);
        r.e = sizeText(entry.size);
        r.h = heightText(entry.size);
    }
}

bool TankRows::allWritten() const {
    return std::none_of(rows.begin(), rows.end(),
                        [](const TankRow& r) { return r.planned.size != 0; });
}

Allocation TankRows::allocation() const {
    Allocation a{};
    for (int i = 0; i < kTanks; ++i)
        a[i] = rows[i].allocation;
    return a;
}

} // namespace caltable
