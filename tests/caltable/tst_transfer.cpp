#include "tst_transfer.h"

#include "app/Progress.h"
#include "caltable/TableTransfer.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"

#include <QtTest>

namespace {

using caltable::Entry;
using caltable::JobOutcome;

struct Controller {
    explicit Controller(const char* scenario = "controller 0 0 4\n") : h(scenarioFrom(scenario)) {
        h.link.setObserver(&log);
    }
    sim::SimController& c() { return *h.installation->controller(0); }
    SimHarness h;
    CommandLog log;
    app::SilentProgress progress;
};

QByteArray image(int size, int seed = 1) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 7 + seed * 13) & 0xFF);
    return b;
}

// The payloads of the 0x52 requests sent.
QByteArrayList blocksSent(const CommandLog& log) {
    QByteArrayList out;
    for (const QByteArray& f : log.frames)
        if (f.mid(3, 2) == "52") {
            const auto r = bus::decodeRequest(f);
            out << (r ? r->payload : QByteArray("?"));
        }
    return out;
}

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"read allocation",
         [](bus::SerialLink& l, std::uint8_t) {
             return caltable::ReadAllocation(l, 0x80, 264).has_value();
         }},
        {"write allocation",
         [](bus::SerialLink& l, std::uint8_t) {
             caltable::Allocation a{};
             a[0] = {0, 60};
             return caltable::StoreAllocationTable(l, 0x80, a, false);
         }},
        {"program",
         [](bus::SerialLink& l, std::uint8_t) {
             app::SilentProgress p;
             const auto r =
                 caltable::ProgramTables(l, 0x80, false, {}, {{{0}, image(300)}}, 0, 264, true, p);
             return r.outcomes.front() == JobOutcome::Written;
         }},
        {"read tables",
         [](bus::SerialLink& l, std::uint8_t) {
             app::SilentProgress p;
             return caltable::ReadTableImage(l, 0x80, {0, 300}, 264, p).image.has_value();
         }},
    };
    return ops;
}

} // namespace

void TestTransfer::blocksAndPages_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<int>("pages");
    QTest::newRow("264 bytes") << 264 << QList<int>{128 + 5, 128 + 1, 8 + 1, 1} << 1;
    QTest::newRow("265 bytes") << 265 << QList<int>{128 + 5, 128 + 1, 9 + 1, 1} << 2;
    QTest::newRow("6 bytes") << 6 << QList<int>{6 + 5, 1} << 1;
}

void TestTransfer::blocksAndPages() {
    QFETCH(int, size);
    QFETCH(QList<int>, blocks);
    QFETCH(int, pages);
    Controller k;
    const auto r = caltable::ProgramTables(k.h.link, 0x80, false, {}, {{{3}, image(size)}}, 7, 264,
                                           false, k.progress);
    QCOMPARE(r.outcomes.front(), JobOutcome::Written);
    const QByteArrayList sent = blocksSent(k.log);
    QList<int> lengths;
    for (const QByteArray& b : sent)
        lengths << static_cast<int>(b.size());
    QCOMPARE(lengths, blocks);
    QCOMPARE(sent.first().left(5), QByteArray("\x02\x00\x07\x00\x00", 5));
    QCOMPARE(sent.last(), QByteArray("\x01", 1));
    QCOMPARE(r.nextFreePage, 7 + pages);
    QCOMPARE(r.table[3], (Entry{7, static_cast<quint16>(size)}));
    // Framed by the service mode; the allocation table is left alone.
    QCOMPARE(k.log.sent.first(), QStringLiteral("80:A0"));
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:A5"));
    QVERIFY(!k.log.sent.contains(QStringLiteral("80:70")));
    QCOMPARE(k.c().flash.mid(7 * 264, size), image(size));
}

void TestTransfer::pageSize_data() {
    QTest::addColumn<QString>("flash");
    QTest::addColumn<int>("size");
    QTest::newRow("told") << "" << 264;
    QTest::newRow("large pages") << "flash 0 528\n" << 528;
    QTest::newRow("silent") << "flash 0 silent\n" << 528;
    QTest::newRow("zero") << "flash 0 zero\n" << 264;
}

void TestTransfer::pageSize() {
    QFETCH(QString, flash);
    QFETCH(int, size);
    Controller k(qPrintable(QStringLiteral("controller 0 0 4\n") + flash));
    QCOMPARE(caltable::ReadPageSize(k.h.link, 0x80), size);
    QCOMPARE(k.log.frames, QByteArrayList{requestFrame(0x80, 0x78)});
}

void TestTransfer::allocationRoundTrip() {
    Controller k;
    caltable::Allocation a{};
    a[0] = {0, 600};    // pages 0..2
    a[1] = {3, 264};    // page 3
    a[5] = {3, 264};    // the same table for tank 6
    a[15] = {10, 1200}; // pages 10..14
    QVERIFY(caltable::StoreAllocationTable(k.h.link, 0x80, a, false));
    QCOMPARE(k.c().allocation.size(), 64);
    QCOMPARE(k.c().allocation.left(8), QByteArray("\x00\x00\x02\x58\x00\x03\x01\x08", 8));
    const auto r = caltable::ReadAllocation(k.h.link, 0x80, 264);
    QVERIFY(r);
    QCOMPARE(r->entries, 16);
    QCOMPARE(r->table, a);
    QCOMPARE(r->firstFreePage, 15);
    QVERIFY(r->anyTable);
}

void TestTransfer::emptyEntries() {
    Controller k;
    k.c().allocation = QByteArray(64, '\0');
    k.c().allocation.replace(0, 4, QByteArray("\x00\x02\xFF\xFF", 4));
    k.c().allocation.replace(8, 4, QByteArray("\x00\x04\x00\x0C", 4));
    const auto r = caltable::ReadAllocation(k.h.link, 0x80, 264);
    QVERIFY(r->table[0].empty());
    QCOMPARE(r->table[0], Entry{});
    QCOMPARE(r->table[2], (Entry{4, 12}));
    QCOMPARE(r->firstFreePage, 5);
    // Nothing at all: no tables.
    k.c().allocation = QByteArray(64, '\xFF');
    const auto none = caltable::ReadAllocation(k.h.link, 0x80, 264);
    QVERIFY(!none->anyTable);
    QCOMPARE(none->firstFreePage, 0);
    // A short reply changes nothing.
    ScriptedLink s({bus::encodeReply(0x80, 0x7A, QByteArray("\x00\x01\x02", 3))});
    QVERIFY(!caltable::ReadAllocation(s.link, 0x80, 264));
}

void TestTransfer::writtenTableReadsBack_data() {
    QTest::addColumn<bool>("single");
    QTest::newRow("multi-table") << false;
    QTest::newRow("single table") << true;
}

void TestTransfer::writtenTableReadsBack() {
    QFETCH(bool, single);
    Controller k(single ? "type 2\nsensors 0 2\n" : "controller 0 0 4\n");
    const QByteArray table = image(1000, 3);
    const auto r = caltable::ProgramTables(k.h.link, 0x80, single, {}, {{{0}, table}}, 2, 264, true,
                                           k.progress);
    QCOMPARE(r.outcomes.front(), JobOutcome::Written);
    QCOMPARE(r.table[0], (Entry{static_cast<quint16>(single ? 0 : 2), 1000}));
    QVERIFY(caltable::StoreAllocationTable(k.h.link, 0x80, r.table, single));
    QCOMPARE(k.c().allocation.size(), single ? 4 : 64);
    const auto read = caltable::ReadAllocation(k.h.link, 0x80, single ? 256 : 264);
    QCOMPARE(read->entries, single ? 1 : 16);
    k.log.frames.clear();
    const caltable::TableRead back =
        single ? caltable::ReadSingleTableImage(k.h.link, 0x80, read->table[0].size, k.progress)
               : caltable::ReadTableImage(k.h.link, 0x80, read->table[0], 264, k.progress);
    QCOMPARE(*back.image, table);
    if (single) {
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

void TestTransfer::sharedFileWrittenOnce() {
    Controller k;
    const auto r = caltable::ProgramTables(k.h.link, 0x80, false, {},
                                           {{{1, 4}, image(500)}, {{2}, image(100, 2)}}, 0, 264,
                                           true, k.progress);
    QCOMPARE(r.table[1], (Entry{0, 500}));
    QCOMPARE(r.table[4], (Entry{0, 500}));
    QCOMPARE(r.table[2], (Entry{2, 100}));
    QCOMPARE(blocksSent(k.log).count(QByteArray("\x01", 1)), 2); // two tables closed
}

void TestTransfer::corruptedByteCaught() {
    Controller k;
    caltable::Allocation before{};
    before[0] = {0, 300};
    k.c().corruptNextTableAt = 17;
    const auto r = caltable::ProgramTables(k.h.link, 0x80, false, before,
                                           {{{1}, image(300)}, {{2}, image(300, 5)}}, 2, 264, true,
                                           k.progress);
    QCOMPARE(r.outcomes, (std::vector<JobOutcome>{JobOutcome::VerifyFailed, JobOutcome::Written}));
    QCOMPARE(r.table[1], Entry{}); // not recorded
    QCOMPARE(r.table[0], before[0]);
    QCOMPARE(r.table[2], (Entry{4, 300}));
    // Without the read-back the fault goes by unseen.
    Controller quick;
    quick.c().corruptNextTableAt = 17;
    const auto q = caltable::ProgramTables(quick.h.link, 0x80, false, {}, {{{1}, image(300)}}, 0,
                                           264, false, quick.progress);
    QCOMPARE(q.outcomes.front(), JobOutcome::Written);
    QVERIFY(!quick.log.sent.contains(QStringLiteral("80:53")));
}

void TestTransfer::refusedTableKeepsItsEntry() {
    Controller k;
    // The flash has 2048 pages: a table placed past its end is refused.
    const auto r = caltable::ProgramTables(k.h.link, 0x80, false, {}, {{{0}, image(300)}}, 2047,
                                           264, true, k.progress);
    QCOMPARE(r.outcomes.front(), JobOutcome::Refused);
    QCOMPARE(r.failedAt.front(), 2);
    QCOMPARE(r.table[0], Entry{});
    QCOMPARE(r.nextFreePage, 2047);
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:A5"));
    // A single table larger than its memory is refused before any frame:
    // written on, it would run past 0x1000 and never read back.
    Controller s("type 2\nsensors 0 1\n");
    const auto sr = caltable::ProgramTables(s.h.link, 0x80, true, {}, {{{0}, image(3841)}}, 0, 256,
                                            true, s.progress);
    QCOMPARE(sr.outcomes.front(), JobOutcome::TooLarge);
    QVERIFY(s.log.sent.isEmpty());
}

void TestTransfer::serviceModeAlwaysEnded() {
    Controller k;
    k.h.installation->setControllerFault(0, sim::Fault::Silent);
    const auto r = caltable::ProgramTables(k.h.link, 0x80, false, {}, {{{0}, image(50)}}, 0, 264,
                                           true, k.progress);
    QVERIFY(r.serviceRefused);
    QCOMPARE(r.outcomes.front(), JobOutcome::NotTried);
    QCOMPARE(k.log.sent, (QStringList{"80:A0", "80:A0", "80:A5"}));
}

void TestTransfer::breakLeavesTheTableAsItWas() {
    Controller k;
    caltable::Allocation before{};
    before[3] = {0, 60};
    k.h.link.setPump([&] {
        if (blocksSent(k.log).size() == 2)
            k.progress.requestBreak();
    });
    const auto r = caltable::ProgramTables(k.h.link, 0x80, false, before, {{{0}, image(1000)}}, 1,
                                           264, true, k.progress);
    QCOMPARE(r.outcomes.front(), JobOutcome::Stopped);
    QCOMPARE(r.table, before);
    QCOMPARE(blocksSent(k.log).size(), 2);
    QCOMPARE(k.log.sent.last(), QStringLiteral("80:A5"));
    QVERIFY(!k.c().service);
}

void TestTransfer::chunkLostThreeTimesGivesNoTable() {
    const QByteArray chunk = bus::encodeReply(0x80, 0x53, QByteArray(1, 1) + image(128));
    const QByteArray broken = bus::encodeReply(0x80, 0x53, QByteArray("\x01\x02", 2));
    ScriptedLink s({chunk, broken, broken, broken, chunk});
    app::SilentProgress progress;
    const auto r = caltable::ReadTableImage(s.link, 0x80, {0, 300}, 264, progress);
    QVERIFY(!r.image);
    QVERIFY(!r.stopped);
    QCOMPARE(
        s.device->written.count(requestFrame(0x80, 0x53, QByteArray("\x00\x00\x00\x80\x80", 5))),
        3);
}

void TestTransfer::clearing() {
    Controller k;
    QVERIFY(caltable::ClearAllocationTable(k.h.link, 0x80, false));
    QCOMPARE(k.c().allocation, QByteArray(64, '\0'));
    QVERIFY(!caltable::ReadAllocation(k.h.link, 0x80, 264)->anyTable);
    Controller s("type 2\nsensors 0 1\n");
    QVERIFY(caltable::ClearAllocationTable(s.h.link, 0x80, true));
    QCOMPARE(s.c().allocation, QByteArray(4, '\0'));
    QCOMPARE(s.log.frames, QByteArrayList{requestFrame(0x80, 0x70, QByteArray(4, '\0'))});
}

void TestTransfer::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestTransfer::lineFaults() {
    // The longest: 0xA0 twice, three blocks and their read-back, 0xA5. A
    // chunk is asked three times over 6 s: the late answer comes later.
    faultmatrix::run(operations(), 2 * 1000 + 4 * 2000 + 3 * 3 * 2000 + 1000 + 2000, true, 8000);
}
