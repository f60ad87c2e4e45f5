#include "link/Transit.h"

#include "link/Command.h"
#include "link/FrameCodec.h"
#include "link/SerialLink.h"

namespace bus {
namespace {
bool exchange(SerialLink& link, std::uint8_t address, std::uint8_t command) {
    link.SendRequest(address, command);
    // Any answer to this command counts, even a garbled one; a late answer
    // to an earlier request does not.
    const int n = link.ReceiveRaw(kTransitWaitMs);
    return n > 0 && rawFrameNamesCommand(link.receiveBuffer(), n, command);
}
} // namespace

bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress) {
    return exchange(link, controllerAddress, ctl::EnterTransit);
}

bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress) {
    return exchange(link, controllerAddress, ctl::ResumeNormal);
}

} // namespace bus
