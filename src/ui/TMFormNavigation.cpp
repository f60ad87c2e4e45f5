// The main window's pages, mode changes and address selection.
#include "ui/TMForm.h"

#include "app/AddressBars.h"
#include "app/Addressing.h"
#include "app/Modes.h"
#include "link/SensorAddress.h"
#include "ui/AddressPanels.h"
#include "ui/ModePanel.h"
#include "ui/PageStack.h"
#include "ui/TPForm.h"

#include <QAction>
#include <QTimer>
#include <QToolButton>

void TMForm::jumpTo(int tag, PageRequest request) {
    ModeClicked(tag);
    // A page that could not be entered (no sensor, a busy line) gets nothing.
    if (m_state.currentMode != tag)
        return;
    runRequest(tag, request);
}

QAction* TMForm::sharedAction(const QString& name, const QString& text, const QString& shortcut) {
    if (auto* existing = findChild<QAction*>(name))
        return existing;
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    action->setShortcut(QKeySequence(shortcut));
    addAction(action);
    return action;
}

void TMForm::ModeClicked(int tag) {
    SetMess(QString());
    if (tag == m_state.currentMode) {
        m_modes->setCurrent(tag);
        return;
    }
    if (deviceBusy()) {
        // Stop the running loop first; the change follows once it has ended.
        m_progress->CloseProgress();
        m_state.breakRequested = true;
        m_modes->setCurrent(m_state.currentMode);
        QTimer::singleShot(20, this, [this, tag] { ModeClicked(tag); });
        return;
    }
    m_progress->CloseProgress();
    m_state.breakRequested = true;
    const int oldTag = m_state.currentMode;
    m_modes->setCurrent(tag);
    m_state.currentMode = tag;
    {
        PortLifecycle::Work work(m_ports);
        leavePage(oldTag, tag);
        m_pages->showMode(tag);
        if (oldTag == app::TagAlarm)
            m_state.pageOffset = 0;
        refreshAddressBars();
        // Leaving a controller page for one that shares neither kind of page.
        if (app::isControllerTag(oldTag) && ((tag & oldTag) & 0xC0) == 0)
            if (const auto i = app::controllerOfSelectedSensor(m_state))
                selectController(*i);
        enterPage(tag);
    }
    // A page's own reading on entry runs as any of its actions does.
    runEnterActions(tag);
}

void TMForm::leavePage(int oldTag, int newTag) {
    runLeaveActions(oldTag);
    m_transit.leavePage(oldTag, newTag);
    if (m_pages->slaveTabActive(oldTag))
        m_ports.setRole(app::MainRole);
}

void TMForm::enterPage(int tag) {
    if (m_transit.pageWantsTransit(tag)) {
        repaint();
        PortLifecycle::Work work(m_ports);
        m_transit.enter(app::TransitState::kPageTries);
    } else if (tag == app::TagAlarm) {
        if (m_state.layout.controllersFound > 0 && m_state.selectedControllerIndex() >= 0)
            app::ShowControllerRange(m_state, m_state.selectedControllerIndex());
        refreshAddressBars();
    } else if (app::isSensorTag(tag)) {
        refreshAddressBars();
    } else if (m_pages->slaveTabActive(tag)) {
        m_ports.setRole(app::SlaveRole);
    }
}

void TMForm::SensorButtonClicked(int button) {
    if (deviceBusy()) {
        refreshAddressBars();
        return;
    }
    SetMess(QString());
    const app::SensorSelection r = app::clickSensorButton(m_state, button);
    ClearSensorFields();
    if (r.controllerChanged && app::needsTransit(m_state.currentMode)) {
        // Transit moves with the sensor to the controller that serves it.
        PortLifecycle::Work work(m_ports);
        m_transit.moveFrom(r.previousController);
    }
    refreshAddressBars();
    // In type 2 a sensor is a controller of its own: its tables are others.
    if (m_state.layout.isDirectSensorType() && m_state.currentMode == app::TagCT)
        runEnterActions(app::TagCT);
}

void TMForm::ControllerButtonClicked(int index) {
    if (deviceBusy()) {
        refreshAddressBars();
        return;
    }
    selectController(index);
}

void TMForm::selectController(int index) {
    SetMess(QString());
    const bool changed = index != m_state.selectedControllerIndex();
    if (changed)
        ClearSensorFields();
    app::clickControllerButton(m_state, index, m_state.currentMode == app::TagAlarm);
    refreshAddressBars();
    if (changed && m_state.currentMode == app::TagCT)
        runEnterActions(app::TagCT);
}

void TMForm::StepPager(int delta) {
    if (!app::stepPager(m_state, m_state.pagerPosition + delta))
        return;
    ClearSensorFields();
    refreshAddressBars();
}

bool TMForm::SelectSensorByNumber(int address) {
    if (!app::SelectSensorByNumber(m_state, address))
        return false;
    refreshAddressBars();
    return true;
}

void TMForm::SetSensorAddressClicked() {
    if (deviceBusy()) {
        m_addressPanels->setAddressButton()->setChecked(false);
        return;
    }
    if (m_link.readOnly()) {
        m_addressPanels->setAddressButton()->setChecked(false);
        SetMess(bus::kReadOnlyRefusal);
        return;
    }
    PortLifecycle::Work work(m_ports);
    SetMess(QStringLiteral("Адрес не установлен"));
    if (bus::SetSensorAddress(m_link, m_state.sensorAddress))
        SetMess(QStringLiteral("Адрес установлен"));
    m_addressPanels->setAddressButton()->setChecked(false);
}
