#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace bus {

// A serial port as the port menu offers it.
struct PortEntry {
    QString path;   // what is opened and saved
    QString detail; // description, manufacturer, serial number, as known
};

// ttyS2 before ttyS10: digit runs compare as numbers.
bool naturalLess(const QString& a, const QString& b);

// A legacy serial port the kernel lists without a UART behind it: its
// sysfs "type" is 0 (no UART). sysfsRoot is "/sys" on a real system.
bool isPhantomSerial(const QString& sysfsRoot, const QString& name);

// The stable names in the by-id folder that lead to the device path.
QStringList stableNamesOf(const QString& byIdFolder, const QString& devicePath);

// The serial ports there are: phantom ports left out, sorted naturally,
// each with what is known of it, the stable by-id name after its device.
std::vector<PortEntry>
listSerialPorts(const QString& sysfsRoot = QStringLiteral("/sys"),
                const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));

} // namespace bus
