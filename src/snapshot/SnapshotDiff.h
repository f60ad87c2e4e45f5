#pragma once

#include "snapshot/Snapshot.h"

// What differs between two snapshots, setting by setting.
namespace snapshot {

struct Difference {
    enum Kind { Changed, MissingInFirst, MissingInSecond, DeviceOnlyInFirst, DeviceOnlyInSecond };
    Kind kind = Changed;
    bool sensor = false;
    int number = 0;
    QString key; // empty for a whole device
    QJsonValue first, second;
};

std::vector<Difference> Diff(const Snapshot& first, const Snapshot& second);

// "КИП 2" or "датчик 5".
QString deviceName(bool sensor, int number);
// One line a difference: device, setting, first value, second value.
QString diffLine(const Difference& d);

} // namespace snapshot
