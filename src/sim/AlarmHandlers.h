#pragma once

#include "sim/Installation.h"

// Alarm settings in the controller, alarm state and memory test in the sensor.
namespace sim::alarms {

std::optional<Answer> thresholds(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> enables(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> beginService(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> relays(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> state(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> switchOff(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> memoryTest(Installation&, SimSensor&, const bus::DecodedRequest&);

} // namespace sim::alarms
