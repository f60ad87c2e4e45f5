#pragma once

#include "app/ControllerLayout.h"

#include <initializer_list>
#include <tuple>

// A layout of the controllers given as (index, first sensor, count); found
// as a scan finds them unless scanned is false.
inline app::ControllerLayout layoutOf(std::initializer_list<std::tuple<int, int, int>> controllers,
                                      int type = 1, bool scanned = true) {
    app::ControllerLayout l;
    l.controllerType = type;
    l.ControllerTable.fill({});
    l.selectedControllers = 0;
    int lowest = 255;
    int end = 0;
    for (auto [i, first, count] : controllers) {
        l.ControllerTable[i] = {first, count};
        l.selectedControllers |= 1u << i;
        if (scanned)
            ++l.controllersFound;
        lowest = std::min(lowest, first);
        end = std::max(end, first + count);
    }
    l.lowestSensorAddress = lowest == 255 ? 0 : lowest;
    l.sensorAddressEnd = end;
    return l;
}
