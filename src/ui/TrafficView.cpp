#include "ui/TrafficView.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kKeptLines = 2000; // older lines fall off the top
}

TrafficView::TrafficView(QWidget* parent) : QDockWidget(QStringLiteral("Обмен по линии"), parent) {
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
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(2, 2, 2, 2);
    column->addWidget(m_log, 1);
    column->addWidget(clear, 0, Qt::AlignRight);
    setWidget(body);
}

void TrafficView::add(qint64 ms, const char* direction, const QByteArray& shown) {
    m_log->appendPlainText(
        QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz")) +
        QLatin1Char(' ') + QLatin1String(direction) + QLatin1Char(' ') +
        QString::fromLatin1(shown));
}

void TrafficView::flushReceived() {
    if (!m_received.isEmpty())
        add(m_receivedAt, "<", bus::printableChars(m_received));
    m_received.clear();
}

void TrafficView::frameSent(qint64 ms, QByteArrayView frame) {
    flushReceived();
    add(ms, ">", bus::describeRequest(frame));
}

void TrafficView::charactersReceived(qint64 ms, QByteArrayView chars) {
    if (m_received.isEmpty())
        m_receivedAt = ms;
    m_received.append(chars);
    if (chars.contains('*'))
        flushReceived();
}

QString TrafficView::text() const {
    return m_log->toPlainText();
}
