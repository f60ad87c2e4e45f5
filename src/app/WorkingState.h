#pragma once

#include "app/ControllerLayout.h"

#include <QString>

#include <cstdint>

namespace app {

inline constexpr std::uint8_t kNoControllerSelected = 0xFF;

enum PortRole { MainRole = 0, SlaveRole = 1 };

// What the main window works on: the layout, the selections, the ports.
struct WorkingState {
    ControllerLayout layout;
    std::uint8_t selectedControllerAddress = kNoControllerSelected;
    std::uint8_t sensorAddress = 0;
    int pagerPosition = 0;
    int pageOffset = 0;
    int currentMode = 0;
    int portRole = MainRole;
    QString mainPort; // port name; empty = none
    QString slavePort;
    bool breakRequested = false;
    int tableLayoutWord = 264;
    int selectedDensityMeter = 1;

    // Index of the selected controller, or -1.
    int selectedControllerIndex() const {
        return selectedControllerAddress == kNoControllerSelected
                   ? -1
                   : (selectedControllerAddress & 0x7F);
    }
    QString& rolePort() { return portRole == SlaveRole ? slavePort : mainPort; }
};

} // namespace app
