#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "controller/AlarmService.h"
#include "link/FrameCodec.h"
#include "link/Transit.h"
#include "tst_settings.h"

#include <QtTest>

Q_DECLARE_METATYPE(controller::MemoryTestOutcome)
Q_DECLARE_METATYPE(controller::AlarmWriteOutcome)

namespace {

const controller::AlarmTarget kBehindController{0x80, 2, false};

// Operations on the controller: the fault is the controller's.
const std::map<QString, faultmatrix::Operation>& controllerOperations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"get",
         [](bus::SerialLink& l, std::uint8_t) {
             const auto c = controller::ReadAlarmConfig(l, kBehindController);
             return c.complete && c.enables.has_value();
         }},
        {"set",
         [](bus::SerialLink& l, std::uint8_t) {
             controller::AlarmWrite w;
             w.fuelMax = 1000;
             return controller::WriteAlarmConfig(l, kBehindController, w) ==
                    controller::AlarmWriteOutcome::Confirmed;
         }},
        {"matrix", [](bus::SerialLink& l,
                      std::uint8_t) { return controller::ReadOutputMatrix(l, 0x80).has_value(); }},
    };
    return ops;
}

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"state", [](bus::SerialLink& l,
                     std::uint8_t s) { return controller::ReadAlarmState(l, s).has_value(); }},
        {"switch off",
         [](bus::SerialLink& l, std::uint8_t s) {
             return controller::SwitchOffAlarm(l, s, 0).confirmed();
         }},
        {"memory test",
         [](bus::SerialLink& l, std::uint8_t s) {
             app::SilentProgress progress;
             return controller::RunMemoryTest(l, s, progress).outcome ==
                    controller::MemoryTestOutcome::NoErrors;
         }},
    };
    return ops;
}

} // namespace

class TestController : public QObject {
    Q_OBJECT
  private slots:
    void readThresholdsAndEnables();
    void shortThresholdReplySendsNoMore();
    void directSensorModesAndContacts();
    void writeIsFramedByServiceMode_data();
    void writeIsFramedByServiceMode();
    void serviceEndTriedThrice_data();
    void serviceEndTriedThrice();
    void outputMatrixBothForms();
    void matrixMasksStayPaired();
    void stateAndSwitchOff();
    void switchOffSaysItsCause_data();
    void switchOffSaysItsCause();
    void memoryTestTexts_data();
    void memoryTestTexts();
    void memoryTestGivenUp_data();
    void memoryTestGivenUp();
    void lineFaults_data();
    void lineFaults();
    void controllerLineFaults_data();
    void controllerLineFaults();
};

void TestController::readThresholdsAndEnables() {
    SensorBench b;
    const auto c = controller::ReadAlarmConfig(b.h.link, kBehindController);
    QVERIFY(c.complete);
    QCOMPARE(*c.fuelMax, 1800);
    QCOMPARE(*c.fuel95, 1710);
    QCOMPARE(*c.leak, 200);
    QVERIFY(!c.volume); // 0xFFFFFFFF: none
    QCOMPARE(int(*c.enables), 0x05);
    QCOMPARE(b.log.frames.first(), requestFrame(0x80, 0x54, QByteArray(1, 3)));
}

void TestController::shortThresholdReplySendsNoMore() {
    ScriptedLink s({bus::encodeReply(0x80, 0x54, QByteArray(11, 1))});
    const auto c = controller::ReadAlarmConfig(s.link, kBehindController);
    QVERIFY(!c.complete && !c.fuelMax && !c.enables);
    QCOMPARE(s.device->written.count('@'), 1); // no 0x55
}

void TestController::directSensorModesAndContacts() {
    SimHarness h(scenarioFrom("type 2\nsensors 4 2\n"));
    h.installation->controller(4)->alarms[4].modes = {0x83, 0x7F};
    h.installation->controller(4)->alarms[4].contacts = {0x05, 0};
    h.installation->controller(4)->alarms[4].volume = 0x00012345;
    const controller::AlarmTarget t{0x84, 4, true};
    const auto c = controller::ReadAlarmConfig(h.link, t);
    QVERIFY(c.complete);
    QCOMPARE(int((*c.modes)[0]), 0x83);
    QCOMPARE(int((*c.modes)[1]), 0x7F);
    QCOMPARE(int((*c.contacts)[0]), 0x05);
    QCOMPARE(*c.volume, quint32(0x00012300)); // the lowest byte is not carried
    controller::AlarmWrite w;
    w.fuelMax = 2000;
    w.contacts = {0x05, 0x80};
    w.modes = {0x02, controller::kOutputOff};
    QCOMPARE(controller::WriteAlarmConfig(h.link, t, w), controller::AlarmWriteOutcome::Confirmed);
    const sim::SimAlarm& a = h.installation->controller(4)->alarms[4];
    QCOMPARE(a.thresholds[0], 2000);
    QCOMPARE(a.contacts[1], 0x80);
    QCOMPARE(a.modes[0], 0x02);
    QVERIFY(!h.installation->controller(4)->service);
}

void TestController::writeIsFramedByServiceMode_data() {
    using enum controller::AlarmWriteOutcome;
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("echoOnly");
    QTest::addColumn<controller::AlarmWriteOutcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::newRow("accepted") << true << false << Confirmed << "ЗАПИСЬ ЗАВЕРШЕНА";
    QTest::newRow("unanswered twice") << false << false << NoAnswer << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА";
    QTest::newRow("nothing but the echo")
        << false << true << EchoOnly << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
}

void TestController::writeIsFramedByServiceMode() {
    QFETCH(bool, accepted);
    QFETCH(bool, echoOnly);
    QFETCH(controller::AlarmWriteOutcome, outcome);
    QFETCH(QString, text);
    // A line fresh from its port: the link has yet to learn whether the
    // adapter echoes. The alarm set-up needs no transit.
    struct {
        SimHarness h{scenarioFrom("controller 0 0 4\n")};
        CommandLog log;
    } b;
    b.h.link.setObserver(&b.log);
    if (echoOnly) {
        b.h.installation->setEcho(true);
        b.h.installation->setNoDevices(true);
    } else if (!accepted) {
        b.h.installation->setControllerFault(0, sim::Fault::Silent);
    }
    controller::AlarmWrite w;
    w.fuelMax = 1500;
    w.waterMax = 60;
    w.enables = 0x21;
    const controller::AlarmWriteOutcome r =
        controller::WriteAlarmConfig(b.h.link, kBehindController, w);
    QCOMPARE(r, outcome);
    QCOMPARE(controller::alarmWriteText(r), text);
    // 0xA0 (twice when unanswered), the writes, 0xA5 (three times when
    // unanswered), then the read-back.
    const QStringList tail =
        accepted ? QStringList{"80:A5", "80:54", "80:55"} : QStringList{"80:A5", "80:A5", "80:A5"};
    QCOMPARE(b.log.sent.mid(b.log.sent.size() - tail.size()), tail);
    QCOMPARE(b.log.sent.count(QStringLiteral("80:A0")), accepted ? 1 : 2);
    QVERIFY(!b.log.sent.contains(QStringLiteral("80:54")) || accepted);
    if (!accepted)
        return;
    QVERIFY(b.log.frames.contains(requestFrame(0x80, 0x54, QByteArray("\x03\x00\x05\xDC", 4))));
    QVERIFY(b.log.frames.contains(requestFrame(0x80, 0x54, QByteArray("\x03\x03\x00\x3C", 4))));
    QVERIFY(b.log.frames.contains(requestFrame(0x80, 0x55, QByteArray("\x03\x21", 2))));
    const sim::SimAlarm& a = b.h.installation->controller(0)->alarms[2];
    QCOMPARE(a.thresholds[0], 1500);
    QCOMPARE(a.thresholds[3], 60);
    QCOMPARE(a.enables, 0x21);
    QVERIFY(!b.h.installation->controller(0)->service);
}

void TestController::serviceEndTriedThrice_data() {
    QTest::addColumn<int>("unheard");
    QTest::addColumn<bool>("leftOn");
    QTest::newRow("heard at the third try") << 2 << false;
    QTest::newRow("never heard") << -1 << true;
}

// The alarm write ends its service mode as the tables do: three tries, and
// a controller that heard none of them is told to the watches.
void TestController::serviceEndTriedThrice() {
    QFETCH(int, unheard);
    QFETCH(bool, leftOn);
    SensorBench b;
    b.h.installation->controller(0)->unheard[0xA5] = unheard;
    const bus::TransitWatch watch(b.h.link);
    controller::AlarmWrite w;
    w.fuelMax = 1500;
    w.enables = 0x05;
    QCOMPARE(controller::WriteAlarmConfig(b.h.link, kBehindController, w),
             controller::AlarmWriteOutcome::Confirmed);
    QCOMPARE(b.log.sent.count(QStringLiteral("80:A5")), 3);
    QCOMPARE(b.h.installation->controller(0)->service, leftOn);
    QCOMPARE(watch.serviceLeftOn().count(0x80), std::size_t(leftOn ? 1 : 0));
}

void TestController::outputMatrixBothForms() {
    SensorBench b;
    sim::SimController& c = *b.h.installation->controller(0);
    controller::OutputMatrix m;
    m.events = {0x01, 0x30, 0, 0x02};
    m.sensors = {0x03, 0x08, 0, 0x01};
    QCOMPARE(controller::WriteOutputMatrix(b.h.link, 0x80, m).value_or(-1), 4);
    QCOMPARE(c.relayEvents[1], 0x30);
    auto back = controller::ReadOutputMatrix(b.h.link, 0x80);
    QVERIFY(back && !back->oldForm);
    QCOMPARE(back->sensors[1], std::uint8_t(0x08));
    c.oldRelayForm = true;
    back = controller::ReadOutputMatrix(b.h.link, 0x80);
    QVERIFY(back && back->oldForm);
    back->events[0] = 0x0F;
    QCOMPARE(controller::WriteOutputMatrix(b.h.link, 0x80, *back).value_or(-1), 4);
    QCOMPARE(b.log.frames.last().mid(5, 2), QByteArray("04")); // four bytes in the old form
    QCOMPARE(c.relayEvents[0], 0x0F);
}

void TestController::matrixMasksStayPaired() {
    controller::OutputMatrix m;
    // The only pressed button released: both masks empty.
    controller::applyMatrixButton(m, 0, 2, 1, true);
    QCOMPARE(int(m.events[0]), 0x04);
    QCOMPARE(int(m.sensors[0]), 0x02);
    controller::applyMatrixButton(m, 0, 2, 1, false);
    QCOMPARE(int(m.events[0]), 0);
    QCOMPARE(int(m.sensors[0]), 0);
    // One of two buttons of the same event, other sensors, released: the
    // event stays.
    controller::applyMatrixButton(m, 1, 3, 0, true);
    controller::applyMatrixButton(m, 1, 3, 2, true);
    controller::applyMatrixButton(m, 1, 3, 0, false);
    QCOMPARE(int(m.events[1]), 0x08);
    QCOMPARE(int(m.sensors[1]), 0x04);
    QVERIFY(controller::matrixButtonDown(m, 1, 3, 2));
    QVERIFY(!controller::matrixButtonDown(m, 1, 3, 0));
    // Releasing one of two events of one sensor keeps the sensor.
    controller::applyMatrixButton(m, 2, 0, 1, true);
    controller::applyMatrixButton(m, 2, 4, 1, true);
    controller::applyMatrixButton(m, 2, 0, 1, false);
    QCOMPARE(int(m.events[2]), 0x10);
    QCOMPARE(int(m.sensors[2]), 0x02);
}

void TestController::stateAndSwitchOff() {
    SensorBench b;
    const auto s = controller::ReadAlarmState(b.h.link, SensorBench::kSensor);
    QVERIFY(s);
    QCOMPARE(int((*s)[2]), 0x01);
    QVERIFY(controller::SwitchOffAlarm(b.h.link, SensorBench::kSensor, 0));
    QCOMPARE(int((*controller::ReadAlarmState(b.h.link, SensorBench::kSensor))[2]), 0);
    QVERIFY(!controller::SwitchOffAlarm(b.h.link, SensorBench::kSensor, 0));
}

void TestController::switchOffSaysItsCause_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("said");
    QTest::newRow("sounding") << "none"
                              << "ВЫКЛЮЧЕНО";
    // Answered with byte 0 = 0: nothing sounding was switched off.
    QTest::newRow("refused") << "refused"
                             << "НЕ ПОЛУЧИЛОСЬ: НЕ ПОДТВЕРЖДЕНО";
    QTest::newRow("silent") << "silent"
                            << "НЕ ПОЛУЧИЛОСЬ: НЕТ ОТВЕТА";
    QTest::newRow("ignores writes") << "ignores-writes"
                                    << "НЕ ПОЛУЧИЛОСЬ: НЕТ ОТВЕТА";
    QTest::newRow("checksum") << "checksum"
                              << "НЕ ПОЛУЧИЛОСЬ: ОТВЕТ НЕ РАЗОБРАН";
    QTest::newRow("echo-only") << "echo-only"
                               << "НЕ ПОЛУЧИЛОСЬ: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
}

// A switch-off not done says why, from its own request: the page and
// "orvant2-cli alarm N off" show this text.
void TestController::switchOffSaysItsCause() {
    QFETCH(QString, fault);
    QFETCH(QString, said);
    const bool echoOnly = fault == QLatin1String("echo-only");
    // The adapter echoes from the start: the link learns it in transit.
    SimHarness h(scenarioFrom(echoOnly ? "echo\ncontroller 0 0 4\n" : "controller 0 0 4\n"));
    QVERIFY(bus::EnterTransitMode(h.link, 0x80));
    const std::uint8_t s = SensorBench::kSensor;
    if (fault == QLatin1String("refused"))
        QVERIFY(controller::SwitchOffAlarm(h.link, s, 0));
    else if (echoOnly)
        h.installation->setNoDevices(true);
    else if (fault != QLatin1String("none"))
        h.installation->setSensorFault(s, *sim::faultFromName(fault));
    const app::WriteOutcome r = controller::SwitchOffAlarm(h.link, s, 0);
    QCOMPARE(controller::switchOffText(r), said);
    QCOMPARE(r.confirmed(), fault == QLatin1String("none"));
}

void TestController::memoryTestTexts_data() {
    using enum controller::MemoryTestOutcome;
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<controller::MemoryTestOutcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << QByteArray() << NotSupported << "УСТРОЙСТВОМ ТЕСТ НЕ ПОДДЕРЖИВАЕТСЯ";
    QTest::newRow("passed") << QByteArray(1, 0) << NoErrors << "ОШИБОК НЕТ";
    QTest::newRow("high address byte")
        << QByteArray("\x12\x34", 2) << HighByteError << "Ошибка старшего байта адреса: 2600";
    QTest::newRow("address") << QByteArray("\x12\x34\x55\xAA", 4) << CellError
                             << "Ошибка по адресу 1234 : зп-55 сч-AA";
    QTest::newRow("three bytes")
        << QByteArray(3, 1) << UnexpectedLength
        << "ОТВЕТ ТЕСТА ПАМЯТИ НЕОЖИДАННОЙ ДЛИНЫ: 3 БАЙТ, ОЖИДАЛОСЬ 0, 1, 2 ИЛИ 4";
    QTest::newRow("nine bytes")
        << QByteArray(9, 7) << UnexpectedLength
        << "ОТВЕТ ТЕСТА ПАМЯТИ НЕОЖИДАННОЙ ДЛИНЫ: 9 БАЙТ, ОЖИДАЛОСЬ 0, 1, 2 ИЛИ 4";
}

// The whole test on the wire: the request, the answer taken at a look, and
// the stop after it; the result says what came.
void TestController::memoryTestTexts() {
    QFETCH(QByteArray, answer);
    QFETCH(controller::MemoryTestOutcome, outcome);
    QFETCH(QString, text);
    SensorBench b;
    b.sensor().memoryTestAnswer = answer;
    app::SilentProgress progress;
    const auto r = controller::RunMemoryTest(b.h.link, SensorBench::kSensor, progress);
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.length, int(answer.size()));
    QCOMPARE(std::vector<int>(r.expected.begin(), r.expected.end()),
             (std::vector<int>{0, 1, 2, 4}));
    QCOMPARE(controller::memoryTestText(r), text);
    QCOMPARE(b.log.frames, (QByteArrayList{requestFrame(SensorBench::kSensor, 0x12),
                                           requestFrame(SensorBench::kSensor, 0x0C)}));
}

void TestController::memoryTestGivenUp_data() {
    using enum controller::MemoryTestOutcome;
    QTest::addColumn<bool>("breaks");
    QTest::addColumn<bool>("echoOnly");
    QTest::addColumn<controller::MemoryTestOutcome>("outcome");
    QTest::addColumn<QString>("text");
    QTest::newRow("break") << true << false << Stopped << "ТЕСТ ПАМЯТИ ПРЕРВАН";
    QTest::newRow("six looks") << false << false << NoAnswer
                               << "ВОЗМОЖНО УСТРОЙСТВОМ ТЕСТ НЕ ПОДДЕРЖИВАЕТСЯ";
    // The line, not the device, failed: it is said so.
    QTest::newRow("nothing but the echo")
        << false << true << EchoOnly << "НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
}

// A silent sensor: a break ends the looks at once, else six of them pass;
// the sensor is told to stop either way.
void TestController::memoryTestGivenUp() {
    QFETCH(bool, breaks);
    QFETCH(bool, echoOnly);
    QFETCH(controller::MemoryTestOutcome, outcome);
    QFETCH(QString, text);
    // The echo-only line fresh from its port, as an engineer meets it.
    SensorBench b;
    SimHarness fresh(scenarioFrom("echo-only\ncontroller 0 0 4\n"));
    if (echoOnly) {
        fresh.link.setObserver(&b.log);
        b.h.link.setObserver(nullptr);
    } else {
        b.h.installation->setSensorFault(SensorBench::kSensor, sim::Fault::Silent);
    }
    SimHarness& h = echoOnly ? fresh : b.h;
    app::SilentProgress progress;
    int pumps = 0;
    if (breaks)
        h.link.setPump([&] {
            if (++pumps == 1)
                progress.requestBreak();
        });
    const qint64 t0 = h.line->clockMs();
    const auto r = controller::RunMemoryTest(h.link, SensorBench::kSensor, progress);
    const qint64 spent = h.line->clockMs() - t0;
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.length, -1);
    QCOMPARE(controller::memoryTestText(r), text);
    QCOMPARE(b.log.frames.first(), requestFrame(SensorBench::kSensor, 0x12));
    QCOMPARE(b.log.frames.last(), requestFrame(SensorBench::kSensor, 0x0C));
    if (!echoOnly)
        QCOMPARE(b.log.frames.size(), 2);
    if (breaks)
        QVERIFY2(spent < 400, qPrintable(QString::number(spent)));
    else
        QVERIFY2(spent >= controller::kMemoryTestLooks * controller::kMemoryTestTickMs - 50,
                 qPrintable(QString::number(spent)));
}

void TestController::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestController::lineFaults() {
    faultmatrix::run(operations(), 2 * 2000 + 6 * 100 + 1200);
}

void TestController::controllerLineFaults_data() {
    faultmatrix::addRows(controllerOperations());
}

void TestController::controllerLineFaults() {
    // The longest: 0xA0 asked twice, then 0xA5 three times.
    faultmatrix::run(controllerOperations(), 2 * 1000 + 4 * 2000 + 3 * 1000 + 1200, true);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TestController alarms;
    TestControllerSettings settings;
    return QTest::qExec(&alarms, argc, argv) + QTest::qExec(&settings, argc, argv);
}
#include "tst_controller.moc"
