#pragma once

#include "db/UserDatabase.h"

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

} // namespace db
