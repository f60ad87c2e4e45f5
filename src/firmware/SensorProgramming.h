#pragma once

#include "firmware/ImageProgramming.h"

// A sensor's firmware written through its boot loader. Normally the sensor
// is reached through its controller in transit; in the emergency mode the
// controller carries a flag that makes it pass the line to its sensors right
// after power-up, and the tool probes for the sensor's loader while the
// engineer switches the controller on.
namespace firmware {

// Where the sensor sits: its address, its controller's, and whether frames
// to it need transit (not in the layouts without controllers).
struct SensorRoute {
    std::uint8_t sensor = 0;
    std::uint8_t controller = 0;
    bool viaTransit = true;
};

// One look for the boot loader: 0x5A answered, then 0x7C with byte 1 = 0x80.
bool SensorBootProbe(bus::SerialLink& link, std::uint8_t sensor);

// LINK in the normal mode: transit on (two tries), version and date where
// wanted, the loader started. Linked leaves transit on; every other way out
// leaves it off. transitOn tells which.
struct SensorLinkResult : LinkResult {
    bool transitOn = false;
};
SensorLinkResult SensorLink(bus::SerialLink& link, const SensorRoute& route,
                            bool wantVersion = true, bool wantDate = true);

// The emergency link without a window: a probe, then up to probes more
// about 100 ms apart while the controller is switched on; a break ends it.
inline constexpr int kEmergencyProbes = 12;
bool EmergencySensorLink(bus::SerialLink& link, std::uint8_t sensor, app::Progress& progress,
                         int probes = kEmergencyProbes);

// Five attempts a block; the closing empty block only after an odd number.
ProgramResult ProgramSensor(bus::SerialLink& link, std::uint8_t sensor, const FirmwareImage& image,
                            app::Progress& progress);

// 0xA5 to the sensor, not awaited, and the 100 ms it takes to restart.
void LetSensorGo(bus::SerialLink& link, std::uint8_t sensor);
// FREE: the sensor let go, then transit off.
void ReleaseSensor(bus::SerialLink& link, const SensorRoute& route);
// The end of a PROG that succeeded: the sensor let go, asked what it runs
// once restarted (while the line still reaches it), then transit off.
LinkResult RestartSensor(bus::SerialLink& link, const SensorRoute& route, app::Progress& progress);

// PROG; after a whole one the sensor restarted and asked who it is (transit
// off after it). After a PROG stopped short the loader stays linked and
// transit on for another try.
UpdateResult UpdateSensor(bus::SerialLink& link, const SensorRoute& route,
                          const FirmwareImage& image, app::Progress& progress);

// The controller's emergency update flag (0xAE): the flag as read, nothing
// without an answer.
std::optional<bool> ReadEmergencyFlag(bus::SerialLink& link, std::uint8_t controller);
struct FlagResult {
    bool set = false; // the controller holds the wanted value
    QString mess;
};
// Read first; written only when it differs, and believed only as answered.
FlagResult SetEmergencyFlag(bus::SerialLink& link, std::uint8_t controller, bool want);

} // namespace firmware
