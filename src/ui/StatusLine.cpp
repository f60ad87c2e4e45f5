#include "ui/StatusLine.h"

#include "link/SystemText.h"

StatusLine::StatusLine(const bus::SerialLink& link, QWidget* parent)
    : QLabel(parent),
      m_serviceWatch(link, {}, [this](std::uint8_t c) { m_serviceLeftOn.insert(c); }) {
    setObjectName(QStringLiteral("Mess"));
    setMinimumHeight(22);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void StatusLine::say(const QString& text) {
    const QString shown = withRussianFileErrors(text);
    setText(shown);
    // Several problems at once run past a 1024 px window: all of them on hover.
    setToolTip(shown);
    repaint();
}

void StatusLine::sayServiceLeftOn() {
    if (m_serviceLeftOn.empty())
        return;
    QStringList said;
    if (!text().isEmpty())
        said << text();
    for (std::uint8_t c : m_serviceLeftOn)
        said << bus::serviceLeftOnText(c);
    m_serviceLeftOn.clear();
    say(said.join(QStringLiteral("; ")));
}
