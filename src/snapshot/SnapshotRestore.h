#pragma once

#include "snapshot/SnapshotDiff.h"
#include "snapshot/SnapshotRead.h"

// Putting back the settings of a snapshot that differ from what the devices
// hold now. Passwords and a controller's own address and sensor range are
// never written silently: they are listed apart and need their own yes.
namespace snapshot {

struct Change {
    bool sensor = false;
    int number = 0;
    QString key;
    QJsonValue now, wanted;
    enum Kind { Restorable, Sensitive, NotRestorable } kind = Restorable;
};

// What the target holds that may never be sent (identifiers that fail their
// checks), one text each; a restore with any of them sends nothing.
QStringList RefusedValues(const Snapshot& target);

// The changes that take the devices of the current snapshot back to the
// target, within the scope. A value missing in the target is not written.
std::vector<Change> PlanRestore(const Snapshot& current, const Snapshot& target,
                                const Scope& scope);

struct RestoreResult {
    bool completed = false;   // not broken off, the port still there
    std::vector<Change> left; // written but still differing on reading back
};
// Writes the restorable changes (and the sensitive ones when allowed),
// then reads the devices again and lists what still differs.
// The target is the snapshot the plan was made from: a write that carries
// several values at once takes the others from it.
RestoreResult Restore(bus::SerialLink& link, const app::ControllerLayout& layout,
                      const Snapshot& target, const std::vector<Change>& plan, bool withSensitive,
                      app::Progress& progress);

} // namespace snapshot
