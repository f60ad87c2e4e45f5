#pragma once

#include "sim/Installation.h"

// The segment codes of a level probe: what it measures now, the dry and wet
// reference codes it learned, its parameter block, and the commands that
// clear or compute the references.
namespace sim::diagram {

std::optional<Answer> codeBlock(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> dryBlock(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> wetBlock(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> parameterBlock(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> clearCodes(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> computeAir(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> computeFuel(Installation&, SimSensor&, const bus::DecodedRequest&);
std::optional<Answer> forecast(Installation&, SimSensor&, const bus::DecodedRequest&);

} // namespace sim::diagram
