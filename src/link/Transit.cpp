#include "link/Transit.h"

#include "link/Command.h"
#include "link/SerialLink.h"

namespace bus {
namespace {
bool exchange(SerialLink& link, std::uint8_t address, std::uint8_t command) {
    link.SendRequest(address, command);
    // Any answer counts; its content is not decoded.
    return link.ReceiveRaw(kTransitWaitMs) > 0;
}
} // namespace

bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress) {
    return exchange(link, controllerAddress, ctl::EnterTransit);
}

bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress) {
    return exchange(link, controllerAddress, ctl::ResumeNormal);
}

} // namespace bus
