#pragma once

#include "firmware/FirmwareImage.h"
#include "link/Command.h"

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

// What a controller processor's and a sensor's boot loaders have in common:
// the image goes in 0x50 blocks of up to 128 bytes with word addresses, and
// the firmware that runs is asked for its version and date.
namespace firmware {

inline constexpr int kFirmwareBlock = 128;

struct LinkResult {
    bool linked = false;
    QString mess; // "СВЯЗЬ УСТАНОВЛЕНА" or "НЕТ ОТВЕТА"
    std::optional<QString> version;
    std::optional<QString> date; // the part after the last '.'
};

// Version, a pause, date: what the running firmware says of itself.
void ReadIdentity(bus::SerialLink& link, bus::Target target, std::uint8_t address, bool wantVersion,
                  bool wantDate, LinkResult& r);

// After the loader was let go: the version and date the restarted firmware
// reports, asked again while it boots, about once a second for withinMs
// (linked = it answered in time); a break ends the asking.
LinkResult AwaitRestart(bus::SerialLink& link, bus::Target target, std::uint8_t address,
                        app::Progress& progress, int withinMs = 5000);

// The 0x50 payloads of an image: word address, then the bytes; an odd start
// is sent from the even address below it, and a byte past the end is 0xFF.
std::vector<std::vector<std::uint8_t>> ProgramBlocks(const FirmwareImage& image);

// How a PROG ended.
enum class ProgramEnd {
    NotStarted, // the image is not usable: nothing sent
    Done,       // every block confirmed
    Stopped,    // a break between blocks
    LineLost,   // a block unanswered (or answered as another command)
    Refused,    // a block answered with 0
};

struct ProgramResult {
    bool done = false;
    bool stopped = false; // a break between blocks; the loader stays linked
    ProgramEnd end = ProgramEnd::NotStarted;
    // The byte address up to which the loader confirmed the image: the
    // block that starts here is the one not written.
    int reached = 0;
    // The byte address past the last block sent: past the failed one when
    // a block failed, the same as reached after a Break.
    int sentPast = 0;
    QString mess;       // programText(end, sentPast)
    int blocksSent = 0; // blocks built and tried
    int attempts = 0;   // 0x50 data requests sent
};
// What the page's status line and the CLI say of a PROG; one that stopped
// short names the address past the last block sent, five hexadecimal digits
// ("ПОТЕРЯ СВЯЗИ(01A80)", "ПРОГРАММИРОВАНИЕ ПРЕРВАНО(01A00)").
QString programText(ProgramEnd end, int sentPast);

// An update: PROG, then the device restarted into what was written and
// asked who it is now.
struct UpdateResult {
    ProgramResult program;
    std::optional<LinkResult> restarted; // asked only after a whole PROG
    bool done() const { return restarted && restarted->linked; }
};
// PROG's outcome, and "; УСТРОЙСТВО НЕ ОТВЕЧАЕТ ПОСЛЕ ПЕРЕЗАПУСКА" when the
// restarted device stayed silent.
QString describe(const UpdateResult& r);

// How a boot loader takes an image: attempts per block, and whether the
// closing empty block follows only an odd number of blocks.
struct BlockRule {
    int attempts = 1;
    bool closingOnlyWhenOdd = false;
};

// Nothing is sent for an image that is not usable. A PROG that stops
// short names the address reached.
ProgramResult ProgramImage(bus::SerialLink& link, bus::Target target, std::uint8_t address,
                           const FirmwareImage& image, app::Progress& progress, BlockRule rule);

} // namespace firmware
