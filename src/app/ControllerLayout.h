#pragma once

#include "app/ControllerTypes.h"

#include <QString>

#include <array>
#include <utility>
#include <vector>

namespace app {

inline constexpr int kControllerSlots = 32;
inline constexpr int kSensorAddresses = 128;

struct ControllerEntry {
    int firstSensorAddress = 0;
    int sensorCount = 0;
};

// Which controllers are on the line and which sensors each one serves.
struct ControllerLayout {
    int controllerType = TypeN6;
    int controllersFound = 0;
    quint32 selectedControllers = 1;
    int lowestSensorAddress = 0;
    int sensorAddressEnd = kSensorAddresses; // one past the last address
    std::array<ControllerEntry, kControllerSlots> ControllerTable{{{0, 16}}};

    const ControllerTypeInfo& type() const { return app::controllerType(controllerType); }
    bool isDirectSensorType() const { return type().directSensors; }
    bool isNoControllerType() const { return !type().controller; }
    bool isPresent(int index) const {
        return index >= 0 && index < kControllerSlots && (selectedControllers >> index) & 1u;
    }
};

// A sensor range as a controller or a file gives it, pulled into the sensor
// addresses 0..127: nothing past it may be polled as a sensor.
ControllerEntry sensorRange(int first, int count);

// The layout as the configuration file keeps it, in file order: KIP_TYP,
// KIP_NUM, KIP_B, then KIPn for each controller present (not in the
// direct-sensor type).
std::vector<std::pair<QString, QString>> layoutKeys(const ControllerLayout& layout);

} // namespace app
