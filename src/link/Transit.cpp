#include "link/Transit.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/FrameCodec.h"
#include "link/SerialLink.h"

namespace bus {
namespace {
bool exchange(SerialLink& link, std::uint8_t address, std::uint8_t command) {
    // Controllers acknowledge in their own ways: whatever comes back counts,
    // except a sound frame that plainly answers another request.
    const int n = AskController(link, address, command, Form::Read);
    return n > 0 && !rawFrameAnswersOtherCommand(link.receiveBuffer(), n, command);
}
} // namespace

bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress) {
    return exchange(link, controllerAddress, ctl::EnterTransit);
}

bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress) {
    return exchange(link, controllerAddress, ctl::ResumeNormal);
}

} // namespace bus
