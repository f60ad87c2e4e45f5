#include "snapshot/SnapshotDiff.h"

#include "app/ControllerLayout.h"

#include <set>

namespace snapshot {
namespace {

const QJsonValue kNull(QJsonValue::Null);

void diffDevices(const std::vector<Device>& first, const std::vector<Device>& second, bool sensor,
                 const Snapshot& a, const Snapshot& b, std::vector<Difference>& out) {
    std::set<int> numbers;
    for (const Device& d : first)
        numbers.insert(d.number);
    for (const Device& d : second)
        numbers.insert(d.number);
    for (int n : numbers) {
        const Device* x = sensor ? a.sensor(n) : a.controller(n);
        const Device* y = sensor ? b.sensor(n) : b.controller(n);
        if (!x || !y) {
            out.push_back({x ? Difference::DeviceOnlyInFirst : Difference::DeviceOnlyInSecond,
                           sensor,
                           n,
                           {},
                           {},
                           {}});
            continue;
        }
        if (sensor && x->controller != y->controller)
            out.push_back({Difference::ServedBy, true, n, {}, x->controller, y->controller});
        std::set<QString> keys;
        for (const auto& [k, v] : x->values)
            keys.insert(k);
        for (const auto& [k, v] : y->values)
            keys.insert(k);
        for (const QString& k : keys) {
            const QJsonValue vx = app::valueOf(x->values, k);
            const QJsonValue vy = app::valueOf(y->values, k);
            if (vx == vy)
                continue;
            const Difference::Kind kind = vx.isNull()   ? Difference::MissingInFirst
                                          : vy.isNull() ? Difference::MissingInSecond
                                                        : Difference::Changed;
            out.push_back({kind, sensor, n, k, vx, vy});
        }
    }
}

// The configuration keys, by key: a key only one side has is null on the
// other.
void diffLayout(const Snapshot& a, const Snapshot& b, std::vector<Difference>& out) {
    std::map<QString, std::pair<QJsonValue, QJsonValue>> keys;
    for (const auto& [k, v] : a.layout)
        keys[k] = {v, kNull};
    for (const auto& [k, v] : b.layout) {
        auto& pair = keys.try_emplace(k, kNull, kNull).first->second;
        pair.second = v;
    }
    for (const auto& [k, pair] : keys)
        if (pair.first != pair.second)
            out.push_back({Difference::Layout, false, 0, k, pair.first, pair.second});
}

QString layoutValue(const QJsonValue& v) {
    return v.isNull() ? QStringLiteral("—") : v.toString();
}

QString typeLabel(const QJsonValue& v) {
    return app::controllerTypeLabel(v.toInt());
}

} // namespace

std::vector<Difference> Diff(const Snapshot& first, const Snapshot& second) {
    std::vector<Difference> out;
    if (first.controllerType != second.controllerType)
        out.push_back(
            {Difference::ControllerType, false, 0, {}, first.controllerType, second.controllerType});
    diffLayout(first, second, out);
    diffDevices(first.controllers, second.controllers, false, first, second, out);
    diffDevices(first.sensors, second.sensors, true, first, second, out);
    return out;
}

QString deviceName(bool sensor, int number) {
    return (sensor ? QStringLiteral("датчик %1") : QStringLiteral("КИП %1")).arg(number);
}

QString diffLine(const Difference& d) {
    const QString device = deviceName(d.sensor, d.number);
    switch (d.kind) {
    case Difference::DeviceOnlyInFirst:
        return device + QStringLiteral("\tнет во втором снимке");
    case Difference::DeviceOnlyInSecond:
        return device + QStringLiteral("\tнет в первом снимке");
    case Difference::ControllerType:
        return QStringLiteral("controller-type\t%1\t%2").arg(d.first.toInt()).arg(d.second.toInt());
    case Difference::Layout:
        return QStringLiteral("layout\t%1\t%2\t%3")
            .arg(d.key, layoutValue(d.first), layoutValue(d.second));
    case Difference::ServedBy:
        return QStringLiteral("%1\tcontroller\t%2\t%3")
            .arg(device)
            .arg(d.first.toInt())
            .arg(d.second.toInt());
    default:
        return QStringLiteral("%1\t%2\t%3\t%4")
            .arg(device, d.key, valueText(d.sensor, d.key, d.first),
                 valueText(d.sensor, d.key, d.second));
    }
}

QString diffCaption(const Difference& d) {
    const QString device = deviceName(d.sensor, d.number);
    const QString arrow = QStringLiteral(" → ");
    switch (d.kind) {
    case Difference::DeviceOnlyInFirst:
        return device + QStringLiteral(": нет во втором снимке");
    case Difference::DeviceOnlyInSecond:
        return device + QStringLiteral(": нет в первом снимке");
    case Difference::ControllerType:
        return QStringLiteral("Тип КИП: ") + typeLabel(d.first) + arrow + typeLabel(d.second);
    case Difference::Layout:
        return QStringLiteral("Конфигурация линии, %1: %2").arg(d.key, layoutValue(d.first)) +
               arrow + layoutValue(d.second);
    case Difference::ServedBy:
        return QStringLiteral("%1: обслуживает КИП %2").arg(device).arg(d.first.toInt()) + arrow +
               QStringLiteral("КИП %1").arg(d.second.toInt());
    default:
        return QStringLiteral("%1: %2: %3")
                   .arg(device, settingCaption(d.sensor, d.key),
                        shownValue(d.sensor, d.key, d.first)) +
               arrow + shownValue(d.sensor, d.key, d.second);
    }
}

} // namespace snapshot
