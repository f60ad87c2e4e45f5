#pragma once

#include "app/ControllerLayout.h"
#include "app/FrontWatch.h"
#include "app/Progress.h"
#include "sensor/StatusGrid.h"

#include <functional>
#include <vector>

namespace bus {
class SerialLink;
}

// The overview polls: every sensor of every present controller, in address
// order, one grid row each. A controller that stays silent, or a line where
// nobody answers, ends the asking behind it (app::FrontWatch).
namespace sensor {

// Rows of the grids: the sensor counts of all layout entries (entry 0 only
// for the no-controller type).
int gridRowCount(const app::ControllerLayout& layout);

struct PollResult {
    bool stopped = false;        // Break ended the walk early
    bool linkLost = false;       // the port went away
    std::vector<int> unanswered; // addresses of sensors that answered nothing asked
    int asked = 0;               // sensors asked (not those the controller lacks)
    int answered = 0;            // of those, the ones that answered
    // Controllers (or the line) that stayed silent; the sensors behind them
    // were not asked, and are neither asked nor unanswered above.
    std::vector<app::SilentFront> silentFronts;
};

// What a poll came to, for the status line: "ОПРОШЕНО: 14 из 16", and each
// silent front ("ОПРОШЕНО: 4 из 5; КИП 2 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ
// ОПРАШИВАЛИСЬ"); the fronts alone when nobody answered.
QString pollSummary(const PollResult& r);

// Called after each row is filled, so a window can show it at once.
using RowDone = std::function<void(int row)>;

// 0x1C: the whole status in one reply per sensor.
PollResult PollStatusCombined(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& grid,
                              const RowDone& rowDone = {});
// One request per value. For controller types 4 and 5 a measurement trigger
// (0x8A) takes the place of volume and mass, which stay empty.
PollResult PollStatusPerValue(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& grid,
                              const RowDone& rowDone = {});
// Whether the general status is read per value: with "Mirel" or for types
// 4 and 5; else with one combined request per sensor.
bool usesPerValuePoll(const app::ControllerLayout& layout, bool mirel);
// The general status, read as usesPerValuePoll says.
PollResult PollGeneralStatus(bus::SerialLink& link, const app::ControllerLayout& layout,
                             app::Progress& progress, StatusGrid& grid, bool mirel,
                             const RowDone& rowDone = {});
// Status word (three tries), then 8 thermometers and 8 density channels.
PollResult PollExtendedStatus(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& thermometers,
                              StatusGrid& densities, const RowDone& rowDone = {});
// Presence mask from the controller, then version and length per sensor.
PollResult PollConfigOverview(bus::SerialLink& link, const app::ControllerLayout& layout,
                              app::Progress& progress, StatusGrid& grid,
                              const RowDone& rowDone = {});

} // namespace sensor
