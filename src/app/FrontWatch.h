#pragma once

#include "app/ControllerLayout.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace bus {
class SerialLink;
}

namespace app {

// A controller, or a line without controllers of their own, that stayed
// silent: the sensors behind it were not asked any further.
struct SilentFront {
    std::optional<int> controller; // the slot; none: the line itself
    bool echoOnly = false;         // only our own request's echo came back
    std::vector<int> skipped;      // sensor addresses left unasked
    // Slots left unasked: where each sensor is its own controller, the
    // controllers behind the line.
    std::vector<int> skippedControllers;
};

// "КИП 1 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ", with
// " (ТОЛЬКО ЭХО ЗАПРОСА)" after "НЕ ОТВЕЧАЕТ" on a line that only echoes;
// "ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ" without controllers.
QString silentFrontText(const SilentFront& front);
// Whether the sensor at address, or the controller of slot, was left
// unasked behind one of fronts.
bool skippedBehind(const std::vector<SilentFront>& fronts, int address);
bool controllerSkippedBehind(const std::vector<SilentFront>& fronts, int slot);

// What one walk over the layout has learnt of the devices in front of the
// sensors, so that a dead line or a silent controller costs one wait, not
// one per sensor and retry. The front is the controller of each slot; on a
// line whose sensors answer for themselves (no controller, or each sensor
// its own) it is the line. A front that answered anything, or through which
// a sensor answered, is heard for the rest of the walk: a silent sensor on
// a live line is only ever that sensor. Any answer counts, garbled or from
// another address; only silence and our own echo are none.
//
// A controller stayed silent when it and the first sensor asked behind it
// both answered nothing: the walk either asked the controller itself
// (controllerAnswered) or, on the first silent sensor, the watch asks the
// controller for its version. A controller that does not answer for itself
// but relays its sensors is heard through them. A line without controllers
// stayed silent when its first kLineQuestions questions all went unanswered.
class FrontWatch {
  public:
    static constexpr int kLineQuestions = 3;

    FrontWatch(bus::SerialLink& link, const ControllerLayout& layout);

    // Whether the devices behind the front of slot c are still asked.
    bool asking(int c) const;
    // The walk asked the controller of slot c itself.
    void controllerAnswered(int c, bool answered);
    // The walk asked a sensor behind slot c. Returns asking(c).
    bool sensorAnswered(int c, bool answered);
    // A sensor behind a silent front, left unasked.
    void skip(int c, int address);
    // The controller of slot c, behind a silent line, left unasked.
    void skipController(int c);
    // The silent fronts, in the order they fell silent.
    std::vector<SilentFront> silentFronts() const;

  private:
    enum class State { Unknown, ControllerSilent, Heard, Silent };
    struct Front {
        State state = State::Unknown;
        int unanswered = 0; // on the line itself
        SilentFront silence;
        int order = 0;
    };
    // The key of slot c's front: the slot, or -1 for the line itself.
    int keyOf(int c) const;
    Front& front(int c);
    // Whether the last wait heard anything but silence and our own echo.
    bool heardSomething() const;
    void fallSilent(Front& f);

    bus::SerialLink& m_link;
    bool m_lineFront;
    std::map<int, Front> m_fronts;
    int m_fallen = 0;
};

} // namespace app
