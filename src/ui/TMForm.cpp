#include "ui/TMForm.h"
#include "ui/SnapshotMenu.h"

#include "app/AddressBars.h"
#include "app/LayoutConfig.h"
#include "app/Modes.h"
#include "sim/SimulatedLine.h"
#include "ui/AddressBar.h"
#include "ui/DensityPage.h"
#include "ui/DiagramPage.h"
#include "ui/Help.h"
#include "ui/InputFilters.h"
#include "ui/Language.h"
#include "ui/ModePanel.h"
#include "ui/PortLabel.h"
#include "ui/StatusPages.h"
#include "ui/TAboutBox.h"
#include "ui/TCVForm.h"
#include "ui/TIForm.h"
#include "ui/TPForm.h"
#include "ui/TrafficView.h"
#include "ui/WindowSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
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
QToolButton* toolButton(const QString& name, const QString& text, const QString& hint,
                        bool checkable, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(hint);
    b->setCheckable(checkable);
    b->setMinimumWidth(84);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

// Restores the cursor on every way out of a device operation.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TMForm::TMForm(const StartOptions& options, app::ConfigFile config, bus::PortOpener simulation)
    : m_options(options), m_config(std::move(config)), m_simulated(static_cast<bool>(simulation)),
      m_ports(m_link, m_state, m_config, std::move(simulation)),
      m_transit(m_link, m_state, [this](bool on) {
          if (m_trans)
              m_trans->setChecked(on);
      }) {
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
    m_statusPages = new StatusPages(*this, *m_tmr, m_options.controllerStatus);
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
}

TMForm::~TMForm() = default;

void TMForm::buildWindow() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(6);
    layout->addWidget(buildTopPanel());

    auto* body = new QHBoxLayout;
    body->setSpacing(6);
    m_modes = new ModePanel(central);
    connect(m_modes, &ModePanel::modeClicked, this, &TMForm::ModeClicked);
    body->addWidget(m_modes);
    // The address bars sit over the page, not over the mode buttons, so
    // that the buttons stay put when a bar comes and goes.
    auto* pageColumn = new QVBoxLayout;
    pageColumn->setSpacing(4);
    pageColumn->addWidget(buildAddressPanels());
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

QWidget* TMForm::buildTopPanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("pTop"));
    panel->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 4, 6, 4);

    row->addWidget(new QLabel(QStringLiteral("Порт:"), panel));
    m_port = new PortLabel(QStringLiteral("Port"), panel);
    row->addWidget(m_port);
    // The slave-port labels live on the keyboard/display processor's tabs.
    m_port22 = new PortLabel(QStringLiteral("Port22"), this);
    m_port21 = new PortLabel(QStringLiteral("Port21"), this);
    m_portMenu = new QMenu(this);
    m_portMenu->setObjectName(QStringLiteral("pmPort"));
    for (PortLabel* l : {m_port, m_port22, m_port21}) {
        connect(l, &PortLabel::toggleRequested, this, &TMForm::TogglePort);
        connect(l, &PortLabel::menuRequested, this, [this](const QPoint& at) {
            fillPortMenu();
            m_portMenu->popup(at);
        });
    }
    row->addSpacing(12);

    m_trans = toolButton(QStringLiteral("sbTrans"), QStringLiteral("ТРАНЗИТ"),
                         QStringLiteral("Транзитный режим КИПа."), true, panel);
    m_norm = toolButton(QStringLiteral("btNorm"), QStringLiteral("НОРМ."),
                        QStringLiteral("Сброс транзита."), false, panel);
    connect(m_trans, &QToolButton::clicked, this, &TMForm::transitToggled);
    connect(m_norm, &QToolButton::clicked, this, &TMForm::resetTransit);
    row->addWidget(m_trans);
    row->addWidget(m_norm);
    row->addSpacing(12);

    m_search = toolButton(QStringLiteral("sbKipSrch"), QStringLiteral("ПОИСК"),
                          QStringLiteral("Поиск КИП на линии."), true, panel);
    connect(m_search, &QToolButton::clicked, this, [this] { ScanForControllers(); });
    row->addWidget(m_search);
    m_interval = toolButton(QStringLiteral("tbInterval"), QStringLiteral("Интервал"),
                            QStringLiteral("Интервал циклического опроса."), false, panel);
    connect(m_interval, &QToolButton::clicked, this, &TMForm::chooseInterval);
    row->addWidget(m_interval);
    auto* configuration = toolButton(QStringLiteral("tbCfg"), QStringLiteral("Конфигурация"),
                                     QStringLiteral("Конфигурация системы."), false, panel);
    connect(configuration, &QToolButton::clicked, this, [this] {
        if (!deviceBusy())
            m_cvForm->exec();
    });
    row->addWidget(configuration);
    m_toolRow = row;
    m_toolAt = row->indexOf(configuration) + 1;
    row->addSpacing(12);

    m_kipLabel = new QLabel(panel);
    m_kipLabel->setObjectName(QStringLiteral("KipLabel"));
    QFont f = m_kipLabel->font();
    f.setBold(true);
    m_kipLabel->setFont(f);
    row->addWidget(m_kipLabel);
    row->addStretch(1);
    return panel;
}

QWidget* TMForm::buildAddressPanels() {
    auto* holder = new QWidget(this);
    auto* column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    m_kipPanel = new QFrame(holder);
    m_kipPanel->setObjectName(QStringLiteral("pKAdr"));
    auto* kipRow = new QHBoxLayout(m_kipPanel);
    kipRow->setContentsMargins(0, 0, 0, 0);
    auto* kipCaption = new QLabel(QStringLiteral("КИП №"), m_kipPanel);
    kipCaption->setMinimumWidth(72);
    kipRow->addWidget(kipCaption);
    m_kipBar = new AddressBar(QStringLiteral("KipAdrBar"), app::kControllerSlots, m_kipPanel);
    kipRow->addWidget(m_kipBar);
    kipRow->addStretch(1);
    column->addWidget(m_kipPanel);

    m_sensorPanel = new QFrame(holder);
    m_sensorPanel->setObjectName(QStringLiteral("pSAdr"));
    // "УСТАНОВИТЬ" (no-controller type only) goes under the caption: beside
    // the bar it would not fit a small screen.
    auto* sensorGrid = new QGridLayout(m_sensorPanel);
    sensorGrid->setContentsMargins(0, 0, 0, 0);
    sensorGrid->setVerticalSpacing(2);
    auto* sensorRow = new QHBoxLayout;
    sensorGrid->addLayout(sensorRow, 0, 1, Qt::AlignLeft);
    auto* sensorCaption = new QLabel(QStringLiteral("ДАТЧИК №"), m_sensorPanel);
    sensorCaption->setMinimumWidth(72);
    sensorGrid->addWidget(sensorCaption, 0, 0);
    m_sensorBar = new AddressBar(QStringLiteral("SnsAdrBar"), app::kSensorButtons, m_sensorPanel);
    sensorRow->addWidget(m_sensorBar);
    m_pager = new QWidget(m_sensorPanel);
    m_pager->setObjectName(QStringLiteral("udAdrShift"));
    auto* pagerRow = new QHBoxLayout(m_pager);
    pagerRow->setContentsMargins(4, 0, 0, 0);
    pagerRow->setSpacing(1);
    for (int delta : {-1, 1}) {
        auto* b = new QToolButton(m_pager);
        b->setObjectName(delta < 0 ? QStringLiteral("udAdrShiftDown")
                                   : QStringLiteral("udAdrShiftUp"));
        b->setArrowType(delta < 0 ? Qt::LeftArrow : Qt::RightArrow);
        b->setToolTip(delta < 0 ? QStringLiteral("Предыдущие 16 адресов")
                                : QStringLiteral("Следующие 16 адресов"));
        connect(b, &QToolButton::clicked, this, [this, delta] { StepPager(delta); });
        pagerRow->addWidget(b);
    }
    sensorRow->addWidget(m_pager);
    m_setSensorAddress =
        toolButton(QStringLiteral("sbSetSensAddr"), QStringLiteral("УСТАНОВИТЬ"),
                   QStringLiteral("Установить адрес датчика"), true, m_sensorPanel);
    connect(m_setSensorAddress, &QToolButton::clicked, this, &TMForm::SetSensorAddressClicked);
    sensorGrid->addWidget(m_setSensorAddress, 1, 0, Qt::AlignLeft);
    sensorGrid->setColumnStretch(2, 1);
    connect(m_sensorBar, &AddressBar::clicked, this, &TMForm::SensorButtonClicked);
    connect(m_kipBar, &AddressBar::clicked, this, &TMForm::ControllerButtonClicked);
    column->addWidget(m_sensorPanel);
    return holder;
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
    buildLineMenu();
    QMenu* view = menuBar()->addMenu(QStringLiteral("Вид"));
    QAction* traffic = m_traffic->toggleViewAction();
    traffic->setObjectName(QStringLiteral("miTraffic"));
    view->addAction(traffic);
    QAction* trends = view->addAction(QStringLiteral("Графики…"), m_statusPages,
                                      &StatusPages::openTrends);
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

void TMForm::buildLineMenu() {
    // Everything the top row and the address bars offer, for the keyboard.
    QMenu* line = menuBar()->addMenu(QStringLiteral("Линия"));
    line->setObjectName(QStringLiteral("miLine"));
    QAction* port = line->addAction(QStringLiteral("Выбрать порт…"), this, [this] {
        fillPortMenu();
        PortLabel* label = m_state.portRole == app::SlaveRole ? m_port22 : m_port;
        m_portMenu->popup(label->mapToGlobal(QPoint(0, label->height())));
    });
    port->setObjectName(QStringLiteral("miPort"));
    port->setShortcut(Qt::Key_F2);
    QAction* toggle =
        line->addAction(QStringLiteral("Включить или отключить порт"), this, &TMForm::TogglePort);
    toggle->setObjectName(QStringLiteral("miPortToggle"));
    toggle->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F2));
    line->addSeparator();
    const std::map<QString, QKeySequence> keys{
        {QStringLiteral("sbTrans"), QKeySequence(Qt::Key_F6)},
        {QStringLiteral("btNorm"), QKeySequence(Qt::SHIFT | Qt::Key_F6)},
        {QStringLiteral("sbKipSrch"), QKeySequence(Qt::Key_F5)},
        {QStringLiteral("tbInterval"), QKeySequence(Qt::Key_F7)},
        {QStringLiteral("tbCfg"), QKeySequence(Qt::Key_F8)},
    };
    for (int i = 0; i < m_toolRow->count(); ++i) {
        auto* b = qobject_cast<QToolButton*>(m_toolRow->itemAt(i)->widget());
        if (!b)
            continue;
        if (b->menu()) {
            line->addMenu(b->menu())->setText(b->text());
            continue;
        }
        QAction* a = line->addAction(b->toolTip(), b, &QToolButton::click);
        a->setObjectName(QStringLiteral("mi_") + b->objectName());
        a->setShortcut(keys.count(b->objectName()) ? keys.at(b->objectName()) : QKeySequence());
    }
    line->addSeparator();
    QAction* back =
        line->addAction(QStringLiteral("Предыдущие 16 адресов"), this, [this] { StepPager(-1); });
    back->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    QAction* next =
        line->addAction(QStringLiteral("Следующие 16 адресов"), this, [this] { StepPager(1); });
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    QAction* setAddress = line->addAction(QStringLiteral("Установить адрес датчика"),
                                          m_setSensorAddress, &QToolButton::click);
    connect(line, &QMenu::aboutToShow, this,
            [this, setAddress] { setAddress->setVisible(m_setSensorAddress->isVisibleTo(this)); });
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

// Configuration --------------------------------------------------------------

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
    m_kipLabel->setText(app::controllerTypeLabel(type));
    for (int tag : {app::TagAlarm, app::TagCT, app::TagKCfg, app::TagKUD})
        m_modes->buttonForTag(tag)->setEnabled(!l.isNoControllerType());
    m_setSensorAddress->setVisible(l.isNoControllerType());
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
    const app::AddressBarsView v = app::RefreshAddressBars(m_state);
    if (v.controllers)
        for (int i = 0; i < app::kControllerSlots; ++i)
            m_kipBar->setButtonState(i, v.controllers->enabled[i], v.controllers->pressed[i]);
    m_kipPanel->setVisible(v.controllerBarVisible);
    for (int i = 0; i < app::kSensorButtons; ++i)
        m_sensorBar->setButton(i, v.sensorCaptions[i], v.sensorEnabled[i], v.sensorPressed[i]);
    m_sensorPanel->setVisible(v.sensorBarVisible);
}

void TMForm::portLost() {
    SetMess(kCommunicationProblems);
    // Nothing is sent by itself once the port is back: the cycles end here
    // and wait to be ticked again.
    m_statusPages->stopCycles();
    m_diagramPage->stopCycle();
    m_densityPage->pCnvClick(false);
}

// Scan ------------------------------------------------------------------------

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

bool TMForm::keepScanning() {
    return !m_scanHold || m_scanHold->isChecked();
}

void TMForm::ScanForControllers(QAbstractButton* holdButton) {
    if (deviceBusy()) {
        m_search->setChecked(false);
        if (holdButton)
            holdButton->setChecked(false);
        return;
    }
    m_scanHold = holdButton;
    PortLifecycle::Work work(m_ports);
    m_search->setChecked(true);
    SetMess(QString());
    // Rows of the layout before would pass for the new one's.
    m_statusPages->clearGrids();
    {
        BusyCursor cursor;
        m_scanFoundFirst = false;
        const app::ScanResult r = app::ScanControllers(m_link, m_state.layout, *m_progress, this);
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
    m_search->setChecked(false);
    if (m_scanHold)
        m_scanHold->setChecked(false);
    m_scanHold = nullptr;
}

void TMForm::scanStarted(int n) {
    for (int i = 0; i < n; ++i)
        m_kipBar->setButtonState(i, false, false);
}

void TMForm::controllerFound(int index) {
    m_kipBar->setButtonState(index, true, !m_scanFoundFirst);
    m_scanFoundFirst = true;
}

// Ports -----------------------------------------------------------------------

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

void TMForm::TogglePort() {
    switch (m_ports.toggle()) {
    case PortLifecycle::Toggle::Refused:
        break;
    case PortLifecycle::Toggle::Closed:
        SetMess(QStringLiteral("ПОРТ ОТКЛЮЧЕН"));
        break;
    case PortLifecycle::Toggle::NotOpened:
        SetMess(QStringLiteral("ПОРТ ЗАНЯТ"));
        break;
    case PortLifecycle::Toggle::Opened:
        SetMess(QStringLiteral("ПОРТ ВКЛЮЧЕН"));
        break;
    }
}

void TMForm::fillPortMenu() {
    m_portMenu->clear();
    const std::vector<PortLifecycle::Choice> choices = m_ports.choices();
    const auto add = [this](const PortLifecycle::Choice& c) {
        const QString text = c.detail.isEmpty() ? c.name : c.name + QStringLiteral("  —  ") + c.detail;
        QAction* a = m_portMenu->addAction(text, this, [this, name = c.name] { ChoosePort(name); });
        a->setData(c.name);
        a->setCheckable(c.current);
        a->setChecked(c.current);
    };
    const auto remote = [](const PortLifecycle::Choice& c) { return c.remote; };
    const auto firstRemote = std::find_if(choices.begin(), choices.end(), remote);
    std::for_each(choices.begin(), firstRemote, add);
    if (firstRemote == choices.begin())
        m_portMenu->addAction(QStringLiteral("(нет портов)"))->setEnabled(false);
    // Lines on the network that opened before, the latest first.
    if (firstRemote != choices.end())
        m_portMenu->addSection(QStringLiteral("Удалённые линии"));
    std::for_each(firstRemote, choices.end(), add);
    m_portMenu->addSeparator();
    // A pseudo-terminal, a symlink, any device the list does not show, or a
    // line on the network.
    QAction* other = m_portMenu->addAction(QStringLiteral("Другой порт…"), this, [this] {
        bool ok = false;
        const QString path =
            QInputDialog::getText(
                this, QStringLiteral("Порт"),
                QStringLiteral("Путь к порту или tcp://узел:порт, rfc2217://узел:порт:"),
                QLineEdit::Normal, QStringLiteral("/dev/"), &ok)
                .trimmed();
        if (ok && !path.isEmpty())
            ChoosePort(path);
    });
    other->setObjectName(QStringLiteral("miOtherPort"));
}

// Transit -------------------------------------------------------------------

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

void TMForm::resetTransit() {
    if (deviceBusy())
        return;
    PortLifecycle::Work work(m_ports);
    m_transit.leave();
}

// Dialogs, help and close -----------------------------------------------------

void TMForm::btGetClick(int tag) {
    const auto action = m_getActions.find(tag);
    if (action == m_getActions.end() || deviceBusy())
        return;
    SetMess(QString());
    runDeviceAction(action->second);
}

void TMForm::btSetClick(int tag) {
    const auto action = m_setActions.find(tag);
    if (action == m_setActions.end() || deviceBusy())
        return;
    runDeviceAction(action->second);
}

void TMForm::runAction(const std::function<bool()>& action) {
    if (deviceBusy())
        return;
    SetMess(QString());
    runDeviceAction(action);
}

void TMForm::runTimedAction(const std::function<bool()>& action) {
    if (deviceBusy())
        return;
    runDeviceAction(action);
}

void TMForm::runDeviceAction(const std::function<bool()>& action) {
    PortLifecycle::Work work(m_ports);
    {
        BusyCursor cursor;
        bool ok = false;
        try {
            ok = action();
        } catch (const std::exception&) {
            ok = false;
        }
        if (!ok)
            SetMess(kCommunicationProblems);
    }
    m_progress->CloseProgress();
}

void TMForm::addToolButton(QToolButton* button) {
    button->setParent(m_toolRow->parentWidget());
    m_toolRow->insertWidget(m_toolAt++, button);
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
