#pragma once

#include "polllog/PollLog.h"
#include "sensor/StatusDecoder.h"
#include "sensor/StatusGrid.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// Beside the general status grid: the switch that records every poll in
// the site's poll log, the file in use, and after each poll the sensors
// that are not normal.
class PollLogPanel final : public QWidget {
    Q_OBJECT
  public:
    // mess shows a result on the window's status line; defaultFolder is
    // where a log is proposed when none was chosen yet.
    PollLogPanel(const sensor::StatusDecoder& decoder, std::function<void(const QString&)> mess,
                 QString defaultFolder, QWidget* parent);

    // The switch and its buttons, for the page's button row.
    QWidget* controls() const { return m_controls; }
    // A general poll ended: recorded when the switch is on, then summed up.
    void pollDone(const sensor::StatusGrid& grid, polllog::PollKind kind);
    // The log in use; not open while the switch is off.
    const polllog::PollLog& log() const { return m_log; }
    QString logPath() const { return m_path; }
    // Replaces the file dialog (tests have no one to answer it).
    void setChooseFile(std::function<QString()> choose) { m_chooseFile = std::move(choose); }

  signals:
    // A poll went into the log (the trends follow).
    void recorded();
    // A summary line was clicked: the cell "УТОЧНИТЬ" would start from.
    void jumpRequested(int sensor, int row, int column);
    void trendsRequested();

  private:
    void setRecording(bool on);
    void chooseFile();
    void showFile();
    void remember();

    const sensor::StatusDecoder& m_decoder;
    std::function<void(const QString&)> m_mess;
    std::function<QString()> m_chooseFile;
    polllog::PollLog m_log;
    QString m_path;
    QWidget* m_controls = nullptr;
    QCheckBox* m_record = nullptr;
    QLabel* m_file = nullptr;
    QListWidget* m_health = nullptr;
};
