#pragma once

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

// Controller types (KIP_TYP).
enum ControllerType {
    TypeN5 = 0,
    TypeN6 = 1,
    TypeDirect = 2, // every sensor is its own controller at 0x80 + address
    TypeC6 = 3,     // the scan probes 32 controllers
    TypeC7 = 4,
    TypeNone = 5, // no controller at all
};

// What a controller type has, beyond its address ranges.
struct ControllerTypeTraits {
    bool keyboardProcessor; // a keyboard/display processor beside the main one
    bool keyboardPort;      // which is programmed over a port of its own
};
inline constexpr std::array<ControllerTypeTraits, 6> kControllerTypes{{
    {true, true},   // Н5
    {false, false}, // Н6
    {true, false},  // С5
    {true, false},  // С6
    {true, true},   // С7
    {false, false}, // no controller
}};

// Which controllers are on the line and which sensors each one serves.
struct ControllerLayout {
    int controllerType = TypeN6;
    int controllersFound = 0;
    quint32 selectedControllers = 1;
    int lowestSensorAddress = 0;
    int sensorAddressEnd = kSensorAddresses; // one past the last address
    std::array<ControllerEntry, kControllerSlots> ControllerTable{{{0, 16}}};

    bool isDirectSensorType() const { return controllerType == TypeDirect; }
    bool isNoControllerType() const { return controllerType == TypeNone; }
    bool isPresent(int index) const {
        return index >= 0 && index < kControllerSlots && (selectedControllers >> index) & 1u;
    }
};

int defaultSensorCount(int type);
// A sensor range as a controller or a file gives it, pulled into the sensor
// addresses 0..127: nothing past it may be polled as a sensor.
ControllerEntry sensorRange(int first, int count);
// "Используется КИП-Н6" and the like; for type 5 "КИП не используется".
QString controllerTypeLabel(int type);

// The layout as the configuration file keeps it, in file order: KIP_TYP,
// KIP_NUM, KIP_B, then KIPn for each controller present (not in the
// direct-sensor type).
std::vector<std::pair<QString, QString>> layoutKeys(const ControllerLayout& layout);

} // namespace app
