#include "ui/AddressBar.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QToolButton>

AddressBar::AddressBar(const QString& objectName, int buttons, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
    m_group = new QButtonGroup(this);
    m_group->setExclusive(false);
    // Sixteen to a row: the 32 controllers take two rows above the page
    // instead of one wider than a small screen.
    auto* rows = new QGridLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(1);
    for (int i = 0; i < buttons; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(objectName + QString::number(i));
        b->setCheckable(true);
        b->setText(QString::number(i + 1));
        b->setFixedWidth(kButtonWidth);
        b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        m_group->addButton(b, i);
        rows->addWidget(b, i / kPerRow, i % kPerRow);
        m_buttons.push_back(b);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &AddressBar::clicked);
}

void AddressBar::setButton(int i, const QString& caption, bool enabled, bool pressed) {
    m_buttons[i]->setText(caption);
    setButtonState(i, enabled, pressed);
}

void AddressBar::setButtonState(int i, bool enabled, bool pressed) {
    m_buttons[i]->setEnabled(enabled);
    m_buttons[i]->setChecked(pressed);
}
