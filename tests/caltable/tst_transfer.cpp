#include "tst_transfer.h"

#include "TableBench.h"
#include "app/Progress.h"
#include "caltable/TableProgramming.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "link/Transit.h"

#include <QtTest>

namespace {

using caltable::Entry;
using Controller = TableBench;

QByteArray image(int size, int seed = 1) {
    return tableImage(size, seed);
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
             caltable::TablePlan plan;
             plan.tables = {{{0}, image(300)}};
             return caltable::ProgramTables(l, {0x80, false, 264}, plan, p).complete();
         }},
        {"read tables",
         [](bus::SerialLink& l, std::uint8_t) {
             app::SilentProgress p;
             return caltable::ReadTableImage(l, 0x80, {0, 300}, 264, p).image.has_value();
         }},
        {"read tables and end",
         [](bus::SerialLink& l, std::uint8_t) {
             app::SilentProgress p;
             bus::ServiceMode reading(l, 0x80, bus::ServiceMode::Start::AlreadyIn);
             const bool read =
                 caltable::ReadTableImage(l, 0x80, {0, 300}, 264, p).image.has_value();
             return reading.end() && read;
         }},
    };
    return ops;
}

} // namespace

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
    // The longest: 0xA0 twice, three blocks and their read-back, 0xA5 three
    // times. A chunk is asked three times over 6 s: the late answer comes
    // later.
    faultmatrix::run(operations(), 2 * 1000 + 4 * 2000 + 3 * 3 * 2000 + 3 * 1000 + 2000, true,
                     8000);
}
