#pragma once

#include "app/WorkingState.h"

#include <cstdint>
#include <optional>

// The rules of the address bars over the working state. The window draws
// the bars and carries out what these return (transit, page re-entry).
namespace app {

// The first controller index whose sensor range holds the address.
std::optional<int> controllerServing(const ControllerLayout& layout, int address);

// How the sensor at that address is reached: through its own address in
// type 2, directly in type 5, else through the controller whose range holds
// it. Not served when no controller of the layout holds it.
struct SensorRoute {
    bool served = false;
    std::optional<std::uint8_t> controller;
};
SensorRoute routeTo(const ControllerLayout& layout, int sensorAddress);

struct SensorSelection {
    bool controllerChanged = false;
    std::uint8_t previousController = kNoControllerSelected;
};

// A click on sensor button b: selects the sensor and, where needed, the
// controller that serves it.
SensorSelection clickSensorButton(WorkingState& state, int button);

// A click on controller button i; false when i is already selected.
bool clickControllerButton(WorkingState& state, int index, bool alarmPageActive);

// Moves the pager to newPosition (0..7); false when the step is refused.
bool stepPager(WorkingState& state, int newPosition);

// Selects sensor s (a bus address) and its controller; false when no
// controller of the layout serves it. The caller redraws the bars.
bool SelectSensorByNumber(WorkingState& state, int s);

// Moves the sensor window so that all sensors of controller i show.
void ShowControllerRange(WorkingState& state, int index);

// The controller to select for the selected sensor, when it is not the one
// selected already.
std::optional<int> controllerOfSelectedSensor(const WorkingState& state);

} // namespace app
