#include "ui/TrafficView.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kKeptLines = 2000; // older lines fall off the top
}

TrafficView::TrafficView(QWidget* parent)
    : QDockWidget(QStringLiteral("Обмен по линии"), parent),
      m_received([this](qint64 ms, const QByteArray& chars) {
          add(ms, "<", bus::printableChars(chars));
      }) {
    setObjectName(QStringLiteral("dkTraffic"));
    auto* body = new QWidget(this);
    m_log = new QPlainTextEdit(body);
    m_log->setObjectName(QStringLiteral("meTraffic"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(kKeptLines);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* clear = new QPushButton(QStringLiteral("ОЧИСТИТЬ"), body);
    connect(clear, &QPushButton::clicked, m_log, &QPlainTextEdit::clear);
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
    buttons->addWidget(clear);
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

void TrafficView::add(qint64 ms, const char* direction, const QByteArray& shown) {
    m_log->appendPlainText(
        QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz")) +
        QLatin1Char(' ') + QLatin1String(direction) + QLatin1Char(' ') +
        QString::fromLatin1(shown));
    QScrollBar* bar = m_log->verticalScrollBar();
    if (m_following)
        bar->setValue(bar->maximum());
    else
        m_newBelow->show();
}

void TrafficView::frameSent(qint64 ms, QByteArrayView frame) {
    m_received.flush();
    add(ms, ">", bus::describeRequest(frame));
}

void TrafficView::charactersReceived(qint64 ms, QByteArrayView chars) {
    m_received.add(ms, chars);
}

QString TrafficView::text() const {
    return m_log->toPlainText();
}
