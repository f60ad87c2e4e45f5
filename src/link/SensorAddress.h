#pragma once

#include <cstdint>

namespace bus {

class SerialLink;

// Gives the only sensor on the line a new address by a broadcast to 0xF0.
// Confirmed only when an answer decodes and comes from the new address.
bool SetSensorAddress(SerialLink& link, std::uint8_t newAddress);

} // namespace bus
