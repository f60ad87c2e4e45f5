#pragma once

#include <cstdint>

namespace bus {

class SerialLink;

// The selected controller relays the line to the devices behind it while in
// transit mode. Both return true when the controller answered at all.
bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress);
bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress);

} // namespace bus
