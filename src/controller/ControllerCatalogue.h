#pragma once

#include "app/Setting.h"
#include "controller/AlarmService.h"

#include <vector>

// The controller's rows of the settings catalogue, and the rows of the
// alarm set-up it keeps for each of its sensors (keys "alarm.…").
namespace controller {

const std::vector<app::Setting>& controllerSettings();
const std::vector<app::Setting>& alarmSettings();
// The row with the key, of either table; the key must be one of them.
const app::Setting& controllerSetting(const QString& key);

// Every setting the controller type has, read; null where no reply came.
// Version, date and the allocation table are left to the caller.
app::SettingValues ReadControllerValues(bus::SerialLink& link, std::uint8_t controller,
                                        int controllerType);
// The alarm set-up of a sensor, as the rows of its type name it.
app::SettingValues ReadAlarmValues(bus::SerialLink& link, const app::SettingTarget& target,
                                   int controllerType);

// The alarm write the values of the rows make; what they lack keeps the
// defaults of an empty set-up.
AlarmWrite alarmWriteOf(const app::SettingValues& values);

} // namespace controller
