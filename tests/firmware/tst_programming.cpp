#include "tst_programming.h"

#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "firmware/ControllerProgramming.h"
#include "sim/BootLoader.h"

#include <QtTest>

namespace {

using firmware::FirmwareImage;

FirmwareImage image(int start, int end, const QByteArray& version = "REV VQM 5.02") {
    FirmwareImage i;
    i.data = QByteArray(end, '\xFF');
    for (int a = start; a < end; ++a)
        i.data[a] = static_cast<char>((a * 13 + 5) & 0xFF);
    if (end - start > version.size() + 20)
        i.data.replace(start + 16, version.size() + 1, version + '\0');
    i.start = start;
    i.end = end;
    i.usable = true;
    return i;
}

struct Controller {
    explicit Controller(const char* scenario = "type 0\ncontroller 0 0 4\n")
        : h(scenarioFrom(scenario)) {
        h.link.setObserver(&log);
    }
    sim::SimController& c() { return *h.installation->controller(0); }
    SimHarness h;
    CommandLog log;
    app::SilentProgress progress;
};

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"link",
         [](bus::SerialLink& l, std::uint8_t) {
             const bool linked = firmware::ControllerLink(l, 0x80, 0xFF, false).linked;
             firmware::ReleaseBootLoader(l, 0xFF);
             return linked;
         }},
        {"program",
         [](bus::SerialLink& l, std::uint8_t) {
             app::SilentProgress p;
             const bool done = firmware::ControllerLink(l, 0x80, 0xFF, true).linked &&
                               firmware::ProgramController(l, 0xFF, image(0, 600), p).done;
             firmware::ReleaseBootLoader(l, 0xFF);
             return done;
         }},
        {"free",
         [](bus::SerialLink& l, std::uint8_t) {
             firmware::ReleaseBootLoader(l, 0xFF);
             app::SilentProgress p;
             return firmware::AwaitRestart(l, bus::Target::Controller, 0x80, p, 2000).linked;
         }},
    };
    return ops;
}

} // namespace

void TestProgramming::blocks_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QList<int>>("lengths");
    QTest::addColumn<int>("firstWord");
    QTest::newRow("1000 bytes from 0")
        << 0 << 1000 << QList<int>{130, 130, 130, 130, 130, 130, 130, 106} << 0;
    QTest::newRow("size mod 128 = 5") << 0x100 << 0x100 + 128 + 5 << QList<int>{130, 8} << 0x80;
    QTest::newRow("odd start") << 0x101 << 0x181 << QList<int>{130, 4} << 0x80;
}

void TestProgramming::blocks() {
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QList<int>, lengths);
    QFETCH(int, firstWord);
    const FirmwareImage i = image(start, end);
    const auto blocks = firmware::ProgramBlocks(i);
    QList<int> got;
    for (const auto& b : blocks)
        got << static_cast<int>(b.size());
    QCOMPARE(got, lengths);
    QCOMPARE((blocks.front()[0] << 8) | blocks.front()[1], firstWord);
    // What lies outside the image goes as 0xFF.
    if (start % 2)
        QCOMPARE(int(blocks.front()[2]), 0xFF);
    const int pad = (end - (start & ~1)) % 2;
    if (pad)
        QCOMPARE(int(blocks.back().back()), 0xFF);
    QCOMPARE(int(blocks.back()[blocks.back().size() - 1 - pad]),
             int(static_cast<std::uint8_t>(i.data[end - 1])));
}

void TestProgramming::linkAsksThenStartsTheLoader() {
    Controller k;
    const auto r = firmware::ControllerLink(k.h.link, 0x80, 0xFF, false);
    QVERIFY(r.linked);
    QCOMPARE(r.mess, QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QCOMPARE(*r.version, QString::fromLatin1(k.c().version));
    QCOMPARE(*r.date, QStringLiteral("30-11-2026"));
    QCOMPARE(k.log.sent, (QStringList{"80:7C", "80:01", "80:02", "80:5A", "FF:7C"}));
    QVERIFY(k.c().inBootLoader[0]);
    // The fields already filled are not asked again.
    Controller again;
    firmware::ControllerLink(again.h.link, 0x80, 0xFF, false, false, false);
    QCOMPARE(again.log.sent, (QStringList{"80:7C", "80:5A", "FF:7C"}));
}

void TestProgramming::emergencyLinkGoesStraightToTheLoader() {
    Controller k;
    const auto r = firmware::ControllerLink(k.h.link, 0x80, 0xFF, true);
    QVERIFY(r.linked);
    QVERIFY(!r.version);
    QCOMPARE(k.log.sent, (QStringList{"80:5A", "FF:7C"}));
}

void TestProgramming::silentControllerIsNotLinked() {
    Controller k;
    k.h.installation->setControllerFault(0, sim::Fault::Silent);
    const auto r = firmware::ControllerLink(k.h.link, 0x80, 0xFF, false);
    QVERIFY(!r.linked);
    QCOMPARE(r.mess, QStringLiteral("НЕТ ОТВЕТА"));
    QCOMPARE(k.log.sent, QStringList{"80:7C"});
    // A loader that does not report itself is no link either.
    ScriptedLink s({bus::encodeReply(0x80, 0x5A, QByteArray("\x01", 1)),
                    bus::encodeReply(0xFF, 0x7C, QByteArray("\x00\x00", 2))});
    QVERIFY(!firmware::ControllerLink(s.link, 0x80, 0xFF, true).linked);
}

void TestProgramming::flashEqualsTheImage_data() {
    QTest::addColumn<bool>("keyboard");
    QTest::newRow("main processor") << false;
    QTest::newRow("keyboard/display processor") << true;
}

void TestProgramming::flashEqualsTheImage() {
    QFETCH(bool, keyboard);
    auto installation =
        std::make_shared<sim::Installation>(scenarioFrom("type 0\ncontroller 0 0 4\n"));
    bus::SerialLink link;
    const QString port =
        keyboard ? sim::SimulatedLine::kKeyboardPortName : sim::SimulatedLine::kPortName;
    link.addVirtualPort(port, sim::simulatedPortOpener(installation, false, true));
    QVERIFY(link.OpenPort(port));
    const FirmwareImage i = image(0x40, 0x40 + 3000 + 1);
    QVERIFY(firmware::ControllerLink(link, 0x80, 0xFF, keyboard).linked);
    app::SilentProgress progress;
    const auto r = firmware::ProgramController(link, 0xFF, i, progress);
    QVERIFY(r.done);
    QCOMPARE(r.mess, QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    QCOMPARE(r.blocksSent, 24);
    const sim::SimController& c = *installation->controller(0);
    QCOMPARE(c.program[keyboard ? 1 : 0].mid(0x40, i.end - 0x40), i.data.mid(0x40));
    firmware::ReleaseBootLoader(link, 0xFF);
    QVERIFY(!c.inBootLoader[keyboard ? 1 : 0]);
    if (!keyboard) {
        // The restarted firmware tells what now runs.
        const auto back = firmware::AwaitRestart(link, bus::Target::Controller, 0x80, progress);
        QVERIFY(back.linked);
        QCOMPARE(*back.version, QStringLiteral("REV VQM 5.02"));
    }
}

void TestProgramming::failureNamesTheAddress_data() {
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QString>("mess");
    const QByteArray ok = bus::encodeReply(0xFF, 0x50, QByteArray("\x01", 1));
    QTest::newRow("refused third block")
        << QByteArrayList{ok, ok, bus::encodeReply(0xFF, 0x50, QByteArray(1, '\0'))}
        << "СБОЙ ПРОГРАММИРОВАНИЯ(00280)";
    QTest::newRow("silent third block")
        << QByteArrayList{ok, ok} << "ПОТЕРЯ СВЯЗИ(00280)";
    QTest::newRow("reply to another command")
        << QByteArrayList{ok, ok, bus::encodeReply(0xFF, 0x51, QByteArray("\x01", 1))}
        << "ПОТЕРЯ СВЯЗИ(00280)";
}

void TestProgramming::failureNamesTheAddress() {
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, mess);
    ScriptedLink s(replies);
    app::SilentProgress progress;
    const auto r = firmware::ProgramController(s.link, 0xFF, image(0x100, 0x400), progress);
    QVERIFY(!r.done);
    QCOMPARE(r.mess, mess);
    QCOMPARE(r.blocksSent, 3);
}

void TestProgramming::faultMidImage_data() {
    QTest::addColumn<QString>("fault");
    for (const char* f : {"silent", "checksum", "address", "late", "truncated"})
        QTest::newRow(f) << QString::fromLatin1(f);
}

void TestProgramming::faultMidImage() {
    QFETCH(QString, fault);
    Controller k("late 4000\ntype 0\ncontroller 0 0 4\n");
    QVERIFY(firmware::ControllerLink(k.h.link, 0x80, 0xFF, true).linked);
    k.h.link.setPump([&] {
        if (k.log.sent.count(QStringLiteral("FF:50")) == 3)
            k.h.installation->setControllerFault(0, *sim::faultFromName(fault));
    });
    const auto r = firmware::ProgramController(k.h.link, 0xFF, image(0, 1000), k.progress);
    QVERIFY(!r.done);
    // The fault came with the third block's answer on its way: the fourth
    // is the first lost; confirmed is what lies below its start, and the
    // message names the address past it, the last block sent.
    QCOMPARE(r.mess, QStringLiteral("ПОТЕРЯ СВЯЗИ(00200)"));
    QCOMPARE(r.end, firmware::ProgramEnd::LineLost);
    QCOMPARE(r.reached, 0x180);
    QCOMPARE(r.blocksSent, 4);
    // The loader is still there for another PROG once the line is sound.
    k.h.link.setPump({});
    k.h.installation->setControllerFault(0, sim::Fault::None);
    k.h.line->advance(std::chrono::milliseconds(4500));
    QVERIFY(firmware::ProgramController(k.h.link, 0xFF, image(0, 1000), k.progress).done);
}

// The update as the page and the CLI run it: FREE and the question to the
// restarted device only after a whole PROG, and the outcome said once.
void TestProgramming::updateEndsWithTheRestartedDevice_data() {
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("restarted");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QString>("said");
    QTest::newRow("answers") << "never" << true << true << "ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО";
    QTest::newRow("silent after FREE")
        << "FF:A5" << true << false
        << "ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО; УСТРОЙСТВО НЕ ОТВЕЧАЕТ ПОСЛЕ ПЕРЕЗАПУСКА";
    QTest::newRow("silent mid-write")
        << "FF:50" << false << false << "ПОТЕРЯ СВЯЗИ(00200)";
}

void TestProgramming::updateEndsWithTheRestartedDevice() {
    QFETCH(QString, when);
    QFETCH(bool, restarted);
    QFETCH(bool, done);
    QFETCH(QString, said);
    Controller k;
    QVERIFY(firmware::ControllerLink(k.h.link, 0x80, 0xFF, true).linked);
    k.h.link.setPump([&] {
        if (k.log.sent.count(when) == (when == QLatin1String("FF:50") ? 3 : 1))
            k.h.installation->setControllerFault(0, sim::Fault::Silent);
    });
    const firmware::UpdateResult r =
        firmware::UpdateController(k.h.link, 0xFF, 0x80, image(0, 1000), k.progress);
    QCOMPARE(r.restarted.has_value(), restarted);
    QCOMPARE(r.done(), done);
    QCOMPARE(firmware::describe(r), said);
    // A PROG stopped short keeps the loader for another try.
    QCOMPARE(k.c().inBootLoader[0], !restarted);
    QCOMPARE(k.log.sent.contains(QStringLiteral("FF:A5")), restarted);
    if (done)
        QCOMPARE(r.restarted->version.value_or(QString()), QStringLiteral("REV VQM 5.02"));
}

void TestProgramming::unusableImageSendsNothing() {
    Controller k;
    FirmwareImage i = image(0, 500);
    i.usable = false;
    const auto r = firmware::ProgramController(k.h.link, 0xFF, i, k.progress);
    QVERIFY(!r.done);
    QVERIFY(k.log.sent.isEmpty());
}

void TestProgramming::breakLeavesTheLoaderLinked() {
    Controller k;
    QVERIFY(firmware::ControllerLink(k.h.link, 0x80, 0xFF, true).linked);
    k.h.link.setPump([&] {
        if (k.log.sent.count(QStringLiteral("FF:50")) == 2)
            k.progress.requestBreak();
    });
    const auto r = firmware::ProgramController(k.h.link, 0xFF, image(0, 1000), k.progress);
    QVERIFY(r.stopped);
    // Two blocks confirmed: the third, at 0x100, was not sent.
    QCOMPARE(r.blocksSent, 2);
    QCOMPARE(r.reached, 0x100);
    QCOMPARE(r.mess, QStringLiteral("ПРОГРАММИРОВАНИЕ ПРЕРВАНО(00100)"));
    QVERIFY(k.c().inBootLoader[0]);
    k.h.link.setPump({});
    // Another PROG starts over.
    k.progress.ShowProgress(0);
    QVERIFY(firmware::ProgramController(k.h.link, 0xFF, image(0, 1000), k.progress).done);
}

void TestProgramming::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestProgramming::lineFaults() {
    // The longest: LINK, then FREE asking about once a second for 2 s.
    faultmatrix::run(operations(), 4 * 500 + 100 + 2 * 1100 + 2000, true);
}
