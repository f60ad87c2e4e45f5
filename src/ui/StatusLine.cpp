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
    QString shown = withRussianFileErrors(text);
    if (!m_note.isEmpty() && shown != m_note)
        shown = shown.isEmpty() ? m_note : shown + QStringLiteral("; ") + m_note;
    m_note.clear();
    setText(shown);
    // Several problems at once run past a 1024 px window: all of them on hover.
    setToolTip(shown);
    repaint();
}

void StatusLine::sayAlso(const QString& note) {
    say(note);
    m_note = note;
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
