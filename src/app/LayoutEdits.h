#pragma once

#include "app/ControllerLayout.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Edits of the layout made by hand: in the controller configuration page
// and the system configuration dialog.
namespace app {

// The controller at index from now answers at index to: its sensor range
// goes with it, and so does its place among the controllers present.
void moveController(ControllerLayout& layout, int from, int to);

// After a range edit: found, mask, lowest and end are worked out again
// from the entries that serve sensors. Returns the first such index.
std::optional<int> rebuildLayout(ControllerLayout& layout);

// The rows of the dialog's controller list: "№", "Адрес КИПа", then the
// count, first and end address (type 4: the first and second channel).
std::vector<QStringList> layoutRows(const ControllerLayout& layout);

// The range fields of the direct-sensor type as typed ("first" and "last"
// sensor as shown): one controller serving them. False, with the layout
// unchanged, when they are not numbers or give no sensor.
bool setDirectRange(ControllerLayout& layout, const QString& first, const QString& last);

// Without a controller: only the selected sensor is reached.
void setSingleSensor(ControllerLayout& layout, int sensorAddress);

} // namespace app
