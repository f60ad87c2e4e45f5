#pragma once

#include "app/WorkingState.h"
#include "link/Transit.h"

#include <cstdint>
#include <functional>
#include <set>

namespace bus {
class SerialLink;
}

namespace app {

// Transit as the window holds it: whether the selected controller relays
// the line to its sensors (the "ТРАНЗИТ" button), switched by the engineer,
// by page changes and sensor choice, by pages that switch it themselves, and
// off on the way out. A controller that never answered leaving stays on:
// the engineer sees it and can try "НОРМ." again.
class TransitState {
  public:
    // Told each time the state is set, to show it.
    using Shown = std::function<void(bool on)>;
    // Page changes ask three times: a controller left relaying keeps every
    // device behind it busy.
    static constexpr int kPageTries = 3;

    TransitState(bus::SerialLink& link, const WorkingState& state, Shown shown = {});
    TransitState(const TransitState&) = delete;
    TransitState& operator=(const TransitState&) = delete;

    bool on() const { return m_on; }
    // On when the selected controller answered switching on.
    bool enter(int tries = 1);
    // Off when the selected controller answered switching off; sent whatever
    // the state was ("НОРМ." resets a controller the window does not know of).
    bool leave(int tries = bus::kLeaveTransitTries);
    // The page left no longer needs transit: switched off, when on.
    void leavePage(int oldTag, int newTag);
    // The page entered needs transit, it is not on yet and a controller is
    // selected to relay (none is before the first scan: nothing is sent).
    bool pageWantsTransit(int tag) const;
    // The selected sensor is behind another controller now: transit moves
    // from the one before to the selected one.
    void moveFrom(std::uint8_t previousController);
    // A scan selected another controller (or the first one) while the page
    // tag was shown: transit held for the one before moves to it, and a
    // page that works through transit gets it as on entering.
    void controllerChosen(std::uint8_t previousController, int tag);
    // A page switched transit itself.
    void show(bool on) { set(on); }
    // Whether a sensor operation must switch transit on and off itself: not
    // while the engineer holds it on, and not without a controller.
    bool writeNeedsTransit() const;
    // Controllers on this link whose last switch off went unanswered.
    const std::set<std::uint8_t>& leftOn() const { return m_watch.leftOn(); }

  private:
    void set(bool on);
    void heardLeftOn(std::uint8_t controller);

    bus::SerialLink& m_link;
    const WorkingState& m_state;
    Shown m_shown;
    bool m_on = false;
    bus::TransitWatch m_watch;
};

} // namespace app
