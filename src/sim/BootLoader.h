#pragma once

#include "sim/Installation.h"

// Boot loaders. A controller processor's is entered with 0x5A at the
// controller's address, then heard on the broadcast address 0xFF; a
// sensor's is entered with 0x5A at the sensor and heard there. Either
// reports itself (0x7C byte 1 = 0x80), takes program blocks (0x50) and is
// let go with 0xA5, after which the device runs what was written.
namespace sim::boot {

inline constexpr int kProgramSpace = 0x20000;

std::optional<Answer> enter(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> enterKeyboard(Installation&, SimController&, const bus::DecodedRequest&);
std::optional<Answer> enterSensor(Installation&, SimSensor&, const bus::DecodedRequest&);
// A request to 0xFF while the processor's boot loader runs.
std::optional<Answer> answer(SimController& c, Cpu cpu, const bus::DecodedRequest& req);
// A request to a sensor whose boot loader runs.
std::optional<Answer> sensorAnswer(SimSensor& s, const bus::DecodedRequest& req);
// The version text the program in the flash carries, if any.
QByteArray versionIn(const QByteArray& program);

} // namespace sim::boot
