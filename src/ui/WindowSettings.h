#pragma once

#include "app/ConfigFile.h"

#include <QRect>

#include <optional>

// What the window remembers between runs, in keys of its own in the
// configuration file: where it was and how large, whether the line monitor
// was open, and the polling interval.
struct WindowSettings {
    std::optional<QRect> geometry;
    bool lineMonitor = false;
    std::optional<int> pollMs;
};

WindowSettings windowSettingsFrom(const app::ConfigEntries& entries);
app::ConfigEntries windowSettingsKeys(const WindowSettings& settings);
// The wanted geometry moved and shrunk into the available screen area; the
// default size (1280 x 720 at most) when nothing was saved.
QRect fittedGeometry(const std::optional<QRect>& wanted, const QRect& available);
