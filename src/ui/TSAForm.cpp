#include "ui/TSAForm.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

TSAForm::TSAForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TSAForm"));
    setWindowTitle(QStringLiteral("ДАТЧИК"));
    auto* text = new QLabel(QStringLiteral("ВВЕДИТЕ АДРЕС ДАТЧИКА"), this);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("reAdr"));
    // Only digits can be typed.
    m_address->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    m_address->installEventFilter(this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("ЗАКРЫТЬ"), this);
    cancel->setObjectName(QStringLiteral("btClose"));
    connect(ok, &QPushButton::clicked, this, [this] {
        if (enteredNumber())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_address);
    layout->addLayout(buttons);
}

void TSAForm::prepare(int sensorAddress) {
    m_address->setText(QString::number(sensorAddress + 1));
    findChild<QPushButton*>(QStringLiteral("btOK"))->setFocus();
}

std::optional<int> TSAForm::enteredNumber() const {
    bool ok = false;
    const int n = m_address->text().trimmed().toInt(&ok);
    if (!ok || n < 0)
        return std::nullopt;
    return n;
}

std::optional<int> TSAForm::askSensorAddress(int sensorAddress) {
    prepare(sensorAddress);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return *enteredNumber() - 1;
}

bool TSAForm::eventFilter(QObject* watched, QEvent* event) {
    // Entering the field selects its text.
    if (watched == m_address && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, m_address, &QLineEdit::selectAll);
    return QDialog::eventFilter(watched, event);
}
