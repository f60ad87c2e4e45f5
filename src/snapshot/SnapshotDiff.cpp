#include "snapshot/SnapshotDiff.h"

#include <set>

namespace snapshot {
namespace {

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
        std::set<QString> keys;
        for (const auto& [k, v] : x->values)
            keys.insert(k);
        for (const auto& [k, v] : y->values)
            keys.insert(k);
        for (const QString& k : keys) {
            const auto fx = x->values.find(k);
            const auto fy = y->values.find(k);
            const QJsonValue vx = fx == x->values.end() ? QJsonValue(QJsonValue::Null) : fx->second;
            const QJsonValue vy = fy == y->values.end() ? QJsonValue(QJsonValue::Null) : fy->second;
            if (vx == vy)
                continue;
            const Difference::Kind kind = vx.isNull()   ? Difference::MissingInFirst
                                          : vy.isNull() ? Difference::MissingInSecond
                                                        : Difference::Changed;
            out.push_back({kind, sensor, n, k, vx, vy});
        }
    }
}

} // namespace

std::vector<Difference> Diff(const Snapshot& first, const Snapshot& second) {
    std::vector<Difference> out;
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
    default:
        return QStringLiteral("%1\t%2\t%3\t%4")
            .arg(device, d.key, valueText(d.first), valueText(d.second));
    }
}

} // namespace snapshot
