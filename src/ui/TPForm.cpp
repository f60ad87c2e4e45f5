#include "ui/TPForm.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

TPForm::TPForm(bool& breakFlag, QWidget* anchor)
    : QDialog(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_break(breakFlag), m_anchor(anchor) {
    setObjectName(QStringLiteral("TPForm"));
    setWindowTitle(QStringLiteral("ОБРАБАТЫВАЕТСЯ..."));
    setModal(false);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("MessPan"));
    panel->setFrameShape(QFrame::Box);
    panel->setStyleSheet(QStringLiteral("#MessPan { background: #A6CAF0; }"));
    auto* closeArea = new QToolButton(panel);
    closeArea->setObjectName(QStringLiteral("pClose"));
    closeArea->setText(QStringLiteral("×"));
    closeArea->setAutoRaise(true);
    closeArea->setToolTip(QStringLiteral("Скрыть"));
    m_text = new QLabel(QStringLiteral("ВЫПОЛНЯЕТСЯ..."), panel);
    m_text->setObjectName(QStringLiteral("lText"));
    m_text->setAlignment(Qt::AlignCenter);
    QFont f = m_text->font();
    f.setBold(true);
    m_text->setFont(f);
    m_bar = new QProgressBar(panel);
    m_bar->setObjectName(QStringLiteral("PBar"));
    m_bar->setMinimum(0);
    m_bar->setTextVisible(false);
    m_bar->setMinimumWidth(260);
    m_bar->hide();
    m_breakButton = new QPushButton(QStringLiteral("ПРЕРВАТЬ"), panel);
    m_breakButton->setObjectName(QStringLiteral("btBreak"));

    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(closeArea);
    auto* inner = new QVBoxLayout(panel);
    inner->addLayout(top);
    inner->addWidget(m_text);
    inner->addWidget(m_bar);
    inner->addWidget(m_breakButton, 0, Qt::AlignHCenter);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_breakButton, &QPushButton::clicked, this, [this] {
        m_break = true;
        hide();
        emit breakPressed();
    });
    // The close area only hides the dialog; the loop goes on.
    connect(closeArea, &QToolButton::clicked, this, &QDialog::hide);
    // Laid out now, while the window is made: the first layout (the bold
    // font's metrics, the style sheet) takes longer than a frame, and would
    // otherwise fall on the first step of the exchange that shows the dialog.
    adjustSize();
}

void TPForm::ShowProgress(int n) {
    if (n > 0) {
        m_bar->setMaximum(n);
        m_bar->setValue(0);
        m_bar->show();
    } else {
        m_bar->hide();
    }
    m_break = false;
    if (!isVisible()) {
        if (m_anchor)
            move(m_anchor->mapToGlobal(QPoint(0, 0)));
        show();
    }
    repaint();
}

void TPForm::StepProgress(int k) {
    m_bar->setValue(k != 0 ? k : m_bar->value() + 1);
    repaint();
}

void TPForm::CloseProgress() {
    if (isVisible())
        hide();
    if (m_anchor)
        m_anchor->repaint();
}

void TPForm::processEvents() {
    QApplication::processEvents();
}
