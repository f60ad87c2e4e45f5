#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <set>

namespace bus {

class SerialLink;

// A controller left relaying the line keeps every device behind it busy, so
// leaving is worth three tries; entering as often as its caller says.
inline constexpr int kLeaveTransitTries = 3;

// The selected controller relays the line to the devices behind it while in
// transit mode. Both return true when the controller answered one of the
// tries at all.
bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress, int tries = 1);
// A controller that answered neither entering nor leaving is silent, not
// known to be relaying: watches hear of it only when entered says it was.
bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress,
                      int tries = kLeaveTransitTries, bool entered = true);

// Hears, while it lives, of every controller on the link that did not
// answer leaving transit: a front end shows that it may still relay the
// line. A later answered leave takes the controller off the list again.
class TransitWatch {
  public:
    using LeftOn = std::function<void(std::uint8_t controller)>;
    explicit TransitWatch(const SerialLink& link, LeftOn leftOn = {});
    ~TransitWatch();
    TransitWatch(const TransitWatch&) = delete;
    TransitWatch& operator=(const TransitWatch&) = delete;
    // The controllers whose last leave went unanswered.
    const std::set<std::uint8_t>& leftOn() const { return m_leftOn; }

  private:
    friend void noteTransitLeave(const SerialLink&, std::uint8_t, bool);
    const SerialLink& m_link;
    LeftOn m_callback;
    std::set<std::uint8_t> m_leftOn;
};

// Transit for the length of one operation: switched on when active, and off
// again on every way out, errors and exceptions included. Not active (the
// user holds transit on, or there is no controller) sends nothing.
// A controller that did not acknowledge the switch on but through which a
// sensor then answered a command that passes only in transit did enter it:
// the scope counts it as entered, so an unanswered leave is reported to the
// watches as for any controller known to relay.
class TransitScope {
  public:
    TransitScope(SerialLink& link, std::uint8_t controllerAddress, bool active, int enterTries = 1);
    ~TransitScope();
    TransitScope(const TransitScope&) = delete;
    TransitScope& operator=(const TransitScope&) = delete;
    // Whether the controller answered the switch on, or a sensor has
    // answered through it since.
    bool entered() const;

  private:
    SerialLink& m_link;
    std::uint8_t m_controller;
    bool m_active;
    bool m_entered = false;
    quint64 m_relayedBefore = 0;
};

} // namespace bus
