#pragma once

#include "sim/Installation.h"

// What a sensor answers about the devices on its 1-Wire line: the
// thermometer search and the density meters' correction; and the
// controller's own thermometer identifiers.
namespace sim::places {

std::optional<Answer> thermometerSearch(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> densityExchange(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> checkedBlock(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> controllerThermometerId(Installation&, SimController&,
                                              const bus::DecodedRequest&);

} // namespace sim::places
