#pragma once

#include <QGuiApplication>

// The wait cursor while a device operation runs.
inline void setBusyCursor(bool busy) {
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

// Restores the cursor on every way out of a device operation.
struct BusyCursor {
    BusyCursor() { setBusyCursor(true); }
    ~BusyCursor() { setBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
