#pragma once

#include "link/FrameCodec.h"

namespace sim {

// The devices' own say of which requests change what they keep (settings,
// cells, tables, firmware, codes, addresses, a sounding alarm) or start
// what does (a boot loader, the service mode). Kept here apart from the
// tool's command catalogue, so that a request the tool forgets to count as
// a write still shows as one.
bool changesDevice(const bus::DecodedRequest& request);

} // namespace sim
