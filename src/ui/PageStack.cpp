#include "ui/PageStack.h"

#include "app/ControllerTypes.h"
#include "app/Modes.h"
#include "ui/AlarmPage.h"
#include "ui/CalibrationPage.h"
#include "ui/ControllerConfigPage.h"
#include "ui/ControllerStatusPage.h"
#include "ui/ControllerUpdatePage.h"
#include "ui/DensityPage.h"
#include "ui/DiagramPage.h"
#include "ui/PageHost.h"
#include "ui/PortLabel.h"
#include "ui/SensorPropertiesPage.h"
#include "ui/SensorUpdatePage.h"
#include "ui/StatusPages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <map>

namespace {

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

PageStack::PageStack(PageHost& host, StatusPages& status, PortLabel* updatePort,
                     PortLabel* statusPort, bool segmentTest, QWidget* parent)
    : QStackedWidget(parent) {
    setObjectName(QStringLiteral("pcMain"));
    setFrameShape(QFrame::StyledPanel);
    // The page of each mode; its help page is named after its tab.
    using Builder = std::function<void(QWidget * page, QVBoxLayout * column)>;
    const std::map<int, Builder> builders{
        {app::TagStat, [&](QWidget* page, QVBoxLayout*) { status.buildGeneralPage(page); }},
        {app::TagPStat, [&](QWidget* page, QVBoxLayout*) { status.buildExtendedPage(page); }},
        {app::TagCfg, [&](QWidget* page, QVBoxLayout*) { status.buildConfigPage(page); }},
        {app::TagProp,
         [&](QWidget* page, QVBoxLayout*) {
             auto* properties = new SensorPropertiesPage(host, page);
             // A jump may have left one tab shown.
             host.addLeaveAction(app::TagProp, [properties] { properties->showAllTabs(); });
         }},
        {app::TagDens,
         [&](QWidget* page, QVBoxLayout*) {
             auto* density = new DensityPage(host, page);
             // Its conversion cycle ends with the port, as the others' do.
             host.addPortLostAction([density] { density->pCnvClick(false); });
         }},
        {app::TagAlarm, [&](QWidget* page, QVBoxLayout*) { new AlarmPage(host, page); }},
        {app::TagSDgr, [&](QWidget* page,
                           QVBoxLayout*) { m_diagram = new DiagramPage(host, page, segmentTest); }},
        {app::TagCT, [&](QWidget* page, QVBoxLayout*) { new CalibrationPage(host, page); }},
        {app::TagSUD, [&](QWidget* page, QVBoxLayout*) { new SensorUpdatePage(host, page); }},
        {app::TagKCfg, [&](QWidget* page, QVBoxLayout*) { new ControllerConfigPage(host, page); }},
        {app::TagKUD,
         [&](QWidget* page, QVBoxLayout* column) {
             auto* update = new ControllerUpdatePage(host, page);
             m_updateTabs = cpuTabs(QStringLiteral("pcKipUp"), QStringLiteral("tsKipUpM"),
                                    QStringLiteral("tsKipUpS"), updatePort, page,
                                    update->body(ControllerUpdatePage::MainCpu),
                                    update->body(ControllerUpdatePage::KeyboardCpu));
             update->setTabs(m_updateTabs);
             column->addWidget(m_updateTabs, 1);
         }},
        {app::TagKStat,
         [&](QWidget* page, QVBoxLayout* column) {
             auto* controllerStatus = new ControllerStatusPage(host, page);
             m_statusTabs = cpuTabs(QStringLiteral("pcSrvStat"), QStringLiteral("tsMCPU_S"),
                                    QStringLiteral("tsKLCPU_S"), statusPort, page,
                                    controllerStatus->mainBody(), controllerStatus->keyboardBody());
             column->addWidget(m_statusTabs, 1);
         }},
    };
    // Pages sit at their index; the Tag's low six bits give it.
    for (int index = 0; index < static_cast<int>(app::kModes.size()); ++index) {
        const auto mode =
            std::find_if(app::kModes.begin(), app::kModes.end(),
                         [index](const app::Mode& m) { return app::pageOfTag(m.tag) == index; });
        auto* page = new QWidget(this);
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
        addWidget(page);
    }
    // Only the page shown asks for room: a wide page elsewhere must not widen
    // the window (a stack asks for its largest page).
    const auto sizeToCurrent = [this](int current) {
        for (int i = 0; i < count(); ++i)
            widget(i)->setSizePolicy(i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                     i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    };
    sizeToCurrent(currentIndex());
    connect(this, &QStackedWidget::currentChanged, this, sizeToCurrent);
    for (QTabWidget* tabs : {m_updateTabs, m_statusTabs})
        connect(tabs, &QTabWidget::currentChanged, this, [this, tabs](int tab) {
            if (currentWidget()->isAncestorOf(tabs))
                emit processorTabChanged(tab == kSlaveCpuTab);
        });
}

void PageStack::openDiagramFile() {
    m_diagram->OpenDiagramFile();
}

void PageStack::showMode(int tag) {
    setCurrentIndex(app::pageOfTag(tag));
}

bool PageStack::slaveTabActive(int tag) const {
    if (tag == app::TagKUD)
        return m_updateTabs->currentIndex() == kSlaveCpuTab;
    if (tag == app::TagKStat)
        return m_statusTabs->currentIndex() == kSlaveCpuTab;
    return false;
}

void PageStack::applyType(const app::ControllerTypeInfo& type) {
    // Its status is read wherever the controller has a keyboard/display
    // processor; it is programmed on this page only where it has its own port.
    for (auto [tabs, shown] : {std::pair{m_updateTabs, type.keyboardPort},
                               std::pair{m_statusTabs, type.keyboardProcessor}}) {
        if (!shown && tabs->currentIndex() == kSlaveCpuTab)
            tabs->setCurrentIndex(0);
        tabs->setTabVisible(kSlaveCpuTab, shown);
    }
}
