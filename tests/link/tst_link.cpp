#include "common/CommandLog.h"
#include "common/ScriptedDevice.h"
#include "common/SimHarness.h"
#include "link/Command.h"
#include "link/DeviceText.h"
#include "link/Exchange.h"
#include "link/FrameCodec.h"
#include "link/PortCatalogue.h"
#include "link/SensorAddress.h"
#include "link/SerialLink.h"
#include "link/SerialPortDevice.h"
#include "link/TcpPortDevice.h"
#include "link/Transit.h"
#include "sim/WritingRequests.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using bus::Buffer;

namespace {

QByteArray withChecksum(QByteArray head) {
    std::uint8_t x = 0;
    for (char c : head)
        x ^= static_cast<std::uint8_t>(c);
    return head + QByteArray::number(x, 16).toUpper().rightJustified(2, '0');
}

QByteArray encode(std::uint8_t address, std::uint8_t command, const QByteArray& payload) {
    Buffer out{};
    const auto* p = reinterpret_cast<const std::uint8_t*>(payload.constData());
    const int n =
        bus::encodeRequest(out, address, command, {p, static_cast<std::size_t>(payload.size())});
    return n < 0 ? QByteArray("refused") : QByteArray(reinterpret_cast<const char*>(out.data()), n);
}

struct Parsed {
    int result;
    bus::ReplyFields fields;
    QByteArray data;
};

Parsed parse(const QByteArray& chars) {
    Buffer buf{};
    std::copy(chars.begin(), chars.end(), buf.begin());
    Parsed p{};
    p.result = bus::parseReply(buf, static_cast<int>(chars.size()), p.fields);
    if (p.result >= 0)
        p.data = QByteArray(reinterpret_cast<const char*>(buf.data()), p.result);
    return p;
}

struct CountingObserver : bus::LinkObserver {
    QList<QByteArray> sent;
    QByteArray received;
    void frameSent(qint64, QByteArrayView f) override { sent.append(f.toByteArray()); }
    void charactersReceived(qint64, QByteArrayView c) override { received.append(c.toByteArray()); }
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT
  private slots:
    void remotePortNames_data();
    void remotePortNames();
    void roundTripFollowsTheLine_data();
    void roundTripFollowsTheLine();
    void telnetDecoding_data();
    void telnetDecoding();
    void telnetEscaping();
    void requestFrames_data();
    void requestFrames();
    void replies_data();
    void replies();
    void rawTextReplyKeepsCharacters();
    void rawTextOutsideTheProtocolRefused_data();
    void rawTextOutsideTheProtocolRefused();
    void deviceSideRoundTrip_data();
    void deviceSideRoundTrip();

    void closedLinkSendsNothing();
    void readVersionFromSimulator();
    void faults_data();
    void faults();
    void echoOfTheRequest_data();
    void echoOfTheRequest();
    void echoingSimulatedLine_data();
    void echoingSimulatedLine();
    void latePurgedBeforeNextRequest();
    void secondTransactionRefusedWhileWaiting();
    void replyLargerThanBuffer();
    void replyWithoutFrameEndNeverRead();
    void observerSeesTheLine();
    void unpluggedPortEndsTheWait();
    void transit();
    void transitAnswers_data();
    void transitAnswers();
    void leavingTransitTriedThrice_data();
    void leavingTransitTriedThrice();
    void enteringTransitTriedAsAsked_data();
    void enteringTransitTriedAsAsked();
    void transitScopeOnEveryWayOut_data();
    void transitScopeOnEveryWayOut();
    void sensorAnswerProvesTransit_data();
    void sensorAnswerProvesTransit();
    void deviceTextsEndAtTheirZero_data();
    void deviceTextsEndAtTheirZero();
    void openMissingPortGivesErrorBox();
    void openErrorsExplained_data();
    void openErrorsExplained();
    void suffixesEndInLatinO();
    void catalogueNamesPerTarget();
    void catalogueAnswers_data();
    void catalogueAnswers();
    void exchangeFollowsEveryRow();
    void lineMonitorNames();
    void lineMonitorLines_data();
    void lineMonitorLines();
    void naturalOrder_data();
    void naturalOrder();
    void phantomPortsAndStableNames();
    void setSensorAddress();
    void setSensorAddressWithTwoSensors();
    void sensorCellsOnlyThroughTransit();
    void writeMarksAgreeWithTheDevices();
    void readOnlyRefusesEveryWritingForm();
    void readOnlyStopsWritingFramesAtTheLink_data();
    void readOnlyStopsWritingFramesAtTheLink();
    void readOnlyKeepsReadingAndTransit();
};

void TestLink::requestFrames_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("no payload") << 0x05 << 0x01 << QByteArray() << withChecksum("@050100") + "*\r";
    QTest::newRow("byte 0x0A as 0 and A")
        << 0x20 << 0x07 << QByteArray("\x0A", 1) << withChecksum("@2007010A") + "*\r";
    QTest::newRow("controller address")
        << 0x82 << 0x0A << QByteArray() << withChecksum("@820A00") + "*\r";
    QTest::newRow("0x83 with 0x91 fully hex")
        << 0x03 << 0x83 << QByteArray("\x91\x12\x34", 3) << withChecksum("@038303911234") + "*\r";
    QTest::newRow("0x83 with 0x85 raw text") << 0x03 << 0x83
                                             << QByteArray("\x85"
                                                           "10AB",
                                                           5)
                                             << withChecksum("@03830385"
                                                             "10AB") +
                                                    "*\r";
    QTest::newRow("0x83 with 0xD2 raw text") << 0x01 << 0x83
                                             << QByteArray("\xD2"
                                                           "1F",
                                                           3)
                                             << withChecksum("@018302D2"
                                                             "1F") +
                                                    "*\r";
    QTest::newRow("raw text of odd length refused") << 0x03 << 0x83
                                                    << QByteArray("\x85"
                                                                  "1",
                                                                  2)
                                                    << QByteArray("refused");
    QTest::newRow("255 bytes") << 0x01 << 0x52 << QByteArray(255, '\x01')
                               << withChecksum("@0152FF" +
                                               QByteArray(255 * 2, '0').replace("00", "01")) +
                                      "*\r";
    QTest::newRow("256 bytes refused")
        << 0x01 << 0x52 << QByteArray(256, '\x01') << QByteArray("refused");
}

void TestLink::requestFrames() {
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);
    QCOMPARE(
        encode(static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(command), payload),
        frame);
}

// Raw text is identifier text: a character outside upper-case hex never
// goes into a frame, whatever the caller hands over. The characters just
// past each range of digits and letters are refused, the edges taken.
void TestLink::rawTextOutsideTheProtocolRefused_data() {
    QTest::addColumn<int>("cell");
    QTest::addColumn<char>("character");
    QTest::addColumn<bool>("sent");
    for (const int cell : {0x81, 0x8E, 0xD0, 0xD4}) {
        const QByteArray c = QByteArray::number(cell, 16);
        QTest::addRow("%s '0'", c.constData()) << cell << '0' << true;
        QTest::addRow("%s '9'", c.constData()) << cell << '9' << true;
        QTest::addRow("%s 'A'", c.constData()) << cell << 'A' << true;
        QTest::addRow("%s 'F'", c.constData()) << cell << 'F' << true;
        QTest::addRow("%s '@'", c.constData()) << cell << '@' << false;
        QTest::addRow("%s '*'", c.constData()) << cell << '*' << false;
        QTest::addRow("%s CR", c.constData()) << cell << '\r' << false;
    }
    QTest::newRow("'/' below the digits") << 0x85 << '/' << false;
    QTest::newRow("':' above the digits") << 0x85 << ':' << false;
    QTest::newRow("'G' above the letters") << 0x85 << 'G' << false;
    QTest::newRow("lower case 'a'") << 0x85 << 'a' << false;
    QTest::newRow("space") << 0x85 << ' ' << false;
    QTest::newRow("zero byte") << 0x85 << '\0' << false;
    QTest::newRow("high byte") << 0x85 << '\xC0' << false;
}

void TestLink::rawTextOutsideTheProtocolRefused() {
    QFETCH(int, cell);
    QFETCH(char, character);
    QFETCH(bool, sent);
    QByteArray payload = QByteArray(1, char(cell)) + "10AB0014F0100321";
    payload[8] = character;
    const QByteArray frame = encode(0x03, 0x83, payload);
    QCOMPARE(frame != "refused", sent);
    if (sent)
        QCOMPARE(frame.mid(9, 16), payload.mid(1));
}

void TestLink::replies_data() {
    QTest::addColumn<QByteArray>("chars");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("data");

    const QByteArray ok = withChecksum("@8001031A2B3C") + "*\r";
    QTest::newRow("valid") << ok << 3 << QByteArray("\x1A\x2B\x3C");
    QTest::newRow("length 0") << withChecksum("@800100") + "*" << 0 << QByteArray();
    QTest::newRow("garbage before") << "x@@12" + ok << 3 << QByteArray("\x1A\x2B\x3C");
    QTest::newRow("two frames: the second")
        << withChecksum("@80010155") + "*\r" + withChecksum("@81010166") + "*\r" << 1
        << QByteArray("\x66");
    QByteArray flipped = ok;
    flipped[8] = '0';
    QTest::newRow("flipped digit") << flipped << -1 << QByteArray();
    QByteArray badSum = ok;
    badSum[13] = badSum[13] == '0' ? '1' : '0';
    QTest::newRow("checksum") << badSum << -1 << QByteArray();
    QTest::newRow("eight characters") << QByteArray("@8001001") << -1 << QByteArray();
    QTest::newRow("no @") << QByteArray("8001031A2B3C00*\r") << -1 << QByteArray();
    QTest::newRow("data shorter than length")
        << withChecksum("@80010A1A") + "*" << -1 << QByteArray();
    QTest::newRow("too short after the last @")
        << QByteArray("@8001000000*\r@80") << -1 << QByteArray();
}

void TestLink::replies() {
    QFETCH(QByteArray, chars);
    QFETCH(int, result);
    QFETCH(QByteArray, data);
    const Parsed p = parse(chars);
    QCOMPARE(p.result, result);
    if (result >= 0)
        QCOMPARE(p.data, data);
}

void TestLink::rawTextReplyKeepsCharacters() {
    const Parsed p = parse(withChecksum("@03030585"
                                        "10AB00CD") +
                           "*\r");
    QCOMPARE(p.result, 9);
    QCOMPARE(int(p.fields.length), 4);
    QCOMPARE(int(p.fields.firstByte), 0x85);
    QCOMPARE(p.data, QByteArray("\x85"
                                "10AB00CD"));
    // Another first byte is an ordinary hex reply.
    const Parsed q = parse(withChecksum("@0303028010") + "*\r");
    QCOMPARE(q.result, 2);
    QCOMPARE(q.data, QByteArray("\x80\x10"));
}

void TestLink::deviceSideRoundTrip_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("empty") << 0x01 << QByteArray();
    QTest::newRow("bytes") << 0x36 << QByteArray("\x01\xFF\x00\x7F\x80", 5);
    QTest::newRow("raw text") << 0x83
                              << QByteArray("\x86"
                                            "0123456789ABCDEF",
                                            17);
}

void TestLink::deviceSideRoundTrip() {
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    const auto req = bus::decodeRequest(encode(0x11, static_cast<std::uint8_t>(command), payload));
    QVERIFY(req);
    QCOMPARE(int(req->address), 0x11);
    QCOMPARE(int(req->command), command);
    QCOMPARE(req->payload, payload);
    // A device answer comes back through the master's parser unchanged.
    const Parsed p = parse(bus::encodeReply(0x11, static_cast<std::uint8_t>(command), payload));
    QCOMPARE(p.result, int(payload.size()));
    if (command != 0x83)
        QCOMPARE(p.data, payload);
}

void TestLink::closedLinkSendsNothing() {
    bus::SerialLink l;
    QVERIFY(!l.isOpen());
    QVERIFY(!l.SendRequest(0x80, bus::ctl::ReadVersion));
    QCOMPARE(l.ReceiveRaw(100), 0);
    QCOMPARE(l.AwaitReply(100), -1);
    QCOMPARE(l.ParseReply(), -1);
}

void TestLink::readVersionFromSimulator() {
    SimHarness h;
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::ReadVersion));
    const int n = h.link.AwaitReply(500);
    QVERIFY(n > 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(h.link.receiveBuffer()), n),
             h.installation->controller(0)->version + QByteArray(1, '\0'));
    QCOMPARE(int(h.link.replyAddress()), 0x80);
    QCOMPARE(int(h.link.data(n)), 0); // the data is followed by a 0 byte

    QVERIFY(h.link.SendRequest(0x82, bus::ctl::AddressRange));
    QCOMPARE(h.link.AwaitReply(500), 3);
    QCOMPARE(int(h.link.data(0)), 0x82);
    QCOMPARE(int(h.link.data(1)), 12);
    QCOMPARE(int(h.link.data(2)), 4);
}

void TestLink::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("checkAddress");
    QTest::addColumn<int>("result");
    QTest::newRow("silent") << "silent" << true << -1;
    QTest::newRow("checksum") << "checksum" << true << -1;
    QTest::newRow("garbage before the frame decodes") << "garbage" << true << 3;
    QTest::newRow("other address, checked") << "address" << true << -1;
    QTest::newRow("other address, unchecked") << "address" << false << 3;
    QTest::newRow("late") << "late" << true << -1;
    QTest::newRow("cut before its *") << "truncated" << true << -1;
}

void TestLink::faults() {
    QFETCH(QString, fault);
    QFETCH(bool, checkAddress);
    QFETCH(int, result);
    SimHarness h(scenarioFrom("type 1\nlate 800\ncontroller 0 0 4\n"));
    h.installation->setControllerFault(0, *sim::faultFromName(fault));
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::AddressRange));
    QCOMPARE(h.link.AwaitReply(300, checkAddress), result);
    // The link stays usable: the next request to a sound device succeeds.
    h.installation->setControllerFault(0, sim::Fault::None);
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::AddressRange));
    QCOMPARE(h.link.AwaitReply(300), 3);
}

namespace {

// A write of 0x17 to sensor 2 that a device confirms by answering the very
// frame it was sent, and a read whose answer carries data.
const QByteArray kWriteRequest = encode(0x02, 0x17, QByteArray(1, '\x05'));
const QByteArray kReadRequest = encode(0x02, 0x01, {});
const QByteArray kReadReply = withChecksum("@020103010203") + "*\r";

} // namespace

void TestLink::echoOfTheRequest_data() {
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArray>("firstReply"); // to a read first asked, if any
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("learnt");
    QTest::addColumn<bool>("asksVersion");
    const int heard = int(bus::SerialLink::Echo::Heard);
    const int none = int(bus::SerialLink::Echo::None);
    QTest::newRow("read, echo then answer")
        << true << QByteArray() << kReadRequest << kReadReply << 3 << heard << false;
    QTest::newRow("read, no echo")
        << false << QByteArray() << kReadRequest << kReadReply << 3 << none << false;
    QTest::newRow("read, only the echo")
        << true << QByteArray() << kReadRequest << QByteArray() << -1 << heard << true;
    QTest::newRow("read, noise then echo then answer")
        << true << QByteArray() << kReadRequest << QByteArray("\x00\xFF") + kReadReply << 3 << heard
        << false;
    // An answer equal to the request confirms a write only when it came
    // after the echo, or on a line known not to echo. Not knowing yet, the
    // link asks the version: an echoing adapter sends that request back too.
    QTest::newRow("write, only the echo")
        << true << QByteArray() << kWriteRequest << QByteArray() << -1 << heard << true;
    QTest::newRow("write, echo then the device's copy")
        << true << QByteArray() << kWriteRequest << kWriteRequest << 1 << heard << false;
    QTest::newRow("write, only the echo on a line known to echo")
        << true << kReadReply << kWriteRequest << QByteArray() << -1 << heard << false;
    QTest::newRow("write, the device's copy on a line known not to echo")
        << false << kReadReply << kWriteRequest << kWriteRequest << 1 << none << false;
    QTest::newRow("write, the device's copy before anything is known")
        << false << QByteArray() << kWriteRequest << kWriteRequest << 1 << none << true;
}

void TestLink::echoOfTheRequest() {
    QFETCH(bool, echo);
    QFETCH(QByteArray, firstReply);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(int, learnt);
    QFETCH(bool, asksVersion);
    QByteArrayList replies;
    if (!firstReply.isEmpty())
        replies << firstReply;
    replies << reply;
    ScriptedLink s(replies);
    s.device->echo = echo;
    if (!firstReply.isEmpty()) {
        QVERIFY(s.link.SendRequest(0x02, 0x01));
        QCOMPARE(s.link.AwaitReply(100), 3);
    }
    const std::uint8_t cmd = request.mid(3, 2).toUInt(nullptr, 16);
    const QByteArray payload = QByteArray::fromHex(request.mid(7, request.size() - 7 - 4));
    QVERIFY(s.link.SendRequest(0x02, cmd,
                               {reinterpret_cast<const std::uint8_t*>(payload.constData()),
                                static_cast<std::size_t>(payload.size())}));
    QCOMPARE(s.device->written.right(request.size()), request);
    QCOMPARE(s.link.AwaitReply(100), result);
    QCOMPARE(int(s.link.echo()), learnt);
    // The version is asked only where a lone copy left the adapter open.
    const int versionReads = int(s.device->written.count(kReadRequest)) -
                             (firstReply.isEmpty() ? 0 : 1) - (request == kReadRequest ? 1 : 0);
    QCOMPARE(versionReads, asksVersion ? 1 : 0);
}

void TestLink::echoingSimulatedLine_data() {
    QTest::addColumn<bool>("wireTime");
    QTest::newRow("characters one by one") << true;
    QTest::newRow("all at once") << false;
}

// The simulated adapter echoes as a two-wire line does: reads, writes
// confirmed by their echo and raw answers all come out as without it, and a
// line with nothing but the echo answers nothing.
void TestLink::echoingSimulatedLine() {
    QFETCH(bool, wireTime);
    auto run = [&](bool echo, bool noDevices) {
        auto installation =
            std::make_shared<sim::Installation>(scenarioFrom("type 1\ncontroller 0 0 4\n"));
        installation->setEcho(echo);
        installation->setNoDevices(noDevices);
        bus::SerialLink link;
        link.attach(std::make_unique<sim::SimulatedLine>(installation, wireTime, true));
        QStringList seen;
        seen << QString::number(
            bus::AskController(link, 0x80, bus::ctl::ReadVersion, bus::Form::Read));
        bus::TransitScope transit(link, 0x80, true);
        seen << QString::number(transit.entered());
        const std::uint8_t segments[] = {0x30, 0x02};
        seen << QString::number(link.SendRequest(0x02, 0x17, segments) ? link.AwaitReply(500) : -9);
        seen << QString::number(link.SendRequest(0x02, 0x17) ? link.AwaitReply(500) : -9);
        seen << QString::number(link.data(0));
        return seen;
    };
    const QStringList clean = run(false, false);
    QCOMPARE(clean.at(1), QStringLiteral("1"));
    QCOMPARE(run(true, false), clean);
    const QStringList only = run(true, true);
    QCOMPARE(only.at(0), QStringLiteral("-1"));
    QCOMPARE(only.at(1), QStringLiteral("0"));
    QCOMPARE(only.at(2), QStringLiteral("-1"));
}

void TestLink::latePurgedBeforeNextRequest() {
    SimHarness h(scenarioFrom("type 1\nlate 150\ncontroller 0 0 4\ncontroller 1 4 4\n"));
    h.installation->setControllerFault(0, sim::Fault::Late);
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::ReadVersion));
    QCOMPARE(h.link.AwaitReply(50), -1);
    h.line->advance(std::chrono::milliseconds(200)); // the late answer is now queued
    // Unchecked, a stale answer from 0x80 would be taken; the purge drops it.
    QVERIFY(h.link.SendRequest(0x81, bus::ctl::ReadVersion));
    QVERIFY(h.link.AwaitReply(300, false) > 0);
    QCOMPARE(int(h.link.replyAddress()), 0x81);
}

void TestLink::secondTransactionRefusedWhileWaiting() {
    SimHarness h(scenarioFrom("type 1\nturnaround 30\ncontroller 0 0 4\n"));
    bool triedInside = false;
    bool sentInside = true;
    int awaitedInside = 0;
    h.link.setPump([&] {
        if (triedInside)
            return;
        triedInside = true;
        sentInside = h.link.SendRequest(0x80, bus::ctl::AddressRange);
        awaitedInside = h.link.AwaitReply(100);
        QVERIFY(!h.link.ClosePort());
    });
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::ReadVersion));
    const int n = h.link.AwaitReply(500);
    QVERIFY(triedInside);
    QVERIFY(!sentInside);
    QCOMPARE(awaitedInside, -1);
    // The outer transaction got its own answer, untouched.
    QVERIFY(n > 0);
    QCOMPARE(int(h.link.replyCommand()), int(bus::ctl::ReadVersion));
    QCOMPARE(h.installation->requestsSeen(), 1);
}

void TestLink::replyLargerThanBuffer() {
    bus::SerialLink l;
    auto dev = std::make_unique<ScriptedDevice>();
    ScriptedDevice* d = dev.get();
    l.attach(std::move(dev));
    d->afterWrite = QByteArray(3000, 'x') + withChecksum("@800100") + "*\r";
    QVERIFY(l.SendRequest(0x80, 0x01));
    // Only the first 1024 characters are stored; the frame beyond is lost.
    QCOMPARE(l.ReceiveRaw(200), bus::kBufferSize);
    QCOMPARE(l.ParseReply(), -1);
    // And a normal reply afterwards is fine.
    d->afterWrite = withChecksum("@800101AA") + "*\r";
    QVERIFY(l.SendRequest(0x80, 0x01));
    QCOMPARE(l.AwaitReply(200), 1);
    QCOMPARE(int(l.data(0)), 0xAA);
}

void TestLink::replyWithoutFrameEndNeverRead() {
    bus::SerialLink l;
    auto dev = std::make_unique<ScriptedDevice>();
    ScriptedDevice* d = dev.get();
    l.attach(std::move(dev));
    d->afterWrite = withChecksum("@800101AA");
    QVERIFY(l.SendRequest(0x80, 0x01));
    QCOMPARE(l.ReceiveRaw(100), 0);
    QCOMPARE(d->purges, 1);
}

void TestLink::observerSeesTheLine() {
    SimHarness h;
    CountingObserver o;
    h.link.setObserver(&o);
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::ReadVersion));
    QVERIFY(h.link.AwaitReply(500) > 0);
    QCOMPARE(o.sent.size(), 1);
    QCOMPARE(o.sent[0], withChecksum("@800100") + "*\r");
    QVERIFY(o.received.startsWith("@8001"));
    QVERIFY(o.received.contains('*'));
}

void TestLink::unpluggedPortEndsTheWait() {
    SimHarness h(scenarioFrom("type 1\nturnaround 100\ncontroller 0 0 4\n"));
    int pumps = 0;
    h.link.setPump([&] {
        if (++pumps == 3)
            h.line->unplug();
    });
    QVERIFY(h.link.SendRequest(0x80, bus::ctl::ReadVersion) || !h.link.isOpen());
    QCOMPARE(h.link.AwaitReply(5000), -1);
    QVERIFY(!h.link.isOpen());
    QVERIFY(!h.link.SendRequest(0x80, bus::ctl::ReadVersion));
}

void TestLink::transit() {
    SimHarness h;
    QVERIFY(bus::EnterTransitMode(h.link, 0x81));
    QVERIFY(h.installation->controller(1)->transit);
    QVERIFY(bus::LeaveTransitMode(h.link, 0x81));
    QVERIFY(!h.installation->controller(1)->transit);
    // No controller at 0x85: no answer, no success.
    QVERIFY(!bus::EnterTransitMode(h.link, 0x85));
    h.installation->setControllerFault(1, sim::Fault::Silent);
    QVERIFY(!bus::LeaveTransitMode(h.link, 0x81));
}

void TestLink::transitAnswers_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("counted");
    QTest::newRow("bare acknowledgement") << QByteArray("OK*") << true;
    QTest::newRow("star alone") << QByteArray("*") << true;
    QTest::newRow("garbled frame") << QByteArray("@80A1zz*") << true;
    QTest::newRow("own frame, bad checksum") << QByteArray("@80A10000*\r") << true;
    QTest::newRow("sound frame of another command") << withChecksum("@800101AA") + "*\r" << false;
    QTest::newRow("nothing") << QByteArray() << false;
}

void TestLink::transitAnswers() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, counted);
    for (const bool enter : {true, false}) {
        bus::SerialLink l;
        auto dev = std::make_unique<ScriptedDevice>();
        ScriptedDevice* d = dev.get();
        l.attach(std::move(dev));
        d->afterWrite = answer;
        const bool answered =
            enter ? bus::EnterTransitMode(l, 0x80) : bus::LeaveTransitMode(l, 0x80);
        QCOMPARE(answered, counted);
        // Leaving is tried three times before it counts as unanswered.
        const QByteArray frame = withChecksum(enter ? "@80A100" : "@80A500") + "*\r";
        QCOMPARE(d->written, frame.repeated(counted || enter ? 1 : 3));
    }
}

void TestLink::leavingTransitTriedThrice_data() {
    QTest::addColumn<QString>("unheard");
    QTest::addColumn<bool>("left");
    QTest::newRow("one 0xA5 unheard") << "1" << true;
    QTest::newRow("two unheard") << "2" << true;
    QTest::newRow("never heard") << "always" << false;
}

void TestLink::leavingTransitTriedThrice() {
    QFETCH(QString, unheard);
    QFETCH(bool, left);
    SimHarness h(
        scenarioFrom(qPrintable(QStringLiteral("controller 0 0 4\nunheard 0 A5 ") + unheard)));
    std::vector<std::uint8_t> told;
    const bus::TransitWatch watch(h.link, [&told](std::uint8_t c) { told.push_back(c); });
    {
        const bus::TransitScope scope(h.link, 0x80, true);
        QVERIFY(scope.entered());
    }
    QCOMPARE(h.installation->controller(0)->transit, !left);
    QCOMPARE(watch.leftOn().count(0x80), left ? 0u : 1u);
    QCOMPARE(told, left ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>{0x80});
    // Once the controller answers, it is off the list again.
    h.installation->controller(0)->unheard.clear();
    QVERIFY(bus::LeaveTransitMode(h.link, 0x80));
    QVERIFY(watch.leftOn().empty());
}

void TestLink::enteringTransitTriedAsAsked_data() {
    QTest::addColumn<int>("tries");
    QTest::addColumn<bool>("entered");
    QTest::newRow("once") << 1 << false;
    QTest::newRow("twice") << 2 << true;
}

void TestLink::enteringTransitTriedAsAsked() {
    QFETCH(int, tries);
    QFETCH(bool, entered);
    SimHarness h(scenarioFrom("controller 0 0 4\nunheard 0 A1 1\n"));
    const bus::TransitScope scope(h.link, 0x80, true, tries);
    QCOMPARE(scope.entered(), entered);
    QCOMPARE(h.installation->controller(0)->transit, entered);
}

// The scope switches transit off however the operation ends; a controller
// that never answered is tried three times and not reported as relaying.
void TestLink::transitScopeOnEveryWayOut_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<bool>("reported");
    // An answer to 0xA1 reads like the request itself: the version read
    // after it tells an echoing adapter from the controller.
    const QStringList once{"80:A1", "80:01", "80:17", "80:A5"};
    const QStringList silent{"80:A1", "80:17", "80:A5", "80:A5", "80:A5"};
    const QStringList fallsSilent{"80:A1", "80:01", "80:17", "80:A5", "80:A5", "80:A5"};
    QTest::newRow("answering, returns") << "controller 0 0 4\n" << false << once << false;
    QTest::newRow("answering, throws") << "controller 0 0 4\n" << true << once << false;
    QTest::newRow("silent, returns") << "controller 0 0 4 fault=silent\n"
                                     << false << silent << false;
    QTest::newRow("silent, throws") << "controller 0 0 4 fault=silent\n" << true << silent << false;
    QTest::newRow("falls silent inside") << "controller 0 0 4\nunheard 0 A5 always\n"
                                         << true << fallsSilent << true;
}

void TestLink::transitScopeOnEveryWayOut() {
    QFETCH(QString, scenario);
    QFETCH(bool, throws);
    QFETCH(QStringList, sent);
    QFETCH(bool, reported);
    SimHarness h(scenarioFrom(qPrintable(scenario)));
    CommandLog log;
    h.link.setObserver(&log);
    const bus::TransitWatch watch(h.link);
    try {
        const bus::TransitScope scope(h.link, 0x80, true);
        h.link.SendRequest(0x80, 0x17);
        h.link.AwaitReply(200);
        if (throws)
            throw std::runtime_error("operation failed");
    } catch (const std::runtime_error&) {
    }
    QVERIFY2(log.sent == sent, qPrintable(log.sent.join(' ')));
    QCOMPARE(h.installation->controller(0)->transit, reported);
    QCOMPARE(watch.leftOn().count(0x80), reported ? 1u : 0u);
}

void TestLink::sensorAnswerProvesTransit_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("proof");
    // A cell written: only a controller in transit lets it through.
    QTest::newRow("cell written") << int(bus::sns::WriteCell) << QByteArray("\x91\x00\x40", 3)
                                  << true;
    // The status word: the controller answers it from its own polling.
    QTest::newRow("status read") << int(bus::sns::ReadStatus) << QByteArray() << false;
}

// The controller never acknowledges 0xA1 (nor the three 0xA5), yet sensor
// 2 behind it answers: transit was on after all, and an unanswered leave
// says it may still be. An answer the controller gives outside transit
// proves nothing.
void TestLink::sensorAnswerProvesTransit() {
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(bool, proof);
    const auto cmd = static_cast<std::uint8_t>(command);
    ScriptedLink s({QByteArray(), bus::encodeReply(0x02, cmd, QByteArray("\x01\x00", 2)),
                    QByteArray(), QByteArray(), QByteArray()});
    std::vector<std::uint8_t> told;
    const bus::TransitWatch watch(s.link, [&told](std::uint8_t c) { told.push_back(c); });
    {
        const bus::TransitScope scope(s.link, 0x80, true);
        QVERIFY(!scope.entered());
        const auto* p = reinterpret_cast<const std::uint8_t*>(payload.constData());
        s.link.SendRequest(0x02, cmd, std::span(p, static_cast<std::size_t>(payload.size())));
        QVERIFY(s.link.AwaitReply(500) >= 1);
        QCOMPARE(scope.entered(), proof);
    }
    // Leaving was tried three times either way.
    const QByteArray leave = withChecksum("@80A500") + "*\r";
    QVERIFY(s.device->written.endsWith(leave.repeated(3)));
    QCOMPARE(watch.leftOn().count(0x80), proof ? 1u : 0u);
    QCOMPARE(told, proof ? std::vector<std::uint8_t>{0x80} : std::vector<std::uint8_t>{});
}

void TestLink::deviceTextsEndAtTheirZero_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("terminated") << QByteArray("VQM 4.12\0", 9) << "VQM 4.12";
    QTest::newRow("unterminated") << QByteArray("VQM 4.12") << "VQM 4.12";
    QTest::newRow("junk after the zero") << QByteArray("V1\0\xFF\x01", 5) << "V1";
    QTest::newRow("zero first") << QByteArray("\0V1", 3) << "";
    QTest::newRow("Cyrillic code page") << QByteArray("\xC4\xD3\xD2 2\0", 6) << "ДУТ 2";
}

void TestLink::deviceTextsEndAtTheirZero() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(bus::deviceText(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<int>(bytes.size())),
             text);
    // Devices end their texts with a zero, as the simulated ones do.
    SimHarness h(scenarioFrom("controller 0 0 4\n"));
    QCOMPARE(bus::ReadDeviceText(h.link, bus::Target::Controller, 0x80, bus::ctl::ReadVersion),
             std::optional<QString>(QStringLiteral("KIP-N6 V4.10")));
}

void TestLink::openMissingPortGivesErrorBox() {
    QTemporaryDir dir;
    bus::SerialLink l;
    QVERIFY(!l.OpenPort(dir.filePath(QStringLiteral("no-such-tty"))));
    QVERIFY(!l.isOpen());
    const bus::PortOpenError& e = l.lastOpenError();
    QVERIFY(e.code != 0);
    QVERIFY(e.caption().endsWith(QStringLiteral(" -ПОРТ НЕДОСТУПЕН")));
    QVERIFY(e.caption().startsWith(QString::number(e.code)));
    QVERIFY(!e.message.isEmpty());
    QVERIFY(e.message.size() <= 63);
    QVERIFY(e.explanation.contains(QStringLiteral("не существует")));
    QVERIFY(e.explanation.contains(dir.filePath(QStringLiteral("no-such-tty"))));
    // The system's cause as a detail, in the engineer's language.
    QVERIFY2(e.text().endsWith(QStringLiteral("\n\nФайл или каталог не существует")),
             qPrintable(e.text()));
    // A file that is no terminal.
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile f(plain);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(!l.OpenPort(plain));
    QVERIFY2(l.lastOpenError().explanation.contains(QStringLiteral("не последовательный порт")),
             qPrintable(l.lastOpenError().text()));
    // An empty name fails without an error box.
    const int lastCode = l.lastOpenError().code;
    QVERIFY(!l.OpenPort(QString()));
    QCOMPARE(l.lastOpenError().code, lastCode);
}

void TestLink::openErrorsExplained_data() {
    QTest::addColumn<int>("qtError");
    QTest::addColumn<int>("systemCode");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("busy");
    QTest::newRow("missing") << int(QSerialPort::DeviceNotFoundError) << ENOENT << "не существует"
                             << false;
    QTest::newRow("no permission")
        << int(QSerialPort::PermissionError) << EACCES << "dialout" << false;
    QTest::newRow("held by another program")
        << int(QSerialPort::PermissionError) << EBUSY << "занят другой программой" << true;
    QTest::newRow("locked by another instance")
        << int(QSerialPort::PermissionError) << 0 << "занят другой программой" << true;
    QTest::newRow("no terminal") << int(QSerialPort::OpenError) << ENOTTY
                                 << "не последовательный порт" << false;
}

void TestLink::openErrorsExplained() {
    QFETCH(int, qtError);
    QFETCH(int, systemCode);
    QFETCH(QString, says);
    QFETCH(bool, busy);
    const bus::PortOpenError e = bus::explainedOpenError(
        QStringLiteral("/dev/ttyUSB7"), static_cast<QSerialPort::SerialPortError>(qtError),
        systemCode, QStringLiteral("system text"));
    QVERIFY2(e.explanation.contains(says), qPrintable(e.explanation));
    QVERIFY(e.explanation.contains(QStringLiteral("/dev/ttyUSB7")));
    QCOMPARE(e.busy, busy);
    QCOMPARE(e.text(), e.explanation + QStringLiteral("\n\nsystem text"));
}

void TestLink::suffixesEndInLatinO() {
    // The word ends in a Latin O after Cyrillic letters, as the installed
    // base has always shown it; the other caption is Cyrillic to the end.
    QCOMPARE(bus::kSuffixDcbUnavailable.back(), QChar(0x4F));
    QCOMPARE(bus::kSuffixDcbUnavailable.at(bus::kSuffixDcbUnavailable.size() - 2), QChar(0x041D));
    QVERIFY(bus::kSuffixPortUnavailable.back().unicode() >= 0x0400);
}

void TestLink::catalogueNamesPerTarget() {
    using bus::Target;
    QCOMPARE(QLatin1String(bus::findCommand(Target::Controller, 0x03)->name),
             QLatin1String("PollInterval"));
    QCOMPARE(QLatin1String(bus::findCommand(Target::Sensor, 0x03)->name),
             QLatin1String("ReadCell"));
    QCOMPARE(QLatin1String(bus::findCommand(Target::Controller, 0x0A)->name),
             QLatin1String("AddressRange"));
    QCOMPARE(QLatin1String(bus::findCommand(Target::Sensor, 0x0A)->name),
             QLatin1String("ReadDensityChannel"));
    QVERIFY(!bus::findCommand(Target::Sensor, 0xA1));
    // Every code appears once per target.
    const auto all = bus::commandCatalogue();
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = i + 1; j < all.size(); ++j)
            QVERIFY(!(all[i].code == all[j].code && all[i].target == all[j].target));
}

Q_DECLARE_METATYPE(bus::Target)
Q_DECLARE_METATYPE(bus::Form)
Q_DECLARE_METATYPE(bus::AnswerKind)

// The rows of the protocol's command table where a code is answered in more
// than one way, or in an unusual one.
void TestLink::catalogueAnswers_data() {
    using bus::AnswerKind;
    using bus::Form;
    using bus::Target;
    QTest::addColumn<Target>("target");
    QTest::addColumn<int>("code");
    QTest::addColumn<Form>("form");
    QTest::addColumn<AnswerKind>("kind");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<bool>("checkAddress");
    QTest::addColumn<int>("tries");
    const auto C = Target::Controller;
    const auto S = Target::Sensor;
    const auto A = AnswerKind::AwaitReply;
    const auto R = AnswerKind::ReceiveRaw;
    const auto N = AnswerKind::NotAwaited;
    QTest::newRow("0x54 read") << C << 0x54 << Form::Read << A << 2000 << true << 1;
    QTest::newRow("0x54 write raw") << C << 0x54 << Form::Write << R << 2000 << true << 1;
    QTest::newRow("0x55 read") << C << 0x55 << Form::Read << A << 2000 << true << 1;
    QTest::newRow("0x55 write raw") << C << 0x55 << Form::Write << R << 1000 << true << 1;
    QTest::newRow("0x55 long write raw") << C << 0x55 << Form::WriteSlow << R << 2000 << true << 1;
    QTest::newRow("0x5A any address") << C << 0x5A << Form::Read << A << 500 << false << 1;
    QTest::newRow("0xA0 one retry") << C << 0xA0 << Form::Read << A << 1000 << true << 2;
    QTest::newRow("0xA1 raw") << C << 0xA1 << Form::Read << R << 500 << true << 1;
    QTest::newRow("0xA5 raw") << C << 0xA5 << Form::Read << R << 500 << true << 1;
    QTest::newRow("0xA5 long raw") << C << 0xA5 << Form::Slow << R << 1000 << true << 1;
    QTest::newRow("0xA5 or none") << C << 0xA5 << Form::Unanswered << N << 0 << true << 1;
    QTest::newRow("0x52 block") << C << 0x52 << Form::Write << A << 2000 << true << 1;
    QTest::newRow("0x52 follow-up raw") << C << 0x52 << Form::FollowUp << R << 2000 << true << 1;
    QTest::newRow("0x03 controller write") << C << 0x03 << Form::Write << A << 2000 << true << 1;
    QTest::newRow("0x40 checked block") << S << 0x40 << Form::Write << A << 3000 << true << 1;
    QTest::newRow("0x40 two-byte form") << S << 0x40 << Form::Unanswered << N << 0 << true << 1;
    QTest::newRow("0x0C three tries") << S << 0x0C << Form::Retried << A << 500 << true << 3;
    QTest::newRow("0x01 probe raw") << S << 0x01 << Form::Probe << R << 200 << true << 1;
    QTest::newRow("0x8F raw") << S << 0x8F << Form::Write << R << 500 << true << 1;
    QTest::newRow("0x8A none") << S << 0x8A << Form::Unanswered << N << 0 << true << 1;
    QTest::newRow("0x28 start") << S << 0x28 << Form::Slow << A << 2000 << true << 1;
    QTest::newRow("0x83 write") << S << 0x83 << Form::Write << A << 2000 << true << 1;
}

void TestLink::catalogueAnswers() {
    QFETCH(bus::Target, target);
    QFETCH(int, code);
    QFETCH(bus::Form, form);
    QFETCH(bus::AnswerKind, kind);
    QFETCH(int, waitMs);
    QFETCH(bool, checkAddress);
    QFETCH(int, tries);
    const bus::Answer* a = bus::findAnswer(target, static_cast<std::uint8_t>(code), form);
    QVERIFY(a);
    QCOMPARE(a->kind, kind);
    QCOMPARE(a->waitMs, waitMs);
    QCOMPARE(a->checkAddress, checkAddress);
    QCOMPARE(a->tries, tries);
}

// Every form of every row, through the one function the operations use: a
// silent device is asked as often as the row says, an answer from another
// address counts only where the row allows it, raw answers are not decoded,
// and an unanswered form reads nothing.
void TestLink::exchangeFollowsEveryRow() {
    for (const bus::CommandInfo& c : bus::commandCatalogue()) {
        for (const bus::Answer& a : c.answers) {
            if (a.tries == 0)
                continue;
            const QByteArray what =
                QByteArray(c.name) + " form " + QByteArray::number(static_cast<int>(a.form));
            const std::uint8_t address = c.target == bus::Target::Controller ? 0x81 : 0x05;
            bus::SerialLink l;
            auto dev = std::make_unique<ScriptedDevice>();
            ScriptedDevice* d = dev.get();
            l.attach(std::move(dev));
            // A sound answer from another address to the first request; the
            // tries after it meet silence.
            const QByteArray other =
                withChecksum(QByteArray("@06") +
                             QByteArray::number(c.code, 16).toUpper().rightJustified(2, '0') +
                             "0101") +
                "*\r";
            d->afterWrite = other;
            const int r = bus::Exchange(l, c.target, address, c.code, a.form);
            switch (a.kind) {
            case bus::AnswerKind::AwaitReply:
                QVERIFY2(r == (a.checkAddress ? -1 : 1), what.constData());
                break;
            case bus::AnswerKind::ReceiveRaw:
                QVERIFY2(r == other.size(), what.constData());
                break;
            case bus::AnswerKind::NotAwaited:
                QVERIFY2(r == 0, what.constData());
                break;
            }
            // Requests sent: one, or the row's tries while the answer does
            // not do.
            const int frames = static_cast<int>(d->written.count('@'));
            const bool unanswered = a.kind == bus::AnswerKind::AwaitReply && a.checkAddress;
            QVERIFY2(frames == (unanswered ? a.tries : 1), what.constData());
        }
    }
    // A form the row does not have sends nothing.
    bus::SerialLink l;
    auto dev = std::make_unique<ScriptedDevice>();
    ScriptedDevice* d = dev.get();
    l.attach(std::move(dev));
    QCOMPARE(bus::Exchange(l, bus::Target::Sensor, 0x05, 0x8A, bus::Form::Read), -1);
    QVERIFY(d->written.isEmpty());
}

void TestLink::lineMonitorNames() {
    QCOMPARE(QLatin1String(bus::commandName(0x80, 0x0A)), QLatin1String("AddressRange"));
    QCOMPARE(QLatin1String(bus::commandName(0x05, 0x0A)), QLatin1String("ReadDensityChannel"));
    QCOMPARE(QLatin1String(bus::commandName(0xF0, 0x8F)), QLatin1String("SetSensorAddress"));
    QCOMPARE(QLatin1String(bus::commandName(0xFF, 0xA5)), QLatin1String("ResumeNormal"));
    QCOMPARE(QLatin1String(bus::commandName(0x05, 0xEE)), QLatin1String(""));
}

// The monitor's lines for each kind of exchange, on a scripted device.
void TestLink::lineMonitorLines_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("raw");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("reply");
    QTest::newRow("controller version")
        << 0x80 << 0x01 << QByteArray() << bus::encodeReply(0x80, 0x01, "V1") << false
        << "> КИП 1  ReadVersion  |"
        << "< КИП 1  ReadVersion  данные 2 байт: 56 31  | @800102";
    QTest::newRow("sensor cell with payload")
        << 0x05 << 0x03 << QByteArray("\x01", 1) << bus::encodeReply(0x05, 0x03, "\x01\x02\x03")
        << false << "> датчик 6  ReadCell  [01]  |"
        << "< датчик 6  ReadCell  данные 3 байт: 01 02 03";
    QTest::newRow("silence") << 0x81 << 0x0A << QByteArray() << QByteArray() << false
                             << "> КИП 2  AddressRange  |"
                             << "< КИП 2  AddressRange  !! НЕТ ОТВЕТА";
    QTest::newRow("bad checksum") << 0x80 << 0x01 << QByteArray() << QByteArray("@800101AA00*\r")
                                  << false << "> КИП 1"
                                  << "!! ИСКАЖЁННЫЙ ОТВЕТ  | @800101AA00*<0D>";
    QTest::newRow("another address")
        << 0x80 << 0x01 << QByteArray() << bus::encodeReply(0x83, 0x01, "V") << false << "> КИП 1"
        << "!! ОТВЕТ С ДРУГОГО АДРЕСА";
    QTest::newRow("another command")
        << 0x80 << 0x01 << QByteArray() << bus::encodeReply(0x80, 0x0A, "V") << false << "> КИП 1"
        << "!! ОТВЕТ НА ДРУГУЮ КОМАНДУ";
    QTest::newRow("raw transit answer")
        << 0x80 << 0xA1 << QByteArray() << QByteArray("OK*") << true << "> КИП 1  EnterTransit"
        << "EnterTransit  принято 3 символов  | OK*";
    QTest::newRow("address broadcast") << 0xF0 << 0x8F << QByteArray("\x07", 1) << QByteArray()
                                       << true << "> все датчики  SetSensorAddress  [07]"
                                       << "!! НЕТ ОТВЕТА";
}

void TestLink::lineMonitorLines() {
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, answer);
    QFETCH(bool, raw);
    QFETCH(QString, request);
    QFETCH(QString, reply);
    QStringList lines;
    bus::LineMonitor monitor([&](const QString& l) { lines << l.mid(13); }); // past the time
    bus::SerialLink l;
    auto dev = std::make_unique<ScriptedDevice>();
    ScriptedDevice* d = dev.get();
    l.attach(std::move(dev));
    l.setObserver(&monitor);
    d->afterWrite = answer;
    QVERIFY(l.SendRequest(
        static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(command),
        std::span(reinterpret_cast<const std::uint8_t*>(payload.constData()), payload.size())));
    if (raw)
        l.ReceiveRaw(50);
    else
        l.AwaitReply(50);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(request), qPrintable(lines[0]));
    QVERIFY2(lines[1].contains(reply), qPrintable(lines[1]));
}

void TestLink::naturalOrder_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("ttyS2 before ttyS10") << "/dev/ttyS2"
                                         << "/dev/ttyS10";
    QTest::newRow("ttyS10 before ttyUSB0") << "/dev/ttyS10"
                                           << "/dev/ttyUSB0";
    QTest::newRow("ttyUSB2 before ttyUSB11") << "/dev/ttyUSB2"
                                             << "/dev/ttyUSB11";
    QTest::newRow("COM3 before COM12") << "COM3"
                                       << "COM12";
    QTest::newRow("prefix first") << "/dev/ttyS"
                                  << "/dev/ttyS0";
}

void TestLink::naturalOrder() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QVERIFY(bus::naturalLess(a, b));
    QVERIFY(!bus::naturalLess(b, a));
    QVERIFY(!bus::naturalLess(a, a));
}

// A fake sysfs: ttyS0 has a UART (type 4), ttyS1 is listed without one.
void TestLink::phantomPortsAndStableNames() {
    QTemporaryDir dir;
    for (const auto& [name, type] : {std::pair{"ttyS0", "4\n"}, std::pair{"ttyS1", "0\n"}}) {
        QDir().mkpath(dir.filePath(QStringLiteral("sys/class/tty/%1").arg(QLatin1String(name))));
        QFile f(dir.filePath(QStringLiteral("sys/class/tty/%1/type").arg(QLatin1String(name))));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(type);
    }
    const QString sys = dir.filePath(QStringLiteral("sys"));
    QVERIFY(!bus::isPhantomSerial(sys, QStringLiteral("ttyS0")));
    QVERIFY(bus::isPhantomSerial(sys, QStringLiteral("ttyS1")));
    QVERIFY(!bus::isPhantomSerial(sys, QStringLiteral("ttyS7"))); // nothing known: offered
    QVERIFY(!bus::isPhantomSerial(sys, QStringLiteral("ttyUSB0")));
    // Stable names: the by-id links that lead to the device.
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    QFile(device).open(QIODevice::WriteOnly);
    QDir().mkpath(dir.filePath(QStringLiteral("by-id")));
    QFile::link(device, dir.filePath(QStringLiteral("by-id/usb-FTDI_FT232R_A1B2-if00-port0")));
    QFile::link(dir.filePath(QStringLiteral("elsewhere")),
                dir.filePath(QStringLiteral("by-id/usb-other")));
    QCOMPARE(bus::stableNamesOf(dir.filePath(QStringLiteral("by-id")), device),
             QStringList{dir.filePath(QStringLiteral("by-id/usb-FTDI_FT232R_A1B2-if00-port0"))});
}

void TestLink::setSensorAddress() {
    SimHarness h(scenarioFrom("type 5\nsensors 0 1"));
    QVERIFY(bus::SetSensorAddress(h.link, 17));
    QVERIFY(h.installation->sensor(17));
    QVERIFY(!h.installation->sensor(0));
    // It now answers at its new address.
    QVERIFY(h.link.SendRequest(17, bus::sns::ReadVersion));
    QVERIFY(h.link.AwaitReply(500) > 0);
}

void TestLink::setSensorAddressWithTwoSensors() {
    SimHarness h(scenarioFrom("type 5\nsensors 0 2"));
    QVERIFY(!bus::SetSensorAddress(h.link, 17));
    QVERIFY(!h.installation->sensor(17));
    // Behind a controller only the sensors of a controller in transit hear it.
    SimHarness c(scenarioFrom("controller 0 0 1\ncontroller 1 1 1"));
    QVERIFY(!bus::SetSensorAddress(c.link, 9));
    QVERIFY(bus::EnterTransitMode(c.link, 0x81));
    QVERIFY(bus::SetSensorAddress(c.link, 9));
    QVERIFY(c.installation->sensor(9));
}

void TestLink::sensorCellsOnlyThroughTransit() {
    SimHarness h(scenarioFrom("controller 0 0 4"));
    const std::uint8_t cell[] = {0x81};
    QVERIFY(h.link.SendRequest(2, bus::sns::ReadCell, cell));
    QCOMPARE(h.link.AwaitReply(300), -1);
    QVERIFY(bus::EnterTransitMode(h.link, 0x80));
    QVERIFY(h.link.SendRequest(2, bus::sns::ReadCell, cell));
    // The identifier comes back as text: the cell, then 16 characters.
    QCOMPARE(h.link.AwaitReply(300), 17);
    QCOMPARE(int(h.link.data(0)), 0x81);
    const QByteArray id(reinterpret_cast<const char*>(h.link.receiveBuffer()) + 1, 16);
    QVERIFY(id.startsWith("10"));
    // Polled values need no transit: the release broadcast ends it silently.
    QVERIFY(h.link.SendRequest(bus::kReleaseBroadcast, bus::ctl::ResumeNormal));
    QCOMPARE(h.link.ReceiveRaw(100), 0);
    QVERIFY(!h.installation->controller(0)->transit);
    QVERIFY(h.link.SendRequest(2, bus::sns::ReadVersion));
    QVERIFY(h.link.AwaitReply(300) > 0);
}

void TestLink::remotePortNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<bool>("telnet");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("raw") << "tcp://10.0.0.7:4001" << true << false << "10.0.0.7" << 4001;
    QTest::newRow("telnet") << "rfc2217://gauge-box:2217" << true << true << "gauge-box" << 2217;
    QTest::newRow("scheme in capitals") << "RFC2217://h:1" << true << true << "h" << 1;
    QTest::newRow("IPv6") << "tcp://[::1]:4001" << true << false << "::1" << 4001;
    QTest::newRow("no port") << "tcp://10.0.0.7" << true << false << "10.0.0.7" << 0;
    QTest::newRow("a path after it") << "tcp://h:1/x" << true << false << "h" << 0;
    QTest::newRow("device path") << "/dev/ttyUSB0" << false << false << "" << 0;
    QTest::newRow("COM port") << "COM3" << false << false << "" << 0;
    QTest::newRow("another scheme") << "http://h:80" << false << false << "" << 0;
}

void TestLink::remotePortNames() {
    QFETCH(QString, name);
    QFETCH(bool, remote);
    QFETCH(bool, telnet);
    QFETCH(QString, host);
    QFETCH(int, port);
    const std::optional<bus::RemoteLine> line = bus::remoteLineOf(name);
    QCOMPARE(line.has_value(), remote);
    QCOMPARE(bus::isRemotePortName(name), remote);
    if (!line)
        return;
    QCOMPARE(line->telnet, telnet);
    QCOMPARE(line->host, host);
    QCOMPARE(int(line->port), port);
}

void TestLink::telnetDecoding_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("comPort"); // -1 no answer yet, 0 refused, 1 agreed
    const QByteArray frame("@80010D4B*\r");
    QTest::newRow("plain characters") << QList<QByteArray>{frame} << frame << QByteArray() << -1;
    QTest::newRow("doubled IAC is one 0xFF") << QList<QByteArray>{QByteArray("a\xff\xff"
                                                                             "b",
                                                                             4)}
                                             << QByteArray("a\xff"
                                                           "b",
                                                           3)
                                             << QByteArray() << -1;
    QTest::newRow("IAC IAC split between reads")
        << QList<QByteArray>{QByteArray("a\xff", 2), QByteArray("\xff"
                                                                "b",
                                                                2)}
        << QByteArray("a\xff"
                      "b",
                      3)
        << QByteArray() << -1;
    // The server's answer to SET-BAUDRATE, with an escaped 0xFF inside.
    QTest::newRow("subnegotiation dropped")
        << QList<QByteArray>{QByteArray("@8\xff\xfa\x2c\x65\x00\xff\xff\x25", 8),
                             QByteArray("\x80\xff\xf0"
                                        "0*",
                                        5)}
        << QByteArray("@80*") << QByteArray() << -1;
    QTest::newRow("our options agreed, silently")
        << QList<QByteArray>{QByteArray("\xff\xfd\x2c\xff\xfd\x00\xff\xfb\x00x", 10)}
        << QByteArray("x") << QByteArray() << 1;
    QTest::newRow("COM port refused")
        << QList<QByteArray>{QByteArray("\xff\xfe\x2c", 3)} << QByteArray() << QByteArray() << 0;
    // Echo and suppress-go-ahead offered and asked for: refused once each,
    // however often they come.
    QTest::newRow("other options refused once")
        << QList<QByteArray>{QByteArray("\xff\xfb\x01\xff\xfd\x03\xff\xfb\x01", 9),
                             QByteArray("\xff\xfd\x03", 3)}
        << QByteArray() << QByteArray("\xff\xfe\x01\xff\xfc\x03", 6) << -1;
    QTest::newRow("the server offering COM port control is refused")
        << QList<QByteArray>{QByteArray("\xff\xfb\x2c", 3)} << QByteArray()
        << QByteArray("\xff\xfe\x2c", 3) << -1;
    QTest::newRow("NOP and GA dropped") << QList<QByteArray>{QByteArray("a\xff\xf1"
                                                                        "b\xff\xf9",
                                                                        6)}
                                        << QByteArray("ab") << QByteArray() << -1;
}

void TestLink::telnetDecoding() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(int, comPort);
    bus::TelnetDecoder decoder;
    decoder.asked(bus::TelnetDecoder::kComPort);
    decoder.asked(bus::TelnetDecoder::kBinary);
    QByteArray gotData;
    QByteArray gotReply;
    for (const QByteArray& c : chunks)
        decoder.feed(c.constData(), c.size(), gotData, gotReply);
    QCOMPARE(gotData, data);
    QCOMPARE(gotReply, reply);
    const std::optional<bool> accepted = decoder.comPortAccepted();
    QCOMPARE(accepted ? int(*accepted) : -1, comPort);
}

void TestLink::telnetEscaping() {
    const QByteArray raw("a\xff"
                         "b\xff\xff",
                         5);
    const QByteArray escaped = bus::telnetEscaped(raw.constData(), raw.size());
    QCOMPARE(escaped, QByteArray("a\xff\xff"
                                 "b\xff\xff\xff\xff",
                                 8));
    // What the far end decodes is what was meant.
    bus::TelnetDecoder decoder;
    QByteArray data;
    QByteArray reply;
    decoder.feed(escaped.constData(), escaped.size(), data, reply);
    QCOMPARE(data, raw);
}

// Every request form of the catalogue against the devices' own say of what
// changes them, payload size by payload size: a writing command added to
// the catalogue without its mark fails here.
void TestLink::writeMarksAgreeWithTheDevices() {
    for (const bus::CommandInfo& c : bus::commandCatalogue()) {
        const std::uint8_t address = c.target == bus::Target::Controller ? 0x81 : 0x05;
        bool someFormWrites = false;
        bool everyFormWrites = true;
        for (const bus::Answer& a : c.answers) {
            if (a.tries == 0)
                continue;
            someFormWrites |= a.writes;
            everyFormWrites &= a.writes;
            // A form that carries a new value is a write by its very name.
            if (a.form == bus::Form::Write || a.form == bus::Form::WriteSlow)
                QVERIFY2(a.writes, c.name);
        }
        const QByteArray name(c.name);
        if (name.startsWith("Write") || name.startsWith("Set") || name.startsWith("Program") ||
            name.startsWith("Clear") || name.startsWith("StartBoot"))
            QVERIFY2(everyFormWrites, c.name);
        QVERIFY2(someFormWrites == (c.readsUpTo != bus::kNeverWrites), c.name);
        QVERIFY2(everyFormWrites == (c.readsUpTo == bus::kAlwaysWrites), c.name);
        for (int n = 0; n <= 9; ++n) {
            bus::DecodedRequest r;
            r.address = address;
            r.command = c.code;
            r.count = n;
            r.payload = QByteArray(n, '\x01');
            const QByteArray what = name + " with " + QByteArray::number(n) + " bytes";
            QVERIFY2(bus::requestWrites(address, c.code, n) == sim::changesDevice(r),
                     what.constData());
        }
    }
    // Nothing known under a code: it may write, so read-only lets it not by.
    QVERIFY(bus::requestWrites(0x05, 0xEE, 0));
    QVERIFY(bus::formWrites(bus::Target::Sensor, 0x8A, bus::Form::Read));
}

// Read-only: every writing form is refused by Exchange before a character
// leaves, and its wait ends at once.
void TestLink::readOnlyRefusesEveryWritingForm() {
    for (const bus::CommandInfo& c : bus::commandCatalogue()) {
        for (const bus::Answer& a : c.answers) {
            if (a.tries == 0 || !a.writes)
                continue;
            const QByteArray what =
                QByteArray(c.name) + " form " + QByteArray::number(static_cast<int>(a.form));
            bus::SerialLink l;
            auto dev = std::make_unique<ScriptedDevice>();
            ScriptedDevice* d = dev.get();
            l.attach(std::move(dev));
            d->replies << "@0101000030*\r";
            l.setReadOnly(true);
            const std::uint8_t payload[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
            const std::uint8_t address = c.target == bus::Target::Controller ? 0x81 : 0x05;
            const int r = bus::Exchange(l, c.target, address, c.code, a.form, payload);
            QVERIFY2(r <= 0, what.constData());
            QVERIFY2(d->written.isEmpty(), what.constData());
            QVERIFY2(l.lastOutcome() == bus::Outcome::ReadOnly, what.constData());
            QCOMPARE(l.writesRefused(), quint64(1));
            // The follow-up of a refused request waits for nothing.
            QCOMPARE(bus::TakeAnswer(l, c.target, c.code, a.form) <= 0, true);
            QVERIFY2(l.lastOutcome() == bus::Outcome::ReadOnly ||
                         a.kind == bus::AnswerKind::NotAwaited,
                     what.constData());
        }
    }
}

// The link's own guard, for a frame sent without a form: by its payload.
void TestLink::readOnlyStopsWritingFramesAtTheLink_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("refused");
    QTest::newRow("interval read") << 0x81 << 0x03 << QByteArray() << false;
    QTest::newRow("interval write") << 0x81 << 0x03 << QByteArray("\x05", 1) << true;
    QTest::newRow("option read") << 0x81 << 0x0B << QByteArray("\x01", 1) << false;
    QTest::newRow("option write") << 0x81 << 0x0B << QByteArray("\x01\x02", 2) << true;
    QTest::newRow("cell read") << 0x05 << 0x03 << QByteArray("\x91", 1) << false;
    QTest::newRow("cell write") << 0x05 << 0x83 << QByteArray("\x91\x00\x10", 3) << true;
    QTest::newRow("search start") << 0x05 << 0x28 << QByteArray("\x01", 1) << false;
    QTest::newRow("address broadcast") << 0xF0 << 0x8F << QByteArray("\x07", 1) << true;
    QTest::newRow("service mode") << 0x81 << 0xA0 << QByteArray() << true;
    QTest::newRow("release broadcast") << 0xFF << 0xA5 << QByteArray() << false;
    QTest::newRow("unknown code") << 0x05 << 0xEE << QByteArray() << true;
}

void TestLink::readOnlyStopsWritingFramesAtTheLink() {
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(bool, refused);
    bus::SerialLink l;
    auto dev = std::make_unique<ScriptedDevice>();
    ScriptedDevice* d = dev.get();
    l.attach(std::move(dev));
    l.setReadOnly(true);
    const auto* p = reinterpret_cast<const std::uint8_t*>(payload.constData());
    const bool sent =
        l.SendRequest(static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(command),
                      {p, static_cast<std::size_t>(payload.size())});
    QCOMPARE(sent, !refused);
    QCOMPARE(d->written.isEmpty(), refused);
    QCOMPARE(l.writesRefused(), quint64(refused ? 1 : 0));
    QCOMPARE(l.AwaitReply(1000), -1);
    QCOMPARE(l.lastOutcome() == bus::Outcome::ReadOnly, refused);
}

// Read-only on the simulated installation: readings and transit go as
// ever, the write in between is refused and the device hears nothing of it.
void TestLink::readOnlyKeepsReadingAndTransit() {
    SimHarness h(scenarioFrom("type 1\ncontroller 0 0 4\n"));
    h.link.setReadOnly(true);
    QVERIFY(bus::AskController(h.link, 0x80, bus::ctl::ReadVersion, bus::Form::Read) > 0);
    {
        bus::TransitScope transit(h.link, 0x80, true);
        QVERIFY(transit.entered());
        const std::uint8_t cell[] = {0x91};
        QVERIFY(bus::AskSensor(h.link, 0x01, bus::sns::ReadCell, bus::Form::Read, cell) > 0);
        const std::uint8_t write[] = {0x91, 0x00, 0x10};
        const int before = h.installation->requestsSeen();
        QCOMPARE(bus::AskSensor(h.link, 0x01, bus::sns::WriteCell, bus::Form::Write, write), -1);
        QCOMPARE(h.installation->requestsSeen(), before);
    }
    QVERIFY(!h.installation->controller(0)->transit);
    QVERIFY(h.installation->writesSeen().isEmpty());
    QCOMPARE(h.link.writesRefused(), quint64(1));
}

void TestLink::roundTripFollowsTheLine_data() {
    // The far end's delay each way, in steps after the connect.
    QTest::addColumn<QList<int>>("delays");
    QTest::newRow("same speed") << QList<int>{0, 0, 0, 0};
    QTest::newRow("slowing to 500 ms") << QList<int>{0, 50, 100, 150, 200, 250};
}

// A line on the network whose round trip changes after the connect: the
// waits follow the answers, so that each is taken within its wait, and a
// line fast again gets short waits back.
void TestLink::roundTripFollowsTheLine() {
    QFETCH(QList<int>, delays);
    TcpBridge far(std::make_shared<sim::Installation>(scenarioFrom("controller 0 0 4")));
    QVERIFY(far.listen());
    bus::SerialLink link;
    link.setPump([] { QCoreApplication::processEvents(); });
    QVERIFY(link.OpenPort(far.url()));
    // Shorter than any of the slowed round trips but the first: only the
    // round trip added to it lets the answer in.
    constexpr int kWaitMs = 150;
    const auto ask = [&](int i) {
        const std::uint8_t command = i % 2 ? bus::ctl::ReadVersion : bus::ctl::ReadDate;
        return link.SendRequest(0x80, command) && link.AwaitReply(kWaitMs) > 0;
    };
    for (const int delay : delays) {
        far.setDelay(delay);
        for (int i = 0; i < 5; ++i)
            QVERIFY2(ask(i), qPrintable(QStringLiteral("delay %1 ms, request %2, %3 ms added")
                                            .arg(delay)
                                            .arg(i)
                                            .arg(link.extraLatencyMs())));
    }
    // Back to a quick line: the waits shrink again.
    far.setDelay(0);
    for (int i = 0; i < 40; ++i)
        QVERIFY(ask(i));
    QVERIFY2(link.extraLatencyMs() < 100, qPrintable(QString::number(link.extraLatencyMs())));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
