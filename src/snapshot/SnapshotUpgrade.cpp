#include "snapshot/SnapshotUpgrade.h"

#include "app/ControllerLayout.h"
#include "controller/AlarmService.h"
#include "sensor/SensorCatalogue.h"

namespace snapshot {
namespace {

const QJsonValue kNull(QJsonValue::Null);

// The value a row makes of the device's number format 1 kept.
QJsonValue decoded(const app::Setting& row, const QJsonValue& old) {
    if (old.isNull() || row.kind == app::SettingKind::Text ||
        row.kind == app::SettingKind::Identifier)
        return old;
    return row.decode(old.isBool() ? old.toBool() : old.toDouble());
}

// Bits of one byte as the flag rows they became.
void splitBits(Values& out, bool sensor, const QJsonValue& byte,
               const std::vector<std::pair<QString, int>>& bits) {
    for (const auto& [key, mask] : bits)
        out[key] =
            byte.isNull() ? kNull : settingOf(sensor, key)->decode((byte.toInt() & mask) ? 1 : 0);
}

Values upgradeSensor(const Values& old, int type) {
    Values out;
    const char* const events[controller::kEvents] = {"fuel-max",  "fuel-95", "fuel-min",
                                                     "water-max", "leak",    "separation"};
    for (const auto& [key, v] : old) {
        if (key == QLatin1String("flags")) {
            std::vector<std::pair<QString, int>> bits;
            for (const auto& [row, bit] : sensor::flagBits())
                bits.emplace_back(row->key, bit);
            splitBits(out, true, v, bits);
        } else if (key == QLatin1String("alarm.enables")) {
            std::vector<std::pair<QString, int>> bits;
            for (int k = 0; k < controller::kEvents; ++k)
                bits.emplace_back(QStringLiteral("alarm.enable-") + QLatin1String(events[k]),
                                  1 << k);
            if (!app::controllerType(type).directSensors)
                splitBits(out, true, v, bits);
        } else {
            // Renamed keys: sections by dash, the outputs by their page name.
            QString now = key;
            const bool isSection = key.startsWith(QLatin1String("section."));
            bool numbered = false;
            const app::Setting* section =
                isSection ? sensor::sectionSetting(key.mid(8).toInt(&numbered)) : nullptr;
            if (isSection)
                now = section && numbered ? section->key : QString();
            else if (key.startsWith(QLatin1String("alarm.contacts.")))
                now = QStringLiteral("alarm.contacts-") + key.mid(15);
            else if (key.startsWith(QLatin1String("alarm.modes.")))
                now = QStringLiteral("alarm.output-") + key.mid(12);
            const app::Setting* row = settingOf(true, now);
            if (row && row->existsIn(type))
                out[now] = decoded(*row, v);
        }
    }
    return out;
}

Values upgradeController(const Values& old, int type) {
    Values out;
    for (const auto& [key, v] : old) {
        const QString now = key == QLatin1String("index") ? QStringLiteral("address") : key;
        const app::Setting* row = settingOf(false, now);
        if (row && row->existsIn(type))
            out[now] = decoded(*row, v);
    }
    return out;
}

} // namespace

void upgradeFormat1(Snapshot& s) {
    for (Device& c : s.controllers)
        c.values = upgradeController(c.values, s.controllerType);
    for (Device& d : s.sensors)
        d.values = upgradeSensor(d.values, s.controllerType);
}

} // namespace snapshot
