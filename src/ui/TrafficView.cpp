#include "ui/TrafficView.h"

#include "app/FileWriter.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kKeptLines = 2000; // older lines fall off the top
}

TrafficView::TrafficView(QWidget* parent)
    : QDockWidget(QStringLiteral("Обмен по линии"), parent),
      m_monitor([this](const QString& line) { add(line); }) {
    setObjectName(QStringLiteral("dkTraffic"));
    auto* body = new QWidget(this);
    m_log = new QPlainTextEdit(body);
    m_log->setObjectName(QStringLiteral("meTraffic"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(kKeptLines);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pause = new QToolButton(body);
    m_pause->setObjectName(QStringLiteral("sbTrafficPause"));
    m_pause->setText(QStringLiteral("ПАУЗА"));
    m_pause->setCheckable(true);
    connect(m_pause, &QToolButton::toggled, this, &TrafficView::setPaused);
    auto* clear = new QPushButton(QStringLiteral("ОЧИСТИТЬ"), body);
    connect(clear, &QPushButton::clicked, m_log, &QPlainTextEdit::clear);
    auto* copy = new QPushButton(QStringLiteral("КОПИРОВАТЬ"), body);
    copy->setToolTip(QStringLiteral("Выделенные строки, или все"));
    connect(copy, &QPushButton::clicked, this, &TrafficView::copyLines);
    auto* save = new QPushButton(QStringLiteral("СОХРАНИТЬ…"), body);
    save->setObjectName(QStringLiteral("btTrafficExport"));
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Обмен по линии"),
                                                          QStringLiteral("line.txt"),
                                                          QStringLiteral("Текст (*.txt)"));
        QString error;
        if (!path.isEmpty() && !exportTo(path, &error))
            m_log->appendPlainText(QStringLiteral("НЕ ЗАПИСАНО: ") + error);
    });
    m_newBelow = new QPushButton(QStringLiteral("НОВЫЕ СТРОКИ НИЖЕ ↓"), body);
    m_newBelow->setObjectName(QStringLiteral("btNewBelow"));
    m_newBelow->hide();
    connect(m_newBelow, &QPushButton::clicked, this, &TrafficView::scrollToEnd);
    QScrollBar* bar = m_log->verticalScrollBar();
    // The user's scrolling decides whether the view follows; a resize or a
    // new line only keeps it where it was told.
    connect(bar, &QScrollBar::actionTriggered, this, [this, bar] {
        QTimer::singleShot(0, this, [this, bar] {
            m_following = bar->value() >= bar->maximum();
            if (m_following)
                m_newBelow->hide();
        });
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar] {
        if (m_following)
            bar->setValue(bar->maximum());
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_newBelow);
    buttons->addStretch(1);
    for (QWidget* w : std::initializer_list<QWidget*>{m_pause, copy, save, clear})
        buttons->addWidget(w);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(2, 2, 2, 2);
    column->addWidget(m_log, 1);
    column->addLayout(buttons);
    setWidget(body);
}

void TrafficView::scrollToEnd() {
    m_following = true;
    m_newBelow->hide();
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
}

void TrafficView::add(const QString& line) {
    if (m_pause->isChecked()) {
        m_held << line;
        if (m_held.size() > kKeptLines)
            m_held.removeFirst();
        return;
    }
    m_log->appendPlainText(line);
    QScrollBar* bar = m_log->verticalScrollBar();
    if (m_following)
        bar->setValue(bar->maximum());
    else
        m_newBelow->show();
}

void TrafficView::setPaused(bool paused) {
    m_pause->setChecked(paused);
    if (paused)
        return;
    const QStringList held = std::exchange(m_held, {});
    for (const QString& line : held)
        add(line);
}

void TrafficView::copyLines() {
    const QString selected = m_log->textCursor().selectedText();
    // A selection over several lines holds paragraph separators.
    QApplication::clipboard()->setText(
        selected.isEmpty()
            ? m_log->toPlainText()
            : QString(selected).replace(QChar::ParagraphSeparator, QLatin1Char('\n')));
}

bool TrafficView::exportTo(const QString& path, QString* error) const {
    // The lines carry the controllers' passwords as they went over the
    // line: readable by the owner only, as a snapshot.
    const app::FileResult r =
        app::writePrivateFileAtomically(path, m_log->toPlainText().toUtf8() + '\n');
    if (!r.ok() && error)
        *error = r.message();
    return r.ok();
}

void TrafficView::frameSent(qint64 ms, QByteArrayView frame) {
    m_monitor.frameSent(ms, frame);
}

void TrafficView::charactersReceived(qint64 ms, QByteArrayView chars) {
    m_monitor.charactersReceived(ms, chars);
}

void TrafficView::answerTaken(qint64 ms, bus::Outcome outcome, int length) {
    m_monitor.answerTaken(ms, outcome, length);
}

QString TrafficView::text() const {
    return m_log->toPlainText();
}
