#pragma once

#include "app/Setting.h"

#include <vector>

// The sensor's rows of the settings catalogue: its own settings, its
// thermometer and density-meter places, and what it reports of itself.
namespace sensor {

const std::vector<app::Setting>& sensorSettings();
// The row with the key; the rows exist, so a missing one is a mistake in
// the caller's key.
const app::Setting& sensorSetting(const QString& key);

// The rows a sensor's "set" takes: its own settings, not its places.
bool isOwnSetting(const app::Setting& row);

// The sensor's own settings (and whether it is wide); null where no usable
// reply came.
app::SettingValues ReadSensorSettings(bus::SerialLink& link, std::uint8_t sensor);
// Its thermometer and density-meter places. A place that answered without
// an identifier of its family is "empty", its height and correction too.
app::SettingValues ReadPlaceSettings(bus::SerialLink& link, std::uint8_t sensor);

} // namespace sensor
