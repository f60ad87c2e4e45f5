#include "ui/FirmwarePageParts.h"

#include "ui/PageHost.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* field(const QString& name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(260);
    l->setStyleSheet(QStringLiteral("background-color: #FFFFE1;"));
    return l;
}

} // namespace

FirmwareFields buildFirmwareFields(QWidget* body, QVBoxLayout* column,
                                   const std::function<QString(const char*)>& named) {
    FirmwareFields p;
    auto* grid = new QGridLayout;
    p.file = field(named("stHFile"), body);
    p.newVersion = field(named("stNVer"), body);
    p.newDate = field(named("stNDate"), body);
    p.deviceVersion = field(named("stOVer"), body);
    p.deviceDate = field(named("stODate"), body);
    grid->addWidget(new QLabel(QStringLiteral("Файл (Ctrl+O):"), body), 0, 0);
    grid->addWidget(p.file, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Версия"), body), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Дата"), body), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Новая:"), body), 2, 0);
    grid->addWidget(p.newVersion, 2, 1);
    grid->addWidget(p.newDate, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("В устройстве:"), body), 3, 0);
    grid->addWidget(p.deviceVersion, 3, 1);
    grid->addWidget(p.deviceDate, 3, 2);
    column->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    p.link = new QPushButton(QStringLiteral("LINK"), body);
    p.link->setObjectName(named("btLink"));
    p.free = new QPushButton(QStringLiteral("FREE"), body);
    p.free->setObjectName(named("btFree"));
    p.prog = new QPushButton(QStringLiteral("PROG"), body);
    p.prog->setObjectName(named("btProg"));
    p.link->setEnabled(false);
    p.prog->setEnabled(false);
    for (QPushButton* b : {p.link, p.free, p.prog})
        buttons->addWidget(b);
    buttons->addStretch(1);
    column->addLayout(buttons);
    return p;
}

QAction* firmwareFileAction(PageHost& host, int tag) {
    QAction* open = host.sharedAction(QStringLiteral("AOpenHF"),
                                      QStringLiteral("Открыть файл прошивки…"),
                                      QStringLiteral("Ctrl+O"));
    open->setEnabled(false);
    host.addEnterAction(tag, [open] { open->setEnabled(true); });
    host.addLeaveAction(tag, [open] { open->setEnabled(false); });
    return open;
}
