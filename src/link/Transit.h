#pragma once

#include <cstdint>

namespace bus {

class SerialLink;

// The selected controller relays the line to the devices behind it while in
// transit mode. Both return true when the controller answered at all.
bool EnterTransitMode(SerialLink& link, std::uint8_t controllerAddress);
bool LeaveTransitMode(SerialLink& link, std::uint8_t controllerAddress);

// Transit for the length of one operation: switched on when active, and off
// again on every way out, errors and exceptions included. Not active (the
// user holds transit on, or there is no controller) sends nothing.
class TransitScope {
  public:
    TransitScope(SerialLink& link, std::uint8_t controllerAddress, bool active);
    ~TransitScope();
    TransitScope(const TransitScope&) = delete;
    TransitScope& operator=(const TransitScope&) = delete;
    // Whether the controller answered the switch on.
    bool entered() const { return m_entered; }

  private:
    SerialLink& m_link;
    std::uint8_t m_controller;
    bool m_active;
    bool m_entered = false;
};

} // namespace bus
