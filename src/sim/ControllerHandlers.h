#pragma once

#include "sim/Installation.h"

// The settings a controller keeps about itself, and the status words of its
// two processors.
namespace sim::controllers {

std::optional<Answer> interval(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> passwords(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> channels(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> addressRange(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> option(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> mainState(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> keyboardState(Installation&, SimController&, const bus::DecodedRequest&);

} // namespace sim::controllers
