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

bool exchange(SerialLink& link, std::uint8_t address, std::uint8_t command, int tries,
              Form form = Form::Read) {
    for (int t = 0; t < tries && link.isOpen(); ++t) {
        // Controllers acknowledge in their own ways: whatever comes back
        // counts, except a sound frame that plainly answers another request.
        const int n = AskController(link, address, command, form);
        if (n > 0 && !rawFrameAnswersOtherCommand(link.receiveBuffer(), n, command))
            return true;
    }
    return false;
}

} // namespace

void noteLeave(const SerialLink& link, std::uint8_t controller, bool service, bool answered) {
    // A copy: a callback may end a watch.
    const std::vector<TransitWatch*> now = watches();
    for (TransitWatch* w : now) {
        if (&w->m_link != &link)
            continue;
        if (answered) {
            // One 0xA5 ends both modes.
            w->m_leftOn.erase(controller);
            w->m_serviceLeftOn.erase(controller);
            continue;
        }
        (service ? w->m_serviceLeftOn : w->m_leftOn).insert(controller);
        if (const auto& heard = service ? w->m_serviceCallback : w->m_callback)
            heard(controller);
    }
}

bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress, int tries) {
    return exchange(link, controllerAddress, ctl::EnterTransit, tries);
}

bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress, int tries, bool entered) {
    const bool answered = exchange(link, controllerAddress, ctl::ResumeNormal, tries);
    if (answered || entered)
        noteLeave(link, controllerAddress, false, answered);
    return answered;
}

bool LeaveServiceMode(SerialLink& link, std::uint8_t controllerAddress, int tries, bool entered) {
    // Table and alarm work has always waited a second for this answer.
    const bool answered = exchange(link, controllerAddress, ctl::ResumeNormal, tries, Form::Slow);
    if (answered || entered)
        noteLeave(link, controllerAddress, true, answered);
    return answered;
}

QString serviceLeftOnText(std::uint8_t controllerAddress) {
    return QStringLiteral("КИП %1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ")
        .arg((controllerAddress & 0x7F) + 1);
}

TransitWatch::TransitWatch(const SerialLink& link, LeftOn leftOn, LeftOn serviceLeftOn)
    : m_link(link), m_callback(std::move(leftOn)), m_serviceCallback(std::move(serviceLeftOn)) {
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

ServiceMode::ServiceMode(SerialLink& link, std::uint8_t controllerAddress, Start start)
    : m_link(link), m_controller(controllerAddress),
      m_accepted(start == Start::AlreadyIn ||
                 AskController(link, controllerAddress, ctl::BeginService, Form::Read) >= 0) {}

bool ServiceMode::end() {
    if (m_ended)
        return m_endAnswered;
    m_ended = true;
    // Ended even when the controller did not grant it: it may have heard.
    const bool answered = LeaveServiceMode(m_link, m_controller, kLeaveServiceTries, m_accepted);
    m_endAnswered = answered || !m_accepted;
    return m_endAnswered;
}

ServiceMode::~ServiceMode() {
    end();
}

} // namespace bus
