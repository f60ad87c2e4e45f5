#pragma once

#include "link/LinkObserver.h"

#include <QDockWidget>

class QPlainTextEdit;
class QPushButton;

// The line as it goes: every frame sent (">") and every block received
// ("<"), with the time. Kept in the window only; nothing goes to a file.
class TrafficView final : public QDockWidget, public bus::LinkObserver {
    Q_OBJECT
  public:
    explicit TrafficView(QWidget* parent = nullptr);

    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
    QString text() const;

    // Whether the view keeps the newest line in sight.
    bool following() const { return m_following; }

  private:
    void add(qint64 msecsSinceEpoch, const char* direction, const QByteArray& shown);
    void scrollToEnd();
    QPlainTextEdit* m_log;
    QPushButton* m_newBelow;
    bus::ReceivedLines m_received;
    // Follows the end unless the user has scrolled up.
    bool m_following = true;
};
