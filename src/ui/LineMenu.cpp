#include "ui/LineMenu.h"

#include "ui/TopPanel.h"

#include <QToolButton>

LineMenu::LineMenu(const TopPanel& top, QToolButton* setAddress, QWidget* window)
    : QMenu(QStringLiteral("Линия"), window) {
    setObjectName(QStringLiteral("miLine"));
    QAction* port = addAction(QStringLiteral("Выбрать порт…"), this, &LineMenu::choosePort);
    port->setObjectName(QStringLiteral("miPort"));
    port->setShortcut(Qt::Key_F2);
    QAction* toggle =
        addAction(QStringLiteral("Включить или отключить порт"), this, &LineMenu::togglePort);
    toggle->setObjectName(QStringLiteral("miPortToggle"));
    toggle->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F2));
    // A site sets the line and the layout in one step.
    QAction* sites = addAction(QStringLiteral("Объекты…"), this, &LineMenu::chooseSite);
    sites->setObjectName(QStringLiteral("miSites"));
    sites->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
    addSeparator();
    m_readOnly = addAction(QStringLiteral("Только чтение"));
    m_readOnly->setObjectName(QStringLiteral("miReadOnly"));
    m_readOnly->setCheckable(true);
    m_readOnly->setToolTip(QStringLiteral("Читать всё, не изменяя ничего в устройствах."));
    connect(m_readOnly, &QAction::toggled, this, &LineMenu::readOnlyToggled);
    m_record = addAction(QStringLiteral("Записывать обмен…"));
    m_record->setObjectName(QStringLiteral("miRecord"));
    m_record->setCheckable(true);
    m_record->setToolTip(
        QStringLiteral("Все байты линии со временем — в файл, который можно воспроизвести."));
    connect(m_record, &QAction::toggled, this, &LineMenu::recordToggled);
    addSeparator();
    top.addToLineMenu(this);
    addSeparator();
    QAction* back =
        addAction(QStringLiteral("Предыдущие 16 адресов"), this, [this] { emit pagerStepped(-1); });
    back->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    QAction* next =
        addAction(QStringLiteral("Следующие 16 адресов"), this, [this] { emit pagerStepped(1); });
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    QAction* set =
        addAction(QStringLiteral("Установить адрес датчика"), setAddress, &QToolButton::click);
    connect(this, &QMenu::aboutToShow, this,
            [set, setAddress, window] { set->setVisible(setAddress->isVisibleTo(window)); });
}
