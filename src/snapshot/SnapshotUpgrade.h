#pragma once

#include "snapshot/Snapshot.h"

namespace snapshot {

// A snapshot of format 1 (the devices' own numbers, the flag byte and the
// event mask whole, controllers by index) in the keys and units of the
// catalogue. What a controller type does not have is dropped; an empty
// place and no answer were both null then and stay null.
void upgradeFormat1(Snapshot& s);

} // namespace snapshot
