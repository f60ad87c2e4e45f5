#include "app/TransitState.h"

#include "app/Modes.h"

namespace app {

TransitState::TransitState(bus::SerialLink& link, const WorkingState& state, Shown shown)
    : m_link(link), m_state(state), m_shown(std::move(shown)),
      m_watch(link, [this](std::uint8_t c) { heardLeftOn(c); }) {}

void TransitState::set(bool on) {
    m_on = on;
    if (m_shown)
        m_shown(on);
}

void TransitState::heardLeftOn(std::uint8_t controller) {
    // Whoever switched it off (a page's own transit included): the selected
    // controller may still relay the line.
    if (controller == m_state.selectedControllerAddress)
        set(true);
}

bool TransitState::enter(int tries) {
    const bool answered = bus::EnterTransitMode(m_link, m_state.selectedControllerAddress, tries);
    set(answered);
    return answered;
}

bool TransitState::leave(int tries) {
    const bool answered = bus::LeaveTransitMode(m_link, m_state.selectedControllerAddress, tries);
    set(!answered);
    return answered;
}

void TransitState::leavePage(int oldTag, int newTag) {
    if (m_on && needsTransit(oldTag) && !keepsTransit(oldTag, newTag))
        leave(kPageTries);
}

bool TransitState::pageWantsTransit(int tag) const {
    return needsTransit(tag) && !m_on && !m_state.layout.isNoControllerType() &&
           m_state.selectedControllerAddress != kNoControllerSelected;
}

void TransitState::moveFrom(std::uint8_t previousController) {
    bus::LeaveTransitMode(m_link, previousController);
    enter();
}

void TransitState::controllerChosen(std::uint8_t previousController, int tag) {
    const bool held = m_on;
    if (m_on) {
        bus::LeaveTransitMode(m_link, previousController, kPageTries);
        set(false);
    }
    if (held ? m_state.selectedControllerAddress != kNoControllerSelected : pageWantsTransit(tag))
        enter(kPageTries);
}

bool TransitState::writeNeedsTransit() const {
    return !m_on && !m_state.layout.isNoControllerType() &&
           m_state.selectedControllerAddress != kNoControllerSelected;
}

} // namespace app
