// The main window's pages, mode changes and address selection.
#include "ui/TMForm.h"

#include "app/AddressBars.h"
#include "app/Addressing.h"
#include "app/Modes.h"
#include "link/SensorAddress.h"
#include "ui/AddressPanels.h"
#include "ui/AlarmPage.h"
#include "ui/CalibrationPage.h"
#include "ui/ControllerConfigPage.h"
#include "ui/ControllerStatusPage.h"
#include "ui/ControllerUpdatePage.h"
#include "ui/DensityPage.h"
#include "ui/DiagramPage.h"
#include "ui/ModePanel.h"
#include "ui/PortLabel.h"
#include "ui/SensorPropertiesPage.h"
#include "ui/SensorUpdatePage.h"
#include "ui/StatusPages.h"
#include "ui/TPForm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kMainCpuTab = 0;
constexpr int kSlaveCpuTab = 1;

// The two processor tabs of the update and status pages; the slave-port
// label sits on the keyboard/display tab.
QTabWidget* cpuTabs(const QString& name, const QString& mainTab, const QString& slaveTab,
                    PortLabel* slavePort, QWidget* parent, QWidget* mainBody, QWidget* slaveBody) {
    auto* tabs = new QTabWidget(parent);
    tabs->setObjectName(name);
    auto* main = new QWidget(tabs);
    main->setObjectName(mainTab);
    (new QVBoxLayout(main))->addWidget(mainBody);
    auto* slave = new QWidget(tabs);
    slave->setObjectName(slaveTab);
    auto* column = new QVBoxLayout(slave);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(new QLabel(QStringLiteral("Порт KBD/LCD CPU:"), slave));
    slavePort->setParent(slave);
    portRow->addWidget(slavePort);
    portRow->addStretch(1);
    column->addLayout(portRow);
    column->addWidget(slaveBody, 1);
    tabs->addTab(main, QStringLiteral("MAIN CPU"));
    tabs->addTab(slave, QStringLiteral("KBD/LCD CPU"));
    return tabs;
}

} // namespace

void TMForm::jumpTo(int tag, PageRequest request) {
    ModeClicked(tag);
    // A page that could not be entered (no sensor, a busy line) gets nothing.
    if (m_state.currentMode != tag)
        return;
    if (const auto handler = m_requestHandlers.find(tag); handler != m_requestHandlers.end())
        handler->second(request);
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

QWidget* TMForm::buildPages() {
    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pcMain"));
    m_pages->setFrameShape(QFrame::StyledPanel);
    // The page of each mode; its help page is named after its tab.
    using Builder = std::function<void(QWidget * page, QVBoxLayout * column)>;
    const std::map<int, Builder> builders{
        {app::TagStat,
         [this](QWidget* page, QVBoxLayout*) { m_statusPages->buildGeneralPage(page); }},
        {app::TagPStat,
         [this](QWidget* page, QVBoxLayout*) { m_statusPages->buildExtendedPage(page); }},
        {app::TagCfg,
         [this](QWidget* page, QVBoxLayout*) { m_statusPages->buildConfigPage(page); }},
        {app::TagProp,
         [this](QWidget* page, QVBoxLayout*) {
             m_propertiesPage = new SensorPropertiesPage(*this, page);
         }},
        {app::TagDens,
         [this](QWidget* page, QVBoxLayout*) { m_densityPage = new DensityPage(*this, page); }},
        {app::TagAlarm, [this](QWidget* page, QVBoxLayout*) { new AlarmPage(*this, page); }},
        {app::TagSDgr,
         [this](QWidget* page, QVBoxLayout*) {
             m_diagramPage = new DiagramPage(*this, page, m_options.segmentTest);
         }},
        {app::TagCT, [this](QWidget* page, QVBoxLayout*) { new CalibrationPage(*this, page); }},
        {app::TagSUD, [this](QWidget* page, QVBoxLayout*) { new SensorUpdatePage(*this, page); }},
        {app::TagKCfg,
         [this](QWidget* page, QVBoxLayout*) { new ControllerConfigPage(*this, page); }},
        {app::TagKUD,
         [this](QWidget* page, QVBoxLayout* column) {
             auto* update = new ControllerUpdatePage(*this, page);
             m_kipUpdateTabs = cpuTabs(QStringLiteral("pcKipUp"), QStringLiteral("tsKipUpM"),
                                       QStringLiteral("tsKipUpS"), m_port22, page,
                                       update->body(ControllerUpdatePage::MainCpu),
                                       update->body(ControllerUpdatePage::KeyboardCpu));
             update->setTabs(m_kipUpdateTabs);
             column->addWidget(m_kipUpdateTabs, 1);
         }},
        {app::TagKStat,
         [this](QWidget* page, QVBoxLayout* column) {
             auto* status = new ControllerStatusPage(*this, page);
             m_kipStatusTabs = cpuTabs(QStringLiteral("pcSrvStat"), QStringLiteral("tsMCPU_S"),
                                       QStringLiteral("tsKLCPU_S"), m_port21, page,
                                       status->mainBody(), status->keyboardBody());
             column->addWidget(m_kipStatusTabs, 1);
         }},
    };
    // Pages sit at their index; the Tag's low six bits give it.
    for (int index = 0; index < static_cast<int>(app::kModes.size()); ++index) {
        const auto mode =
            std::find_if(app::kModes.begin(), app::kModes.end(),
                         [index](const app::Mode& m) { return app::pageOfTag(m.tag) == index; });
        auto* page = new QWidget(m_pages);
        page->setObjectName(QLatin1String(mode->page));
        page->setProperty("Tag", mode->tag);
        auto* column = new QVBoxLayout(page);
        auto* caption = new QLabel(QString::fromUtf8(mode->pageCaption), page);
        QFont f = caption->font();
        f.setBold(true);
        f.setPointSize(f.pointSize() + 2);
        caption->setFont(f);
        column->addWidget(caption);
        builders.at(mode->tag)(page, column);
        m_pages->addWidget(page);
    }
    // Only the page shown asks for room: a wide page elsewhere must not widen
    // the window (a stack asks for its largest page).
    const auto sizeToCurrent = [this](int current) {
        for (int i = 0; i < m_pages->count(); ++i)
            m_pages->widget(i)->setSizePolicy(
                i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    };
    sizeToCurrent(m_pages->currentIndex());
    connect(m_pages, &QStackedWidget::currentChanged, this, sizeToCurrent);
    for (QTabWidget* tabs : {m_kipUpdateTabs, m_kipStatusTabs})
        connect(tabs, &QTabWidget::currentChanged, this, [this, tabs](int tab) {
            if (m_pages->currentWidget()->isAncestorOf(tabs))
                m_ports.setRole(tab == kSlaveCpuTab ? app::SlaveRole : app::MainRole);
        });
    return m_pages;
}

void TMForm::ClearSensorFields() {
    for (const auto& clear : m_clearSensorFields)
        clear();
}

bool TMForm::isSlaveTabActive(int tag) const {
    if (tag == app::TagKUD)
        return m_kipUpdateTabs->currentIndex() == kSlaveCpuTab;
    if (tag == app::TagKStat)
        return m_kipStatusTabs->currentIndex() == kSlaveCpuTab;
    return false;
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
        m_propertiesPage->showAllTabs();
        m_pages->setCurrentIndex(app::pageOfTag(tag));
        if (oldTag == app::TagAlarm)
            m_state.pageOffset = 0;
        refreshAddressBars();
        // Leaving a controller page for one that shares neither kind of page.
        if (app::isControllerTag(oldTag) && ((tag & oldTag) & 0xC0) == 0)
            selectControllerOfSensor();
        enterPage(tag);
    }
    // A page's own reading on entry runs as any of its actions does.
    runEnterActions(tag);
}

void TMForm::leavePage(int oldTag, int newTag) {
    m_statusPages->leavePage(oldTag);
    const auto [from, to] = m_leaveActions.equal_range(oldTag);
    for (auto it = from; it != to; ++it)
        it->second();
    m_transit.leavePage(oldTag, newTag);
    if (isSlaveTabActive(oldTag))
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
    } else if (isSlaveTabActive(tag)) {
        m_ports.setRole(app::SlaveRole);
    }
}

void TMForm::runEnterActions(int tag) {
    const auto [from, to] = m_enterActions.equal_range(tag);
    for (auto it = from; it != to; ++it)
        it->second();
}

void TMForm::selectControllerOfSensor() {
    if (const auto i = app::controllerOfSelectedSensor(m_state))
        selectController(*i);
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
