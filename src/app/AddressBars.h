#pragma once

#include "app/WorkingState.h"

#include <QString>

#include <array>
#include <optional>

namespace app {

inline constexpr int kSensorButtons = 16;

// Mode Tags: bits 0..5 the page, bit 6 a sensor page, bit 7 a controller page.
inline constexpr int kSensorPageBit = 0x40;
inline constexpr int kControllerPageBit = 0x80;

struct ControllerBarView {
    std::array<bool, kControllerSlots> enabled{};
    std::array<bool, kControllerSlots> pressed{};
};

// What the two address bars show.
struct AddressBarsView {
    // Nothing when no controllers were found: the bar keeps what it shows.
    std::optional<ControllerBarView> controllers;
    bool controllerBarVisible = false;
    std::array<QString, kSensorButtons> sensorCaptions;
    std::array<bool, kSensorButtons> sensorEnabled{};
    std::array<bool, kSensorButtons> sensorPressed{};
    bool sensorBarVisible = false;
};

// First sensor address of the window the sensor bar shows.
int sensorWindowStart(const WorkingState& state);

// The bars for the layout, the selections and the current mode's Tag. Pulls
// sensorAddress into the layout's range first (moving the pager with it).
AddressBarsView RefreshAddressBars(WorkingState& state);

} // namespace app
