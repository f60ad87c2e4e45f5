#pragma once

#include <QRect>
#include <QSettings>
#include <QStringList>

#include <optional>

// What the window remembers between runs: where it was and how large,
// whether the line monitor was open, and the polling interval. They live in
// the desktop's settings store, never in the engineer's configuration file,
// so that closing the window changes nothing there.
struct WindowSettings {
    std::optional<QRect> geometry;
    bool lineMonitor = false;
    std::optional<int> pollMs;
};

// The Линия menu's "Только чтение", as the engineer last chose it there
// (a start with --read-only does not change it).
bool readOnlyRemembered(const QSettings& store);
void rememberReadOnly(QSettings& store, bool on);

// Whether every poll of the overview pages is recorded, and in which poll
// log. The window on the built-in simulation keeps its own, so that its
// polls never go into a site's log.
struct PollLogSettings {
    bool record = false;
    QString path;
};

// The store of this user: orvant2/orvant2 in the platform's place.
QSettings windowSettingsStore();
WindowSettings readWindowSettings(const QSettings& store);
void writeWindowSettings(QSettings& store, const WindowSettings& settings);
PollLogSettings readPollLogSettings(const QSettings& store, bool simulated);
void writePollLogSettings(QSettings& store, const PollLogSettings& settings, bool simulated);
// Remote lines (tcp://, rfc2217://) that opened, the latest first; the port
// menu offers them beside the local ports. Kept here rather than in the
// configuration file, which names only the line in use.
inline constexpr int kRecentRemoteLines = 5;
QStringList readRecentRemoteLines(const QSettings& store);
// Puts name first, once, and keeps the newest kRecentRemoteLines.
void rememberRemoteLine(QSettings& store, const QString& name);

// The wanted geometry moved and shrunk into the available screen area; the
// default size (1280 x 720 at most) when nothing was saved.
QRect fittedGeometry(const std::optional<QRect>& wanted, const QRect& available);
