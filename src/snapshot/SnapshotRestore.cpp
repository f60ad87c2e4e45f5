#include "snapshot/SnapshotRestore.h"

#include "app/Addressing.h"
#include "app/Progress.h"
#include "controller/AlarmService.h"
#include "controller/ControllerSettings.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

namespace snapshot {
namespace {

bool isSensitive(const QString& key) {
    return key.endsWith(QLatin1String("-password")) || key == QLatin1String("index") ||
           key == QLatin1String("first-sensor") || key == QLatin1String("sensor-count");
}

// What the devices report of themselves, and the table layout: tables are
// programmed with their files, never alone.
bool isRestorable(const QString& key) {
    return key != QLatin1String("version") && key != QLatin1String("date") &&
           !key.startsWith(QLatin1String("table."));
}

int part(const QString& key, int i) {
    return key.section(QLatin1Char('.'), i, i).toInt();
}

// The wanted values of one device, by key.
using Wanted = std::map<QString, QJsonValue>;

int asInt(const QJsonValue& v) {
    return static_cast<int>(v.toDouble());
}

void writeSensor(bus::SerialLink& link, std::uint8_t s, const Wanted& w, const Device& target,
                 std::optional<controller::AlarmTarget> alarm) {
    auto value = [&target](const QString& key) {
        const auto it = target.values.find(key);
        return it == target.values.end() ? QJsonValue() : it->second;
    };
    bool segments = false, code = false, alarms = false;
    for (const auto& [key, v] : w) {
        if (key == QLatin1String("size")) {
            sensor::WriteSensorSize(link, s, asInt(v), false);
        } else if (key == QLatin1String("level-correction")) {
            sensor::WriteLevelCorrection(link, s, asInt(v));
        } else if (key == QLatin1String("filling-criterion")) {
            sensor::WriteFillCriterion(link, s, asInt(v));
        } else if (key == QLatin1String("flags")) {
            const int f = asInt(v);
            sensor::FlagChanges c;
            c.reset = {bool(f & sensor::flag::ResetOnLinkLoss),
                       bool(f & sensor::flag::ResetOnDensity01)};
            c.propagate = bool(f & sensor::flag::Propagate);
            c.channel = {bool(f & sensor::flag::Combined), bool(f & sensor::flag::SingleMeter)};
            sensor::WriteFlags(link, s, c);
        } else if (key.startsWith(QLatin1String("section."))) {
            sensor::WriteSectionCorrection(link, s, part(key, 1), static_cast<float>(v.toDouble()));
        } else if (key.endsWith(QLatin1String("-segments"))) {
            segments = true;
        } else if (key.startsWith(QLatin1String("code-"))) {
            code = true;
        } else if (key == QLatin1String("counter")) {
            sensor::WriteCounter(link, s, asInt(v));
        } else if (key.startsWith(QLatin1String("thermometer.")) ||
                   key.startsWith(QLatin1String("meter."))) {
            const bool thermometer = key.startsWith(QLatin1String("thermometer."));
            const int n = part(key, 1);
            const QString field = key.section(QLatin1Char('.'), 2);
            const sensor::IdFamily family =
                thermometer ? sensor::IdFamily::Thermometer : sensor::IdFamily::DensityMeter;
            if (field == QLatin1String("id")) {
                if (const auto id = sensor::parseIdentifier(v.toString(), family).id)
                    sensor::WriteIdentifier(
                        link, s,
                        thermometer ? sensor::thermometerIdCell(n) : sensor::densityIdCell(n), *id);
            } else if (field == QLatin1String("height"))
                sensor::WriteHeight(link, s,
                                    thermometer ? sensor::thermometerHeightCell(n)
                                                : sensor::densityHeightCell(n),
                                    asInt(v));
            else if (field == QLatin1String("correction"))
                sensor::WriteDensityCorrection(link, s, n, static_cast<float>(v.toDouble()));
        } else if (key.startsWith(QLatin1String("alarm."))) {
            alarms = true;
        }
    }
    if (segments)
        sensor::WriteSegments(link, s, asInt(value(QStringLiteral("working-segments"))),
                              asInt(value(QStringLiteral("removed-segments"))));
    if (code)
        sensor::WriteCodeUpdateFlags(link, s, value(QStringLiteral("code-update")).toBool(),
                                     value(QStringLiteral("code-algorithm")).toBool());
    if (alarms && alarm) {
        // One write carries the whole alarm configuration, as the target has it.
        controller::AlarmWrite a;
        auto optional = [&](const char* key) -> std::optional<int> {
            const QJsonValue x = value(QLatin1String(key));
            return x.isDouble() ? std::optional<int>(asInt(x)) : std::nullopt;
        };
        a.fuelMax = optional("alarm.fuel-max");
        a.fuelMin = optional("alarm.fuel-min");
        a.waterMax = optional("alarm.water-max");
        a.leak = optional("alarm.leak");
        a.enables = static_cast<std::uint8_t>(optional("alarm.enables").value_or(0));
        for (int k = 0; k < 2; ++k) {
            a.contacts[k] = static_cast<std::uint8_t>(
                optional(qPrintable(QStringLiteral("alarm.contacts.%1").arg(k + 1))).value_or(0));
            a.modes[k] = static_cast<std::uint8_t>(
                optional(qPrintable(QStringLiteral("alarm.modes.%1").arg(k + 1)))
                    .value_or(controller::kOutputOff));
        }
        controller::WriteAlarmConfig(link, *alarm, a);
    }
}

void writeController(bus::SerialLink& link, std::uint8_t c, const Wanted& w) {
    // The own address last: every other write still goes to the old one.
    for (const auto& [key, v] : w) {
        if (key == QLatin1String("interval"))
            controller::WriteInterval(link, c, asInt(v));
        else if (key == QLatin1String("main-channel"))
            controller::WriteChannel(link, c, controller::Channel::Main, asInt(v));
        else if (key == QLatin1String("second-channel"))
            controller::WriteChannel(link, c, controller::Channel::Second, asInt(v));
        else if (key == QLatin1String("sensor-map"))
            controller::WriteSensorMap(link, c, v.toBool());
        else if (key == QLatin1String("working-password"))
            controller::WritePassword(link, c, controller::Password::Working, v.toString());
        else if (key == QLatin1String("system-password"))
            controller::WritePassword(link, c, controller::Password::System, v.toString());
        else if (key == QLatin1String("first-sensor"))
            controller::WriteFirstSensor(link, c, asInt(v));
        else if (key == QLatin1String("sensor-count"))
            controller::WriteSensorCount(link, c, asInt(v));
    }
    if (const auto it = w.find(QStringLiteral("index")); it != w.end())
        controller::WriteControllerIndex(link, c, asInt(it->second));
}

} // namespace

QStringList RefusedValues(const Snapshot& target) {
    QStringList refused;
    for (const Device& d : target.sensors) {
        for (const auto& [key, v] : d.values) {
            const bool thermometer = key.startsWith(QLatin1String("thermometer."));
            if (v.isNull() || !key.endsWith(QLatin1String(".id")) ||
                (!thermometer && !key.startsWith(QLatin1String("meter."))))
                continue;
            const sensor::IdFamily family =
                thermometer ? sensor::IdFamily::Thermometer : sensor::IdFamily::DensityMeter;
            const QString text = v.isString() ? v.toString() : valueText(v);
            if (const auto problem = sensor::parseIdentifier(text, family).problem)
                refused << QStringLiteral("%1 ").arg(deviceName(true, d.number)) +
                               sensor::idRefusal(key, text, *problem, family);
        }
    }
    return refused;
}

std::vector<Change> PlanRestore(const Snapshot& current, const Snapshot& target,
                                const Scope& scope) {
    std::vector<Change> plan;
    for (const Difference& d : Diff(current, target)) {
        if (d.kind == Difference::DeviceOnlyInFirst || d.kind == Difference::DeviceOnlyInSecond ||
            d.second.isNull())
            continue;
        if (!scope.covers(Device{d.number, 0, {}}, d.sensor))
            continue;
        Change c{d.sensor, d.number, d.key, d.first, d.second, Change::Restorable};
        if (!isRestorable(d.key))
            c.kind = Change::NotRestorable;
        else if (!d.sensor && isSensitive(d.key))
            c.kind = Change::Sensitive;
        plan.push_back(c);
    }
    return plan;
}

RestoreResult Restore(bus::SerialLink& link, const app::ControllerLayout& layout,
                      const Snapshot& target, const std::vector<Change>& plan, bool withSensitive,
                      app::Progress& progress) {
    RestoreResult r;
    std::map<std::pair<bool, int>, Wanted> byDevice;
    for (const Change& c : plan)
        if (c.kind == Change::Restorable || (c.kind == Change::Sensitive && withSensitive))
            byDevice[{c.sensor, c.number}][c.key] = c.wanted;
    progress.ShowProgress(static_cast<int>(byDevice.size()));
    for (const auto& [device, wanted] : byDevice) {
        if (progress.breakRequested() || !link.isOpen())
            return r;
        const auto [isSensor, number] = device;
        if (!isSensor) {
            writeController(link, static_cast<std::uint8_t>(0x80 + number - 1), wanted);
        } else if (const Device* whole = target.sensor(number)) {
            const auto s = static_cast<std::uint8_t>(number - 1);
            const app::SensorRoute route = app::routeTo(layout, s);
            const bus::TransitScope transit(link, route.controller.value_or(0),
                                            route.controller.has_value());
            std::optional<controller::AlarmTarget> alarm;
            if (route.controller)
                alarm = controller::AlarmTarget{*route.controller, s, layout.isDirectSensorType()};
            writeSensor(link, s, wanted, *whole, alarm);
        }
        progress.StepProgress(0);
        progress.processEvents();
    }
    // Every write confirmed by reading the device back.
    for (const auto& [device, wanted] : byDevice) {
        const auto [isSensor, number] = device;
        Scope one;
        (isSensor ? one.sensor : one.controller) = number;
        const auto now = TakeSnapshot(link, layout, progress, one);
        if (!now)
            return r;
        const Device* read = isSensor ? now->sensor(number) : now->controller(number);
        for (const auto& [key, value] : wanted) {
            QJsonValue got;
            if (read)
                if (const auto it = read->values.find(key); it != read->values.end())
                    got = it->second;
            if (got != value)
                r.left.push_back({isSensor, number, key, got, value, Change::Restorable});
        }
    }
    r.completed = true;
    return r;
}

} // namespace snapshot
