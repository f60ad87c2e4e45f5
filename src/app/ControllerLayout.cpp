#include "app/ControllerLayout.h"

#include <algorithm>

namespace app {

ControllerEntry sensorRange(int first, int count) {
    const int f = std::clamp(first, 0, kSensorAddresses - 1);
    return {f, std::clamp(count, 0, kSensorAddresses - f)};
}

std::vector<std::pair<QString, QString>> layoutKeys(const ControllerLayout& l) {
    std::vector<std::pair<QString, QString>> keys;
    auto pair = [](int a, int b) { return QStringLiteral("%1,%2").arg(a).arg(b); };
    keys.emplace_back(QStringLiteral("KIP_TYP"), QString::number(l.controllerType));
    keys.emplace_back(QStringLiteral("KIP_NUM"),
                      QStringLiteral("%1,%2").arg(l.controllersFound).arg(l.selectedControllers));
    if (l.isDirectSensorType()) {
        const ControllerEntry& c = l.ControllerTable[0];
        keys.emplace_back(QStringLiteral("KIP_B"), pair(c.firstSensorAddress, c.sensorCount));
        return keys;
    }
    keys.emplace_back(QStringLiteral("KIP_B"), QString());
    for (int i = 0; i < kControllerSlots; ++i) {
        if (!l.isPresent(i))
            continue;
        const ControllerEntry& c = l.ControllerTable[i];
        keys.emplace_back(QStringLiteral("KIP%1").arg(i + 1),
                          pair(c.firstSensorAddress, c.sensorCount));
    }
    return keys;
}

} // namespace app
