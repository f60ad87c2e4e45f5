#pragma once

#include "firmware/FirmwareImage.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

// A controller processor's firmware written through its boot loader: LINK
// asks the running firmware who it is and starts the loader, PROG sends the
// image in blocks of 128 bytes with word addresses, FREE lets the loader go.
namespace firmware {

inline constexpr int kFirmwareBlock = 128;
// Where the boot loader listens: the controller itself in the direct-sensor
// type, else the broadcast address.
inline constexpr std::uint8_t kBootLoaderBroadcast = 0xFF;
std::uint8_t bootLoaderAddress(bool directSensorType, std::uint8_t controller);

struct LinkResult {
    bool linked = false;
    QString mess; // "СВЯЗЬ УСТАНОВЛЕНА" or "НЕТ ОТВЕТА"
    std::optional<QString> version;
    std::optional<QString> date; // the part after the last '.'
};
// In emergency mode the running firmware is not asked anything. Version and
// date are asked only when wanted (the page's fields are empty).
LinkResult ControllerLink(bus::SerialLink& link, std::uint8_t controller, std::uint8_t bootLoader,
                          bool emergency, bool wantVersion = true, bool wantDate = true);

// After the loader was let go: the version and date the restarted firmware
// reports, asked again while it boots, about once a second for withinMs
// (linked = it answered in time); a break ends the asking.
LinkResult AwaitRestart(bus::SerialLink& link, std::uint8_t controller, app::Progress& progress,
                        int withinMs = 5000);

void ReleaseBootLoader(bus::SerialLink& link, std::uint8_t bootLoader);

// The 0x50 payloads of an image: word address, then the bytes; an odd start
// is sent from the even address below it, and a byte past the end is 0xFF.
std::vector<std::vector<std::uint8_t>> ProgramBlocks(const FirmwareImage& image);

struct ProgramResult {
    bool done = false;
    bool stopped = false; // a break between blocks; the loader stays linked
    QString mess;
    int blocksSent = 0;
};
// Nothing is sent for an image that is not usable.
ProgramResult ProgramController(bus::SerialLink& link, std::uint8_t bootLoader,
                                const FirmwareImage& image, app::Progress& progress);

} // namespace firmware
