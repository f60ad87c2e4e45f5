#pragma once

#include "snapshot/SnapshotDiff.h"
#include "snapshot/SnapshotRead.h"

// Putting back the settings of a snapshot that differ from what the devices
// hold now, each through the operation of its catalogue row. Passwords and
// a controller's own address and sensor range are never written silently:
// they are listed apart and need their own yes. Measured values (versions,
// volumes, tables) are compared, never written.
namespace snapshot {

struct Change {
    bool sensor = false;
    int number = 0;
    QString key;
    QJsonValue now, wanted;
    enum Kind { Restorable, Sensitive, NotRestorable } kind = Restorable;
};

// Every value of the target its catalogue row refuses (out of range, an
// identifier that fails its checks, a key no row has, a forbidden flag
// combination), one text each; a restore with any of them sends nothing.
QStringList RefusedValues(const Snapshot& target);
// What makes the target another installation than the one on the line,
// within the scope: another controller type, a sensor of the other kind of
// probe (its size counts in other segments). A restore with any of them
// sends nothing.
QStringList Mismatches(const Snapshot& current, const Snapshot& target, const Scope& scope);
// The layout of the target against the line's and the sensors served by
// another controller; listed for the engineer, the writes go by the line's
// layout.
std::vector<Difference> LayoutDifferences(const Snapshot& current, const Snapshot& target);

// The changes that take the devices of the current snapshot back to the
// target, within the scope. A value missing in the target is not written,
// nor one the controller type does not have, nor anything of a device that
// did not answer now (see Silent).
std::vector<Change> PlanRestore(const Snapshot& current, const Snapshot& target,
                                const Scope& scope);
// The settings a restore would write that the target has no value for
// (no answer when it was taken, or a file without the key), within the
// scope, on devices that answered now: they are left as they are, and the
// engineer is told which (now: what the device holds).
std::vector<Change> Lacking(const Snapshot& current, const Snapshot& target, const Scope& scope);
// The devices of the target, within the scope, that answered nothing now.
std::vector<Device> Silent(const Snapshot& current, const Snapshot& target, const Scope& scope,
                           bool sensors);
// The devices of the target, within the scope, that the line does not have
// now (not found by the scan, or outside the layout): nothing reaches them.
std::vector<Device> Unreached(const Snapshot& current, const Snapshot& target, const Scope& scope,
                              bool sensors);
// A change as the CLI prints it (key and values in units) and as a window
// shows it (label, unit, values).
QString changeLine(const Change& c);
QString changeCaption(const Change& c);

// "датчика 3 нет в NAME" or "КИП 2 нет в NAME" when the scope names a
// device the target does not have; empty when it has it.
QString scopeMissing(const Snapshot& target, const Scope& scope, const QString& name);

// A device of the target, sensor or controller.
struct DeviceRef {
    bool sensor = false;
    int number = 0;
};

// What a restore would do to the line now: one workflow for the window's
// menu and "restore". The devices within the scope are read again and
// compared with the target.
struct RestorePlan {
    std::optional<Snapshot> now;      // none: the read was broken off or the line lost
    QStringList mismatches;           // another installation: nothing may be written
    std::vector<Difference> layout;   // the layout's differences, listed only
    std::vector<DeviceRef> silent;    // answering nothing now: nothing is written to them
    std::vector<DeviceRef> unreached; // not on the line now
    std::vector<Change> changes;      // as PlanRestore
    std::vector<Change> lacking;      // as Lacking
    int skipped() const { return static_cast<int>(silent.size() + unreached.size()); }
    // Something to write, with or without the sensitive changes.
    bool anything(bool withSensitive) const;
};
RestorePlan PrepareRestore(bus::SerialLink& link, const app::ControllerLayout& layout,
                           const Snapshot& target, const Scope& scope, app::Progress& progress);

struct RestoreResult {
    bool completed = false;   // not broken off, the port still there
    std::vector<Change> left; // not confirmed, or differing on reading back
    int skipped = 0;          // devices of the snapshot not answering or not on the line
};
// Writes the restorable changes (and the sensitive ones when allowed),
// device by device in the order of their operations (an identifier before
// its height and correction), then reads the devices again and lists what
// still differs. A write that carries several values takes those the plan
// does not change from the current snapshot.
RestoreResult Restore(bus::SerialLink& link, const app::ControllerLayout& layout,
                      const Snapshot& current, const Snapshot& target,
                      const std::vector<Change>& plan, bool withSensitive, app::Progress& progress);
// The plan's changes written (the sensitive ones when allowed) and read
// back; the devices the plan left out count as skipped.
RestoreResult RunRestore(bus::SerialLink& link, const app::ControllerLayout& layout,
                         const RestorePlan& plan, const Snapshot& target, bool withSensitive,
                         app::Progress& progress);
// A plan without a change: the devices already hold what the file has.
inline const QString kNothingToRestore = QStringLiteral("НЕЧЕГО ВОССТАНАВЛИВАТЬ");
// "ВОССТАНОВЛЕНО", "ВОССТАНОВЛЕНО НЕ ВСЁ: n" or "ВОССТАНОВЛЕНИЕ ПРЕРВАНО".
QString restoreOutcome(const RestoreResult& r);

} // namespace snapshot
