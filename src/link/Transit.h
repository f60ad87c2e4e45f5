#pragma once

#include <QString>
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

// Leaving the service mode (table programming, alarm writes) is the same
// 0xA5 as leaving transit, and as worth three tries: a controller left in
// it stops its own work.
inline constexpr int kLeaveServiceTries = 3;

// Ends the service mode; true when the controller answered one of the
// tries. entered: whether the controller is known to be in it (it granted
// it, or answered the work done in it); only then do watches hear of an
// unanswered leave.
bool LeaveServiceMode(SerialLink& link, std::uint8_t controllerAddress,
                      int tries = kLeaveServiceTries, bool entered = true);

// What the window's status line and the CLI say of a controller whose
// service mode may not have ended.
QString serviceLeftOnText(std::uint8_t controllerAddress);

// Hears, while it lives, of every controller on the link that did not
// answer leaving transit or the service mode: a front end shows that it
// may still relay the line, or still be in service mode. A later answered
// 0xA5, which ends both, takes the controller off both lists again.
class TransitWatch {
  public:
    using LeftOn = std::function<void(std::uint8_t controller)>;
    explicit TransitWatch(const SerialLink& link, LeftOn leftOn = {}, LeftOn serviceLeftOn = {});
    ~TransitWatch();
    TransitWatch(const TransitWatch&) = delete;
    TransitWatch& operator=(const TransitWatch&) = delete;
    // The controllers whose last leave of transit went unanswered.
    const std::set<std::uint8_t>& leftOn() const { return m_leftOn; }
    // The controllers whose last end of the service mode went unanswered.
    const std::set<std::uint8_t>& serviceLeftOn() const { return m_serviceLeftOn; }

  private:
    friend void noteLeave(const SerialLink&, std::uint8_t, bool, bool);
    const SerialLink& m_link;
    LeftOn m_callback;
    LeftOn m_serviceCallback;
    std::set<std::uint8_t> m_leftOn;
    std::set<std::uint8_t> m_serviceLeftOn;
};

// The service mode for the length of one piece of work: asked for with
// 0xA0 (as the catalogue tries it), or, for work the controller ends with
// 0xA5 without having been asked (reading tables), taken as entered; ended
// on every way out, errors and exceptions included.
class ServiceMode {
  public:
    enum class Start { Ask, AlreadyIn };
    ServiceMode(SerialLink& link, std::uint8_t controllerAddress, Start start = Start::Ask);
    ~ServiceMode();
    ServiceMode(const ServiceMode&) = delete;
    ServiceMode& operator=(const ServiceMode&) = delete;
    // Whether the controller granted the mode (always, for AlreadyIn).
    bool accepted() const { return m_accepted; }
    // Ends it now, once; true when the controller answered the end (or was
    // never known to be in the mode).
    bool end();

  private:
    SerialLink& m_link;
    std::uint8_t m_controller;
    bool m_accepted;
    bool m_ended = false;
    bool m_endAnswered = true;
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
