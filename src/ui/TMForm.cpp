#include "ui/TMForm.h"

#include "app/AddressBars.h"
#include "app/LayoutConfig.h"
#include "app/Modes.h"
#include "sim/SimulatedLine.h"
#include "ui/AddressPanels.h"
#include "ui/BusyCursor.h"
#include "ui/Help.h"
#include "ui/InputFilters.h"
#include "ui/LayoutActions.h"
#include "ui/LineMenu.h"
#include "ui/LineModes.h"
#include "ui/ModePanel.h"
#include "ui/PageStack.h"
#include "ui/PageWidgets.h"
#include "ui/PollLogPanel.h"
#include "ui/PortControls.h"
#include "ui/SavedFiles.h"
#include "ui/SitesDialog.h"
#include "ui/StatusLine.h"
#include "ui/StatusPages.h"
#include "ui/TAboutBox.h"
#include "ui/TCVForm.h"
#include "ui/TIForm.h"
#include "ui/TPForm.h"
#include "ui/TopPanel.h"
#include "ui/TrafficView.h"
#include "ui/WindowMenus.h"
#include "ui/WindowPlacement.h"
#include "ui/WindowSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kDefineComPort = QStringLiteral("ОПРЕДЕЛИТЕ COM ПОРТ");

} // namespace

TMForm::TMForm(const StartOptions& options, app::ConfigFile config, bus::PortOpener simulation)
    : m_options(options), m_config(std::move(config)), m_simulated(static_cast<bool>(simulation)),
      m_ports(m_link, m_state, m_config, std::move(simulation)),
      m_transit(m_link, m_state,
                [this](bool on) {
                    if (m_trans)
                        m_trans->setChecked(on);
                }),
      m_actions(m_ports, {[this] { SetMess(QString()); },
                          [this] { SetMess(kCommunicationProblems); }, setBusyCursor,
                          [this] {
                              m_progress->CloseProgress();
                              m_mess->sayServiceLeftOn();
                              if (m_lineModes)
                                  m_lineModes->sayWritesRefused();
                          }}) {
    setObjectName(QStringLiteral("TMForm"));
    m_link.setPump([] { QApplication::processEvents(); });
    if (!m_options.port.isEmpty())
        m_link.addExtraPort(m_options.port);

    setWindowTitle(QStringLiteral("ORVANT II ") + QStringLiteral("  (") + TAboutBox::versionText() +
                   QStringLiteral(")"));
    m_tmr = new QTimer(this);
    m_tmr->setObjectName(QStringLiteral("Tmr"));
    m_tmr->setInterval(10000);
    m_tmr2 = new QTimer(this);
    m_tmr2->setObjectName(QStringLiteral("Tmr2"));
    m_tmr2->setInterval(100);
    connect(&m_ports, &PortLifecycle::lost, this, &TMForm::portLost);
    // Transit is ended on a line before the engineer's choice replaces it.
    m_ports.setBeforeClosing([this] {
        if (!m_transit.on())
            return;
        PortLifecycle::Work work(m_ports);
        const bool left = m_transit.leave(app::TransitState::kPageTries);
        // The new line's controller is in no transit of ours.
        m_transit.show(false);
        if (!left)
            m_mess->sayAlso(kTransitLeftOn);
    });
    connect(&m_ports, &PortLifecycle::reopened, this,
            [this] { SetMess(QStringLiteral("ПОРТ ВКЛЮЧЕН")); });
    m_statusPages = new StatusPages(*this, *m_tmr, m_options.controllerStatus, m_simulated);
    buildWindow();
    SelectTextOnEntry(this);
    // A pressed toggle (selected address, transit, mode) must be seen at a glance.
    setStyleSheet(QStringLiteral("QToolButton:checked { background-color: #2F6FBF; color: white;"
                                 " border: 1px solid #1F4F8F; border-radius: 2px; }"));
    m_modes->buttonForTag(app::TagKStat)->setVisible(m_options.controllerStatus);
    SetMess(kDefineComPort);

    m_progress = new TPForm(m_state.breakRequested, this);
    // A connect the engineer asked for waits in the wait dialog, whose Break
    // ends it; the window stays free meanwhile.
    connect(&m_ports, &PortLifecycle::connectingChanged, this, [this](bool connecting) {
        if (connecting)
            m_progress->ShowProgress(0);
        else if (!deviceBusy())
            m_progress->CloseProgress();
    });
    connect(m_progress, &TPForm::breakPressed, this, [this] {
        if (!m_ports.connecting())
            return;
        m_ports.cancelConnect();
        SetMess(QStringLiteral("ПОРТ ОТКЛЮЧЕН"));
    });
    m_intervalForm = new TIForm(this);
    m_layout = std::make_unique<LayoutActions>(
        *this, m_config, m_ports, *m_top, *m_addressPanels, *m_statusPages,
        LayoutActions::Window{[this] {
                                  applyTypeLayout();
                                  refreshAddressBars();
                              },
                              [this](std::uint8_t before) {
                                  // Values read from the controller before are not shown
                                  // for another; transit follows the choice.
                                  ClearSensorFields();
                                  m_transit.controllerChosen(before, m_state.currentMode);
                              },
                              [this](const QString& port) { ChoosePort(port); },
                              [this] { return statusText(); }});
    m_cvForm = new TCVForm(*this, *m_layout);
    m_about = new TAboutBox(this);
    m_about->setConfigPath([this] { return QDir::toNativeSeparators(m_config.path()); });
    m_about->setPortDetails([this] { return m_ports.details(); });
    applyTypeLayout();
    refreshAddressBars();
}

void TMForm::Start() {
    if (m_config.exists())
        LoadConfiguration(m_options.noLayout ? LoadPorts : (LoadPorts | LoadLayout));
    restoreWindowPlacement(*this, *m_traffic, *m_tmr);
    m_lineModes->restore(m_options.readOnly);
    // A port named on the command line, or the simulated installation,
    // takes the place of the configured main port.
    const QString startPort = m_simulated ? sim::SimulatedLine::kPortName : m_options.port;
    // The keyboard/display processors answer on a line of their own.
    if (m_simulated)
        m_ports.useSimulatedKeyboardPort();
    if (!startPort.isEmpty() && m_state.portRole == app::MainRole)
        ChoosePort(startPort);
    refreshAddressBars();
    reportSavedFiles();
}

void TMForm::reportSavedFiles() {
    // Each is said beside whatever the start put on the status line.
    QStringList problems = savedFileProblems(m_config.read());
    if (const QString log = m_statusPages->logPanel()->startProblem(); !log.isEmpty())
        problems.prepend(log);
    if (problems.isEmpty())
        return;
    problems.prepend(statusText());
    problems.removeAll(QString());
    SetMess(problems.join(QStringLiteral("; ")));
}

TMForm::~TMForm() {
    // The recording observes the link, which goes before the window's children.
    m_lineModes->stopRecording();
}

void TMForm::setRecordFileChooser(std::function<QString()> choose) {
    m_lineModes->setRecordFileChooser(std::move(choose));
}

void TMForm::SetReadOnly(bool on) {
    m_lineModes->setReadOnly(on);
}

// Every УСТАНОВИТЬ writes: refused before anything of it goes out.
void TMForm::btSetClick(int tag) {
    if (!m_lineModes->refuseWrite())
        m_actions.set(tag);
}

void TMForm::buildWindow() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(6);
    buildTopPanel();
    layout->addWidget(m_top);

    auto* body = new QHBoxLayout;
    body->setSpacing(6);
    m_modes = new ModePanel(central);
    connect(m_modes, &ModePanel::modeClicked, this, &TMForm::ModeClicked);
    body->addWidget(m_modes);
    // The address bars sit over the page, not over the mode buttons, so
    // that the buttons stay put when a bar comes and goes.
    auto* pageColumn = new QVBoxLayout;
    pageColumn->setSpacing(4);
    m_addressPanels = new AddressPanels(central);
    connect(m_addressPanels, &AddressPanels::controllerClicked, this,
            &TMForm::ControllerButtonClicked);
    connect(m_addressPanels, &AddressPanels::sensorClicked, this, &TMForm::SensorButtonClicked);
    connect(m_addressPanels, &AddressPanels::pagerStepped, this, &TMForm::StepPager);
    connect(m_addressPanels, &AddressPanels::setAddressClicked, this,
            &TMForm::SetSensorAddressClicked);
    pageColumn->addWidget(m_addressPanels);
    // A small screen scrolls the page instead of cutting it off.
    auto* pageScroll = new QScrollArea(central);
    pageScroll->setObjectName(QStringLiteral("saPages"));
    pageScroll->setFrameShape(QFrame::NoFrame);
    pageScroll->setWidgetResizable(true);
    m_pages = new PageStack(*this, *m_statusPages, m_portControls->updateLabel(),
                            m_portControls->statusLabel(), m_options.segmentTest, pageScroll);
    connect(m_pages, &PageStack::processorTabChanged, this,
            [this](bool slave) { m_ports.setRole(slave ? app::SlaveRole : app::MainRole); });
    pageScroll->setWidget(m_pages);
    pageColumn->addWidget(pageScroll, 1);
    body->addLayout(pageColumn, 1);
    layout->addLayout(body, 1);
    setCentralWidget(central);

    m_mess = new StatusLine(m_link, this);
    statusBar()->addWidget(m_mess, 1);
    buildMenus();
    setGeometry(fittedGeometry({}, screen()->availableGeometry()));
}

void TMForm::buildTopPanel() {
    m_top = new TopPanel(this);
    m_trans = m_top->transitButton();
    m_portControls = new PortControls(m_ports, m_state, m_top->portLabel(), this,
                                      [this](const QString& text) { SetMess(text); });
    connect(m_top, &TopPanel::transitToggled, this, &TMForm::transitToggled);
    // "НОРМ." switches off whatever the button shows.
    connect(m_top, &TopPanel::transitReset, this, [this] { transitToggled(false); });
    connect(m_top, &TopPanel::scanClicked, this, [this] { m_layout->scan(); });
    connect(m_top, &TopPanel::intervalClicked, this,
            [this] { m_tmr->setInterval(m_intervalForm->choosePeriod(m_tmr->interval())); });
    connect(m_top, &TopPanel::configurationClicked, this, [this] {
        if (!deviceBusy())
            m_cvForm->exec();
    });
}

void TMForm::buildMenus() {
    const WindowMenus menus = buildWindowMenus(
        *this, *this, *m_top, m_addressPanels->setAddressButton(),
        {[this] { m_pages->openDiagramFile(); }, [this] { m_statusPages->openTrends(); },
         [this] { ShowHelp(); }, [this] { m_about->exec(); }});
    m_traffic = menus.traffic;
    connect(menus.line, &LineMenu::choosePort, m_portControls, &PortControls::popupMenu);
    connect(menus.line, &LineMenu::togglePort, this, &TMForm::TogglePort);
    connect(menus.line, &LineMenu::pagerStepped, this, &TMForm::StepPager);
    m_lineModes =
        new LineModes(m_link, *this, *menus.line, [this](const QString& t) { SetMess(t); });
    connect(menus.line, &LineMenu::chooseSite, this, &TMForm::chooseSite);
}

QString TMForm::statusText() const {
    return m_mess->text();
}

int TMForm::pollPeriodMs() const {
    return m_tmr->interval();
}

void TMForm::SetMess(const QString& text) {
    m_mess->say(text);
}

void TMForm::LoadConfiguration(int bits) {
    const app::ConfigEntries entries = m_config.read();
    // The simulated installation or a port from the command line opens instead.
    if (bits & LoadPorts)
        m_ports.load(entries, !m_simulated && m_options.port.isEmpty());
    if (bits & LoadLayout) {
        app::loadLayout(entries, m_state);
        applyTypeLayout();
        refreshAddressBars();
    }
}

void TMForm::applyTypeLayout() {
    const app::ControllerLayout& l = m_state.layout;
    const int type = l.controllerType;
    m_top->showControllerType(app::controllerTypeLabel(type));
    for (int tag : {app::TagAlarm, app::TagCT, app::TagKCfg, app::TagKUD})
        m_modes->buttonForTag(tag)->setEnabled(!l.isNoControllerType());
    m_addressPanels->setAddressButton()->setVisible(l.isNoControllerType());
    m_pages->applyType(l.type());
    runTypeLayoutActions();
    // A page that needs a controller makes no sense without one.
    const QToolButton* current = m_modes->buttonForTag(m_state.currentMode);
    if (current && !current->isEnabled())
        ModeClicked(app::TagStat);
}

void TMForm::refreshAddressBars() {
    m_addressPanels->showBars(app::RefreshAddressBars(m_state));
}

void TMForm::portLost() {
    SetMess(kCommunicationProblems);
    runPortLostActions();
}

void TMForm::LayoutEdited() {
    refreshAddressBars();
}

void TMForm::setErrorBox(std::function<void(const QString&, const QString&)> box) {
    m_portControls->errorBox = std::move(box);
}

void TMForm::ChoosePort(const QString& name) {
    m_portControls->choose(name);
}

void TMForm::chooseSite() {
    if (!m_sites) {
        m_sites = new SitesDialog(
            m_options.sitesFile.isEmpty() ? sites::defaultSitesPath() : m_options.sitesFile, this);
        connect(m_sites, &SitesDialog::siteChosen, this,
                [this](const sites::Site& site) { m_layout->goToSite(site, m_sites->logPath()); });
    }
    // The log the window records into, unless another was typed there.
    const QString log =
        m_sites->logPath().isEmpty() ? m_statusPages->logPanel()->logPath() : m_sites->logPath();
    m_sites->refresh(log);
    m_sites->open();
}

void TMForm::TogglePort() {
    m_portControls->toggle();
}

void TMForm::transitToggled(bool down) {
    if (deviceBusy()) {
        m_trans->setChecked(m_transit.on());
        return;
    }
    PortLifecycle::Work work(m_ports);
    if (down)
        m_transit.enter();
    else
        m_transit.leave();
}

void TMForm::addToolButton(QToolButton* button) {
    m_top->addToolButton(button);
}

void TMForm::ShowHelp() {
    QWidget* page = m_pages->currentWidget();
    if (!m_help)
        m_help = new HelpViewer(this);
    m_help->showPage(
        helpFileFor(QApplication::applicationDirPath(), page ? page->objectName() : QString()));
}

void TMForm::closeEvent(QCloseEvent* event) {
    // Stop whatever loop still runs; the window closes once it has ended, so
    // that transit is left and the port closed on the way out.
    m_state.breakRequested = true;
    if (deviceBusy()) {
        m_progress->CloseProgress();
        event->ignore();
        QTimer::singleShot(20, this, &QWidget::close);
        return;
    }
    if (m_transit.on())
        m_transit.leave();
    m_tmr->stop();
    m_tmr2->stop();
    m_ports.stopWatching();
    m_progress->CloseProgress();
    m_link.ClosePort();
    m_lineModes->stopRecording();
    saveWindowPlacement(*this, *m_traffic, *m_tmr);
    event->accept();
}
