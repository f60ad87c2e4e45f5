#pragma once

#include "sim/Installation.h"

#include <cstdint>
#include <map>

// What each simulated device answers, one handler per command code. A
// command no handler knows goes unanswered, as on the real line.
namespace sim {

using ControllerHandler = std::optional<Answer> (*)(Installation&, SimController&,
                                                    const bus::DecodedRequest&);
using SensorHandler = std::optional<Answer> (*)(Installation&, SimSensor&,
                                                const bus::DecodedRequest&);

const std::map<std::uint8_t, ControllerHandler>& controllerHandlers();
const std::map<std::uint8_t, SensorHandler>& sensorHandlers();
// The keyboard/display processor, on its own port.
const std::map<std::uint8_t, ControllerHandler>& keyboardHandlers();

} // namespace sim
