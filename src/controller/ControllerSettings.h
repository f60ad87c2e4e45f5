#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace bus {
class SerialLink;
}

// The settings a controller keeps about itself: how often it polls its
// sensors, its two host links, its passwords, its own address and the range
// of sensors it serves, and whether it polls by the sensor map.
namespace controller {

inline constexpr int kIntervalMin = 10; // tenths of a second
inline constexpr int kIntervalMax = 255;
inline constexpr int kPasswordLength = 4;
inline constexpr int kAddressEntries = 16;
// The own addresses a controller of the type can be given: 1..16, or as
// many as a scan of the type probes (32 for С6), so that every controller
// the scan finds can be moved and found again.
int addressEntries(int controllerType);

// The host link types, by their number on the wire.
QStringList mainChannelNames();   // "RS232", "RS485", "USB"
QStringList secondChannelNames(); // "RS232", "RS485"

// The interval as the page shows it: tenths as a decimal number without
// trailing zeros (100 shows 10, 105 shows 10.5).
QString intervalText(int tenths, QChar decimalPoint = QLatin1Char('.'));

// Each value is missing when its request got no (long enough) reply.
struct ControllerSettings {
    std::optional<int> interval; // tenths of a second
    std::optional<int> mainChannel;
    std::optional<int> secondChannel;
    std::optional<QString> workingPassword;
    std::optional<QString> systemPassword;
    std::optional<int> index;       // own address, bits 0..4
    std::optional<int> firstSensor; // as stored (the page shows it + 1)
    std::optional<int> sensorCount;
    std::optional<bool> sensorMap;
};

// Reads what the controller type has: the direct-sensor type only the
// interval, channels and passwords only types 0 and 1.
ControllerSettings ReadControllerSettings(bus::SerialLink& link, std::uint8_t controller,
                                          int controllerType);

// Each write is true only when the controller confirmed it.
bool WriteInterval(bus::SerialLink& link, std::uint8_t controller, int tenths);
bool WriteControllerIndex(bus::SerialLink& link, std::uint8_t controller, int index);
bool WriteFirstSensor(bus::SerialLink& link, std::uint8_t controller, int stored);
bool WriteSensorCount(bus::SerialLink& link, std::uint8_t controller, int count);
// The map bit is changed in the option byte as the controller has it now;
// its other bits go back unchanged.
bool WriteSensorMap(bus::SerialLink& link, std::uint8_t controller, bool on);
enum class Password { System = 0, Working = 1 };
// Nothing is sent for fewer than four characters.
bool WritePassword(bus::SerialLink& link, std::uint8_t controller, Password which,
                   const QString& text);
enum class Channel { Main = 1, Second = 2 };
bool WriteChannel(bus::SerialLink& link, std::uint8_t controller, Channel which, int type);

} // namespace controller
