#include "ui/WindowSettings.h"

#include "link/TcpPortDevice.h"

#include <algorithm>

namespace {

const QString kGeometry = QStringLiteral("window/geometry");
const QString kMonitor = QStringLiteral("window/lineMonitor");
const QString kPoll = QStringLiteral("window/pollIntervalMs");
const QString kRecordPolls = QStringLiteral("pollLog/record");
const QString kPollLogPath = QStringLiteral("pollLog/path");
const QString kSimulatedRecordPolls = QStringLiteral("pollLog/simulatedRecord");
const QString kSimulatedPollLogPath = QStringLiteral("pollLog/simulatedPath");
const QString kReadOnly = QStringLiteral("line/readOnly");
const QString kRecentRemote = QStringLiteral("ports/recentRemote");
constexpr int kMinPollMs = 1000;
constexpr int kMaxPollMs = 15000;

} // namespace

QSettings windowSettingsStore() {
    return QSettings(QSettings::UserScope, QStringLiteral("orvant2"), QStringLiteral("orvant2"));
}

WindowSettings readWindowSettings(const QSettings& store) {
    WindowSettings s;
    const QRect r = store.value(kGeometry).toRect();
    if (r.width() > 0 && r.height() > 0)
        s.geometry = r;
    s.lineMonitor = store.value(kMonitor).toBool();
    bool ok = false;
    const int poll = store.value(kPoll).toInt(&ok);
    if (ok && poll >= kMinPollMs && poll <= kMaxPollMs)
        s.pollMs = poll;
    return s;
}

void writeWindowSettings(QSettings& store, const WindowSettings& s) {
    if (s.geometry)
        store.setValue(kGeometry, *s.geometry);
    store.setValue(kMonitor, s.lineMonitor);
    if (s.pollMs)
        store.setValue(kPoll, *s.pollMs);
    store.sync();
}

bool readOnlyRemembered(const QSettings& store) {
    return store.value(kReadOnly).toBool();
}

void rememberReadOnly(QSettings& store, bool on) {
    store.setValue(kReadOnly, on);
    store.sync();
}

PollLogSettings readPollLogSettings(const QSettings& store, bool simulated) {
    return {store.value(simulated ? kSimulatedRecordPolls : kRecordPolls).toBool(),
            store.value(simulated ? kSimulatedPollLogPath : kPollLogPath).toString()};
}

void writePollLogSettings(QSettings& store, const PollLogSettings& s, bool simulated) {
    store.setValue(simulated ? kSimulatedRecordPolls : kRecordPolls, s.record);
    store.setValue(simulated ? kSimulatedPollLogPath : kPollLogPath, s.path);
    store.sync();
}

QStringList readRecentRemoteLines(const QSettings& store) {
    QStringList lines;
    // A store edited by hand may hold anything: only remote names are offered.
    for (const QString& name : store.value(kRecentRemote).toStringList())
        if (bus::isRemotePortName(name) && !lines.contains(name))
            lines.append(name);
    return lines.mid(0, kRecentRemoteLines);
}

void rememberRemoteLine(QSettings& store, const QString& name) {
    QStringList lines = readRecentRemoteLines(store);
    lines.removeAll(name);
    lines.prepend(name);
    store.setValue(kRecentRemote, lines.mid(0, kRecentRemoteLines));
    store.sync();
}

QRect fittedGeometry(const std::optional<QRect>& wanted, const QRect& available) {
    QRect r = wanted.value_or(QRect(available.topLeft(), QSize(1280, 720)));
    r.setWidth(std::min(r.width(), available.width()));
    r.setHeight(std::min(r.height(), available.height()));
    // A screen that is gone since: back onto the one there is.
    r.moveLeft(std::clamp(r.left(), available.left(), available.right() - r.width() + 1));
    r.moveTop(std::clamp(r.top(), available.top(), available.bottom() - r.height() + 1));
    return r;
}
