#pragma once

#include "ui/PortLifecycle.h"

#include <QObject>

#include <functional>

class PortLabel;
class PortMenu;
class QWidget;
namespace app {
struct WorkingState;
}
namespace bus {
struct PortOpenError;
}

// The port as the engineer handles it: the main label in the top row and
// the keyboard/display processor's labels on its tabs (green while open,
// a click switches it, the menu chooses another), what each switch says on
// the status line, and the box for a port that cannot be opened.
class PortControls final : public QObject {
    Q_OBJECT
  public:
    PortControls(PortLifecycle& ports, const app::WorkingState& state, PortLabel* main,
                 QWidget* window, std::function<void(const QString&)> say);

    // The slave port's labels, for the update and status pages' tabs.
    PortLabel* updateLabel() const { return m_update; }
    PortLabel* statusLabel() const { return m_status; }
    void choose(const QString& name);
    void toggle();
    // The port menu under the label of the role in use.
    void popupMenu();
    // Replaces the port error box (tests have no one to close it).
    std::function<void(const QString& caption, const QString& text)> errorBox;

  private:
    void show();
    void openFailed(const bus::PortOpenError& e);
    void sayToggled(PortLifecycle::Toggle done);

    PortLifecycle& m_ports;
    const app::WorkingState& m_state;
    std::function<void(const QString&)> m_say;
    PortLabel* m_main;
    PortLabel* m_update;
    PortLabel* m_status;
    PortMenu* m_menu;
};
