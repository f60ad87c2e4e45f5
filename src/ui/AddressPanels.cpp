#include "ui/AddressPanels.h"

#include "app/Addressing.h"
#include "ui/AddressBar.h"
#include "ui/PageWidgets.h"

#include <QAbstractButton>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

AddressPanels::AddressPanels(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    m_kipPanel = new QFrame(this);
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

    m_sensorPanel = new QFrame(this);
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
    auto* pager = new QWidget(m_sensorPanel);
    pager->setObjectName(QStringLiteral("udAdrShift"));
    auto* pagerRow = new QHBoxLayout(pager);
    pagerRow->setContentsMargins(4, 0, 0, 0);
    pagerRow->setSpacing(1);
    for (int delta : {-1, 1}) {
        auto* b = new QToolButton(pager);
        b->setObjectName(delta < 0 ? QStringLiteral("udAdrShiftDown")
                                   : QStringLiteral("udAdrShiftUp"));
        b->setArrowType(delta < 0 ? Qt::LeftArrow : Qt::RightArrow);
        b->setToolTip(delta < 0 ? QStringLiteral("Предыдущие 16 адресов")
                                : QStringLiteral("Следующие 16 адресов"));
        connect(b, &QToolButton::clicked, this, [this, delta] { emit pagerStepped(delta); });
        pagerRow->addWidget(b);
    }
    sensorRow->addWidget(pager);
    m_setSensorAddress =
        toolButton(QStringLiteral("sbSetSensAddr"), QStringLiteral("УСТАНОВИТЬ"),
                   QStringLiteral("Установить адрес датчика"), true, m_sensorPanel);
    connect(m_setSensorAddress, &QToolButton::clicked, this, &AddressPanels::setAddressClicked);
    sensorGrid->addWidget(m_setSensorAddress, 1, 0, Qt::AlignLeft);
    sensorGrid->setColumnStretch(2, 1);
    connect(m_sensorBar, &AddressBar::clicked, this, &AddressPanels::sensorClicked);
    connect(m_kipBar, &AddressBar::clicked, this, &AddressPanels::controllerClicked);
    column->addWidget(m_sensorPanel);
}

void AddressPanels::showBars(const app::AddressBarsView& v) {
    if (v.controllers)
        for (int i = 0; i < app::kControllerSlots; ++i)
            m_kipBar->setButtonState(i, v.controllers->enabled[i], v.controllers->pressed[i]);
    m_kipPanel->setVisible(v.controllerBarVisible);
    for (int i = 0; i < app::kSensorButtons; ++i)
        m_sensorBar->setButton(i, v.sensorCaptions[i], v.sensorEnabled[i], v.sensorPressed[i]);
    m_sensorPanel->setVisible(v.sensorBarVisible);
}

void AddressPanels::scanStarted(int n) {
    for (int i = 0; i < n; ++i)
        m_kipBar->setButtonState(i, false, false);
}

void AddressPanels::controllerFound(int index) {
    m_kipBar->setButtonState(index, true, !m_scanFoundFirst);
    m_scanFoundFirst = true;
}

bool AddressPanels::keepScanning() {
    return !m_scanHold || m_scanHold->isChecked();
}
