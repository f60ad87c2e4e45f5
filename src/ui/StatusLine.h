#pragma once

#include "link/Transit.h"

#include <QLabel>

#include <set>

// The window's status line "Mess". Whichever page's work left a controller
// perhaps in its service mode, the engineer reads it after that work's own
// result.
class StatusLine final : public QLabel {
    Q_OBJECT
  public:
    StatusLine(const bus::SerialLink& link, QWidget* parent);

    // File errors reach here in the system's English: said in Russian.
    void say(const QString& text);
    // The controllers whose service mode may not have ended in the work just
    // done, after what the line says now.
    void sayServiceLeftOn();
    // Said now, and kept after whatever is said next (a port switched off
    // says so right after).
    void sayAlso(const QString& note);

  private:
    QString m_note;
    std::set<std::uint8_t> m_serviceLeftOn;
    bus::TransitWatch m_serviceWatch;
};
