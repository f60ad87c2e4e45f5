#include "ui/PortLabel.h"

#include <QMouseEvent>

PortLabel::PortLabel(const QString& objectName, QWidget* parent) : QLabel(parent) {
    setObjectName(objectName);
    setAlignment(Qt::AlignCenter);
    setMinimumWidth(90);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setCursor(Qt::PointingHandCursor);
    setToolTip(tipText());
    QFont f = font();
    f.setBold(true);
    setFont(f);
    setPortColour(false);
}

void PortLabel::setPortColour(bool good) {
    m_good = good;
    setStyleSheet(
        good ? QStringLiteral("QLabel { color: black; background: #00FF00; padding: 2px 6px; }")
             : QStringLiteral("QLabel { color: white; background: #FF0000; padding: 2px 6px; }"));
}

QString PortLabel::tipText() const {
    const QString hint =
        QStringLiteral("Щелчок: включить или отключить порт. Правая кнопка: выбрать порт.");
    const QString details = m_details ? m_details() : QString();
    return details.isEmpty() ? hint : details + QStringLiteral("\n\n") + hint;
}

bool PortLabel::event(QEvent* event) {
    // A remote line's round trip is measured anew at every connect.
    if (event->type() == QEvent::ToolTip)
        setToolTip(tipText());
    return QLabel::event(event);
}

void PortLabel::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled())
        return;
    if (event->button() == Qt::RightButton)
        emit menuRequested(event->globalPosition().toPoint());
    else if (event->button() == Qt::LeftButton)
        emit toggleRequested();
}
