#include "ui/TIForm.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

TIForm::TIForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TIForm"));
    setWindowTitle(QStringLiteral("Интервал опросов"));
    m_track = new QSlider(Qt::Horizontal, this);
    m_track->setObjectName(QStringLiteral("tbMInt"));
    m_track->setRange(10, 150);
    m_track->setSingleStep(5);
    m_track->setPageStep(5);
    m_track->setTickInterval(5);
    m_track->setTickPosition(QSlider::TicksBelow);
    m_track->setMinimumWidth(320);
    m_value = new QLabel(this);
    m_value->setObjectName(QStringLiteral("stMInt"));
    m_value->setMinimumWidth(40);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* unit = new QLabel(QStringLiteral("Сек"), this);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("ЗАКРЫТЬ"), this);
    cancel->setObjectName(QStringLiteral("btClose"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(m_track, 1);
    row->addWidget(m_value);
    row->addWidget(unit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    connect(m_track, &QSlider::valueChanged, this, &TIForm::showPosition);
    setPeriod(10000);
}

void TIForm::showPosition(int position) {
    m_value->setText(QLocale().toString(position * 0.1, 'g', 4));
}

void TIForm::setPeriod(int periodMs) {
    m_track->setValue(periodMs / 100);
    showPosition(m_track->value());
}

int TIForm::period() const {
    return m_track->value() * 100;
}

int TIForm::choosePeriod(int periodMs) {
    setPeriod(periodMs);
    return exec() == QDialog::Accepted ? period() : periodMs;
}
