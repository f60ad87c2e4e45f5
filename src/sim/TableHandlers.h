#pragma once

#include "sim/Installation.h"

// The calibration tables a controller keeps: its page size, its allocation
// table, the paged flash with the multi-table transfer commands, and the
// single table of the direct-sensor type at memory address 0x0100.
namespace sim::tables {

inline constexpr int kFlashPages = 2048;
inline constexpr int kSingleTableAddress = 0x0100;
inline constexpr int kSingleMemory = 0x0100 + 4096;

std::optional<Answer> pageSize(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> readAllocation(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> writeAllocation(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> writeBlockMulti(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> readChunkMulti(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> writeBlockSingle(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> readChunkSingle(Installation&, SimController&, const bus::DecodedRequest&);

} // namespace sim::tables
