#include "app/AddressBars.h"

namespace app {

int sensorWindowStart(const WorkingState& s) {
    return 16 * s.pagerPosition + s.pageOffset;
}

AddressBarsView RefreshAddressBars(WorkingState& s) {
    const ControllerLayout& l = s.layout;
    AddressBarsView v;
    const int tag = s.currentMode;
    if (l.controllersFound > 0) {
        ControllerBarView c;
        for (int i = 0; i < kControllerSlots; ++i) {
            c.enabled[i] = l.isPresent(i);
            c.pressed[i] = c.enabled[i] && i == s.selectedControllerIndex();
        }
        v.controllers = c;
    }
    v.controllerBarVisible = l.controllersFound > 0 && (tag & kControllerPageBit);

    if (s.sensorAddress < l.lowestSensorAddress || s.sensorAddress >= l.sensorAddressEnd) {
        s.sensorAddress = static_cast<std::uint8_t>(l.lowestSensorAddress);
        s.pagerPosition = l.lowestSensorAddress / 16;
    }
    // A direct sensor is its own controller; the selection follows the
    // sensor once it lies in range.
    if (l.isDirectSensorType())
        s.selectedControllerAddress = static_cast<std::uint8_t>(s.sensorAddress | 0x80);
    const int w = sensorWindowStart(s);
    for (int i = 0; i < kSensorButtons; ++i) {
        const int address = w + i;
        const QString number = QString::number(address + 1);
        // Up to 98 the numbers get a space on each side.
        v.sensorCaptions[i] = address < 98 ? QLatin1Char(' ') + number + QLatin1Char(' ') : number;
        v.sensorEnabled[i] = l.lowestSensorAddress <= address && address < l.sensorAddressEnd;
        v.sensorPressed[i] = v.sensorEnabled[i] && address == s.sensorAddress;
    }
    if (l.isDirectSensorType())
        v.sensorBarVisible = tag >= 64;
    else if (l.isNoControllerType())
        v.sensorBarVisible = true;
    else
        v.sensorBarVisible = (tag & kSensorPageBit) != 0;
    return v;
}

} // namespace app
