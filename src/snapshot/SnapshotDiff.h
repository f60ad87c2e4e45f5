#pragma once

#include "snapshot/Snapshot.h"

// What differs between two snapshots: the controller type, the layout,
// which controller serves a sensor, and setting by setting.
namespace snapshot {

struct Difference {
    enum Kind {
        Changed,
        MissingInFirst,
        MissingInSecond,
        DeviceOnlyInFirst,
        DeviceOnlyInSecond,
        ControllerType, // first and second: the types
        Layout,         // key: the configuration key
        ServedBy,       // a sensor's controller: first and second its numbers
    };
    Kind kind = Changed;
    bool sensor = false;
    int number = 0;
    QString key; // empty for a whole device
    QJsonValue first, second;
};

std::vector<Difference> Diff(const Snapshot& first, const Snapshot& second);

// "КИП 2" or "датчик 5".
QString deviceName(bool sensor, int number);
// One line a difference as the CLI prints it: device, key, first value,
// second value, values in the catalogue's units.
QString diffLine(const Difference& d);
// As a window shows it: "датчик 3: Поправка по уровню, мм: −1.5 → −2.5".
QString diffCaption(const Difference& d);

} // namespace snapshot
