#pragma once

#include "app/Addressing.h"
#include "app/ControllerLayout.h"
#include "app/Progress.h"
#include "cli/CliOptions.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace bus {
class SerialLink;
}

namespace cli {

// The layout from the configuration file given, or from a scan (none in
// type 5, which has no controllers). Returns 0 when it is ready, else the
// exit code after saying why on standard error: an unreadable configuration
// file, the port gone during the scan, a break, no controller found.
int layoutFor(bus::SerialLink& link, const CliOptions& o, app::Progress& progress,
              app::ControllerLayout& out);

// The layout without a word on the line: from the configuration file given,
// else the type given with its defaults.
int layoutOffLine(const CliOptions& o, app::ControllerLayout& out);

using app::routeTo;
using app::SensorRoute;

// Controller K (index + 1; in type 2 the sensor number) when the layout has
// it: its bus address.
std::optional<std::uint8_t> controllerAddress(const app::ControllerLayout& layout, int number);

// The layout and how sensor N (address + 1) is reached. Returns 0 when it is
// served, else the exit code after saying why.
int sensorRouteFor(bus::SerialLink& link, const CliOptions& o, app::Progress& progress, int number,
                   SensorRoute& route, app::ControllerLayout* layout = nullptr);
// The layout and the address of controller K. Returns 0 when the layout has
// it, else the exit code after saying why.
int controllerFor(bus::SerialLink& link, const CliOptions& o, app::Progress& progress, int number,
                  app::ControllerLayout& layout, std::uint8_t& address);

// 0 when a controller K can be in the layout of the type the options give
// (the configuration, the site, --type) whatever the line holds, else the
// exit code (2) after saying why: as many as a controller of the type can
// take as its own address (16, 32 for КИП-С6), 128 where each sensor is
// its own (type 2). Asked before the port is opened.
int controllerNumberRefused(const CliOptions& o, int number);

// "датчик N" for the sensor at that bus address, "КИП K" for the
// controller at that bus address.
QString sensorName(int address);
QString controllerName(int address);

// Why a sensor or a controller of the command is not on the line as the
// layout has it.
QString notServedText(int sensorNumber);
QString notInLayoutText(int controllerNumber);
// A Ctrl+C that ended the command.
inline const QString kInterrupted = QStringLiteral("ПРЕРВАНО");

// "DEVICE: НЕТ ОТВЕТА" on standard error; exit code 1.
int noAnswer(const QString& device);
// The same for a read that just went unanswered on link, naming a line that
// only echoes.
int noAnswer(const QString& device, const bus::SerialLink& link);

// Prints the message on standard error; returns the exit code.
int fail(const QString& message, int code = 2);

} // namespace cli
