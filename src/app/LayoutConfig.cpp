#include "app/LayoutConfig.h"

#include "link/Command.h"
#include "link/PortNames.h"

#include <QDir>

namespace app {

void loadLayout(const ConfigEntries& entries, WorkingState& state) {
    ControllerLayout& l = state.layout;
    state.selectedControllerAddress = kNoControllerSelected;
    const QString typeText = ConfigFile::value(entries, QStringLiteral("KIP_TYP"));
    l.controllerType = configInt(typeText, TypeN6);
    if (!isControllerType(l.controllerType))
        l.controllerType = TypeN6;
    const int type = l.controllerType;
    const int defaultCount = defaultSensorCount(type);
    l.ControllerTable.fill({});
    l.controllersFound = 0;
    l.selectedControllers = 1;

    if (!l.type().controller) {
        l.lowestSensorAddress = 0;
        l.sensorAddressEnd = kSensorAddresses;
        l.ControllerTable[0] = {0, 1};
        return;
    }
    if (l.type().directSensors) {
        const QString b = ConfigFile::value(entries, QStringLiteral("KIP_B"));
        if (b.isEmpty()) {
            l.lowestSensorAddress = 0;
            l.sensorAddressEnd = kSensorAddresses;
            l.ControllerTable[0] = {0, kSensorAddresses};
            return;
        }
        const auto [first, count] = splitPair(b);
        const ControllerEntry r = sensorRange(configInt(first, 0), configInt(count, 0));
        l.lowestSensorAddress = r.firstSensorAddress;
        // One past the last address, as in every other type.
        l.sensorAddressEnd = r.firstSensorAddress + r.sensorCount;
        l.ControllerTable[0] = r;
        return;
    }

    const QString num = ConfigFile::value(entries, QStringLiteral("KIP_NUM"));
    if (num.isEmpty()) {
        l.lowestSensorAddress = 0;
        l.sensorAddressEnd = defaultCount;
        l.ControllerTable[0] = {0, defaultCount};
        return;
    }
    const auto [found, mask] = splitPair(num);
    l.controllersFound = configInt(found, 0);
    bool maskOk = false;
    const qint64 maskValue = mask.trimmed().toLongLong(&maskOk);
    l.selectedControllers = maskOk ? static_cast<quint32>(maskValue) : 0;
    int lowest = 255;
    int end = 0;
    for (int i = 0; i < kControllerSlots; ++i) {
        if (!l.isPresent(i))
            continue;
        if (state.selectedControllerAddress == kNoControllerSelected && l.controllersFound > 0)
            state.selectedControllerAddress = static_cast<std::uint8_t>(bus::kControllerBase + i);
        const QString range = ConfigFile::value(entries, QStringLiteral("KIP%1").arg(i + 1));
        if (range.isEmpty())
            continue;
        const auto [first, count] = splitPair(range);
        const ControllerEntry r = sensorRange(configInt(first, 0), configInt(count, defaultCount));
        l.ControllerTable[i] = r;
        lowest = std::min(lowest, r.firstSensorAddress);
        end = std::max(end, r.firstSensorAddress + r.sensorCount);
    }
    l.lowestSensorAddress = lowest == 255 ? 0 : lowest;
    l.sensorAddressEnd = end;
}

void changeControllerType(WorkingState& state, int type) {
    ControllerLayout& l = state.layout;
    l.controllerType = type;
    const int b = defaultSensorCount(type);
    l.ControllerTable.fill({});
    l.ControllerTable[0] = {0, b};
    state.selectedControllerAddress = kNoControllerSelected;
    l.controllersFound = 0;
    l.selectedControllers = 1;
    l.lowestSensorAddress = 0;
    l.sensorAddressEnd = (l.isDirectSensorType() || l.isNoControllerType()) ? kSensorAddresses : b;
}

QString portFromConfig(const QString& value) {
    const QString v = value.trimmed();
    bool isNumber = false;
    const int n = v.toInt(&isNumber);
    if (isNumber)
        return bus::portNameForNumber(n);
    return v;
}

QString portConfigKey(int role) {
    return role == SlaveRole ? QStringLiteral("SLAVE_PORT") : QStringLiteral("MAIN_PORT");
}

QString saveLayout(const ConfigFile& config, const ControllerLayout& layout) {
    QString error;
    if (!config.write(layoutKeys(layout), &error))
        return QStringLiteral("НЕ ЗАПИСАНО: ") + error;
    return QStringLiteral("СОХРАНЕНО В ") + QDir::toNativeSeparators(config.path());
}

} // namespace app
