#include "ui/WindowMenus.h"

#include "ui/LineMenu.h"
#include "ui/PageHost.h"
#include "ui/SnapshotMenu.h"
#include "ui/TrafficView.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

WindowMenus buildWindowMenus(QMainWindow& window, PageHost& host, const TopPanel& top,
                             QToolButton* setAddress, const WindowMenuActions& actions) {
    WindowMenus made;
    QMenuBar* bar = window.menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("Файл"));
    QAction* openDiagram =
        file->addAction(QStringLiteral("Открыть диаграмму…"), &window, actions.openDiagram);
    openDiagram->setObjectName(QStringLiteral("miOpenDgr"));
    // The firmware page's file action (Ctrl+O) lives with that page.
    if (QAction* firmwareFile = window.findChild<QAction*>(QStringLiteral("AOpenHF")))
        file->addAction(firmwareFile);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Выход"), &window, &QWidget::close);
    new SnapshotMenu(host, file, quit);
    // The traffic view listens to the line only while it is shown.
    made.traffic = new TrafficView(&window);
    window.addDockWidget(Qt::BottomDockWidgetArea, made.traffic);
    made.traffic->hide();
    TrafficView* traffic = made.traffic;
    // The link itself, not the host: the dock hides once more while the
    // window is taken down.
    bus::SerialLink& link = host.link();
    QObject::connect(traffic, &QDockWidget::visibilityChanged, &window,
                     [&link, traffic](bool shown) { link.setObserver(shown ? traffic : nullptr); });
    made.line = new LineMenu(top, setAddress, &window);
    bar->addMenu(made.line);
    QMenu* view = bar->addMenu(QStringLiteral("Вид"));
    QAction* trafficAction = traffic->toggleViewAction();
    trafficAction->setObjectName(QStringLiteral("miTraffic"));
    view->addAction(trafficAction);
    QAction* trends = view->addAction(QStringLiteral("Графики…"), &window, actions.trends);
    trends->setObjectName(QStringLiteral("miTrends"));
    QMenu* help = bar->addMenu(QStringLiteral("Справка"));
    QAction* helpAction = help->addAction(QStringLiteral("Справка"), &window, actions.help);
    helpAction->setObjectName(QStringLiteral("miHelp"));
    helpAction->setShortcut(QKeySequence::HelpContents);
    help->addAction(QStringLiteral("О программе"), &window, actions.about);
    // F10 goes to the menu, as in other programs without a mouse at hand.
    auto* toMenu = new QAction(&window);
    toMenu->setObjectName(QStringLiteral("aMenuKey"));
    toMenu->setShortcut(Qt::Key_F10);
    QObject::connect(toMenu, &QAction::triggered, &window, [bar] {
        bar->setFocus(Qt::MenuBarFocusReason);
        bar->setActiveAction(bar->actions().constFirst());
    });
    window.addAction(toMenu);
    return made;
}
