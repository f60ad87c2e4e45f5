#include "ui/LayoutActions.h"

#include "app/ControllerScan.h"
#include "app/LayoutConfig.h"
#include "sites/SitesFile.h"
#include "ui/AddressPanels.h"
#include "ui/BusyCursor.h"
#include "ui/PageHost.h"
#include "ui/PollLogPanel.h"
#include "ui/PortLifecycle.h"
#include "ui/StatusPages.h"
#include "ui/TPForm.h"
#include "ui/TopPanel.h"

#include <QAbstractButton>
#include <QToolButton>

LayoutActions::LayoutActions(PageHost& host, const app::ConfigFile& config, PortLifecycle& ports,
                             TopPanel& top, AddressPanels& panels, StatusPages& statusPages,
                             Window window)
    : m_host(host), m_config(config), m_ports(ports), m_top(top), m_panels(panels),
      m_statusPages(statusPages), m_window(std::move(window)) {}

void LayoutActions::scan(QAbstractButton* holdButton) {
    const auto release = [&] {
        m_top.searchButton()->setChecked(false);
        if (holdButton)
            holdButton->setChecked(false);
    };
    if (m_host.deviceBusy())
        return release();
    m_panels.prepareScan(holdButton);
    PortLifecycle::Work work(m_ports);
    m_top.searchButton()->setChecked(true);
    m_host.SetMess(QString());
    // Rows of the layout before would pass for the new one's.
    m_statusPages.clearGrids();
    app::WorkingState& state = m_host.state();
    {
        BusyCursor cursor;
        const app::ScanResult r =
            app::ScanControllers(m_host.link(), state.layout, *m_host.progressDialog(), &m_panels);
        const std::uint8_t before = state.selectedControllerAddress;
        if (!state.layout.isDirectSensorType())
            // A controller that did not answer is not kept selected.
            state.selectedControllerAddress =
                r.selectedController.value_or(app::kNoControllerSelected);
        if (state.selectedControllerAddress != before)
            m_window.controllerChanged(before);
        m_host.SetMess(r.communicationProblem ? kCommunicationProblems : app::scanSummary(r));
        m_window.showLayout();
    }
    m_host.progressDialog()->CloseProgress();
    release();
    m_panels.prepareScan(nullptr);
}

void LayoutActions::run(int operation, int newType) {
    if (m_host.deviceBusy())
        return;
    switch (operation) {
    case Scan:
        scan();
        return;
    case Save:
        m_host.SetMess(app::saveLayout(m_config, m_host.state().layout));
        break;
    case Reload:
        app::loadLayout(m_config.read(), m_host.state());
        break;
    case TypeChanged:
        if (app::isControllerType(newType))
            app::changeControllerType(m_host.state(), newType);
        break;
    case AfterViewClosed:
        // Without a controller, a controller page goes back to the status.
        break;
    default:
        return;
    }
    m_window.showLayout();
}

void LayoutActions::setType(int type) {
    if (m_host.deviceBusy() || !app::isControllerType(type))
        return;
    m_host.state().layout.controllerType = type;
    m_window.showLayout();
}

void LayoutActions::goToSite(const sites::Site& site, const QString& log) {
    if (m_host.deviceBusy())
        return;
    // The line first: what runs over the old one (transit) ends there,
    // with the old layout's controller.
    m_window.choosePort(site.line);
    app::WorkingState& state = m_host.state();
    const std::uint8_t before = state.selectedControllerAddress;
    app::loadLayout(site.entries, state);
    m_statusPages.clearGrids();
    m_statusPages.logPanel()->useSite(site.name, log);
    m_window.controllerChanged(before);
    m_window.showLayout();
    if (m_window.statusText().isEmpty())
        m_host.SetMess(QStringLiteral("ОБЪЕКТ: ") + site.name);
}
