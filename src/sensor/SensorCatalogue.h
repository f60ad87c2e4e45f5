#pragma once

#include "app/Setting.h"

#include <cstdint>
#include <optional>
#include <utility>
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

// The correction of section n (1 the lowest); null past the eight.
const app::Setting* sectionSetting(int n);
// The rows the sensor keeps as bits of its flag byte, each with its bit.
const std::vector<std::pair<const app::Setting*, std::uint8_t>>& flagBits();
// Whether the row says how another is counted (the kind of probe a size is
// counted in): never written itself, "set" takes it with what it counts,
// and a restore checks the line's agrees.
bool countsAnother(const app::Setting& row);

// The text the page, the CLI and restore say of a combined density channel
// with a single density meter, which the sensor must never be given.
inline const QString kForbiddenFlags = QStringLiteral("Запрещённая комбинация флагов !");
// Whether values hold that combination.
bool isForbiddenCombination(const app::SettingValues& values);

// The sensor's own settings (and whether it is wide); null where no usable
// reply came.
app::SettingValues ReadSensorSettings(bus::SerialLink& link, std::uint8_t sensor);
// The same, of rows only: each read that covers one of them, once (the
// "СЕНСОР" read gives size, kind of probe, level correction, the flags and
// the filling criterion together). Rows without a read of their own are
// left out.
app::SettingValues ReadSensorRows(bus::SerialLink& link, std::uint8_t sensor,
                                  const std::vector<const app::Setting*>& rows);

// Why values given are not written at all, found before anything is sent:
// a setting given without the partner it is only given with, or the
// forbidden combination of flags (partner null).
struct SettingsRefusal {
    const app::Setting* row = nullptr;
    const app::Setting* partner = nullptr;
    // "working-segments и removed-segments задаются вместе" (the labels where
    // a window says it), or kForbiddenFlags.
    QString text(bool withKeys) const;
};
std::optional<SettingsRefusal>
refusalOf(const app::SettingValues& given,
          const std::vector<app::Setting>& catalogue = sensorSettings());

// What a write of the sensor's settings came to: refused before anything
// was sent, or the keys as given that the sensor did not confirm, each with
// why (a partner read in for one of them is never named).
struct SettingsWrite {
    std::optional<SettingsRefusal> refused;
    std::vector<app::NotWritten> failed;
};
// The one write of the sensor's settings, for the properties page's tabs,
// "sensor N set" and a user file's record: the writable rows of catalogue
// whose keys are given, with the values given (a row another is counted by,
// such as the kind of probe, only says how). A partner given alone is read
// first; when it cannot be, nothing is written and the key given fails as
// unread. The forbidden combination, given or made with a partner read, is
// refused before any write. The rest as app::WriteSettings: each operation
// once, in order, and after a Break nothing more. The caller holds transit.
SettingsWrite WriteSensorSettings(bus::SerialLink& link, std::uint8_t sensor,
                                  const app::SettingValues& given, const app::Progress& progress,
                                  const std::vector<app::Setting>& catalogue = sensorSettings());
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
