#pragma once

#include "app/ConfigFile.h"
#include "app/WorkingState.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/StatusDecoder.h"

#include <QString>

#include <functional>

class QAction;
class QTimer;
class QToolButton;
class QWidget;
class TPForm;

// What the status line says when the line failed the window's work.
inline const QString kCommunicationProblems = QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");
// A controller that did not answer leaving transit may still relay its line.
inline const QString kTransitLeftOn = QStringLiteral("КИП остался в режиме ТРАНЗИТ");

// What a page asks of another when it jumps there.
enum class PageRequest {
    Draw,              // the diagram page draws the sensor's diagram
    FindDensityMeters, // the density page finds the sensor's meters
    ShowThermometers,  // the properties page shows and reads one tab
    ShowDensityMeters,
};

// What a page may use of the window: the link and the working state, the
// status line and progress, the shared button frames, its own enter/leave
// and clear registrations, the timers, transit, and jumps to other pages.
// Pages know nothing else of the window, nor of each other.
class PageHost {
  public:
    virtual app::WorkingState& state() = 0;
    virtual bus::SerialLink& link() = 0;
    virtual const app::ConfigFile& config() const = 0;
    virtual const sensor::StatusDecoder& decoder() const = 0;
    virtual TPForm* progressDialog() const = 0;
    virtual void SetMess(const QString& text) = 0;

    // The shared "ПОЛУЧИТЬ" handler: the action registered for the Tag runs
    // inside the common frame (status line cleared, busy cursor, progress
    // closed afterwards). An action returns false when the link failed.
    virtual void registerGetAction(int tag, std::function<bool()> action) = 0;
    virtual void btGetClick(int tag) = 0;
    // The shared "УСТАНОВИТЬ" handler, the same frame for writes; a write
    // action puts its own result on the status line.
    virtual void registerSetAction(int tag, std::function<bool()> action) = 0;
    virtual void btSetClick(int tag) = 0;
    // Any other device action of a page in the same frame (status line
    // cleared, busy cursor, errors caught); refused while another runs.
    virtual void runAction(const std::function<bool()>& action) = 0;
    // The same frame for what a timer runs: the status line stays as the
    // engineer's last action left it.
    virtual void runTimedAction(const std::function<bool()>& action) = 0;
    // A device operation is running; a second one is refused.
    virtual bool deviceBusy() const = 0;

    // Pages that show values of one sensor register here what to empty
    // when the selected sensor or controller changes.
    virtual void addClearSensorFields(std::function<void()> clear) = 0;
    // What a page does when it is left (a cycle it runs stops).
    virtual void addLeaveAction(int tag, std::function<void()> leave) = 0;
    // What a page does each time it is entered, and entered again because
    // its controller (or in type 2 its sensor) changed.
    virtual void addEnterAction(int tag, std::function<void()> enter) = 0;
    // What a page changes when the controller type changes.
    virtual void addTypeLayoutAction(std::function<void()> action) = 0;
    // What a page does when the port is lost: a cycle it runs ends, so that
    // nothing is sent by itself once the port is back.
    virtual void addPortLostAction(std::function<void()> action) = 0;
    // What a page does when another page jumps to it with a request.
    virtual void addRequestHandler(int tag, std::function<void(PageRequest)> handler) = 0;

    // The poll timer Tmr and the shared timer Tmr2: each user sets handler
    // and interval first.
    virtual QTimer* pollTimer() const = 0;
    virtual QTimer* secondTimer() const = 0;

    // Transit a sensor operation switches on and off itself: not while the
    // user holds it on, and not without a controller.
    virtual bool writeNeedsTransit() const = 0;
    // "ТРАНЗИТ" pressed or released by a page that switched transit itself.
    virtual void showTransit(bool on) = 0;
    bus::TransitScope sensorTransit(int enterTries = 1) {
        return bus::TransitScope(link(), state().selectedControllerAddress, writeNeedsTransit(),
                                 enterTries);
    }

    // Navigation.
    virtual void ModeClicked(int tag) = 0;
    virtual bool SelectSensorByNumber(int address) = 0;
    // To the page of tag and, when it is shown, the request for it.
    virtual void jumpTo(int tag, PageRequest request) = 0;
    // The layout was edited by hand: the address bars follow it.
    virtual void LayoutEdited() = 0;

    // The window, as the parent of a page's dialogs and helpers.
    virtual QWidget* dialogParent() = 0;
    // A tool button of a page's own in the top row, after "Конфигурация".
    virtual void addToolButton(QToolButton* button) = 0;
    // A window-wide action (a shortcut) shared by the pages that take it;
    // made on first use.
    virtual QAction* sharedAction(const QString& name, const QString& text,
                                  const QString& shortcut) = 0;

  protected:
    ~PageHost() = default;
};
