#pragma once

#include "app/ConfigFile.h"
#include "app/WorkingState.h"

namespace app {

// Restores the layout from the configuration entries. Malformed numbers take
// their defaults.
void loadLayout(const ConfigEntries& entries, WorkingState& state);

// Writes the layout's keys into the configuration file; what the status
// line says of it ("СОХРАНЕНО В …" or "НЕ ЗАПИСАНО: " and why).
QString saveLayout(const ConfigFile& config, const ControllerLayout& layout);

// A new controller type with its defaults: one controller at 0 with the
// type's default count, nothing selected, nothing found.
void changeControllerType(WorkingState& state, int type);

// The saved port of a role: a COM number from older files, or a port name.
QString portFromConfig(const QString& value);
QString portConfigKey(int role);

} // namespace app
