#include "snapshot/SnapshotRead.h"

#include "app/Addressing.h"
#include "app/ControllerTypes.h"
#include "app/FrontWatch.h"
#include "app/Progress.h"
#include "caltable/TableTransfer.h"
#include "controller/ControllerCatalogue.h"
#include "link/DeviceText.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"
#include "snapshot/SnapshotDiff.h"

#include <algorithm>

namespace snapshot {
namespace {

void putText(Values& v, const QString& key, const std::optional<QString>& value) {
    v[key] = value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

int nulls(const Values& v) {
    return static_cast<int>(
        std::count_if(v.begin(), v.end(), [](const auto& kv) { return kv.second.isNull(); }));
}

// A device that does not tell its version is asked nothing more: a line
// with nobody on it would otherwise wait out every value. Its keys are
// kept, without values (a link with no port gives them at once).
// unanswered gets how many of them got no reply.
Values controllerValues(bus::SerialLink& link, int type, std::uint8_t address, int& unanswered) {
    const auto version =
        bus::ReadDeviceText(link, bus::Target::Controller, address, bus::ctl::ReadVersion);
    if (!version && link.isOpen()) {
        bus::SerialLink nobody;
        return controllerValues(nobody, type, address, unanswered);
    }
    Values v = controller::ReadControllerValues(link, address, type);
    putText(v, QStringLiteral("version"), version);
    putText(v, QStringLiteral("date"),
            bus::ReadDeviceText(link, bus::Target::Controller, address, bus::ctl::ReadDate));
    unanswered = nulls(v);
    const int pageSize = caltable::ReadPageSize(link, address);
    const auto allocation = caltable::ReadAllocation(link, address, pageSize);
    const int entries = app::controllerType(type).directSensors ? 1 : caltable::kTanks;
    for (int n = 0; n < entries; ++n) {
        const bool held = allocation && n < allocation->entries;
        const QString key = QStringLiteral("table.%1.").arg(n + 1);
        v[key + QStringLiteral("start")] =
            held ? QJsonValue(allocation->table[n].startPage) : QJsonValue(QJsonValue::Null);
        v[key + QStringLiteral("size")] =
            held ? QJsonValue(allocation->table[n].size) : QJsonValue(QJsonValue::Null);
        // A tank past the allocation table's entries has no table: only an
        // unanswered allocation table leaves its entries unread.
        if (!allocation)
            unanswered += 2;
    }
    return v;
}

// The alarm set-up is asked on its own link: it lives in the controller,
// which may answer when the sensor does not, and the other way round.
Values sensorValues(bus::SerialLink& link, std::uint8_t address,
                    const std::optional<app::SettingTarget>& alarm, bus::SerialLink& alarmLink,
                    int type, int& unanswered) {
    const auto version =
        bus::ReadDeviceText(link, bus::Target::Sensor, address, bus::sns::ReadVersion);
    Values v;
    if (!version && link.isOpen()) {
        bus::SerialLink nobody;
        v = sensorValues(nobody, address, std::nullopt, nobody, type, unanswered);
    } else {
        v = sensor::ReadSensorSettings(link, address);
        putText(v, QStringLiteral("version"), version);
        v.merge(sensor::ReadPlaceSettings(link, address));
    }
    if (alarm)
        v.merge(controller::ReadAlarmValues(alarmLink, *alarm, type));
    unanswered = nulls(v);
    // The volume comes in the thresholds' reply: beside them, a null is the
    // controller's "no volume recorded".
    const auto volume = v.find(QStringLiteral("alarm.volume"));
    const auto fuelMax = v.find(QStringLiteral("alarm.fuel-max"));
    if (volume != v.end() && volume->second.isNull() && fuelMax != v.end() &&
        !fuelMax->second.isNull())
        --unanswered;
    return v;
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

QStringList silentDevices(const Snapshot& s, const std::vector<app::SilentFront>& fronts) {
    QStringList silent;
    for (const Device& c : s.controllers)
        if (!answered(c, false) && !app::controllerSkippedBehind(fronts, c.number - 1))
            silent << deviceName(false, c.number);
    for (const Device& d : s.sensors)
        if (!answered(d, true) && !app::skippedBehind(fronts, d.number - 1))
            silent << deviceName(true, d.number);
    return silent;
}

namespace {
const QString kNotAllRead = QStringLiteral("НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ");

QString countText(const PartlyRead& p) {
    return QStringLiteral("%1 из %2 без ответа").arg(p.unanswered).arg(p.values);
}
} // namespace

std::vector<PartlyRead> partlyRead(const Snapshot& s) {
    // A device that answered nothing is silent, not read in part.
    std::vector<PartlyRead> partly;
    auto add = [&partly](const Device& d, bool isSensor) {
        if (d.unanswered > 0 && answered(d, isSensor))
            partly.push_back(
                {deviceName(isSensor, d.number), d.unanswered, static_cast<int>(d.values.size())});
    };
    for (const Device& c : s.controllers)
        add(c, false);
    for (const Device& d : s.sensors)
        add(d, true);
    return partly;
}

QString partlyReadText(const PartlyRead& p) {
    return QStringLiteral("%1: %2 (%3)").arg(p.device, kNotAllRead, countText(p));
}

QString savedText(const Snapshot& s, const std::vector<app::SilentFront>& fronts) {
    QStringList parts{QStringLiteral("СНИМОК СОХРАНЁН: КИП %1, ДАТЧИКОВ %2")
                          .arg(s.controllers.size())
                          .arg(s.sensors.size())};
    if (const QStringList silent = silentDevices(s, fronts); !silent.isEmpty())
        parts << QStringLiteral("НЕТ ОТВЕТА: ") + silent.join(QStringLiteral(", "));
    QStringList partly;
    for (const PartlyRead& p : partlyRead(s))
        partly << QStringLiteral("%1 (%2)").arg(p.device, countText(p));
    if (!partly.isEmpty())
        parts << kNotAllRead + QStringLiteral(": ") + partly.join(QStringLiteral(", "));
    for (const app::SilentFront& f : fronts)
        parts << app::silentFrontText(f);
    return parts.join(QStringLiteral("; "));
}

bool nothingAnswered(const Snapshot& s) {
    return std::none_of(s.controllers.begin(), s.controllers.end(),
                        [](const Device& c) { return answered(c, false); }) &&
           std::none_of(s.sensors.begin(), s.sensors.end(),
                        [](const Device& d) { return answered(d, true); });
}

bool Scope::covers(const Device& d, bool isSensor) const {
    if (sensors && isSensor && !sensors->count(d.number))
        return false;
    if (sensor)
        return isSensor && d.number == *sensor;
    if (controller)
        return !isSensor && d.number == *controller;
    return true;
}

Scope restoreScope(Scope scope, const Snapshot& target, const app::ControllerLayout& layout) {
    if (!layout.isNoControllerType())
        return scope;
    scope.sensors.emplace();
    for (const Device& d : target.sensors)
        scope.sensors->insert(d.number);
    return scope;
}

std::optional<Snapshot> TakeSnapshot(bus::SerialLink& link, const app::ControllerLayout& layout,
                                     app::Progress& progress, const Scope& scope,
                                     std::vector<app::SilentFront>* silentFronts) {
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
    app::FrontWatch front(link, layout);
    // The keys of a device nobody asked, without values.
    bus::SerialLink nobody;
    for (const Group& g : groups) {
        std::optional<std::uint8_t> address;
        if (g.controllerIndex)
            address = static_cast<std::uint8_t>(0x80 + *g.controllerIndex);
        const int slot = g.controllerIndex.value_or(0);
        const int controllerNumber = g.controllerIndex ? *g.controllerIndex + 1 : 0;
        bool controllerSilent = false;
        if (address) {
            Device c{controllerNumber, 0, {}};
            if (scope.covers(c, false)) {
                const bool asking = front.asking(slot);
                c.values = controllerValues(asking ? link : nobody, layout.controllerType, *address,
                                            c.unanswered);
                if (asking) {
                    controllerSilent = !answered(c, false);
                    front.controllerAnswered(slot, !controllerSilent);
                } else {
                    front.skipController(slot);
                }
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
        // A controller that answered nothing is not switched into transit on
        // the chance that it relays: its first sensor is asked its version,
        // which the controller passes outside transit too. When that stays
        // silent as well, nobody behind the controller is asked.
        bool groupSilent = false;
        std::optional<int> probed;
        if (controllerSilent && front.asking(slot)) {
            probed = wanted.front();
            groupSilent =
                !bus::ReadDeviceText(link, bus::Target::Sensor, static_cast<std::uint8_t>(*probed),
                                     bus::sns::ReadVersion);
            front.sensorAnswered(slot, !groupSilent);
        }
        const bool transitWanted = address.has_value() && !groupSilent && front.asking(slot);
        // Transit for the sensors of this controller, and off again on
        // every way out.
        const bus::TransitScope transit(link, address.value_or(0), transitWanted);
        for (int a : wanted) {
            const bool asking = !groupSilent && front.asking(slot);
            if (!asking && a != probed)
                front.skip(slot, a);
            std::optional<app::SettingTarget> alarm;
            if (address)
                alarm = app::SettingTarget{static_cast<std::uint8_t>(a), *address,
                                           layout.isDirectSensorType()};
            Device d{a + 1, controllerNumber, {}};
            // A controller that answered nothing is not asked for its
            // sensors' alarm set-up either (their keys are kept, without
            // values): each question would wait out its two seconds.
            bus::SerialLink& own = asking ? link : nobody;
            d.values = sensorValues(own, static_cast<std::uint8_t>(a), alarm,
                                    asking && !controllerSilent ? link : nobody,
                                    layout.controllerType, d.unanswered);
            const bool heard = answered(d, true);
            if (asking)
                front.sensorAnswered(slot, heard);
            // Without controllers the layout does not say which of the 128
            // addresses have sensors: the walk finds them, and an address
            // where nothing answers is no device of the installation.
            if (!layout.isNoControllerType() || heard)
                s.sensors.push_back(std::move(d));
            progress.StepProgress(0);
            progress.processEvents();
            if (stopped())
                return std::nullopt;
        }
    }
    if (silentFronts)
        *silentFronts = front.silentFronts();
    return s;
}

} // namespace snapshot
