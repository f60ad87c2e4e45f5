#include "snapshot/SnapshotRestore.h"

#include "app/Addressing.h"
#include "app/Progress.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"

#include <algorithm>
#include <set>

namespace snapshot {
namespace {

const Device* deviceOf(const Snapshot& s, bool sensor, int number) {
    return sensor ? s.sensor(number) : s.controller(number);
}

// A device's values for its writes: what it holds now, with the target's
// values over them.
Values valuesFor(const Device* now, const Device& target) {
    Values v = now ? now->values : Values{};
    for (const auto& [key, value] : target.values)
        if (!value.isNull())
            v[key] = value;
    return v;
}

QString devicePrefix(const Device& d, bool sensor) {
    return deviceName(sensor, d.number) + QStringLiteral(": ");
}

void refuseDevices(const std::vector<Device>& devices, bool sensor, int type, QStringList& out) {
    for (const Device& d : devices) {
        for (const auto& [key, v] : d.values) {
            if (v.isNull())
                continue;
            const app::Setting* row = settingOf(sensor, key);
            if (!row || !row->existsIn(type))
                out << devicePrefix(d, sensor) + QStringLiteral("%1: нет такой настройки").arg(key);
            else if (!row->accepts(v))
                out << devicePrefix(d, sensor) + row->refusal(writtenText(d, sensor, key, v));
        }
        // A height or correction goes with the identifier of its place: a
        // place the snapshot has empty is emptied first, and a value for it
        // would belong to nothing. (A format-1 file has no answer and an
        // empty place both as null: those go with the place as it is.)
        for (const auto& [key, v] : d.values) {
            const app::Setting* row = sensor ? settingOf(true, key) : nullptr;
            if (!row || !row->emptiable || row->dependsOn.isEmpty() || v.isNull() ||
                v == QJsonValue(app::kEmptyPlace))
                continue;
            const QJsonValue id = app::valueOf(d.values, row->dependsOn);
            if (id == QJsonValue(app::kEmptyPlace))
                out << devicePrefix(d, sensor) + QStringLiteral("%1 \"%2\": %3 (%4)")
                                                     .arg(key, writtenText(d, sensor, key, v),
                                                          app::kNoPlaceId, row->dependsOn);
        }
        if (sensor && sensor::isForbiddenCombination(d.values))
            out << devicePrefix(d, sensor) + sensor::kForbiddenFlags;
    }
}

// Two entries for one device: which of them a restore would write is
// anybody's guess. Both are named by their place in the file.
void refuseTwice(const std::vector<Device>& devices, bool sensor, QStringList& out) {
    for (std::size_t i = 0; i < devices.size(); ++i)
        for (std::size_t j = i + 1; j < devices.size(); ++j)
            if (devices[i].number == devices[j].number)
                out << devicePrefix(devices[i], sensor) +
                           QStringLiteral("две записи в снимке: %1-я и %2-я в списке %3")
                               .arg(i + 1)
                               .arg(j + 1)
                               .arg(sensor ? QStringLiteral("датчиков") : QStringLiteral("КИП"));
}

} // namespace

QStringList RefusedValues(const Snapshot& target) {
    QStringList refused;
    refuseTwice(target.controllers, false, refused);
    refuseTwice(target.sensors, true, refused);
    refuseDevices(target.controllers, false, target.controllerType, refused);
    refuseDevices(target.sensors, true, target.controllerType, refused);
    return refused;
}

QStringList Mismatches(const Snapshot& current, const Snapshot& target, const Scope& scope) {
    QStringList out;
    if (current.controllerType != target.controllerType) {
        out << QStringLiteral("тип КИП в снимке: %1, на линии: %2")
                   .arg(app::controllerTypeLabel(target.controllerType),
                        app::controllerTypeLabel(current.controllerType));
        return out;
    }
    // What the sensor is (the kind of probe a size is counted in) is no
    // setting to write: a snapshot of another kind is not this sensor's.
    for (const Device& d : target.sensors) {
        const Device* now = current.sensor(d.number);
        if (!now || !scope.covers(d, true))
            continue;
        for (const app::Setting& row : sensor::sensorSettings()) {
            if (!sensor::countsAnother(row))
                continue;
            const QJsonValue want = app::valueOf(d.values, row.key);
            const QJsonValue have = app::valueOf(now->values, row.key);
            if (!want.isNull() && !have.isNull() && want != have)
                out << devicePrefix(d, true) + QStringLiteral("%1: в снимке %2, на линии %3")
                                                   .arg(settingCaption(true, row.key),
                                                        shownValue(true, row.key, want),
                                                        shownValue(true, row.key, have));
        }
    }
    return out;
}

std::vector<Difference> LayoutDifferences(const Snapshot& current, const Snapshot& target) {
    std::vector<Difference> out;
    for (const Difference& d : Diff(current, target))
        if (d.kind == Difference::Layout || d.kind == Difference::ServedBy)
            out.push_back(d);
    return out;
}

std::vector<Device> Silent(const Snapshot& current, const Snapshot& target, const Scope& scope,
                           bool sensors) {
    std::vector<Device> out;
    for (const Device& d : sensors ? current.sensors : current.controllers)
        if (scope.covers(d, sensors) && deviceOf(target, sensors, d.number) &&
            !answered(d, sensors))
            out.push_back(d);
    return out;
}

std::vector<Device> Unreached(const Snapshot& current, const Snapshot& target, const Scope& scope,
                              bool sensors) {
    std::vector<Device> out;
    for (const Device& d : sensors ? target.sensors : target.controllers)
        if (scope.covers(d, sensors) && !deviceOf(current, sensors, d.number))
            out.push_back(d);
    return out;
}

std::vector<Change> PlanRestore(const Snapshot& current, const Snapshot& target,
                                const Scope& scope) {
    std::vector<Change> plan;
    for (const Difference& d : Diff(current, target)) {
        if ((d.kind != Difference::Changed && d.kind != Difference::MissingInFirst) ||
            !scope.covers(Device{d.number, 0, {}}, d.sensor))
            continue;
        const app::Setting* row = settingOf(d.sensor, d.key);
        const Device* now = deviceOf(current, d.sensor, d.number);
        if (!row || !row->existsIn(current.controllerType) || !now || !answered(*now, d.sensor))
            continue;
        Change c{d.sensor, d.number, d.key, d.first, d.second, Change::Restorable};
        if (!row->writable())
            c.kind = Change::NotRestorable;
        else if (row->use == app::SettingUse::Sensitive)
            c.kind = Change::Sensitive;
        plan.push_back(c);
    }
    return plan;
}

std::vector<Change> Lacking(const Snapshot& current, const Snapshot& target, const Scope& scope) {
    std::vector<Change> lacking;
    for (const Difference& d : Diff(current, target)) {
        if (d.kind != Difference::MissingInSecond ||
            !scope.covers(Device{d.number, 0, {}}, d.sensor))
            continue;
        const app::Setting* row = settingOf(d.sensor, d.key);
        const Device* now = deviceOf(current, d.sensor, d.number);
        if (!row || !row->writable() || !row->existsIn(current.controllerType) || !now ||
            !answered(*now, d.sensor))
            continue;
        lacking.push_back(
            {d.sensor, d.number, d.key, d.first, d.second,
             row->use == app::SettingUse::Sensitive ? Change::Sensitive : Change::Restorable});
    }
    return lacking;
}

QString changeLine(const Change& c) {
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(deviceName(c.sensor, c.number), c.key, valueText(c.sensor, c.key, c.now),
             valueText(c.sensor, c.key, c.wanted));
}

QString changeCaption(const Change& c) {
    return diffCaption(Difference{Difference::Changed, c.sensor, c.number, c.key, c.now, c.wanted});
}

RestoreResult Restore(bus::SerialLink& link, const app::ControllerLayout& layout,
                      const Snapshot& current, const Snapshot& target,
                      const std::vector<Change>& plan, bool withSensitive,
                      app::Progress& progress) {
    RestoreResult r;
    std::map<std::pair<bool, int>, std::vector<const Change*>> byDevice;
    for (const Change& c : plan)
        if (c.kind == Change::Restorable || (c.kind == Change::Sensitive && withSensitive))
            byDevice[{c.sensor, c.number}].push_back(&c);
    std::set<std::tuple<bool, int, QString>> failed;
    progress.ShowProgress(static_cast<int>(byDevice.size()));
    for (const auto& [device, changes] : byDevice) {
        if (progress.breakRequested() || !link.isOpen())
            return r;
        const auto [isSensor, number] = device;
        const Device* whole = deviceOf(target, isSensor, number);
        if (!whole)
            continue;
        std::vector<const app::Setting*> rows;
        for (const Change* c : changes)
            rows.push_back(settingOf(isSensor, c->key));
        const Values values = valuesFor(deviceOf(current, isSensor, number), *whole);
        std::vector<app::NotWritten> unconfirmed;
        if (!isSensor) {
            const app::SettingTarget t{static_cast<std::uint8_t>(0x80 + number - 1), {}, false};
            unconfirmed = app::WriteSettings(link, t, rows, values, progress);
        } else {
            const auto s = static_cast<std::uint8_t>(number - 1);
            const app::SensorRoute route = app::routeTo(layout, s);
            const bus::TransitScope transit(link, route.controller.value_or(0),
                                            route.controller.has_value());
            const app::SettingTarget t{s, route.controller, layout.isDirectSensorType()};
            unconfirmed = app::WriteSettings(link, t, rows, values, progress);
        }
        for (const app::NotWritten& n : unconfirmed)
            failed.emplace(isSensor, number, n.row->key);
        progress.StepProgress(0);
        progress.processEvents();
    }
    // Every write confirmed by reading the device back.
    for (const auto& [device, changes] : byDevice) {
        const auto [isSensor, number] = device;
        Scope one;
        (isSensor ? one.sensor : one.controller) = number;
        const auto now = TakeSnapshot(link, layout, progress, one);
        if (!now)
            return r;
        const Device* read = deviceOf(*now, isSensor, number);
        for (const Change* c : changes) {
            const QJsonValue got = read ? app::valueOf(read->values, c->key) : QJsonValue();
            if (got != c->wanted || failed.count({isSensor, number, c->key}))
                r.left.push_back({isSensor, number, c->key, got, c->wanted, c->kind});
        }
    }
    r.completed = true;
    return r;
}

QString scopeMissing(const Snapshot& target, const Scope& scope, const QString& name) {
    if (scope.sensor && !target.sensor(*scope.sensor))
        return QStringLiteral("датчика %1 нет в %2").arg(*scope.sensor).arg(name);
    if (scope.controller && !target.controller(*scope.controller))
        return QStringLiteral("КИП %1 нет в %2").arg(*scope.controller).arg(name);
    return {};
}

bool RestorePlan::anything(bool withSensitive) const {
    return std::any_of(changes.begin(), changes.end(), [withSensitive](const Change& c) {
        return c.kind == Change::Restorable || (withSensitive && c.kind == Change::Sensitive);
    });
}

RestorePlan PrepareRestore(bus::SerialLink& link, const app::ControllerLayout& layout,
                           const Snapshot& target, const Scope& scope, app::Progress& progress) {
    RestorePlan p;
    // A type-5 line is walked only for the sensors the file holds.
    p.now = TakeSnapshot(link, layout, progress, restoreScope(scope, target, layout));
    if (!p.now)
        return p;
    p.mismatches = Mismatches(*p.now, target, scope);
    if (!p.mismatches.isEmpty())
        return p;
    p.layout = LayoutDifferences(*p.now, target);
    for (const bool sensors : {false, true}) {
        for (const Device& d : Silent(*p.now, target, scope, sensors))
            p.silent.push_back({sensors, d.number});
        for (const Device& d : Unreached(*p.now, target, scope, sensors))
            p.unreached.push_back({sensors, d.number});
    }
    p.changes = PlanRestore(*p.now, target, scope);
    p.lacking = Lacking(*p.now, target, scope);
    return p;
}

RestoreResult RunRestore(bus::SerialLink& link, const app::ControllerLayout& layout,
                         const RestorePlan& plan, const Snapshot& target, bool withSensitive,
                         app::Progress& progress) {
    RestoreResult r;
    if (plan.now && plan.mismatches.isEmpty())
        r = Restore(link, layout, *plan.now, target, plan.changes, withSensitive, progress);
    r.skipped = plan.skipped();
    return r;
}

QString restoreOutcome(const RestoreResult& r) {
    if (!r.completed)
        return QStringLiteral("ВОССТАНОВЛЕНИЕ ПРЕРВАНО");
    const auto notDone = static_cast<int>(r.left.size()) + r.skipped;
    return notDone == 0 ? QStringLiteral("ВОССТАНОВЛЕНО")
                        : QStringLiteral("ВОССТАНОВЛЕНО НЕ ВСЁ: %1").arg(notDone);
}

} // namespace snapshot
