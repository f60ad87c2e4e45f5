#include "ui/AddressBar.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

AddressBar::AddressBar(const QString& objectName, int buttons, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
    m_group = new QButtonGroup(this);
    m_group->setExclusive(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    for (int i = 0; i < buttons; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(objectName + QString::number(i));
        b->setCheckable(true);
        b->setText(QString::number(i + 1));
        b->setFixedWidth(buttons > 16 ? 30 : 38);
        b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        m_group->addButton(b, i);
        row->addWidget(b);
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
