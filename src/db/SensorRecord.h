#pragma once

#include "db/UserDatabase.h"
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
    QStringList missing; // the groups without an answer
};
SensorRecord ReadSensorRecord(bus::SerialLink& link, std::uint8_t sensor);

// The groups of the sensor tab its read got no answer for: "size",
// "level-correction", "flags", "filling-criterion".
QStringList unansweredGroups(const sensor::SensorGroups& groups);
// Whether the first count places all answered, each one fitted with its
// height.
bool placesRead(const sensor::Places& places, int count);
// Why nothing was saved: "датчик 3: НЕ СОХРАНЕНО, нет ответа: flags, ...".
// The window and the CLI say it alike.
QString notSavedText(std::uint8_t sensor, const QStringList& missing);

} // namespace db
