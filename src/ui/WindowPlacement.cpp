#include "ui/WindowPlacement.h"

#include "ui/WindowSettings.h"

#include <QMainWindow>
#include <QScreen>
#include <QTimer>

void restoreWindowPlacement(QMainWindow& window, QWidget& lineMonitor, QTimer& poll) {
    const WindowSettings s = readWindowSettings(windowSettingsStore());
    window.setGeometry(fittedGeometry(s.geometry, window.screen()->availableGeometry()));
    lineMonitor.setVisible(s.lineMonitor);
    if (s.pollMs)
        poll.setInterval(*s.pollMs);
}

void saveWindowPlacement(const QMainWindow& window, const QWidget& lineMonitor,
                         const QTimer& poll) {
    WindowSettings s;
    s.geometry = window.geometry();
    s.lineMonitor = lineMonitor.isVisible();
    s.pollMs = poll.interval();
    QSettings store = windowSettingsStore();
    writeWindowSettings(store, s);
    if (store.status() != QSettings::NoError)
        qWarning("window settings not written: %s", qPrintable(store.fileName()));
}
