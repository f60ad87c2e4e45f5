#pragma once

#include "link/LinkObserver.h"

#include <QDockWidget>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The line as it goes, decoded: every request and every answer, with the
// time. Kept in the window; a file only when the user exports it.
class TrafficView final : public QDockWidget, public bus::LinkObserver {
    Q_OBJECT
  public:
    explicit TrafficView(QWidget* parent = nullptr);

    void frameSent(qint64 msecsSinceEpoch, QByteArrayView frame) override;
    void charactersReceived(qint64 msecsSinceEpoch, QByteArrayView chars) override;
    void answerTaken(qint64 msecsSinceEpoch, bus::Outcome outcome, int length) override;
    QString text() const;
    // Whether the view keeps the newest line in sight.
    bool following() const { return m_following; }
    // Held lines show when the pause ends.
    void setPaused(bool paused);
    // Writes exactly the lines shown; false with the reason on failure.
    bool exportTo(const QString& path, QString* error = nullptr) const;

  private:
    void add(const QString& line);
    void scrollToEnd();
    void copyLines();
    QPlainTextEdit* m_log;
    QPushButton* m_newBelow;
    QToolButton* m_pause;
    bus::LineMonitor m_monitor;
    QStringList m_held;
    bool m_following = true;
};
