#pragma once

#include "sim/Installation.h"

// What a sensor answers about its settings: cells, flags, filling
// criterion, section corrections, segments and code update.
namespace sim::settings {

std::optional<Answer> writeCell(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> flags(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> fillCriterion(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> readSectionCorrections(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> writeSectionCorrection(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> segments(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> codeUpdate(Installation&, SimSensor&, const bus::DecodedRequest&);

} // namespace sim::settings
