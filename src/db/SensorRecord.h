#pragma once

#include "db/UserDatabase.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

#include <QStringList>

#include <cstdint>

namespace bus {
class SerialLink;
}

// What a user file keeps of a sensor, read from the sensor itself: every
// group the page's ПОЛУЧИТЬ reads on the sensor, thermometer and density
// tabs. The caller puts the sensor's controller into transit.
namespace db {

enum class RecordRead {
    Complete,   // every read answered
    NoAnswer,   // the sensor answered nothing
    Incomplete, // some reads got no answer: missing names them
};
struct SensorRecord {
    RecordRead outcome = RecordRead::NoAnswer;
    UserFields fields;
    QStringList missing; // the keys without an answer
};
SensorRecord ReadSensorRecord(bus::SerialLink& link, std::uint8_t sensor);

// The catalogue keys of what a user file keeps of the sensor tab and its
// read got no answer for: "size", "level-correction", the flags' keys,
// "filling-criterion".
QStringList unansweredGroups(const sensor::SensorGroups& groups);
// The same keys, of values read as the catalogue keeps them: those null or
// missing.
QStringList unreadKept(const app::SettingValues& values);
// The keys of the first count places that the read left unknown: the
// identifier of a place that did not answer, the height of a fitted one
// whose height did not come.
QStringList unreadPlaces(const sensor::Places& places, sensor::PlaceKind kind, int count);
// Why nothing was saved: "датчик 3: НЕ СОХРАНЕНО, нет ответа:
// filling-criterion, thermometer.2.id". The window and the CLI say it alike.
// The window and the CLI say it alike.
QString notSavedText(std::uint8_t sensor, const QStringList& missing);

} // namespace db
