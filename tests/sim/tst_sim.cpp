#include "common/SimHarness.h"
#include "link/Command.h"
#include "link/FrameCodec.h"
#include "sim/Installation.h"
#include "sim/Scenario.h"
#include "sim/Wire.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {
QByteArray request(std::uint8_t address, std::uint8_t command, QByteArray payload = {}) {
    bus::Buffer out{};
    const auto* p = reinterpret_cast<const std::uint8_t*>(payload.constData());
    const int n =
        bus::encodeRequest(out, address, command, {p, static_cast<std::size_t>(payload.size())});
    return QByteArray(reinterpret_cast<const char*>(out.data()), n);
}

// The decoded answer of the installation, or -1 when it stays silent.
int answerLength(sim::Installation& inst, std::uint8_t address, std::uint8_t command,
                 int* from = nullptr) {
    const auto out = inst.respond(request(address, command));
    if (!out)
        return -1;
    bus::Buffer buf{};
    std::copy(out->chars.begin(), out->chars.end(), buf.begin());
    bus::ReplyFields f;
    const int n = bus::parseReply(buf, static_cast<int>(out->chars.size()), f);
    if (from)
        *from = f.address;
    return n;
}
} // namespace

class TestSim : public QObject {
    Q_OBJECT
  private slots:
    void scenarioErrors_data();
    void scenarioErrors();
    void scenarioFaultsAndTimes();
    void routingByType_data();
    void routingByType();
    void badRequestIgnored();
    void wireTimeCountsCharacters();
    void wireWithoutTimeDelaysByTurnaround();
    void answersOvertakeByDelay();
};

void TestSim::scenarioErrors_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("type out of range") << "type 6"
                                       << "строка 1: type: от 0 до 5";
    QTest::newRow("unknown word") << "# ok\n\nbogus 1"
                                  << "строка 3: непонятно \"bogus 1\"";
    QTest::newRow("unknown fault") << "controller 0 0 4 fault=smoke"
                                   << "строка 1: неизвестная неисправность";
    QTest::newRow("fault alone") << "type 1\n  fault=silent"
                                 << "строка 2: неисправность без устройства";
    QTest::newRow("range past 127") << "controller 1 120 9"
                                    << "строка 1: controller НОМЕР(0..31) ПЕРВЫЙ ЧИСЛО, адреса в 0..127";
    QTest::newRow("index twice") << "controller 1 0 4\ncontroller 1 4 4"
                                 << "строка 2: controller 1 задан дважды";
    QTest::newRow("missing count") << "controller 1 0"
                                   << "строка 1: непонятно \"controller 1 0\"";
    QTest::newRow("broken sensor past 127") << "broken 128"
                                            << "строка 1: broken АДРЕС: от 0 до 127";
    QTest::newRow("switched on after nothing") << "poweroff 0 0"
                                               << "строка 1: poweroff НОМЕР ЗАПРОСОВ(1..1000000)";
}

void TestSim::scenarioErrors() {
    QFETCH(QString, text);
    QFETCH(QString, error);
    QString got;
    QVERIFY(!sim::parseScenario(text, &got));
    QCOMPARE(got, error);
}

void TestSim::scenarioFaultsAndTimes() {
    QString error;
    const auto s =
        sim::parseScenario(QStringLiteral("type 3   # C6\nturnaround 7\nlate 900\n"
                                          "controller 4 8 4 fault=late\nsensor 9 fault=garbage\n"),
                           &error);
    QVERIFY2(s, qPrintable(error));
    QCOMPARE(s->type, 3);
    QCOMPARE(s->turnaroundMs, 7);
    QCOMPARE(s->lateMs, 900);
    QCOMPARE(s->controllers.size(), std::size_t(1));
    QCOMPARE(s->controllers[0].fault, sim::Fault::Late);
    QCOMPARE(s->sensorFaults[0].address, 9);
    sim::Installation inst(*s);
    QCOMPARE(inst.sensor(9)->fault, sim::Fault::Garbage);
    QCOMPARE(inst.respond(request(0x84, bus::ctl::ReadVersion))->delayMs, 907);
}

void TestSim::routingByType_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("length"); // -1: silent
    QTest::newRow("controller range") << "controller 2 8 4" << 0x82 << 0x0A << 3;
    QTest::newRow("absent controller") << "controller 2 8 4" << 0x83 << 0x01 << -1;
    QTest::newRow("sensor behind controller") << "controller 2 8 4" << 9 << 0x01 << 10;
    QTest::newRow("sensor outside every range") << "controller 2 8 4" << 12 << 0x01 << -1;
    QTest::newRow("unknown command") << "controller 2 8 4" << 0x82 << 0x6E << -1;
    QTest::newRow("controller state") << "controller 0 0 4" << 0x80 << 0x7C << 10;
    QTest::newRow("direct sensor as controller") << "type 2\nsensors 5 3" << 0x86 << 0x01 << 13;
    QTest::newRow("direct sensor itself") << "type 2\nsensors 5 3" << 6 << 0x01 << 10;
    QTest::newRow("direct range") << "type 2\nsensors 5 3" << 0x86 << 0x0A << 3;
    QTest::newRow("direct beyond") << "type 2\nsensors 5 3" << 0x88 << 0x01 << -1;
    QTest::newRow("no controllers in type 5") << "type 5\nsensors 0 2" << 0x80 << 0x01 << -1;
    QTest::newRow("type 5 sensor") << "type 5\nsensors 0 2" << 1 << 0x01 << 10;
}

void TestSim::routingByType() {
    QFETCH(QString, scenario);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, length);
    sim::Installation inst(scenarioFrom(scenario.toUtf8().constData()));
    int from = -1;
    QCOMPARE(answerLength(inst, static_cast<std::uint8_t>(address),
                          static_cast<std::uint8_t>(command), &from),
             length);
    if (length >= 0)
        QCOMPARE(from, address);
}

void TestSim::badRequestIgnored() {
    sim::Installation inst(sim::Scenario::builtIn());
    QByteArray r = request(0x80, bus::ctl::ReadVersion);
    r[8] = r[8] == '0' ? '1' : '0';
    QVERIFY(!inst.respond(r));
    QCOMPARE(inst.badRequestsSeen(), 1);
    QCOMPARE(inst.requestsSeen(), 0);
}

void TestSim::wireTimeCountsCharacters() {
    auto inst = std::make_shared<sim::Installation>(scenarioFrom("turnaround 3\ncontroller 0 0 4"));
    sim::Wire wire(inst, true);
    const auto t0 = sim::Wire::Clock::time_point{} + 1s;
    const QByteArray req = request(0x80, bus::ctl::AddressRange); // 11 characters
    wire.send(req, t0);
    QCOMPARE(wire.sendingDoneAt(), t0 + sim::Wire::kCharTime * 11);
    // The reply (7 + 6 data + 2 + "*" + CR = 17 characters) starts 3 ms after
    // the request ended, one character every 10 bit times.
    const auto replyStart = t0 + sim::Wire::kCharTime * 11 + 3ms;
    QVERIFY(wire.takeArrived(replyStart).isEmpty());
    QCOMPARE(*wire.nextArrival(), replyStart + sim::Wire::kCharTime);
    const QByteArray head = wire.takeArrived(replyStart + sim::Wire::kCharTime * 5);
    QCOMPARE(head, QByteArray("@800A"));
    const QByteArray rest = wire.takeArrived(replyStart + sim::Wire::kCharTime * 17);
    QCOMPARE(rest.size(), 12);
    QVERIFY(rest.startsWith("03800004"));
    QVERIFY(rest.endsWith("*\r"));
    QVERIFY(!wire.nextArrival());
}

void TestSim::wireWithoutTimeDelaysByTurnaround() {
    auto inst = std::make_shared<sim::Installation>(scenarioFrom("turnaround 3\ncontroller 0 0 4"));
    sim::Wire wire(inst, false);
    const auto t0 = sim::Wire::Clock::time_point{} + 1s;
    wire.send(request(0x80, bus::ctl::ReadVersion), t0);
    QVERIFY(wire.takeArrived(t0 + 2ms).isEmpty());
    const QByteArray all = wire.takeArrived(t0 + 3ms);
    QVERIFY(all.startsWith("@80010D")); // "KIP-N6 V4.10" and its zero
    QVERIFY(all.endsWith("*\r"));
    QVERIFY(!wire.nextArrival());
}

void TestSim::answersOvertakeByDelay() {
    auto inst = std::make_shared<sim::Installation>(
        scenarioFrom("late 100\ncontroller 0 0 4\ncontroller 1 4 4"));
    inst->setControllerFault(0, sim::Fault::Late);
    sim::Wire wire(inst, false);
    const auto t0 = sim::Wire::Clock::time_point{} + 1s;
    wire.send(request(0x80, bus::ctl::ReadVersion), t0);
    wire.send(request(0x81, bus::ctl::ReadVersion), t0 + 10ms);
    QVERIFY(wire.takeArrived(t0 + 20ms).startsWith("@8101"));
    QVERIFY(wire.takeArrived(t0 + 200ms).startsWith("@8001"));
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
