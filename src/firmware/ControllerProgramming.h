#pragma once

#include "firmware/ImageProgramming.h"

// A controller processor's firmware written through its boot loader: LINK
// asks the running firmware who it is and starts the loader, PROG sends the
// image in blocks of 128 bytes with word addresses, FREE lets the loader go.
namespace firmware {

// Where the boot loader listens: the controller itself in the direct-sensor
// type, else the broadcast address.
inline constexpr std::uint8_t kBootLoaderBroadcast = 0xFF;
std::uint8_t bootLoaderAddress(bool directSensorType, std::uint8_t controller);

// In emergency mode the running firmware is not asked anything. Version and
// date are asked only when wanted (the page's fields are empty).
LinkResult ControllerLink(bus::SerialLink& link, std::uint8_t controller, std::uint8_t bootLoader,
                          bool emergency, bool wantVersion = true, bool wantDate = true);

void ReleaseBootLoader(bus::SerialLink& link, std::uint8_t bootLoader);

// An image whose version names the other processor ("VQS" for the main
// one, "VQM" for the keyboard/display one) is said before PROG sends
// anything; empty for any other image.
QString otherProcessorText(const FirmwareImage& image, bool keyboard);

// One attempt a block; the closing empty block always follows.
ProgramResult ProgramController(bus::SerialLink& link, std::uint8_t bootLoader,
                                const FirmwareImage& image, app::Progress& progress);

// PROG; after a whole one FREE, and the restarted controller asked who it
// is. After a PROG stopped short the loader stays linked for another try.
UpdateResult UpdateController(bus::SerialLink& link, std::uint8_t bootLoader,
                              std::uint8_t controller, const FirmwareImage& image,
                              app::Progress& progress);

} // namespace firmware
