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

// A place's fields, as the catalogue keys them: the pages, the CLI and the
// user files find a place's row here and never spell its key.
enum class PlaceKind { Thermometer, DensityMeter };
enum class PlaceField { Id, Height, Correction };
// The row of field of place n (1..8); null for a thermometer's correction.
const app::Setting* placeSetting(PlaceKind kind, int n, PlaceField field);
// Whether the row is one of a place's.
bool isPlaceSetting(const app::Setting& row);

// The sensor's own settings (and whether it is wide); null where no usable
// reply came.
app::SettingValues ReadSensorSettings(bus::SerialLink& link, std::uint8_t sensor);
// What the "СЕНСОР" tab reads of them: size (and whether wide), level
// correction, the flags and the filling criterion; null where no usable
// reply came.
app::SettingValues ReadSensorGroupSettings(bus::SerialLink& link, std::uint8_t sensor);
// Its thermometer and density-meter places. A place that answered without
// an identifier of its family is "empty", its height and correction too.
app::SettingValues ReadPlaceSettings(bus::SerialLink& link, std::uint8_t sensor);

// The places' values given (by their rows' keys) written in the one order
// the properties page, "sensor N thermometer/densitymeter", a user file and
// a restore share: identifiers first, so that a height and a correction go
// to the meter the sensor knows at that place, then heights, then
// corrections; thermometers before density meters. The rows the sensor did not confirm come
// back with their reasons; after a Break nothing more is sent and the rows
// not reached come back as interrupted. The caller holds transit.
std::vector<app::NotWritten> WritePlaces(bus::SerialLink& link, std::uint8_t sensor,
                                         const app::SettingValues& values,
                                         const app::Progress& progress);

} // namespace sensor
