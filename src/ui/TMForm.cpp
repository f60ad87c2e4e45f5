#include "ui/TMForm.h"
#include "ui/SnapshotMenu.h"

#include "app/AddressBars.h"
#include "app/ControllerScan.h"
#include "app/FileReader.h"
#include "app/LayoutConfig.h"
#include "app/Modes.h"
#include "link/SystemText.h"
#include "sim/SimulatedLine.h"
#include "ui/AddressPanels.h"
#include "ui/DensityPage.h"
#include "ui/DiagramPage.h"
#include "ui/Help.h"
#include "ui/InputFilters.h"
#include "ui/LineMenu.h"
#include "ui/ModePanel.h"
#include "ui/PageWidgets.h"
#include "ui/PollLogPanel.h"
#include "ui/PortLabel.h"
#include "ui/PortMenu.h"
#include "ui/SitesDialog.h"
#include "ui/StatusPages.h"
#include "ui/TAboutBox.h"
#include "ui/TCVForm.h"
#include "ui/TIForm.h"
#include "ui/TPForm.h"
#include "ui/TopPanel.h"
#include "ui/TrafficView.h"
#include "ui/WindowSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kDefineComPort = QStringLiteral("ОПРЕДЕЛИТЕ COM ПОРТ");
const QString kCommunicationProblems = QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");

void setBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// Restores the cursor on every way out of a device operation.
struct BusyCursor {
    BusyCursor() { setBusyCursor(true); }
    ~BusyCursor() { setBusyCursor(false); }
};

} // namespace

TMForm::TMForm(const StartOptions& options, app::ConfigFile config, bus::PortOpener simulation)
    : m_options(options), m_config(std::move(config)), m_simulated(static_cast<bool>(simulation)),
      m_ports(m_link, m_state, m_config, std::move(simulation)),
      m_transit(m_link, m_state,
                [this](bool on) {
                    if (m_trans)
                        m_trans->setChecked(on);
                }),
      m_serviceWatch(m_link, {}, [this](std::uint8_t c) { m_serviceLeftOn.insert(c); }),
      m_actions(m_ports, {[this] { SetMess(QString()); },
                          [this] { SetMess(kCommunicationProblems); }, setBusyCursor,
                          [this] {
                              m_progress->CloseProgress();
                              sayServiceLeftOn();
                          }}) {
    setObjectName(QStringLiteral("TMForm"));
    m_errorBox = [](const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    };
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
    connect(&m_ports, &PortLifecycle::labelsChanged, this, &TMForm::showPorts);
    connect(&m_ports, &PortLifecycle::openFailed, this, &TMForm::showOpenError);
    connect(&m_ports, &PortLifecycle::lost, this, &TMForm::portLost);
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
    m_intervalForm = new TIForm(this);
    m_cvForm = new TCVForm(*this);
    m_about = new TAboutBox(this);
    m_about->setConfigPath([this] { return QDir::toNativeSeparators(m_config.path()); });
    m_about->setPortDetails([this] { return m_ports.details(); });
    for (PortLabel* l : {m_port, m_port22, m_port21})
        l->setDetails([this] { return m_ports.details(); });
    showPorts();
    applyTypeLayout();
    refreshAddressBars();
}

void TMForm::Start() {
    if (m_config.exists())
        LoadConfiguration(m_options.noLayout ? LoadPorts : (LoadPorts | LoadLayout));
    restoreWindowSettings();
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
    // The files chosen in an earlier run: a stick pulled, a file moved or
    // replaced by a folder or a pipe. Each is said now, beside whatever the
    // start put on the status line; the pages refuse them again when used.
    struct Saved {
        const char* key;
        const char* what;
    };
    static constexpr Saved kSaved[] = {
        {"MAIN_FILE", "ФАЙЛ ПРОШИВКИ MAIN CPU НЕ ОТКРЫТ: "},
        {"SLAVE_FILE", "ФАЙЛ ПРОШИВКИ KBD/LCD CPU НЕ ОТКРЫТ: "},
        {"SENS_FILE", "ФАЙЛ ПРОШИВКИ ДАТЧИКА НЕ ОТКРЫТ: "},
        {"SecDBName", "БАЗА СЕКЦИЙ НЕ ОТКРЫТА: "},
    };
    QStringList problems;
    if (const QString log = m_statusPages->logPanel()->startProblem(); !log.isEmpty())
        problems << log;
    const app::ConfigEntries entries = m_config.read();
    for (const Saved& saved : kSaved) {
        const QString path = app::ConfigFile::value(entries, QLatin1String(saved.key));
        if (path.isEmpty())
            continue;
        QFile file;
        // Without waiting: a pipe is refused, never read.
        if (const app::FileResult r = app::openRegularFile(file, path, QIODevice::ReadOnly);
            !r.ok())
            problems << QString::fromUtf8(saved.what) + r.message();
    }
    if (problems.isEmpty())
        return;
    const QString now = statusText();
    problems.prepend(now);
    problems.removeAll(QString());
    SetMess(problems.join(QStringLiteral("; ")));
}

TMForm::~TMForm() = default;

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
    pageScroll->setWidget(buildPages());
    pageColumn->addWidget(pageScroll, 1);
    body->addLayout(pageColumn, 1);
    layout->addLayout(body, 1);
    setCentralWidget(central);

    m_mess = new QLabel(this);
    m_mess->setObjectName(QStringLiteral("Mess"));
    m_mess->setMinimumHeight(22);
    QFont f = m_mess->font();
    f.setBold(true);
    m_mess->setFont(f);
    statusBar()->addWidget(m_mess, 1);
    buildMenus();
    setGeometry(fittedGeometry({}, screen()->availableGeometry()));
}

void TMForm::restoreWindowSettings() {
    const WindowSettings s = readWindowSettings(windowSettingsStore());
    setGeometry(fittedGeometry(s.geometry, screen()->availableGeometry()));
    m_traffic->setVisible(s.lineMonitor);
    if (s.pollMs)
        m_tmr->setInterval(*s.pollMs);
}

void TMForm::saveWindowSettings() {
    WindowSettings s;
    s.geometry = geometry();
    s.lineMonitor = m_traffic->isVisible();
    s.pollMs = m_tmr->interval();
    QSettings store = windowSettingsStore();
    writeWindowSettings(store, s);
    if (store.status() != QSettings::NoError)
        qWarning("window settings not written: %s", qPrintable(store.fileName()));
}

void TMForm::buildTopPanel() {
    m_top = new TopPanel(this);
    m_port = m_top->portLabel();
    m_trans = m_top->transitButton();
    // The slave-port labels live on the keyboard/display processor's tabs.
    m_port22 = new PortLabel(QStringLiteral("Port22"), this);
    m_port21 = new PortLabel(QStringLiteral("Port21"), this);
    m_portMenu = new PortMenu(m_ports, this);
    connect(m_portMenu, &PortMenu::chosen, this, &TMForm::ChoosePort);
    for (PortLabel* l : {m_port, m_port22, m_port21}) {
        connect(l, &PortLabel::toggleRequested, this, &TMForm::TogglePort);
        connect(l, &PortLabel::menuRequested, m_portMenu, &PortMenu::popupAt);
    }
    connect(m_top, &TopPanel::transitToggled, this, &TMForm::transitToggled);
    // "НОРМ." switches off whatever the button shows.
    connect(m_top, &TopPanel::transitReset, this, [this] { transitToggled(false); });
    connect(m_top, &TopPanel::scanClicked, this, [this] { ScanForControllers(); });
    connect(m_top, &TopPanel::intervalClicked, this, &TMForm::chooseInterval);
    connect(m_top, &TopPanel::configurationClicked, this, [this] {
        if (!deviceBusy())
            m_cvForm->exec();
    });
}

void TMForm::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    QAction* openDiagram = file->addAction(QStringLiteral("Открыть диаграмму…"), this,
                                           [this] { m_diagramPage->OpenDiagramFile(); });
    openDiagram->setObjectName(QStringLiteral("miOpenDgr"));
    // The firmware page's file action (Ctrl+O) lives with that page.
    if (QAction* firmwareFile = findChild<QAction*>(QStringLiteral("AOpenHF")))
        file->addAction(firmwareFile);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Выход"), this, &QWidget::close);
    new SnapshotMenu(*this, file, quit);
    // The traffic view listens to the line only while it is shown.
    m_traffic = new TrafficView(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_traffic);
    m_traffic->hide();
    connect(m_traffic, &QDockWidget::visibilityChanged, this,
            [this](bool shown) { m_link.setObserver(shown ? m_traffic : nullptr); });
    auto* line = new LineMenu(*m_top, m_addressPanels->setAddressButton(), this);
    menuBar()->addMenu(line);
    connect(line, &LineMenu::choosePort, this, [this] {
        PortLabel* label = m_state.portRole == app::SlaveRole ? m_port22 : m_port;
        m_portMenu->popupAt(label->mapToGlobal(QPoint(0, label->height())));
    });
    connect(line, &LineMenu::togglePort, this, &TMForm::TogglePort);
    connect(line, &LineMenu::chooseSite, this, &TMForm::chooseSite);
    connect(line, &LineMenu::pagerStepped, this, &TMForm::StepPager);
    QMenu* view = menuBar()->addMenu(QStringLiteral("Вид"));
    QAction* traffic = m_traffic->toggleViewAction();
    traffic->setObjectName(QStringLiteral("miTraffic"));
    view->addAction(traffic);
    QAction* trends =
        view->addAction(QStringLiteral("Графики…"), m_statusPages, &StatusPages::openTrends);
    trends->setObjectName(QStringLiteral("miTrends"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("Справка"));
    QAction* helpAction = help->addAction(QStringLiteral("Справка"), this, &TMForm::ShowHelp);
    helpAction->setObjectName(QStringLiteral("miHelp"));
    helpAction->setShortcut(QKeySequence::HelpContents);
    help->addAction(QStringLiteral("О программе"), this, [this] { m_about->exec(); });
    // F10 goes to the menu, as in other programs without a mouse at hand.
    auto* toMenu = new QAction(this);
    toMenu->setObjectName(QStringLiteral("aMenuKey"));
    toMenu->setShortcut(Qt::Key_F10);
    connect(toMenu, &QAction::triggered, this, [this] {
        QMenuBar* bar = menuBar();
        bar->setFocus(Qt::MenuBarFocusReason);
        bar->setActiveAction(bar->actions().constFirst());
    });
    addAction(toMenu);
}

QString TMForm::statusText() const {
    return m_mess->text();
}

int TMForm::pollPeriodMs() const {
    return m_tmr->interval();
}

void TMForm::SetMess(const QString& text) {
    // File errors reach here in the system's English.
    m_mess->setText(withRussianFileErrors(text));
    m_mess->repaint();
}

// Whichever page's work left a controller perhaps in service mode, the
// engineer reads it after that work's own result.
void TMForm::sayServiceLeftOn() {
    if (m_serviceLeftOn.empty())
        return;
    QStringList said;
    if (!m_mess->text().isEmpty())
        said << m_mess->text();
    for (std::uint8_t c : m_serviceLeftOn)
        said << bus::serviceLeftOnText(c);
    m_serviceLeftOn.clear();
    SetMess(said.join(QStringLiteral("; ")));
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

void TMForm::RunLayoutOperation(int operation, int newType) {
    if (deviceBusy())
        return;
    switch (operation) {
    case ScanLayout:
        ScanForControllers();
        return;
    case SaveLayoutOp: {
        QString error;
        if (!m_config.write(app::layoutKeys(m_state.layout), &error))
            SetMess(QStringLiteral("НЕ ЗАПИСАНО: ") + error);
        else
            SetMess(QStringLiteral("СОХРАНЕНО В ") + QDir::toNativeSeparators(m_config.path()));
        break;
    }
    case ReloadLayout:
        app::loadLayout(m_config.read(), m_state);
        break;
    case TypeChanged:
        if (app::isControllerType(newType))
            app::changeControllerType(m_state, newType);
        break;
    case AfterViewClosed:
        // Without a controller, a controller page goes back to the status.
        break;
    default:
        return;
    }
    applyTypeLayout();
    refreshAddressBars();
}

void TMForm::applyTypeLayout() {
    const app::ControllerLayout& l = m_state.layout;
    const int type = l.controllerType;
    m_top->showControllerType(app::controllerTypeLabel(type));
    for (int tag : {app::TagAlarm, app::TagCT, app::TagKCfg, app::TagKUD})
        m_modes->buttonForTag(tag)->setEnabled(!l.isNoControllerType());
    m_addressPanels->setAddressButton()->setVisible(l.isNoControllerType());
    // Its status is read wherever the controller has a keyboard/display
    // processor; it is programmed on this page only where it has its own port.
    const app::ControllerTypeInfo& traits = l.type();
    for (auto [tabs, shown] : {std::pair{m_kipUpdateTabs, traits.keyboardPort},
                               std::pair{m_kipStatusTabs, traits.keyboardProcessor}}) {
        if (!shown && tabs->currentIndex() == 1)
            tabs->setCurrentIndex(0);
        tabs->setTabVisible(1, shown);
    }
    for (const auto& action : m_typeLayoutActions)
        action();
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
    // Nothing is sent by itself once the port is back: the cycles end here
    // and wait to be ticked again.
    m_statusPages->stopCycles();
    m_diagramPage->stopCycle();
    m_densityPage->pCnvClick(false);
}

void TMForm::SetControllerType(int type) {
    if (deviceBusy() || !app::isControllerType(type))
        return;
    m_state.layout.controllerType = type;
    applyTypeLayout();
    refreshAddressBars();
}

void TMForm::LayoutEdited() {
    refreshAddressBars();
}

void TMForm::ScanForControllers(QAbstractButton* holdButton) {
    if (deviceBusy()) {
        m_top->searchButton()->setChecked(false);
        if (holdButton)
            holdButton->setChecked(false);
        return;
    }
    m_addressPanels->prepareScan(holdButton);
    PortLifecycle::Work work(m_ports);
    m_top->searchButton()->setChecked(true);
    SetMess(QString());
    // Rows of the layout before would pass for the new one's.
    m_statusPages->clearGrids();
    {
        BusyCursor cursor;
        const app::ScanResult r =
            app::ScanControllers(m_link, m_state.layout, *m_progress, m_addressPanels);
        const std::uint8_t before = m_state.selectedControllerAddress;
        if (!m_state.layout.isDirectSensorType())
            // A controller that did not answer is not kept selected.
            m_state.selectedControllerAddress =
                r.selectedController.value_or(app::kNoControllerSelected);
        // Values read from the controller selected before are not shown for another.
        if (m_state.selectedControllerAddress != before)
            ClearSensorFields();
        SetMess(r.communicationProblem ? kCommunicationProblems : app::scanSummary(r));
        applyTypeLayout();
        refreshAddressBars();
    }
    m_progress->CloseProgress();
    m_top->searchButton()->setChecked(false);
    if (holdButton)
        holdButton->setChecked(false);
    m_addressPanels->prepareScan(nullptr);
}

void TMForm::showPorts() {
    const PortLifecycle::Label& main = m_ports.label(app::MainRole);
    const PortLifecycle::Label& slave = m_ports.label(app::SlaveRole);
    m_port->setText(main.caption);
    m_port->setPortColour(main.green);
    m_port->setEnabled(m_state.portRole == app::MainRole);
    for (PortLabel* l : {m_port22, m_port21}) {
        l->setText(slave.caption);
        l->setPortColour(slave.green);
    }
}

void TMForm::showOpenError(const bus::PortOpenError& e) {
    if (e.busy)
        SetMess(QStringLiteral("ПОРТ ЗАНЯТ"));
    if (e.code != 0 || !e.message.isEmpty())
        m_errorBox(e.caption(), e.text());
}

void TMForm::ChoosePort(const QString& name) {
    if (m_ports.choose(name))
        SetMess(QString());
}

void TMForm::chooseSite() {
    if (!m_sites) {
        m_sites = new SitesDialog(
            m_options.sitesFile.isEmpty() ? sites::defaultSitesPath() : m_options.sitesFile, this);
        connect(m_sites, &SitesDialog::siteChosen, this, &TMForm::goToSite);
    }
    // The log the window records into, unless another was typed there.
    const QString log =
        m_sites->logPath().isEmpty() ? m_statusPages->logPanel()->logPath() : m_sites->logPath();
    m_sites->refresh(log);
    m_sites->open();
}

// As if the engineer had chosen the port and loaded the layout.
void TMForm::goToSite(const sites::Site& site) {
    if (deviceBusy())
        return;
    app::loadLayout(site.entries, m_state);
    applyTypeLayout();
    refreshAddressBars();
    ChoosePort(site.line);
    if (m_mess->text().isEmpty())
        SetMess(QStringLiteral("ОБЪЕКТ: ") + site.name);
}

void TMForm::TogglePort() {
    using Toggle = PortLifecycle::Toggle;
    const Toggle done = m_ports.toggle();
    if (done != Toggle::Refused)
        SetMess(done == Toggle::Closed   ? QStringLiteral("ПОРТ ОТКЛЮЧЕН")
                : done == Toggle::Opened ? QStringLiteral("ПОРТ ВКЛЮЧЕН")
                                         : QStringLiteral("ПОРТ ЗАНЯТ"));
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

void TMForm::chooseInterval() {
    m_tmr->setInterval(m_intervalForm->choosePeriod(m_tmr->interval()));
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
    saveWindowSettings();
    event->accept();
}
