#include "ui/TDBase.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QStringList lines(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

TDBase::TDBase(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TDBase"));
    setWindowTitle(QStringLiteral("БАЗА ДАННЫХ"));
    auto* question =
        new QLabel(QStringLiteral("ПРИМЕНИТЬ \nПАРАМЕТРЫ,\nНАЙДЕННЫЕ В \nБАЗЕ ?"), this);
    question->setAlignment(Qt::AlignCenter);
    m_heights = new QListWidget(this);
    m_heights->setObjectName(QStringLiteral("mHT"));
    m_ids = new QListWidget(this);
    m_ids->setObjectName(QStringLiteral("mTID"));
    m_heights->setFixedWidth(80);
    m_ids->setMinimumWidth(180);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("ВЫСОТА"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("ИДЕНТИФИКАТОР"), this), 0, 1);
    grid->addWidget(m_heights, 1, 0);
    grid->addWidget(m_ids, 1, 1);
    auto* apply = new QPushButton(QStringLiteral("ПРИМЕНИТЬ"), this);
    apply->setObjectName(QStringLiteral("btApply"));
    auto* close = new QPushButton(QStringLiteral("ЗАКРЫТЬ"), this);
    close->setObjectName(QStringLiteral("btClose"));
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(question);
    column->addLayout(grid);
    column->addLayout(buttons);
}

void TDBase::fill(const QStringList& ids, const QStringList& heights) {
    m_ids->clear();
    m_heights->clear();
    for (int i = 0; i < ids.size(); ++i) {
        m_ids->insertItem(0, ids[i]);
        m_heights->insertItem(0, heights.value(i));
    }
}

QStringList TDBase::identifierLines() const {
    return lines(m_ids);
}

QStringList TDBase::heightLines() const {
    return lines(m_heights);
}
