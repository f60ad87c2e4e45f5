#include "ui/ModePanel.h"

#include "app/Modes.h"

#include <QFontMetrics>
#include <QToolButton>
#include <QVBoxLayout>

ModePanel::ModePanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("pMode"));
    setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(3);
    for (const app::Mode& m : app::kModes) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(m.button));
        b->setText(QString::fromUtf8(m.caption));
        b->setProperty("Tag", m.tag);
        b->setCheckable(true);
        b->setAutoRaise(false);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setMinimumHeight(30);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setStyleSheet(QStringLiteral("QToolButton { text-align: left; padding-left: 6px; }"));
        connect(b, &QToolButton::clicked, this, [this, tag = m.tag] { emit modeClicked(tag); });
        column->addWidget(b);
        m_buttons.push_back(b);
    }
    column->addStretch(1);
    // Wide enough for the longest caption in bold, so the current mode is
    // never clipped, whatever the pages beside it ask for.
    QFont bold = font();
    bold.setBold(true);
    int widest = 0;
    for (const QToolButton* b : m_buttons)
        widest = std::max(widest, QFontMetrics(bold).horizontalAdvance(b->text()));
    setFixedWidth(widest + 40);
    setCurrent(app::TagStat);
}

QToolButton* ModePanel::buttonForTag(int tag) const {
    for (QToolButton* b : m_buttons)
        if (b->property("Tag").toInt() == tag)
            return b;
    return nullptr;
}

void ModePanel::setCurrent(int tag) {
    for (QToolButton* b : m_buttons) {
        const bool current = b->property("Tag").toInt() == tag;
        QFont f = b->font();
        f.setBold(current);
        b->setFont(f);
        b->setChecked(current);
    }
}
