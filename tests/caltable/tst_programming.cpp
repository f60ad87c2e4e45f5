#include "tst_programming.h"

#include "TableBench.h"
#include "caltable/TableFile.h"
#include "caltable/TableProgramming.h"
#include "caltable/TableReading.h"
#include "common/SensorBench.h"
#include "link/Transit.h"

#include <QtTest>

namespace {

using caltable::Entry;
using caltable::TableReason;
using caltable::TableState;

caltable::TablePlan plan(std::vector<caltable::TableJob> tables, int firstPage = 0,
                         bool verify = true, const caltable::Allocation& before = {}) {
    caltable::TablePlan p;
    p.allocation = before;
    p.tables = std::move(tables);
    p.firstPage = firstPage;
    p.verify = verify;
    return p;
}

caltable::TableDevice multi() {
    return {0x80, false, 264};
}

caltable::TableDevice single() {
    return {0x80, true, caltable::kSinglePageSize};
}

// The line pulled while the request of that number with that command
// code awaits its answer.
void unplugAt(TableBench& k, const char* command, int count) {
    k.h.link.setPump([&k, command, count] {
        if (payloadsSent(k.log, command).size() == count)
            k.h.unplug();
    });
}

} // namespace

void TestTableProgramming::blocksAndPages_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<int>("pages");
    QTest::newRow("264 bytes") << 264 << QList<int>{128 + 5, 128 + 1, 8 + 1, 1} << 1;
    QTest::newRow("265 bytes") << 265 << QList<int>{128 + 5, 128 + 1, 9 + 1, 1} << 2;
    QTest::newRow("6 bytes") << 6 << QList<int>{6 + 5, 1} << 1;
}

void TestTableProgramming::blocksAndPages() {
    QFETCH(int, size);
    QFETCH(QList<int>, blocks);
    QFETCH(int, pages);
    TableBench k;
    const auto r = caltable::ProgramTables(k.h.link, multi(),
                                           plan({{{3}, tableImage(size)}}, 7, false), k.progress);
    QCOMPARE(r.tables.front().state, TableState::WrittenUnconfirmed);
    QCOMPARE(r.tables.front().reason, TableReason::NotVerified);
    QVERIFY(r.complete());
    const QByteArrayList sent = payloadsSent(k.log, "52");
    QList<int> lengths;
    for (const QByteArray& b : sent)
        lengths << static_cast<int>(b.size());
    QCOMPARE(lengths, blocks);
    QCOMPARE(sent.first().left(5), QByteArray("\x02\x00\x07\x00\x00", 5));
    QCOMPARE(sent.last(), QByteArray("\x01", 1));
    QCOMPARE(r.nextFreePage, 7 + pages);
    QCOMPARE(r.allocation[3], (Entry{7, static_cast<quint16>(size)}));
    // Framed by the service mode, the allocation table stored after it.
    QCOMPARE(k.log.sent.first(), QStringLiteral("80:A0"));
    QCOMPARE(k.log.sent.mid(k.log.sent.size() - 2), (QStringList{"80:A5", "80:70"}));
    QCOMPARE(k.c().flash.mid(7 * 264, size), tableImage(size));
    QCOMPARE(k.c().allocation.mid(12, 4),
             QByteArray("\x00\x07", 2) + char(size >> 8) + char(size & 0xFF));
}

void TestTableProgramming::writtenTableReadsBack_data() {
    QTest::addColumn<bool>("isSingle");
    QTest::newRow("multi-table") << false;
    QTest::newRow("single table") << true;
}

void TestTableProgramming::writtenTableReadsBack() {
    QFETCH(bool, isSingle);
    TableBench k(isSingle ? "type 2\nsensors 0 2\n" : "controller 0 0 4\n");
    const QByteArray table = tableImage(1000, 3);
    const auto r = caltable::ProgramTables(k.h.link, isSingle ? single() : multi(),
                                           plan({{{0}, table}}, 2), k.progress);
    QCOMPARE(r.tables.front().state, TableState::Confirmed);
    QVERIFY(r.complete());
    QCOMPARE(r.store, caltable::AllocationStore::Stored);
    QCOMPARE(caltable::describe(r.tables.front()),
             QStringLiteral("ЗАПИСАНО, страница %1").arg(isSingle ? 0 : 2));
    QCOMPARE(caltable::describe(r.store), QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
    QCOMPARE(caltable::describe(r), QString());
    QCOMPARE(k.c().allocation.size(), isSingle ? 4 : 64);
    const auto read = caltable::ReadAllocation(k.h.link, 0x80, isSingle ? 256 : 264);
    QCOMPARE(read->entries, isSingle ? 1 : 16);
    QCOMPARE(read->table[0], (Entry{static_cast<quint16>(isSingle ? 0 : 2), 1000}));
    k.log.frames.clear();
    const caltable::TableRead back =
        isSingle ? caltable::ReadSingleTableImage(k.h.link, 0x80, read->table[0].size, k.progress)
                 : caltable::ReadTableImage(k.h.link, 0x80, read->table[0], 264, k.progress);
    QCOMPARE(*back.image, table);
    if (isSingle) {
        QCOMPARE(k.log.frames.first(), requestFrame(0x80, 0x72, QByteArray("\x01\x00\x80", 3)));
        QCOMPARE(k.log.frames.size(), 8);
    } else {
        // Pages 2..5: 128, 128, 8 a page, 208 bytes of the last page.
        QCOMPARE(k.log.frames.first(),
                 requestFrame(0x80, 0x53, QByteArray("\x00\x02\x00\x00\x80", 5)));
        QCOMPARE(k.log.frames[2], requestFrame(0x80, 0x53, QByteArray("\x00\x02\x01\x00\x08", 5)));
        QCOMPARE(k.log.frames.size(), 3 + 3 + 3 + 2);
    }
}

void TestTableProgramming::sharedFileWrittenOnce() {
    TableBench k;
    const auto r = caltable::ProgramTables(
        k.h.link, multi(), plan({{{1, 4}, tableImage(500)}, {{2}, tableImage(100, 2)}}),
        k.progress);
    QCOMPARE(r.allocation[1], (Entry{0, 500}));
    QCOMPARE(r.allocation[4], (Entry{0, 500}));
    QCOMPARE(r.allocation[2], (Entry{2, 100}));
    QCOMPARE(payloadsSent(k.log, "52").count(QByteArray("\x01", 1)), 2); // two tables closed
}

// A byte read back wrong: that table is not recorded, the next one is.
void TestTableProgramming::readBackMismatch() {
    TableBench k;
    caltable::Allocation before{};
    before[0] = {0, 300};
    k.c().corruptNextTableAt = 17;
    const auto r = caltable::ProgramTables(
        k.h.link, multi(),
        plan({{{1}, tableImage(300)}, {{2}, tableImage(300, 5)}}, 2, true, before), k.progress);
    QCOMPARE(r.tables[0].state, TableState::Failed);
    QCOMPARE(r.tables[0].reason, TableReason::ReadBackDiffers);
    QCOMPARE(caltable::describe(r.tables[0]), QStringLiteral("ОШИБКА СВЕРКИ"));
    QVERIFY(!r.tables[0].recorded);
    QCOMPARE(r.tables[1].state, TableState::Confirmed);
    QVERIFY(!r.complete());
    QCOMPARE(r.allocation[1], Entry{}); // not recorded
    QCOMPARE(r.allocation[0], before[0]);
    QCOMPARE(r.allocation[2], (Entry{4, 300}));
    QCOMPARE(k.c().allocation.mid(4, 4), QByteArray(4, '\0'));
    QCOMPARE(k.c().allocation.mid(8, 4), QByteArray("\x00\x04\x01\x2C", 4));
    // Without the read-back the fault goes by unseen, and the table is said
    // to be unconfirmed.
    TableBench quick;
    quick.c().corruptNextTableAt = 17;
    const auto q = caltable::ProgramTables(
        quick.h.link, multi(), plan({{{1}, tableImage(300)}}, 0, false), quick.progress);
    QCOMPARE(q.tables.front().state, TableState::WrittenUnconfirmed);
    QCOMPARE(caltable::describe(q.tables.front()),
             QStringLiteral("ЗАПИСАНО, страница 0 (НЕ СВЕРЕНО)"));
    QVERIFY(!quick.log.sent.contains(QStringLiteral("80:53")));
}

// A chunk of the read-back never comes: the table is written, not
// confirmed, and not recorded.
void TestTableProgramming::readBackUnanswered() {
    TableBench k("controller 0 0 4\nunheard 0 53 3\n");
    const auto r =
        caltable::ProgramTables(k.h.link, multi(), plan({{{0}, tableImage(300)}}), k.progress);
    QCOMPARE(r.tables.front().state, TableState::WrittenUnconfirmed);
    QCOMPARE(r.tables.front().reason, TableReason::ReadBackFailed);
    QCOMPARE(caltable::describe(r.tables.front()),
             QStringLiteral("ЗАПИСАНО, страница 0 (НЕ СВЕРЕНО: СБОЙ ЧТЕНИЯ)"));
    QCOMPARE(r.store, caltable::AllocationStore::NotNeeded);
    QCOMPARE(r.nextFreePage, 2); // its pages are taken all the same
    QVERIFY(!k.log.sent.contains(QStringLiteral("80:70")));
    QVERIFY(!r.complete());
}

void TestTableProgramming::refusedBlockNamed_data() {
    QTest::addColumn<bool>("isSingle");
    QTest::addColumn<QString>("said");
    QTest::newRow("multi-table") << false << "СБОЙ ПРОГРАММИРОВАНИЯ НА БЛОКЕ 3 ИЗ 3";
    QTest::newRow("single table") << true << "СБОЙ ПРОГР-Я. АДР.0100H";
}

// A block not taken: named, the table's entry left as it was, the run goes
// on to the next table.
void TestTableProgramming::refusedBlockNamed() {
    QFETCH(bool, isSingle);
    QFETCH(QString, said);
    TableBench k(isSingle ? "type 2\nsensors 0 1\nunheard 0 71 1\n" : "controller 0 0 4\n");
    // The flash has 2048 pages: a table placed past its end is refused.
    std::vector<caltable::TableJob> tables{{{0}, tableImage(300)}};
    if (!isSingle)
        tables.push_back({{1}, tableImage(100)});
    const auto r = caltable::ProgramTables(k.h.link, isSingle ? single() : multi(),
                                           plan(tables, 2047), k.progress);
    const caltable::TableOutcome& t = r.tables.front();
    QCOMPARE(t.reason, TableReason::BlockRefused);
    QCOMPARE(caltable::describe(t), said);
    QVERIFY(!t.recorded);
    QCOMPARE(r.allocation[0], Entry{});
    QVERIFY(!r.lineLost);
    if (!isSingle) {
        // The refused table takes no pages: the next one goes where it was to.
        QCOMPARE(r.tables[1].state, TableState::Confirmed);
        QCOMPARE(r.allocation[1], (Entry{2047, 100}));
        QCOMPARE(r.nextFreePage, 2048);
    }
    QVERIFY(k.log.sent.contains(QStringLiteral("80:A5")));
}

void TestTableProgramming::tooLargeSendsNothing() {
    TableBench s("type 2\nsensors 0 1\n");
    const auto r =
        caltable::ProgramTables(s.h.link, single(), plan({{{0}, tableImage(3841)}}), s.progress);
    QCOMPARE(r.tables.front().reason, TableReason::TooLarge);
    QCOMPARE(caltable::describe(r.tables.front()),
             QStringLiteral("ТАБЛИЦА 3841 БАЙТ, БОЛЬШЕ 3840"));
    QVERIFY(s.log.sent.isEmpty());
    QVERIFY(!r.complete());
}

void TestTableProgramming::serviceEndTriedThrice_data() {
    QTest::addColumn<QString>("unheard");
    QTest::addColumn<bool>("leftOn");
    QTest::newRow("heard at the third try") << "2" << false;
    QTest::newRow("never heard") << "always" << true;
}

// The end of service mode is tried as the end of transit is: three times,
// and a controller that heard none of them is told to whoever watches.
void TestTableProgramming::serviceEndTriedThrice() {
    QFETCH(QString, unheard);
    QFETCH(bool, leftOn);
    TableBench k(qPrintable(QStringLiteral("controller 0 0 4\nunheard 0 A5 %1\n").arg(unheard)));
    const bus::TransitWatch watch(k.h.link);
    const auto r =
        caltable::ProgramTables(k.h.link, multi(), plan({{{0}, tableImage(50)}}), k.progress);
    QCOMPARE(k.log.sent.count(QStringLiteral("80:A5")), 3);
    QCOMPARE(k.c().service, leftOn);
    QCOMPARE(watch.serviceLeftOn(),
             leftOn ? std::set<std::uint8_t>{0x80} : std::set<std::uint8_t>{});
    QVERIFY(watch.leftOn().empty());
    // The tables written stay written; the allocation table follows the end.
    QCOMPARE(r.tables.front().state, TableState::Confirmed);
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:70"));
    QCOMPARE(bus::serviceLeftOnText(0x80),
             QStringLiteral("КИП 1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ"));
}

void TestTableProgramming::silentLine_data() {
    QTest::addColumn<bool>("echoOnly");
    QTest::newRow("silent controller") << false;
    QTest::newRow("nothing but the echo") << true;
}

// No service mode granted: nothing written, the mode ended all the same,
// and the run says the controller did not answer.
void TestTableProgramming::silentLine() {
    QFETCH(bool, echoOnly);
    TableBench k;
    if (echoOnly) {
        k.h.installation->setEcho(true);
        k.h.installation->setNoDevices(true);
    } else {
        k.h.installation->setControllerFault(0, sim::Fault::Silent);
    }
    const auto r =
        caltable::ProgramTables(k.h.link, multi(), plan({{{0}, tableImage(50)}}), k.progress);
    QVERIFY(r.serviceRefused);
    QCOMPARE(r.tables.front().reason, TableReason::ServiceRefused);
    QCOMPARE(caltable::describe(r.tables.front()), QStringLiteral("НЕ ЗАПИСАНО"));
    QCOMPARE(caltable::describe(r), QStringLiteral("КИП не ответил. Попробуйте повторить."));
    QCOMPARE(r.store, caltable::AllocationStore::NotNeeded);
    QCOMPARE(k.log.sent.count(QStringLiteral("80:A0")), 2);
    QCOMPARE(k.log.sent.count(QStringLiteral("80:A5")), bus::kLeaveServiceTries);
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:A5"));
    QVERIFY(!k.log.sent.contains(QStringLiteral("80:52")));
    QVERIFY(!k.log.sent.contains(QStringLiteral("80:70")));
    QVERIFY(!r.complete());
}

void TestTableProgramming::lineLostNamesTheBlock_data() {
    QTest::addColumn<bool>("isSingle");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("said");
    // Multi-table: the first table whole (its block and the close), the
    // line pulled at the second block of the second. Over TCP the dropped
    // connection is noticed by the link in its own time.
    for (const bool tcp : {false, true}) {
        const char* over = tcp ? ", tcp" : "";
        QTest::addRow("multi-table%s", over) << false << tcp << "ОБРЫВ СВЯЗИ НА БЛОКЕ 2 ИЗ 3";
        QTest::addRow("single table%s", over) << true << tcp << "ОБРЫВ СВЯЗИ. АДР.0180H";
    }
}

void TestTableProgramming::lineLostNamesTheBlock() {
    QFETCH(bool, isSingle);
    QFETCH(bool, tcp);
    QFETCH(QString, said);
    TableBench k(isSingle ? "type 2\nsensors 0 1\n" : "controller 0 0 4\n",
                 tcp ? Transport::Tcp : Transport::Direct);
    std::vector<caltable::TableJob> tables;
    if (isSingle) {
        unplugAt(k, "71", 2);
        tables = {{{0}, tableImage(300)}};
    } else {
        unplugAt(k, "52", 4);
        tables = {{{0}, tableImage(100)}, {{1}, tableImage(300)}, {{2}, tableImage(50)}};
    }
    const auto r =
        caltable::ProgramTables(k.h.link, isSingle ? single() : multi(), plan(tables), k.progress);
    QVERIFY(r.lineLost);
    QVERIFY(!k.h.link.isOpen());
    const caltable::TableOutcome& lost = r.tables[isSingle ? 0 : 1];
    QCOMPARE(lost.state, TableState::Failed);
    QCOMPARE(lost.reason, TableReason::LineLost);
    QCOMPARE(caltable::describe(lost), said);
    QCOMPARE(caltable::describe(r), QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."));
    QVERIFY(!r.complete());
    if (isSingle) {
        QCOMPARE(r.store, caltable::AllocationStore::NotNeeded);
        return;
    }
    // The table before it was whole; the one after it was never tried.
    QCOMPARE(r.tables[0].state, TableState::Confirmed);
    QCOMPARE(r.tables[2].reason, TableReason::NotReached);
    QCOMPARE(caltable::describe(r.tables[2]), QStringLiteral("НЕ ЗАПИСАНО"));
    QCOMPARE(r.store, caltable::AllocationStore::Failed);
    QCOMPARE(caltable::describe(r.store), QStringLiteral("СБОЙ ЗАПИСИ ТАБЛИЦЫ РАЗМЕЩЕНИЯ"));
    QCOMPARE(payloadsSent(k.log, "52").size(), 4);
}

void TestTableProgramming::breakNamesTheBlock_data() {
    QTest::addColumn<bool>("isSingle");
    QTest::addColumn<QString>("said");
    QTest::newRow("multi-table") << false << "ПРЕРВАНО НА БЛОКЕ 3 ИЗ 8";
    QTest::newRow("single table") << true << "ПРЕРВАНО. АДР.0200H";
}

// Break between blocks: the block the write had reached is named, the
// tables after it are not tried, the allocation table is left as it was.
void TestTableProgramming::breakNamesTheBlock() {
    QFETCH(bool, isSingle);
    QFETCH(QString, said);
    TableBench k(isSingle ? "type 2\nsensors 0 1\n" : "controller 0 0 4\n");
    const char* block = isSingle ? "71" : "52";
    k.h.link.setPump([&] {
        if (payloadsSent(k.log, block).size() == 2)
            k.progress.requestBreak();
    });
    caltable::Allocation before{};
    before[3] = {0, 60};
    std::vector<caltable::TableJob> tables{{{0}, tableImage(1000)}};
    if (!isSingle)
        tables.push_back({{1}, tableImage(100)});
    const auto r = caltable::ProgramTables(k.h.link, isSingle ? single() : multi(),
                                           plan(tables, 1, true, before), k.progress);
    QCOMPARE(r.tables[0].reason, TableReason::Stopped);
    QCOMPARE(caltable::describe(r.tables[0]), said);
    if (!isSingle)
        QCOMPARE(r.tables[1].reason, TableReason::NotReached);
    QCOMPARE(r.allocation, before);
    QCOMPARE(r.store, caltable::AllocationStore::NotNeeded);
    QCOMPARE(payloadsSent(k.log, block).size(), 2);
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:A5"));
    QVERIFY(!k.c().service);
    QVERIFY(!r.complete());
}

// Break during the read-back: the table is written but not confirmed, and
// not recorded.
void TestTableProgramming::breakDuringReadBack() {
    TableBench k;
    k.h.link.setPump([&] {
        if (!payloadsSent(k.log, "53").isEmpty())
            k.progress.requestBreak();
    });
    const auto r =
        caltable::ProgramTables(k.h.link, multi(), plan({{{0}, tableImage(300)}}), k.progress);
    QCOMPARE(r.tables[0].state, TableState::WrittenUnconfirmed);
    QCOMPARE(r.tables[0].reason, TableReason::Stopped);
    QCOMPARE(caltable::describe(r.tables[0]),
             QStringLiteral("ЗАПИСАНО, страница 0 (НЕ СВЕРЕНО: ПРЕРВАНО)"));
    QCOMPARE(r.store, caltable::AllocationStore::NotNeeded);
}

// The one reading of the page and "tables K read": the allocation table
// first, each table in the service mode (ended after the last), a file only
// for a table that came whole.
void TestTableProgramming::tablesReadIntoFiles_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("said");
    QTest::newRow("whole") << 3 << false << int(caltable::ReadReason::None) << "t.vlm  ГОТОВО";
    QTest::newRow("no table") << 5 << false << int(caltable::ReadReason::NoTable)
                              << "у резервуара 6 нет таблицы";
    QTest::newRow("controller silent") << 3 << true << -1 << QString();
}

void TestTableProgramming::tablesReadIntoFiles() {
    QFETCH(int, row);
    QFETCH(bool, silent);
    QFETCH(int, reason);
    QFETCH(QString, said);
    TableBench k;
    QVERIFY(
        caltable::ProgramTables(k.h.link, multi(), plan({{{3}, tableImage(300)}}, 2), k.progress)
            .complete());
    if (silent)
        k.h.installation->setControllerFault(0, sim::Fault::Silent);
    QTemporaryDir dir;
    const caltable::ReadJob job{row, row + 1, dir.filePath(QStringLiteral("t.vlm"))};
    k.log.sent.clear();
    const caltable::TableReadingResult r =
        caltable::ReadTables(k.h.link, multi(), {job}, k.progress);
    QCOMPARE(r.allocationRead, !silent);
    QCOMPARE(QFileInfo::exists(job.path), reason == int(caltable::ReadReason::None));
    if (silent) {
        // Nothing else is asked of a controller that kept its table to itself.
        QVERIFY(!k.log.sent.contains(QStringLiteral("80:A5")));
        return;
    }
    QCOMPARE(int(r.tables.front().reason), reason);
    QCOMPARE(caltable::describe(r.tables.front(), job, QStringLiteral("t.vlm")), said);
    QCOMPARE(r.complete(), reason == int(caltable::ReadReason::None));
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:A5"));
    if (reason == int(caltable::ReadReason::None)) {
        QCOMPARE(r.tables.front().image, tableImage(300));
        QByteArray back;
        QString status;
        QVERIFY2(caltable::ConvertTableFile(job.path, back, status), qPrintable(status));
        QCOMPARE(back, tableImage(300));
    }
}
