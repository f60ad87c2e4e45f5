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

// Every setting of the sensor, read through the operations of the rows;
// null where no usable reply came. A place that answered without an
// identifier of its family is "empty", its height and correction too.
app::SettingValues ReadSensorSettings(bus::SerialLink& link, std::uint8_t sensor);

} // namespace sensor
