#include "tst_settings.h"

#include "app/ControllerTypes.h"
#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/ScriptedDevice.h"
#include "common/SensorBench.h"
#include "controller/ControllerCatalogue.h"
#include "controller/ControllerSettings.h"
#include "controller/ControllerStatus.h"
#include "controller/ControllerWrite.h"

#include <QtTest>

namespace {

using controller::Processor;

struct Line {
    explicit Line(const char* scenario = "controller 0 0 4\ncontroller 3 4 8\n")
        : h(scenarioFrom(scenario)) {
        h.link.setObserver(&log);
    }
    SimHarness h;
    CommandLog log;
};

// The reply frame of a controller, as the device puts it on the line.
QByteArray reply(std::uint8_t address, std::uint8_t command, const QByteArray& data) {
    return bus::encodeReply(address, command, data);
}

QStringList litLamps(const QByteArray& bytes, Processor p) {
    QStringList lit;
    for (const controller::LampRow& row : controller::lampRows(p))
        for (int i = 0; i < 8; ++i)
            if (controller::lampLit(bytes, row, i))
                lit << QString::fromLatin1(row.labels[i]);
    return lit;
}

const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"get",
         [](bus::SerialLink& l, std::uint8_t) {
             const auto s = controller::ReadControllerSettings(l, 0x80, 1);
             return s.interval && s.mainChannel && s.workingPassword && s.index && s.sensorMap;
         }},
        {"set",
         [](bus::SerialLink& l, std::uint8_t) {
             const app::SettingValues v{{QStringLiteral("interval"), QJsonValue(5.0)},
                                        {QStringLiteral("sensor-map"), QJsonValue(false)}};
             return controller::WriteControllerSettings(l, 0x80, 1, v, app::SilentProgress())
                 .failed.empty();
         }},
        {"status",
         [](bus::SerialLink& l, std::uint8_t) {
             app::SilentProgress p;
             const auto s = controller::ReadMainStatus(l, 0x80, p);
             return s && s->answeredBy == 0x80 && !s->bytes.isEmpty();
         }},
        {"keyboard status",
         [](bus::SerialLink& l, std::uint8_t) {
             return controller::ReadKeyboardStatus(l, 0x80).has_value();
         }},
    };
    return ops;
}

} // namespace

void TestControllerSettings::readPerType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("sent");
    const QStringList all{"80:03", "80:09", "80:08", "80:0A", "80:0B"};
    QTest::newRow("N5") << 0 << all;
    QTest::newRow("N6") << 1 << all;
    QTest::newRow("C6: no channels or passwords") << 3 << QStringList{"80:03", "80:0A", "80:0B"};
    QTest::newRow("C7") << 4 << QStringList{"80:03", "80:0A", "80:0B"};
}

void TestControllerSettings::readPerType() {
    QFETCH(int, type);
    QFETCH(QStringList, sent);
    Line l(type == 0   ? "type 0\ncontroller 0 0 4\n"
           : type == 1 ? "type 1\ncontroller 0 0 4\n"
           : type == 3 ? "type 3\ncontroller 0 0 4\n"
                       : "type 4\ncontroller 0 0 4\n");
    const auto s = controller::ReadControllerSettings(l.h.link, 0x80, type);
    QCOMPARE(l.log.sent, sent);
    QCOMPARE(*s.interval, 100);
    QCOMPARE(*s.index, 0);
    QCOMPARE(*s.firstSensor, 0);
    QCOMPARE(*s.sensorCount, 4);
    QCOMPARE(*s.sensorMap, true);
    QCOMPARE(s.workingPassword.has_value(), sent.contains(QStringLiteral("80:08")));
    if (s.workingPassword) {
        QCOMPARE(*s.workingPassword, QStringLiteral("1111"));
        QCOMPARE(*s.systemPassword, QStringLiteral("2580"));
        QCOMPARE(*s.mainChannel, 1);
        QCOMPARE(*s.secondChannel, 0);
    }
    // The option byte is asked for by its number.
    QCOMPARE(l.log.frames.last(), requestFrame(0x80, 0x0B, QByteArray("\x01", 1)));
}

void TestControllerSettings::addressReplyDecoded() {
    // The direct type asks for the interval only.
    ScriptedLink direct({reply(0x85, 0x03, QByteArray("\x32", 1))});
    const auto d = controller::ReadControllerSettings(direct.link, 0x85, 2);
    QCOMPARE(*d.interval, 50);
    QVERIFY(!d.index);
    QCOMPARE(direct.device->written, requestFrame(0x85, 0x03));
    // A 0x0A reply 83 04 08: index 3 (shown "4"), first 4 (shown 5), count 8.
    ScriptedLink s({reply(0x83, 0x03, QByteArray("\x64", 1)),
                    reply(0x83, 0x0A, QByteArray("\x83\x04\x08", 3)),
                    reply(0x83, 0x0B, QByteArray("\x01\x04", 2))});
    const auto c = controller::ReadControllerSettings(s.link, 0x83, 3);
    QCOMPARE(*c.index, 3);
    QCOMPARE(*c.firstSensor, 4);
    QCOMPARE(*c.sensorCount, 8);
    QCOMPARE(*c.sensorMap, false);
}

void TestControllerSettings::writesOnTheWire_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("interval") << "interval" << requestFrame(0x80, 0x03, QByteArray("\x37", 1));
    QTest::newRow("first sensor") << "first" << requestFrame(0x80, 0x0A, QByteArray("\x02\x05", 2));
    QTest::newRow("count") << "count" << requestFrame(0x80, 0x0A, QByteArray("\x03\x06", 2));
    QTest::newRow("working password") << "working"
                                      << requestFrame(0x80, 0x08,
                                                      QByteArray("\x01"
                                                                 "4321",
                                                                 5));
    QTest::newRow("system password") << "system"
                                     << requestFrame(0x80, 0x08,
                                                     QByteArray("\x00"
                                                                "9876",
                                                                5));
    QTest::newRow("main channel USB")
        << "main" << requestFrame(0x80, 0x09, QByteArray("\x01\x02", 2));
    QTest::newRow("second channel RS485")
        << "second" << requestFrame(0x80, 0x09, QByteArray("\x02\x01", 2));
}

void TestControllerSettings::writesOnTheWire() {
    QFETCH(QString, what);
    QFETCH(QByteArray, frame);
    Line l("type 0\ncontroller 0 0 4\n");
    auto& link = l.h.link;
    sim::SimController& c = *l.h.installation->controller(0);
    using namespace controller;
    bool ok = false;
    if (what == "interval") {
        ok = WriteInterval(link, 0x80, 55);
        QCOMPARE(c.interval, 55);
    } else if (what == "first") {
        ok = WriteFirstSensor(link, 0x80, 5);
        QCOMPARE(c.first, 5);
    } else if (what == "count") {
        ok = WriteSensorCount(link, 0x80, 6);
        QCOMPARE(c.count, 6);
    } else if (what == "working") {
        ok = WritePassword(link, 0x80, Password::Working, QStringLiteral("4321"));
        QCOMPARE(c.workingPassword, QByteArray("4321"));
    } else if (what == "system") {
        ok = WritePassword(link, 0x80, Password::System, QStringLiteral("98765"));
        QCOMPARE(c.systemPassword, QByteArray("9876"));
    } else if (what == "main") {
        ok = WriteChannel(link, 0x80, Channel::Main, 2);
        QCOMPARE(c.channels[0], 2);
    } else {
        ok = WriteChannel(link, 0x80, Channel::Second, 1);
        QCOMPARE(c.channels[1], 1);
    }
    QVERIFY(ok);
    QCOMPARE(l.log.frames, QByteArrayList{frame});
}

// The one write of the configuration page and "controller K set": the
// given settings in their operations' order, the own address last, so that
// every write before it still finds the controller; what has nothing to
// send, or what the type does not take, goes nowhere.
void TestControllerSettings::settingsWriteOrder_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<QStringList>("confirmed");
    QTest::addColumn<QString>("failed");
    QTest::newRow("address last")
        << 1 << QStringList{"address=4", "first-sensor=9", "interval=5.5"}
        << QByteArrayList{requestFrame(0x80, 0x03, QByteArray("\x37", 1)),
                          requestFrame(0x80, 0x0A, QByteArray("\x02\x08", 2)),
                          requestFrame(0x80, 0x0A, QByteArray("\x01\x03", 2))}
        << QStringList{"interval", "first-sensor", "address"} << QString();
    QTest::newRow("passwords before channels")
        << 0 << QStringList{"main-channel=USB", "working-password=4321"}
        << QByteArrayList{requestFrame(0x80, 0x08,
                                       QByteArray("\x01"
                                                  "4321",
                                                  5)),
                          requestFrame(0x80, 0x09, QByteArray("\x01\x02", 2))}
        << QStringList{"working-password", "main-channel"} << QString();
    QTest::newRow("nothing to send")
        << 1 << QStringList{"system-password=", "interval=5.5"}
        << QByteArrayList{requestFrame(0x80, 0x03, QByteArray("\x37", 1))}
        << QStringList{"interval"} << "system-password — НЕДОПУСТИМОЕ ЗНАЧЕНИЕ";
    QTest::newRow("address past the type's scan")
        << 1 << QStringList{"address=20"} << QByteArrayList{} << QStringList{}
        << "address — НЕДОПУСТИМОЕ ЗНАЧЕНИЕ";
    QTest::newRow("channels the type lacks")
        << 3 << QStringList{"main-channel=USB"} << QByteArrayList{} << QStringList{}
        << "main-channel — НЕДОПУСТИМОЕ ЗНАЧЕНИЕ";
}

void TestControllerSettings::settingsWriteOrder() {
    QFETCH(int, type);
    QFETCH(QStringList, given);
    QFETCH(QByteArrayList, frames);
    QFETCH(QStringList, confirmed);
    QFETCH(QString, failed);
    Line l(qPrintable(QStringLiteral("type %1\ncontroller 0 0 4\n").arg(type)));
    app::SettingValues values;
    for (const QString& word : given) {
        const QString key = word.section(QLatin1Char('='), 0, 0);
        values[key] = controller::controllerSetting(key)
                          .parse(word.section(QLatin1Char('='), 1))
                          .value_or(QJsonValue(QJsonValue::Null));
    }
    const controller::SettingsWriteResult r =
        controller::WriteControllerSettings(l.h.link, 0x80, type, values, app::SilentProgress());
    QCOMPARE(l.log.frames, frames);
    QCOMPARE(QStringList(r.confirmed.begin(), r.confirmed.end()), confirmed);
    const QString said = app::notWrittenText(r.failed, true);
    QCOMPARE(said, failed.isEmpty() ? QString() : QStringLiteral("НЕ ЗАПИСАНО: ") + failed);
}

void TestControllerSettings::addressChangeTakesEffect() {
    Line l;
    QVERIFY(controller::WriteControllerIndex(l.h.link, 0x80, 2));
    QCOMPARE(l.log.frames, QByteArrayList{requestFrame(0x80, 0x0A, QByteArray("\x01\x02", 2))});
    // At once: the old address is silent, the new one answers with the range.
    QVERIFY(!controller::ReadControllerSettings(l.h.link, 0x80, 1).interval);
    const auto s = controller::ReadControllerSettings(l.h.link, 0x82, 1);
    QCOMPARE(*s.index, 2);
    QCOMPARE(*s.sensorCount, 4);
    // A controller already sits at index 3: the change is refused.
    QVERIFY(!controller::WriteControllerIndex(l.h.link, 0x82, 3));
    QVERIFY(l.h.installation->controller(2));
    // A controller that echoes the plain index is believed as well.
    ScriptedLink plain({reply(0x80, 0x0A, QByteArray("\x03\x00\x04", 3))});
    QVERIFY(controller::WriteControllerIndex(plain.link, 0x80, 3));
}

void TestControllerSettings::refusedWritesAreNotConfirmed() {
    Line l("type 1\ncontroller 0 0 4\n");
    using namespace controller;
    QVERIFY(!WriteInterval(l.h.link, 0x80, 5));
    QVERIFY(!WriteChannel(l.h.link, 0x80, Channel::Second, 2)); // X3 has no USB
    QVERIFY(!WriteSensorCount(l.h.link, 0x80, 17));
    // No reply at all.
    QVERIFY(!WriteInterval(l.h.link, 0x84, 50));
    QCOMPARE(l.h.installation->controller(0)->interval, 100);
}

void TestControllerSettings::sensorMapKeepsOtherBits() {
    Line l;
    sim::SimController& c = *l.h.installation->controller(0);
    c.option = 0xA5 | 0x08;
    QVERIFY(controller::WriteSensorMap(l.h.link, 0x80, false));
    QCOMPARE(c.option, 0xA5);
    QCOMPARE(l.log.frames, (QByteArrayList{requestFrame(0x80, 0x0B, QByteArray("\x01", 1)),
                                           requestFrame(0x80, 0x0B, QByteArray("\x01\xA5", 2))}));
    QVERIFY(controller::WriteSensorMap(l.h.link, 0x80, true));
    QCOMPARE(c.option, 0xAD);
}

void TestControllerSettings::shortPasswordIsNotSent() {
    Line l("type 0\ncontroller 0 0 4\n");
    QVERIFY(!controller::WritePassword(l.h.link, 0x80, controller::Password::Working,
                                       QStringLiteral("123")));
    QVERIFY(l.log.frames.isEmpty());
}

void TestControllerSettings::intervalText_data() {
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QString>("text");
    QTest::newRow("100") << 100 << "10";
    QTest::newRow("105") << 105 << "10,5";
    QTest::newRow("10") << 10 << "1";
    QTest::newRow("255") << 255 << "25,5";
}

void TestControllerSettings::intervalText() {
    QFETCH(int, tenths);
    QFETCH(QString, text);
    QCOMPARE(controller::intervalText(tenths, QLatin1Char(',')), text);
}

void TestControllerSettings::lamps_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("keyboard");
    QTest::addColumn<QStringList>("lit");
    QTest::newRow("FLSH and SUP") << QByteArray("\x00\x00\x00\x81\x00\x00\x00\x00\x00\x00", 10)
                                  << false << QStringList{"FLSH", "SUP"};
    QTest::newRow("sensors 1 and 16") << QByteArray("\x02\x80\x01\x00\x00\x00\x00\x00\x00\x00", 10)
                                      << false << QStringList{"1", "16"};
    QTest::newRow("rows and the last byte")
        << QByteArray("\x00\x00\x00\x00\x10\x80\x00\x00\x00\x41", 10) << false
        << QStringList{"DLNK", "TWREP", "SRC", "X2RC"};
    QTest::newRow("bytes 7 and 8 are no lamps")
        << QByteArray("\x00\x00\x00\x00\x00\x00\x00\xFF\xFF\x00", 10) << false << QStringList{};
    QTest::newRow("keyboard rows") << QByteArray("\x81\x40\x01\x20\x01\x02", 6) << true
                                   << QStringList{"2", "9", "FLSH", "DEL", "SRC", "K_SCN", "TWRC"};
}

void TestControllerSettings::lamps() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, keyboard);
    QFETCH(QStringList, lit);
    QCOMPARE(litLamps(bytes, keyboard ? Processor::Keyboard : Processor::Main), lit);
}

void TestControllerSettings::shortReplyLeavesLampsOff() {
    // Only the count and the high mask came: everything past them is off.
    QCOMPARE(litLamps(QByteArray("\x04\x01", 2), Processor::Main), QStringList{"9"});
    QCOMPARE(litLamps(QByteArray(), Processor::Keyboard), QStringList{});
    QCOMPARE(controller::hexDump(QByteArray("\x04\xAB", 2)), QStringLiteral("04 AB"));
}

// The dump, count and mode the page shows and the CLI prints.
void TestControllerSettings::statusTextOfAReply() {
    const auto main = controller::statusText(Processor::Main, QByteArray("\x04\x00\x0F\x01", 4));
    QCOMPARE(main.dump, QStringLiteral("04 00 0F 01"));
    QCOMPARE(main.sensors, QStringLiteral("4"));
    // Byte 6 is past the end of a short reply: mode 00.
    QCOMPARE(main.mode, QStringLiteral("00 ЗАПРОС  СТАТУСА"));
    const auto keyboard =
        controller::statusText(Processor::Keyboard, QByteArray("\x12\x80\x24", 3));
    QCOMPARE(keyboard.dump, QStringLiteral("12 80 24"));
    QVERIFY(keyboard.sensors.isEmpty());
    QVERIFY(keyboard.mode.isEmpty());
    const auto none = controller::statusText(Processor::Main, QByteArray());
    QVERIFY(none.dump.isEmpty() && none.sensors.isEmpty() && none.mode.isEmpty());
}

void TestControllerSettings::modeText_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("03") << 0x03 << "03 ПОЛУЧЕНИЕ  КОНФИГУРАЦИИ";
    QTest::newRow("0A") << 0x0A << "0A РАСЧЁТ  ОБЪЁМА";
    QTest::newRow("19: no subject") << 0x19 << "19 ПОЛУЧЕНИЕ ";
    QTest::newRow("00") << 0x00 << "00 ЗАПРОС  СТАТУСА";
    QTest::newRow("17") << 0x17 << "17 ПОЛУЧЕНИЕ  РАССЛОЕНИЯ";
    QTest::newRow("0F") << 0x0F << "0F РАСЧЁТ  МАССЫ";
    QTest::newRow("FE") << 0xFE << "FE ЗАПРОС ";
}

void TestControllerSettings::modeText() {
    QFETCH(int, mode);
    QFETCH(QString, text);
    QCOMPARE(controller::modeText(static_cast<std::uint8_t>(mode)), text);
}

void TestControllerSettings::silentControllerFallsBack() {
    Line l;
    l.h.installation->setControllerFault(0, sim::Fault::Silent);
    app::SilentProgress p;
    const auto s = controller::ReadMainStatus(l.h.link, 0x80, p);
    QVERIFY(s);
    QCOMPARE(s->answeredBy, 0x83);
    QCOMPARE(static_cast<int>(s->bytes[0]), 8);
    QCOMPARE(l.log.sent, (QStringList{"80:7C", "80:7C", "81:7C", "82:7C", "83:7C"}));
    // A break stops the search.
    l.log.sent.clear();
    p.requestBreak();
    QVERIFY(!controller::ReadMainStatus(l.h.link, 0x80, p));
    QCOMPARE(l.log.sent, QStringList{"80:7C"});
}

void TestControllerSettings::keyboardProcessorOnItsPort() {
    auto installation =
        std::make_shared<sim::Installation>(scenarioFrom("type 0\ncontroller 0 0 4\n"));
    bus::SerialLink link;
    link.addVirtualPort(sim::SimulatedLine::kKeyboardPortName,
                        sim::simulatedPortOpener(installation, false, true));
    QVERIFY(link.OpenPort(sim::SimulatedLine::kKeyboardPortName));
    const auto s = controller::ReadKeyboardStatus(link, 0x80);
    QVERIFY(s);
    QCOMPARE(s->bytes.size(), 6);
    // The channels the display shows: sensors 1..4.
    QCOMPARE(static_cast<int>(s->bytes[5]), 0x0F);
    // Settings and sensors are the main processor's business.
    QVERIFY(!controller::ReadControllerSettings(link, 0x80, 0).interval);
}

void TestControllerSettings::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestControllerSettings::lineFaults() {
    // The longest: the status search over fifteen silent addresses, with
    // transit asked for around it.
    faultmatrix::run(operations(), 16 * 500 + 2 * 1000 + 1200, true);
}

namespace {

// What a controller keeps of its settings and of one sensor's alarm set-up,
// as bytes to compare.
QByteArray keptBy(const sim::SimController& c, int sensor) {
    QByteArray out;
    for (const int v :
         {c.index, c.first, c.count, c.interval, c.channels[0], c.channels[1], c.option})
        out += QByteArray::number(v) + ' ';
    out += c.workingPassword + ' ' + c.systemPassword + ' ';
    const auto a = c.alarms.find(sensor);
    if (a == c.alarms.end())
        return out + "no alarm";
    for (const int v : a->second.thresholds)
        out += QByteArray::number(v) + ' ';
    out += QByteArray::number(a->second.volume) + ' ' + QByteArray::number(a->second.enables);
    for (const int v :
         {a->second.contacts[0], a->second.contacts[1], a->second.modes[0], a->second.modes[1]})
        out += ' ' + QByteArray::number(v);
    return out;
}

} // namespace

void TestControllerSettings::everyKeyRoundTrips_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("key");
    for (int type = 0; type < app::kControllerTypes; ++type) {
        if (!app::controllerType(type).hasController())
            continue;
        for (const auto* table : {&controller::controllerSettings(), &controller::alarmSettings()})
            for (const app::Setting& row : *table)
                if (row.writable() && row.existsIn(type))
                    QTest::newRow(qPrintable(QStringLiteral("type %1 %2").arg(type).arg(row.key)))
                        << type << row.key;
    }
}

// What "get" tells of a key, "set" writes back unchanged: the same text is
// read again and the controller keeps the same bytes. An alarm key travels
// with the rest of the set-up as read, as "alarm set" sends it.
void TestControllerSettings::everyKeyRoundTrips() {
    QFETCH(int, type);
    QFETCH(QString, key);
    const bool direct = app::controllerType(type).directSensors;
    // A controller past the first, serving sensors from 6; a С6 past 16.
    const int index = direct ? 4 : type == 3 ? 20 : 3;
    const QByteArray scenario = QByteArray("type ") + QByteArray::number(type) +
                                (direct ? QByteArray("\nsensors 4 2\n")
                                        : "\ncontroller " + QByteArray::number(index) + " 5 4\n");
    SimHarness h(scenarioFrom(scenario.constData()));
    const auto address = std::uint8_t(0x80 + index);
    const int sensor = direct ? 4 : 6;
    sim::SimController& c = *h.installation->controller(address & 0x7F);
    // Values other than the defaults, so a write that drops one shows.
    c.interval = 105;
    c.channels = {2, 1};
    c.workingPassword = "4321";
    c.option = 0x04;
    sim::SimAlarm& a = c.alarms[sensor];
    a.thresholds = {1900, 1805, 120, 35, 250};
    a.enables = 0x2A;
    a.contacts = {0x05, 0x80};
    a.modes = {0x83, 0x02};
    const app::SettingTarget target{address, address, direct};
    const bool alarm = key.startsWith(QLatin1String("alarm."));
    auto read = [&] {
        return alarm ? controller::ReadAlarmValues(h.link, {std::uint8_t(sensor), address, direct},
                                                   type)
                     : controller::ReadControllerValues(h.link, address, type);
    };
    const app::SettingValues before = read();
    const QByteArray kept = keptBy(c, sensor);
    const app::Setting& row = controller::controllerSetting(key);
    QVERIFY(!app::valueOf(before, key).isNull());
    const auto value = row.parse(row.text(app::valueOf(before, key)));
    QVERIFY2(value, qPrintable(row.text(app::valueOf(before, key))));
    app::SettingValues given = alarm ? before : app::SettingValues{};
    given[key] = *value;
    const auto failed = app::WriteSettings(
        h.link, alarm ? app::SettingTarget{std::uint8_t(sensor), address, direct} : target, {&row},
        given, app::SilentProgress());
    QVERIFY2(failed.empty(), qPrintable(app::notWrittenText(failed, true)));
    const app::SettingValues after = read();
    for (const auto& [k, v] : before)
        QCOMPARE(controller::controllerSetting(k).text(app::valueOf(after, k)),
                 controller::controllerSetting(k).text(v));
    QCOMPARE(keptBy(c, sensor), kept);
    QVERIFY(!c.service);
}
