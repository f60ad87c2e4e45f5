#pragma once

#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace bus {
class SerialLink;
}

namespace cli {

// What sensor N does with the words after N, run once the sensor is
// reached: an exit code.
using SensorAction = std::function<int(bus::SerialLink& link, std::uint8_t sensor)>;

// thermometers [--search] | densitymeters | thermometer I ID HEIGHT |
// densitymeter I ID HEIGHT [CORRECTION]; nothing for other words, and an
// error text when these words are wrong.
std::optional<SensorAction> placeCommand(const QStringList& words, QString* error);

} // namespace cli
