#include "link/Transit.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/FrameCodec.h"
#include "link/SerialLink.h"

#include <algorithm>
#include <vector>

namespace bus {
namespace {

std::vector<TransitWatch*>& watches() {
    static std::vector<TransitWatch*> all;
    return all;
}

bool exchange(SerialLink& link, std::uint8_t address, std::uint8_t command, int tries) {
    for (int t = 0; t < tries && link.isOpen(); ++t) {
        // Controllers acknowledge in their own ways: whatever comes back
        // counts, except a sound frame that plainly answers another request.
        const int n = AskController(link, address, command, Form::Read);
        if (n > 0 && !rawFrameAnswersOtherCommand(link.receiveBuffer(), n, command))
            return true;
    }
    return false;
}

} // namespace

void noteTransitLeave(const SerialLink& link, std::uint8_t controller, bool answered) {
    // A copy: a callback may end a watch.
    const std::vector<TransitWatch*> now = watches();
    for (TransitWatch* w : now) {
        if (&w->m_link != &link)
            continue;
        if (answered) {
            w->m_leftOn.erase(controller);
        } else {
            w->m_leftOn.insert(controller);
            if (w->m_callback)
                w->m_callback(controller);
        }
    }
}

bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress, int tries) {
    return exchange(link, controllerAddress, ctl::EnterTransit, tries);
}

bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress, int tries, bool entered) {
    const bool answered = exchange(link, controllerAddress, ctl::ResumeNormal, tries);
    if (answered || entered)
        noteTransitLeave(link, controllerAddress, answered);
    return answered;
}

TransitWatch::TransitWatch(const SerialLink& link, LeftOn leftOn)
    : m_link(link), m_callback(std::move(leftOn)) {
    watches().push_back(this);
}

TransitWatch::~TransitWatch() {
    auto& all = watches();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

TransitScope::TransitScope(SerialLink& link, std::uint8_t controllerAddress, bool active,
                           int enterTries)
    : m_link(link), m_controller(controllerAddress), m_active(active) {
    if (m_active)
        m_entered = EnterTransitMode(m_link, m_controller, enterTries);
    m_relayedBefore = m_link.relayedAnswers();
}

bool TransitScope::entered() const {
    // A sensor's answer through the controller is proof enough.
    return m_active && (m_entered || m_link.relayedAnswers() > m_relayedBefore);
}

TransitScope::~TransitScope() {
    // Sent even when the switch on went unanswered: the controller may have
    // heard it all the same.
    if (m_active)
        LeaveTransitMode(m_link, m_controller, kLeaveTransitTries, entered());
}

} // namespace bus
