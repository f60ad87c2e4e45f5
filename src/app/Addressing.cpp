#include "app/Addressing.h"

#include "app/AddressBars.h"
#include "link/Command.h"

namespace app {
namespace {

constexpr int kLastPagerPosition = 7;

std::uint8_t controllerAddress(int index) {
    return static_cast<std::uint8_t>(bus::kControllerBase + index);
}

bool holds(const ControllerEntry& c, int address) {
    return c.firstSensorAddress <= address && address < c.firstSensorAddress + c.sensorCount;
}

} // namespace

std::optional<int> controllerServing(const ControllerLayout& l, int address) {
    for (int i = 0; i < kControllerSlots; ++i)
        if (l.isPresent(i) && holds(l.ControllerTable[i], address))
            return i;
    return std::nullopt;
}

SensorRoute routeTo(const ControllerLayout& layout, int sensorAddress) {
    SensorRoute r;
    if (sensorAddress < layout.lowestSensorAddress || sensorAddress >= layout.sensorAddressEnd)
        return r;
    if (layout.isNoControllerType()) {
        r.served = true;
    } else if (layout.isDirectSensorType()) {
        r.served = true;
        r.controller = static_cast<std::uint8_t>(sensorAddress | 0x80);
    } else if (const auto i = controllerServing(layout, sensorAddress)) {
        r.served = true;
        r.controller = static_cast<std::uint8_t>(0x80 + *i);
    }
    return r;
}

SensorSelection clickSensorButton(WorkingState& s, int button) {
    SensorSelection r;
    r.previousController = s.selectedControllerAddress;
    s.sensorAddress = static_cast<std::uint8_t>(sensorWindowStart(s) + button);
    ControllerLayout& l = s.layout;
    if (l.isNoControllerType()) {
        l.ControllerTable[0].firstSensorAddress = s.sensorAddress;
        return r;
    }
    if (l.controllersFound <= 0 && !l.isDirectSensorType())
        return r;
    int c;
    if (l.isDirectSensorType()) {
        c = s.sensorAddress;
    } else {
        const int selected = s.selectedControllerIndex();
        if (selected >= 0 && holds(l.ControllerTable[selected], s.sensorAddress))
            return r;
        const auto serving = controllerServing(l, s.sensorAddress);
        if (!serving)
            return r;
        c = *serving;
    }
    s.selectedControllerAddress = controllerAddress(c);
    r.controllerChanged = s.selectedControllerAddress != r.previousController;
    return r;
}

bool clickControllerButton(WorkingState& s, int index, bool alarmPageActive) {
    if (index == s.selectedControllerIndex())
        return false;
    s.selectedControllerAddress = controllerAddress(index);
    if (s.layout.controllersFound <= 0)
        s.pageOffset = 0;
    else if (alarmPageActive)
        ShowControllerRange(s, index);
    return true;
}

bool stepPager(WorkingState& s, int newPosition) {
    if (newPosition < 0 || newPosition > kLastPagerPosition || newPosition == s.pagerPosition)
        return false;
    const ControllerLayout& l = s.layout;
    if (l.controllersFound > 0) {
        if (newPosition > s.pagerPosition && l.sensorAddressEnd < 16 * newPosition)
            return false;
        if (newPosition < s.pagerPosition && l.lowestSensorAddress >= sensorWindowStart(s))
            return false;
    }
    s.pagerPosition = newPosition;
    return true;
}

bool SelectSensorByNumber(WorkingState& s, int number) {
    const ControllerLayout& l = s.layout;
    if (number < 0 || number < l.lowestSensorAddress || number > l.sensorAddressEnd)
        return false;
    if (l.controllersFound > 0) {
        // Every controller slot counts, 8..31 too.
        const auto i = controllerServing(l, number);
        if (!i)
            return false;
        const ControllerEntry& c = l.ControllerTable[*i];
        const int first = c.firstSensorAddress;
        const int last = first + c.sensorCount - 1;
        s.selectedControllerAddress = controllerAddress(*i);
        s.sensorAddress = static_cast<std::uint8_t>(number);
        s.pagerPosition = first / 16;
        // A range straddling two pages is shown from its first sensor; one
        // inside a page shows that page as it is.
        s.pageOffset = first / 16 != last / 16 ? first % 16 : 0;
    } else {
        if (number > 15 && !l.isDirectSensorType())
            return false;
        s.sensorAddress = static_cast<std::uint8_t>(number);
        if (l.isDirectSensorType())
            s.selectedControllerAddress = controllerAddress(number);
    }
    return true;
}

void ShowControllerRange(WorkingState& s, int index) {
    const ControllerEntry& c = s.layout.ControllerTable[index];
    const int f = c.firstSensorAddress;
    const int e = c.firstSensorAddress + c.sensorCount;
    const int w = sensorWindowStart(s);
    if (f >= w && e < w + 16)
        return;
    s.pageOffset = 0;
    s.pagerPosition = std::min(f / 16, kLastPagerPosition);
    const int pageEnd = 16 * s.pagerPosition + 16;
    s.pageOffset = e > pageEnd ? e - pageEnd : 0;
}

std::optional<int> controllerOfSelectedSensor(const WorkingState& s) {
    if (s.layout.controllersFound <= 0)
        return std::nullopt;
    const auto i = controllerServing(s.layout, s.sensorAddress);
    if (!i || *i == s.selectedControllerIndex())
        return std::nullopt;
    return i;
}

} // namespace app
