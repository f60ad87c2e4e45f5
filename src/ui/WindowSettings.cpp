#include "ui/WindowSettings.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString kGeometry = QStringLiteral("WIN_GEOMETRY");
const QString kMonitor = QStringLiteral("WIN_LINE_MONITOR");
const QString kPoll = QStringLiteral("POLL_INTERVAL_MS");
constexpr int kMinPollMs = 1000;
constexpr int kMaxPollMs = 15000;

} // namespace

WindowSettings windowSettingsFrom(const app::ConfigEntries& entries) {
    WindowSettings s;
    const QStringList g = app::ConfigFile::value(entries, kGeometry).split(QLatin1Char(','));
    if (g.size() == 4) {
        bool ok[4] = {};
        const QRect r(g[0].toInt(&ok[0]), g[1].toInt(&ok[1]), g[2].toInt(&ok[2]),
                      g[3].toInt(&ok[3]));
        if (std::all_of(ok, ok + 4, [](bool b) { return b; }) && r.width() > 0 && r.height() > 0)
            s.geometry = r;
    }
    s.lineMonitor = app::ConfigFile::value(entries, kMonitor).trimmed() == QLatin1String("1");
    const int poll = app::configInt(app::ConfigFile::value(entries, kPoll), 0);
    if (poll >= kMinPollMs && poll <= kMaxPollMs)
        s.pollMs = poll;
    return s;
}

app::ConfigEntries windowSettingsKeys(const WindowSettings& s) {
    app::ConfigEntries keys;
    if (s.geometry)
        keys.emplace_back(kGeometry, QStringLiteral("%1,%2,%3,%4")
                                         .arg(s.geometry->x())
                                         .arg(s.geometry->y())
                                         .arg(s.geometry->width())
                                         .arg(s.geometry->height()));
    keys.emplace_back(kMonitor, s.lineMonitor ? QStringLiteral("1") : QStringLiteral("0"));
    if (s.pollMs)
        keys.emplace_back(kPoll, QString::number(*s.pollMs));
    return keys;
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
