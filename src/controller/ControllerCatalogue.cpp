#include "controller/ControllerCatalogue.h"

#include "app/ControllerTypes.h"

#include "app/ControllerLayout.h"
#include "controller/AlarmService.h"
#include "controller/ControllerSettings.h"

#include <cmath>

namespace controller {
namespace {

using app::Setting;
using app::SettingKind;
using app::SettingOperation;
using app::SettingTarget;
using app::SettingUse;
using app::SettingValues;

// The events by bit, as the keys name them.
// The entries of the calibration tables' allocation table.
constexpr int kAllocationEntries = 16;

const char* const kEventKeys[kEvents] = {"fuel-max",  "fuel-95", "fuel-min",
                                         "water-max", "leak",    "separation"};
const char* const kEventLabels[kEvents] = {"топливо max", "топливо 95% max", "топливо min",
                                           "вода max",    "утечка",          "расслоение"};

QJsonValue at(const SettingValues& v, const QString& key) {
    return app::valueOf(v, key);
}

int number(const SettingValues& v, const QString& key) {
    return static_cast<int>(std::lround(controllerSetting(key).encode(at(v, key))));
}

std::optional<int> given(const SettingValues& v, const QString& key) {
    return at(v, key).isNull() ? std::nullopt : std::optional<int>(number(v, key));
}

app::WriteOutcome writeInterval(bus::SerialLink& l, const SettingTarget& t, int,
                                const SettingValues& v) {
    return app::outcomeOf(l, WriteInterval(l, t.address, number(v, QStringLiteral("interval"))));
}
app::WriteOutcome writeMain(bus::SerialLink& l, const SettingTarget& t, int,
                            const SettingValues& v) {
    return app::outcomeOf(
        l, WriteChannel(l, t.address, Channel::Main, number(v, QStringLiteral("main-channel"))));
}
app::WriteOutcome writeSecond(bus::SerialLink& l, const SettingTarget& t, int,
                              const SettingValues& v) {
    return app::outcomeOf(l, WriteChannel(l, t.address, Channel::Second,
                                          number(v, QStringLiteral("second-channel"))));
}
app::WriteOutcome writeWorking(bus::SerialLink& l, const SettingTarget& t, int,
                               const SettingValues& v) {
    return app::outcomeOf(l, WritePassword(l, t.address, Password::Working,
                                           at(v, QStringLiteral("working-password")).toString()));
}
app::WriteOutcome writeSystem(bus::SerialLink& l, const SettingTarget& t, int,
                              const SettingValues& v) {
    return app::outcomeOf(l, WritePassword(l, t.address, Password::System,
                                           at(v, QStringLiteral("system-password")).toString()));
}
app::WriteOutcome writeFirst(bus::SerialLink& l, const SettingTarget& t, int,
                             const SettingValues& v) {
    return app::outcomeOf(
        l, WriteFirstSensor(l, t.address, number(v, QStringLiteral("first-sensor"))));
}
app::WriteOutcome writeCount(bus::SerialLink& l, const SettingTarget& t, int,
                             const SettingValues& v) {
    return app::outcomeOf(
        l, WriteSensorCount(l, t.address, number(v, QStringLiteral("sensor-count"))));
}
app::WriteOutcome writeMap(bus::SerialLink& l, const SettingTarget& t, int,
                           const SettingValues& v) {
    return app::outcomeOf(
        l, WriteSensorMap(l, t.address, at(v, QStringLiteral("sensor-map")).toBool()));
}
app::WriteOutcome writeAddress(bus::SerialLink& l, const SettingTarget& t, int,
                               const SettingValues& v) {
    return app::outcomeOf(l,
                          WriteControllerIndex(l, t.address, number(v, QStringLiteral("address"))));
}

QString alarmKey(const char* name) {
    return QStringLiteral("alarm.") + QLatin1String(name);
}

// One write carries the whole set-up.
app::WriteOutcome writeAlarm(bus::SerialLink& l, const SettingTarget& t, int,
                             const SettingValues& v) {
    return app::outcomeOf(
        l, t.controller && WriteAlarmConfig(l, AlarmTarget{*t.controller, t.address, t.direct},
                                            alarmWriteOf(v)) == AlarmWriteOutcome::Confirmed);
}

// The page's order; the own address last: every other write still goes to
// the old one.
const SettingOperation kInterval{1, writeInterval};
const SettingOperation kFirst{2, writeFirst};
const SettingOperation kCount{3, writeCount};
const SettingOperation kMap{4, writeMap};
const SettingOperation kSystem{5, writeSystem};
const SettingOperation kWorking{6, writeWorking};
const SettingOperation kSecond{7, writeSecond};
const SettingOperation kMain{8, writeMain};
const SettingOperation kAddress{9, writeAddress};
const SettingOperation kAlarm{30, writeAlarm};
const SettingOperation kRead{0, nullptr};

bool notDirect(int type) {
    return !app::controllerType(type).directSensors;
}
bool direct(int type) {
    return app::controllerType(type).directSensors;
}
bool hostChannels(int type) {
    return app::controllerType(type).hostChannels;
}

Setting row(const QString& key, const QString& label, SettingKind kind,
            const SettingOperation& op) {
    Setting s;
    s.key = key;
    s.label = label;
    s.kind = kind;
    s.operation = &op;
    return s;
}

Setting number(const QString& key, const QString& label, const QString& unit, double min,
               double max, const SettingOperation& op) {
    Setting s = row(key, label, SettingKind::Number, op);
    s.unit = unit;
    s.min = min;
    s.max = max;
    return s;
}

Setting measured(Setting s) {
    s.use = SettingUse::Measured;
    return s;
}

std::vector<Setting> buildController() {
    std::vector<Setting> rows;
    rows.push_back(measured(
        row(QStringLiteral("version"), QStringLiteral("Версия"), SettingKind::Text, kRead)));
    rows.push_back(
        measured(row(QStringLiteral("date"), QStringLiteral("Дата"), SettingKind::Text, kRead)));
    Setting interval =
        number(QStringLiteral("interval"), QStringLiteral("Интервал опросов"), QStringLiteral("с"),
               kIntervalMin / 10.0, kIntervalMax / 10.0, kInterval);
    interval.decimals = 1;
    interval.scale = 10;
    rows.push_back(interval);
    Setting main = row(QStringLiteral("main-channel"), QStringLiteral("Главный канал X1"),
                       SettingKind::Choice, kMain);
    main.choices = mainChannelNames();
    main.inType = hostChannels;
    rows.push_back(main);
    Setting second = row(QStringLiteral("second-channel"), QStringLiteral("Канал X3"),
                         SettingKind::Choice, kSecond);
    second.choices = secondChannelNames();
    second.inType = hostChannels;
    rows.push_back(second);
    for (const bool working : {true, false}) {
        Setting p =
            row(working ? QStringLiteral("working-password") : QStringLiteral("system-password"),
                working ? QStringLiteral("Рабочий пароль") : QStringLiteral("Системный пароль"),
                SettingKind::Text, working ? kWorking : kSystem);
        p.pattern = QStringLiteral("[0-9]{%1}").arg(kPasswordLength);
        p.patternHint = QStringLiteral("%1 цифры").arg(kPasswordLength);
        p.use = SettingUse::Sensitive;
        p.inType = hostChannels;
        rows.push_back(p);
    }
    // As the page shows them: numbers from 1, kept from 0.
    Setting first = number(QStringLiteral("first-sensor"), QStringLiteral("Адрес первого датчика"),
                           {}, 1, app::kSensorAddresses, kFirst);
    first.offset = -1;
    // A controller told it serves no sensor drops out of every layout.
    Setting count = number(QStringLiteral("sensor-count"), QStringLiteral("Количество датчиков"),
                           {}, 1, kAddressEntries, kCount);
    Setting map = row(QStringLiteral("sensor-map"), QStringLiteral("Опрос по карте датчиков"),
                      SettingKind::Flag, kMap);
    // The index travels in bits 0..4; how many a type offers is addressEntries.
    Setting address = number(QStringLiteral("address"), QStringLiteral("Адрес КИПа"), {}, 1,
                             app::kControllerSlots, kAddress);
    address.offset = -1;
    // In the page's order; the writes go in their operations' order.
    for (Setting* s : {&address, &first, &count, &map}) {
        s->inType = notDirect;
        if (s != &map)
            s->use = SettingUse::Sensitive;
        rows.push_back(*s);
    }
    // Tables are programmed with their files, never alone.
    for (int n = 1; n <= kAllocationEntries; ++n) {
        Setting start = measured(number(QStringLiteral("table.%1.start").arg(n),
                                        QStringLiteral("Таблица %1: начальная страница").arg(n), {},
                                        0, 65535, kRead));
        start.place = n;
        rows.push_back(start);
        Setting size =
            measured(number(QStringLiteral("table.%1.size").arg(n),
                            QStringLiteral("Таблица %1: размер").arg(n), {}, 0, 65535, kRead));
        size.place = n;
        rows.push_back(size);
    }
    return rows;
}

std::vector<Setting> buildAlarm() {
    const QString mm = QStringLiteral("мм"), litres = QStringLiteral("л");
    std::vector<Setting> rows;
    rows.push_back(
        number(alarmKey("fuel-max"), QStringLiteral("Топливо max"), mm, 0, 65535, kAlarm));
    rows.push_back(measured(
        number(alarmKey("fuel-95"), QStringLiteral("Топливо 95% max"), mm, 0, 65535, kRead)));
    rows.push_back(
        number(alarmKey("fuel-min"), QStringLiteral("Топливо min"), mm, 0, 65535, kAlarm));
    rows.push_back(number(alarmKey("water-max"), QStringLiteral("Вода max"), mm, 0, 65535, kAlarm));
    rows.push_back(number(alarmKey("leak"), QStringLiteral("Утечка"), litres, 0, 65535, kAlarm));
    rows.push_back(
        measured(number(alarmKey("volume"), QStringLiteral("Объём на момент установки контроля"),
                        litres, 0, 4294967295.0, kRead)));
    for (int k = 0; k < kEvents; ++k) {
        Setting e = row(alarmKey("enable-") + QLatin1String(kEventKeys[k]),
                        QStringLiteral("Реакция на событие: ") + QString::fromUtf8(kEventLabels[k]),
                        SettingKind::Flag, kAlarm);
        e.inType = notDirect;
        rows.push_back(e);
    }
    for (int o = 1; o <= 2; ++o) {
        Setting mode = row(alarmKey("output-%1").arg(o), QStringLiteral("Выход %1: режим").arg(o),
                           SettingKind::Byte, kAlarm);
        Setting contacts =
            row(alarmKey("contacts-%1").arg(o), QStringLiteral("Выход %1: сухие контакты").arg(o),
                SettingKind::Byte, kAlarm);
        for (Setting* s : {&mode, &contacts}) {
            s->inType = direct;
            s->max = 255;
            rows.push_back(*s);
        }
    }
    return rows;
}

void put(SettingValues& v, const QString& key, std::optional<double> device) {
    v[key] = device ? controllerSetting(key).decode(*device) : QJsonValue(QJsonValue::Null);
}

} // namespace

const std::vector<app::Setting>& controllerSettings() {
    static const std::vector<app::Setting> rows = buildController();
    return rows;
}

const std::vector<app::Setting>& alarmSettings() {
    static const std::vector<app::Setting> rows = buildAlarm();
    return rows;
}

const app::Setting& controllerSetting(const QString& key) {
    const app::Setting* row = app::findSetting(controllerSettings(), key);
    if (!row)
        row = app::findSetting(alarmSettings(), key);
    Q_ASSERT_X(row, "controllerSetting", qPrintable(key));
    return *row;
}

AlarmWrite alarmWriteOf(const app::SettingValues& v) {
    AlarmWrite w;
    w.fuelMax = given(v, alarmKey("fuel-max"));
    w.fuelMin = given(v, alarmKey("fuel-min"));
    w.waterMax = given(v, alarmKey("water-max"));
    w.leak = given(v, alarmKey("leak"));
    for (int k = 0; k < kEvents; ++k)
        if (at(v, alarmKey("enable-") + QLatin1String(kEventKeys[k])).toBool())
            w.enables = static_cast<std::uint8_t>(w.enables | (1 << k));
    for (int o = 0; o < 2; ++o) {
        if (const auto c = given(v, alarmKey("contacts-%1").arg(o + 1)))
            w.contacts[o] = static_cast<std::uint8_t>(*c);
        if (const auto m = given(v, alarmKey("output-%1").arg(o + 1)))
            w.modes[o] = static_cast<std::uint8_t>(*m);
    }
    return w;
}

app::SettingValues ReadControllerValues(bus::SerialLink& link, std::uint8_t controller, int type) {
    const ControllerSettings c = ReadControllerSettings(link, controller, type);
    SettingValues v;
    auto text = [&v](const char* key, const std::optional<QString>& value) {
        v[QLatin1String(key)] = value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
    };
    auto number = [&v](const char* key, std::optional<int> device) {
        put(v, QLatin1String(key), device ? std::optional<double>(*device) : std::nullopt);
    };
    number("interval", c.interval);
    if (hostChannels(type)) {
        number("main-channel", c.mainChannel);
        number("second-channel", c.secondChannel);
        text("working-password", c.workingPassword);
        text("system-password", c.systemPassword);
    }
    if (notDirect(type)) {
        number("address", c.index);
        number("first-sensor", c.firstSensor);
        number("sensor-count", c.sensorCount);
        number("sensor-map", c.sensorMap ? std::optional<int>(*c.sensorMap) : std::nullopt);
    }
    return v;
}

app::SettingValues ReadAlarmValues(bus::SerialLink& link, const app::SettingTarget& t, int type) {
    SettingValues v;
    if (!t.controller)
        return v;
    const AlarmConfig a = ReadAlarmConfig(link, AlarmTarget{*t.controller, t.address, t.direct});
    auto optional = [](const std::optional<int>& x) {
        return x ? std::optional<double>(*x) : std::nullopt;
    };
    put(v, alarmKey("fuel-max"), optional(a.fuelMax));
    put(v, alarmKey("fuel-95"), optional(a.fuel95));
    put(v, alarmKey("fuel-min"), optional(a.fuelMin));
    put(v, alarmKey("water-max"), optional(a.waterMax));
    put(v, alarmKey("leak"), optional(a.leak));
    put(v, alarmKey("volume"), a.volume ? std::optional<double>(*a.volume) : std::nullopt);
    for (int k = 0; k < kEvents && notDirect(type); ++k)
        put(v, alarmKey("enable-") + QLatin1String(kEventKeys[k]),
            a.enables ? std::optional<double>((*a.enables >> k) & 1) : std::nullopt);
    for (int o = 0; o < 2 && direct(type); ++o) {
        put(v, alarmKey("output-%1").arg(o + 1),
            a.modes ? std::optional<double>((*a.modes)[o]) : std::nullopt);
        put(v, alarmKey("contacts-%1").arg(o + 1),
            a.contacts ? std::optional<double>((*a.contacts)[o]) : std::nullopt);
    }
    return v;
}

} // namespace controller
