#pragma once

#include "link/LineRecording.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;

namespace bus {
class SerialLink;
}

// "Записывать обмен…": the line recorded into a file while it is on. The
// file is written whole through the checked writer, private to its owner
// (it holds the passwords that went on the line), every few seconds while
// the line is busy and once more when the recording stops, so that little
// is lost to a crash and a full disk is said at once.
class ExchangeRecording final : public QObject {
    Q_OBJECT
  public:
    ExchangeRecording(bus::SerialLink& link, QObject* parent);
    ~ExchangeRecording() override;
    // Starts recording into path; empty when it could, else why not.
    QString start(const QString& path, const QString& portName);
    // Stops and writes the file; empty when it was written, else why not.
    QString stop();
    bool recording() const { return static_cast<bool>(m_recorder); }
    QString path() const { return m_path; }

  signals:
    // A write between start and stop failed: the recording has stopped.
    void failed(const QString& why);

  private:
    QString save();

    bus::SerialLink& m_link;
    std::unique_ptr<bus::LineRecorder> m_recorder;
    QString m_path;
    int m_saved = 0; // records in the file
    QTimer* m_timer;
};
