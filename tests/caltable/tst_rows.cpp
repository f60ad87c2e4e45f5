#include "tst_rows.h"

#include "caltable/TankRows.h"

#include <QtTest>

namespace {

using caltable::Entry;
using caltable::RowGroup;

caltable::TankRows withTables() {
    caltable::AllocationRead read;
    read.entries = 16;
    read.table[0] = {0, 600}; // 3 pages
    read.table[1] = {3, 264}; // 1 page
    read.firstFreePage = 4;
    read.anyTable = true;
    caltable::TankRows rows;
    rows.loadAllocation(read);
    return rows;
}

} // namespace

void TestTankRows::loadShowsEntries() {
    caltable::TankRows rows = withTables();
    QCOMPARE(rows.rows[0].s, QStringLiteral("0"));
    QCOMPARE(rows.rows[0].e, QStringLiteral("600 / 3"));
    QCOMPARE(rows.rows[0].h, QStringLiteral("99"));
    QVERIFY(rows.rows[2].e.isEmpty());
    QCOMPARE(rows.nextPlannedPage, 4);
    rows.single = true;
    QCOMPARE(rows.sizeText(600), QStringLiteral("600"));
}

void TestTankRows::cancellingMovesLaterFilesDown() {
    caltable::TankRows rows = withTables();
    rows.applyFile(2, QStringLiteral("/t/a.vlm"), 100, 600, 3); // pages 4..6
    rows.applyFile(3, QStringLiteral("/t/b.vlm"), 100, 300, 4); // pages 7..8
    QCOMPARE(rows.applyFile(4, QStringLiteral("/t/c.vlm"), 10, 60, 5),
             QStringLiteral("ФАЙЛ ДЛЯ РЕЗЕРВУАРА №5 УСТАНОВЛЕН")); // page 9
    QCOMPARE(rows.rows[4].s, QStringLiteral("9"));
    QCOMPARE(rows.nextPlannedPage, 10);
    rows.cancelFile(3);
    QCOMPARE(rows.rows[4].planned.startPage, 7);
    QCOMPARE(rows.rows[4].s, QStringLiteral("7"));
    QCOMPARE(rows.rows[2].planned.startPage, 4);
    QCOMPARE(rows.nextPlannedPage, 8);
    QVERIFY(rows.rows[3].f.isEmpty());
    QCOMPARE(rows.filesToWrite(), 2);
}

void TestTankRows::sharedFileIsOnePlannedFile() {
    caltable::TankRows rows = withTables();
    rows.applyFile(1 + 1, QStringLiteral("/t/a.vlm"), 100, 600, 3);
    QCOMPARE(rows.rowShowing(QStringLiteral("a.vlm"), 5), 2);
    rows.shareFile(5, 2);
    QCOMPARE(rows.rows[5].s, rows.rows[2].s);
    const auto files = rows.plannedFiles();
    QCOMPARE(files.size(), std::size_t(1));
    QCOMPARE(files.front().rows, (std::vector<int>{2, 5}));
    // Cancelling one of them leaves the other with the file and its place.
    rows.cancelFile(2);
    QCOMPARE(rows.rows[5].filePath, QStringLiteral("/t/a.vlm"));
    QCOMPARE(rows.rows[5].planned.startPage, 4);
    QCOMPARE(rows.nextPlannedPage, 7);
}

void TestTankRows::selectionGroupsAndButtons() {
    caltable::TankRows rows = withTables();
    rows.applyFile(2, QStringLiteral("/t/a.vlm"), 10, 60, 3);
    rows.applyFile(3, QStringLiteral("/t/b.vlm"), 10, 60, 4);
    rows.applyFile(4, QStringLiteral("/t/c.vlm"), 10, 60, 5);
    QCOMPARE(rows.select(2), QStringLiteral("РЕЗЕРВУАР ВЫБРАН"));
    QCOMPARE(rows.rows[2].selected, RowGroup::FileRow);
    QVERIFY(rows.buttons().cancelFile);
    rows.select(3);
    QVERIFY(rows.buttons().exchange);
    QVERIFY(!rows.buttons().cancelFile);
    // A third file row is refused without a word.
    QCOMPARE(rows.select(4), QString());
    QCOMPARE(rows.rows[4].selected, RowGroup::None);
    QCOMPARE(rows.select(3), QStringLiteral("ВЫБОР РЕЗЕРВУАРА ОТМЕНЕН"));
    rows.select(0);
    QCOMPARE(rows.rows[0].selected, RowGroup::ControllerTable);
    rows.select(9);
    QCOMPARE(rows.rows[9].selected, RowGroup::EmptyRow);
    QVERIFY(!rows.buttons().duplicate); // a file row and a table
    rows.select(2);
    QVERIFY(rows.buttons().duplicate);
    QVERIFY(rows.buttons().readTables);
    QVERIFY(rows.buttons().program);
}

void TestTankRows::exchangeTables() {
    caltable::TankRows rows = withTables();
    rows.select(0);
    rows.select(1);
    QCOMPARE(rows.exchange(), QStringLiteral("ОБМЕНЯНО"));
    QCOMPARE(rows.rows[0].allocation, (Entry{3, 264}));
    QCOMPARE(rows.rows[1].allocation, (Entry{0, 600}));
    QCOMPARE(rows.rows[0].s, QStringLiteral("3"));
    QVERIFY(rows.allocationChanged);
    QVERIFY(rows.buttons().saveAllocation);
    QCOMPARE(rows.count(RowGroup::ControllerTable), 0);
    // No data moves: only the table of entries changes.
    QCOMPARE(rows.allocation()[0], (Entry{3, 264}));
}

void TestTankRows::exchangeTableWithEmptyRow() {
    caltable::TankRows rows = withTables();
    rows.select(7);
    rows.select(1);
    QCOMPARE(rows.exchange(), QStringLiteral("ОБМЕНЯНО"));
    QCOMPARE(rows.rows[7].allocation, (Entry{3, 264}));
    QCOMPARE(rows.rows[1].allocation, Entry{});
    QVERIFY(rows.rows[1].e.isEmpty());
}

void TestTankRows::pairWithAFileChangesNothing() {
    caltable::TankRows rows = withTables();
    rows.applyFile(2, QStringLiteral("/t/a.vlm"), 10, 60, 3);
    rows.select(0);
    rows.select(2);
    QCOMPARE(rows.exchange(), QString());
    QCOMPARE(rows.rows[0].allocation, (Entry{0, 600}));
    QCOMPARE(rows.rows[2].filePath, QStringLiteral("/t/a.vlm"));
    QVERIFY(!rows.allocationChanged);
}

void TestTankRows::duplicateTable() {
    caltable::TankRows rows = withTables();
    rows.select(0);
    rows.select(5);
    rows.select(6);
    QCOMPARE(rows.duplicate(), QStringLiteral("РАЗМНОЖЕНО"));
    QCOMPARE(rows.rows[5].allocation, (Entry{0, 600}));
    QCOMPARE(rows.rows[6].allocation, (Entry{0, 600}));
    QCOMPARE(rows.rows[6].s, QStringLiteral("0"));
    QVERIFY(rows.allocationChanged);
    QCOMPARE(rows.count(RowGroup::EmptyRow) + rows.count(RowGroup::ControllerTable), 0);
}

void TestTankRows::onlyReferenceIsNotReassigned() {
    caltable::TankRows rows = withTables();
    QVERIFY(!rows.assignable(0));
    QVERIFY(rows.assignable(5));
    rows.select(0);
    rows.select(5);
    rows.duplicate();
    QVERIFY(rows.assignable(0)); // shared now
}

void TestTankRows::writtenRowsTakeTheirEntries() {
    caltable::TankRows rows = withTables();
    rows.applyFile(2, QStringLiteral("/t/a.vlm"), 100, 600, 3);
    rows.shareFile(5, 2);
    QVERIFY(!rows.allWritten());
    rows.written({2, 5}, {4, 600});
    QVERIFY(rows.allWritten());
    QCOMPARE(rows.rows[5].allocation, (Entry{4, 600}));
    QVERIFY(rows.rows[5].f.isEmpty());
    QCOMPARE(rows.rows[5].s, QStringLiteral("4"));
    QCOMPARE(rows.filesToWrite(), 0);
}
