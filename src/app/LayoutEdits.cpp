#include "app/LayoutEdits.h"

#include <algorithm>

namespace app {
namespace {

int numberOr(const QString& text, int fallback) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : fallback;
}

// One controller at index 0 with the range, nothing else.
void onlyController(ControllerLayout& l, ControllerEntry range, int lowest, int end) {
    l.controllersFound = 0;
    l.selectedControllers = 1;
    l.lowestSensorAddress = lowest;
    l.sensorAddressEnd = end;
    l.ControllerTable.fill({});
    l.ControllerTable[0] = range;
}

} // namespace

void moveController(ControllerLayout& l, int from, int to) {
    if (from == to || from < 0 || to < 0 || from >= kControllerSlots || to >= kControllerSlots)
        return;
    l.ControllerTable[to] = l.ControllerTable[from];
    l.ControllerTable[from] = {};
    l.selectedControllers = (l.selectedControllers & ~(1u << from)) | (1u << to);
}

std::optional<int> rebuildLayout(ControllerLayout& l) {
    std::optional<int> first;
    int lowest = kSensorAddresses;
    int end = 0;
    int found = 0;
    quint32 mask = 0;
    for (int i = 0; i < kControllerSlots; ++i) {
        const ControllerEntry& e = l.ControllerTable[i];
        if (e.sensorCount == 0)
            continue;
        if (!first)
            first = i;
        lowest = std::min(lowest, e.firstSensorAddress);
        end = std::max(end, e.firstSensorAddress + e.sensorCount);
        ++found;
        mask |= 1u << i;
    }
    l.controllersFound = found;
    l.selectedControllers = mask;
    if (found > 0) {
        l.lowestSensorAddress = lowest;
        l.sensorAddressEnd = std::min(end, kSensorAddresses);
    }
    return first;
}

std::vector<QStringList> layoutRows(const ControllerLayout& l) {
    std::vector<QStringList> rows;
    for (int i = 0; i < kControllerSlots; ++i) {
        if (!l.isPresent(i))
            continue;
        const ControllerEntry& e = l.ControllerTable[i];
        QStringList row{QString::number(rows.size() + 1),
                        l.controllersFound != 0 ? QString::number(i + 1) : QString()};
        if (l.type().channelPairs)
            row << QString::number(e.firstSensorAddress + 1)
                << QString::number(e.sensorCount - e.firstSensorAddress);
        else
            row << QString::number(e.sensorCount) << QString::number(e.firstSensorAddress + 1)
                << QString::number(e.firstSensorAddress + e.sensorCount);
        rows.push_back(row);
    }
    return rows;
}

bool setDirectRange(ControllerLayout& l, const QString& firstText, const QString& lastText) {
    const int first = numberOr(firstText, 0) - 1;
    const int last = numberOr(lastText, -1);
    // A range that ends before it starts would leave a negative count.
    if (first < 0 || last < 1 || last <= first)
        return false;
    const ControllerEntry range = sensorRange(first, last - first);
    // The end is one past the last address, as everywhere else.
    onlyController(l, range, range.firstSensorAddress,
                   range.firstSensorAddress + range.sensorCount);
    return true;
}

void setSingleSensor(ControllerLayout& l, int sensorAddress) {
    onlyController(l, sensorRange(sensorAddress, 1), 0, kSensorAddresses);
}

} // namespace app
