#pragma once

#include "link/LinkObserver.h"

#include <QDockWidget>

class QPlainTextEdit;

// The line as it goes: every frame sent (">") and every block received
// ("<"), with the time. Kept in the window only; nothing goes to a file.
class TrafficView final : public QDockWidget, public bus::LinkObserver {
    Q_OBJECT
  public:
    explicit TrafficView(QWidget* parent = nullptr);

    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
    QString text() const;

  private:
    void add(qint64 msecsSinceEpoch, const char* direction, const QByteArray& shown);
    void flushReceived();
    QPlainTextEdit* m_log;
    // Received characters come in small blocks; a reply shows on one line,
    // up to its "*".
    QByteArray m_received;
    qint64 m_receivedAt = 0;
};
