#include "snapshot/SnapshotRead.h"

#include "app/Addressing.h"
#include "app/ControllerTypes.h"
#include "app/Progress.h"
#include "caltable/TableTransfer.h"
#include "controller/AlarmService.h"
#include "controller/ControllerSettings.h"
#include "link/DeviceText.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

namespace snapshot {
namespace {

using bus::Form;

template <typename T> void put(Values& v, const QString& key, const std::optional<T>& value) {
    if (value)
        v[key] = QJsonValue(*value);
    else
        v[key] = QJsonValue(QJsonValue::Null);
}

void putText(Values& v, const QString& key, const std::optional<QString>& value) {
    v[key] = value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString numbered(const char* base, int n, const char* field = nullptr) {
    QString key = QLatin1String(base) + QLatin1Char('.') + QString::number(n);
    if (field)
        key += QLatin1Char('.') + QLatin1String(field);
    return key;
}

// A device that does not tell its version is asked nothing more: a line
// with nobody on it would otherwise wait out every value. Its keys are
// kept, without values (a link with no port gives them at once).
Values controllerValues(bus::SerialLink& link, int type, std::uint8_t address) {
    const auto version =
        bus::ReadDeviceText(link, bus::Target::Controller, address, bus::ctl::ReadVersion);
    if (!version && link.isOpen()) {
        bus::SerialLink nobody;
        return controllerValues(nobody, type, address);
    }
    Values v;
    putText(v, QStringLiteral("version"), version);
    putText(v, QStringLiteral("date"),
            bus::ReadDeviceText(link, bus::Target::Controller, address, bus::ctl::ReadDate));
    const controller::ControllerSettings c =
        controller::ReadControllerSettings(link, address, type);
    put(v, QStringLiteral("interval"), c.interval);
    if (app::controllerType(type).hostChannels) {
        put(v, QStringLiteral("main-channel"), c.mainChannel);
        put(v, QStringLiteral("second-channel"), c.secondChannel);
        putText(v, QStringLiteral("working-password"), c.workingPassword);
        putText(v, QStringLiteral("system-password"), c.systemPassword);
    }
    if (!app::controllerType(type).directSensors) {
        put(v, QStringLiteral("index"), c.index);
        put(v, QStringLiteral("first-sensor"), c.firstSensor);
        put(v, QStringLiteral("sensor-count"), c.sensorCount);
        put(v, QStringLiteral("sensor-map"), c.sensorMap);
    }
    const int pageSize = caltable::ReadPageSize(link, address);
    const auto allocation = caltable::ReadAllocation(link, address, pageSize);
    const int entries = app::controllerType(type).directSensors ? 1 : caltable::kTanks;
    for (int n = 0; n < entries; ++n) {
        std::optional<int> start, size;
        if (allocation && n < allocation->entries) {
            start = allocation->table[n].startPage;
            size = allocation->table[n].size;
        }
        put(v, numbered("table", n + 1, "start"), start);
        put(v, numbered("table", n + 1, "size"), size);
    }
    return v;
}

void putAlarm(Values& v, bus::SerialLink& link, const controller::AlarmTarget& alarm);

Values sensorValues(bus::SerialLink& link, std::uint8_t address,
                    std::optional<controller::AlarmTarget> alarm) {
    const auto version =
        bus::ReadDeviceText(link, bus::Target::Sensor, address, bus::sns::ReadVersion);
    if (!version && link.isOpen()) {
        // Its alarm settings live in the controller, which may well answer.
        bus::SerialLink nobody;
        Values v = sensorValues(nobody, address, std::nullopt);
        if (alarm)
            putAlarm(v, link, *alarm);
        return v;
    }
    Values v;
    putText(v, QStringLiteral("version"), version);
    const sensor::SensorGroups g = sensor::ReadSensorGroups(link, address);
    put(v, QStringLiteral("size"), g.sizeMm);
    put(v, QStringLiteral("level-correction"), g.levelCorrectionTenths);
    put(v, QStringLiteral("flags"), g.flags ? std::optional<int>(*g.flags) : std::nullopt);
    put(v, QStringLiteral("filling-criterion"), g.fillCriterionTenths);
    const auto sections = sensor::ReadSectionCorrections(link, address);
    for (int n = 0; n < 8; ++n)
        put(v, numbered("section", n + 1),
            sections ? std::optional<double>((*sections)[n]) : std::nullopt);
    const auto segments = sensor::ReadSegments(link, address);
    put(v, QStringLiteral("working-segments"),
        segments ? std::optional<int>(segments->working) : std::nullopt);
    put(v, QStringLiteral("removed-segments"),
        segments ? std::optional<int>(segments->removed) : std::nullopt);
    const auto code = sensor::ReadCodeUpdate(link, address);
    put(v, QStringLiteral("code-update"),
        code ? std::optional<bool>(code->updateAllowed) : std::nullopt);
    put(v, QStringLiteral("code-algorithm"),
        code ? std::optional<bool>(code->algorithmAllowed) : std::nullopt);
    put(v, QStringLiteral("counter"), code ? std::optional<int>(code->counter) : std::nullopt);
    const sensor::Places thermometers = sensor::ReadThermometers(link, address);
    const sensor::Places meters = sensor::ReadDensityMeters(link, address);
    for (int n = 0; n < sensor::kPlaces; ++n) {
        // A place that gave no usable identifier (silent, or nothing fitted)
        // has none to compare or write back.
        auto id = [](const QString& text) {
            return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
        };
        putText(v, numbered("thermometer", n + 1, "id"), id(thermometers[n].id));
        put(v, numbered("thermometer", n + 1, "height"), thermometers[n].height);
        putText(v, numbered("meter", n + 1, "id"), id(meters[n].id));
        put(v, numbered("meter", n + 1, "height"), meters[n].height);
        put(v, numbered("meter", n + 1, "correction"),
            meters[n].correction ? std::optional<double>(*meters[n].correction) : std::nullopt);
    }
    if (alarm)
        putAlarm(v, link, *alarm);
    return v;
}

void putAlarm(Values& v, bus::SerialLink& link, const controller::AlarmTarget& alarm) {
    const controller::AlarmConfig a = controller::ReadAlarmConfig(link, alarm);
    put(v, QStringLiteral("alarm.fuel-max"), a.fuelMax);
    put(v, QStringLiteral("alarm.fuel-95"), a.fuel95);
    put(v, QStringLiteral("alarm.fuel-min"), a.fuelMin);
    put(v, QStringLiteral("alarm.water-max"), a.waterMax);
    put(v, QStringLiteral("alarm.leak"), a.leak);
    put(v, QStringLiteral("alarm.volume"),
        a.volume ? std::optional<double>(*a.volume) : std::nullopt);
    for (int k = 0; k < 2; ++k) {
        put(v, numbered("alarm.contacts", k + 1),
            a.contacts ? std::optional<int>((*a.contacts)[k]) : std::nullopt);
        put(v, numbered("alarm.modes", k + 1),
            a.modes ? std::optional<int>((*a.modes)[k]) : std::nullopt);
    }
    put(v, QStringLiteral("alarm.enables"),
        a.enables ? std::optional<int>(*a.enables) : std::nullopt);
}

// One group: a controller (if any) and the sensors reached through it.
struct Group {
    std::optional<int> controllerIndex; // the slot; in type 2 the sensor address
    std::vector<int> sensors;
};

std::vector<Group> groupsOf(const app::ControllerLayout& l) {
    std::vector<Group> groups;
    if (l.isNoControllerType() || l.isDirectSensorType()) {
        for (int a = l.lowestSensorAddress; a < l.sensorAddressEnd; ++a) {
            Group g;
            if (l.isDirectSensorType())
                g.controllerIndex = a;
            g.sensors.push_back(a);
            groups.push_back(g);
        }
        return groups;
    }
    for (int i = 0; i < app::kControllerSlots; ++i) {
        if (!l.isPresent(i))
            continue;
        Group g;
        g.controllerIndex = i;
        for (int a = 0; a < app::kSensorAddresses; ++a)
            if (app::controllerServing(l, a) == i)
                g.sensors.push_back(a);
        groups.push_back(g);
    }
    return groups;
}

} // namespace

bool answered(const Device& d, bool isSensor) {
    for (const auto& [key, value] : d.values)
        if (!value.isNull() && !(isSensor && key.startsWith(QLatin1String("alarm."))))
            return true;
    return false;
}

bool Scope::covers(const Device& d, bool isSensor) const {
    if (sensor)
        return isSensor && d.number == *sensor;
    if (controller)
        return !isSensor && d.number == *controller;
    return true;
}

std::optional<Snapshot> TakeSnapshot(bus::SerialLink& link, const app::ControllerLayout& layout,
                                     app::Progress& progress, const Scope& scope) {
    Snapshot s;
    s.time = QDateTime::currentDateTime().toUTC();
    s.controllerType = layout.controllerType;
    s.layout = app::layoutKeys(layout);
    const std::vector<Group> groups = groupsOf(layout);
    int total = 0;
    for (const Group& g : groups)
        total += 1 + static_cast<int>(g.sensors.size());
    progress.ShowProgress(total);
    auto stopped = [&] { return progress.breakRequested() || !link.isOpen(); };
    for (const Group& g : groups) {
        std::optional<std::uint8_t> address;
        if (g.controllerIndex)
            address = static_cast<std::uint8_t>(0x80 + *g.controllerIndex);
        const int controllerNumber = g.controllerIndex ? *g.controllerIndex + 1 : 0;
        if (address) {
            Device c{controllerNumber, 0, {}};
            if (scope.covers(c, false)) {
                c.values = controllerValues(link, layout.controllerType, *address);
                s.controllers.push_back(std::move(c));
            }
        }
        progress.StepProgress(0);
        progress.processEvents();
        if (stopped())
            return std::nullopt;
        std::vector<int> wanted;
        for (int a : g.sensors)
            if (scope.covers(Device{a + 1, controllerNumber, {}}, true))
                wanted.push_back(a);
        if (wanted.empty())
            continue;
        // Transit for the sensors of this controller, and off again on
        // every way out.
        const bus::TransitScope transit(link, address.value_or(0), address.has_value());
        for (int a : wanted) {
            std::optional<controller::AlarmTarget> alarm;
            if (address)
                alarm = controller::AlarmTarget{*address, static_cast<std::uint8_t>(a),
                                                layout.isDirectSensorType()};
            s.sensors.push_back(Device{a + 1, controllerNumber,
                                       sensorValues(link, static_cast<std::uint8_t>(a), alarm)});
            progress.StepProgress(0);
            progress.processEvents();
            if (stopped())
                return std::nullopt;
        }
    }
    return s;
}

} // namespace snapshot
