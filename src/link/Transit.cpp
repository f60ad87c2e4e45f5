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

TransitScope::TransitScope(SerialLink& link, std::uint8_t controllerAddress, bool active)
    : m_link(link), m_controller(controllerAddress), m_active(active) {
    if (m_active)
        m_entered = EnterTransitMode(m_link, m_controller);
}

TransitScope::~TransitScope() {
    // Sent even when the switch on went unanswered: the controller may have
    // heard it all the same.
    if (m_active)
        LeaveTransitMode(m_link, m_controller);
}

} // namespace bus
