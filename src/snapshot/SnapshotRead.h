#pragma once

#include <QStringList>

#include <set>

#include "app/ControllerLayout.h"
#include "app/FrontWatch.h"
#include "snapshot/Snapshot.h"

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

namespace snapshot {

// Which devices a walk covers: everything, or one sensor or one controller
// (its own settings only), by number.
struct Scope {
    std::optional<int> sensor;
    std::optional<int> controller;
    // Only these sensors, when given (see restoreScope).
    std::optional<std::set<int>> sensors;
    bool covers(const Device& d, bool isSensor) const;
};

// The scope of the walk a restore of target makes first. On a line without
// controllers the layout does not say where its sensors are, and asking all
// 128 addresses waits out every empty one: the walk asks only the sensors
// target has. Elsewhere the scope as it is.
Scope restoreScope(Scope scope, const Snapshot& target, const app::ControllerLayout& layout);

// Whether the device itself answered any read of the walk; a sensor's
// alarm configuration, which its controller holds, does not count.
bool answered(const Device& d, bool isSensor);
// The devices of a snapshot that answered nothing, by name ("КИП 1",
// "датчик 3"); a snapshot of nothing else records only silence. Devices
// left unasked behind a silent front are not among them: the front's text
// says why.
QStringList silentDevices(const Snapshot& s, const std::vector<app::SilentFront>& fronts = {});
// A device of a walk that answered, but not every value it was asked.
struct PartlyRead {
    QString device; // "датчик 7"
    int unanswered = 0;
    int values = 0;
};
std::vector<PartlyRead> partlyRead(const Snapshot& s);
// "датчик 7: НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ (74 из 76 без ответа)"
QString partlyReadText(const PartlyRead& p);
// What the window says of a walk whose file was written: "СНИМОК СОХРАНЁН:
// КИП 1, ДАТЧИКОВ 16", then the silent devices ("НЕТ ОТВЕТА: КИП 2,
// датчик 5"), the devices read in part ("НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ: датчик 7
// (74 из 76 без ответа), …") and the silent fronts, "; " between them.
QString savedText(const Snapshot& s, const std::vector<app::SilentFront>& fronts);
// Whether no device of the snapshot answered anything.
bool nothingAnswered(const Snapshot& s);
// What the window and the CLI say of such a walk: no file is made.
inline const QString kNothingAnswered =
    QStringLiteral("СНИМОК НЕ СДЕЛАН: НИ ОДНО УСТРОЙСТВО НЕ ОТВЕТИЛО");

// One walk over the layout under the progress with its Break: each
// controller's version, date, settings and allocation table, then, with
// it in transit, each of its sensors' version, settings, thermometers,
// density meters and alarm configuration. Transit ends off on every way
// out. Nothing when the walk was broken off or the port went away.
// A controller that stays silent, and its first sensor with it, leaves the
// sensors behind it unasked (their keys kept, without values); so does a
// line without controllers whose first sensors stay silent
// (app::FrontWatch); a silent controller is not asked for its sensors'
// alarm set-up either. Each device's unanswered counts what did not come.
// silentFronts, when given, gets those fronts.
std::optional<Snapshot> TakeSnapshot(bus::SerialLink& link, const app::ControllerLayout& layout,
                                     app::Progress& progress, const Scope& scope = {},
                                     std::vector<app::SilentFront>* silentFronts = nullptr);

} // namespace snapshot
