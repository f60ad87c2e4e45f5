#pragma once

#include "polllog/PollLog.h"
#include "sensor/StatusDecoder.h"
#include "sensor/StatusGrid.h"

#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// Beside the general status grid: the switch that records every poll of
// the overview pages in the site's poll log, the file in use, and after
// each general poll the sensors that are not normal.
class PollLogPanel final : public QWidget {
    Q_OBJECT
  public:
    // mess shows a result on the window's status line; the log proposed
    // when none was chosen yet is defaultPath's for configFolder;
    // simulated: the window runs on the built-in simulation, whose switch
    // and file are remembered apart.
    PollLogPanel(const sensor::StatusDecoder& decoder, std::function<void(const QString&)> mess,
                 const QString& configFolder, bool simulated, QWidget* parent);

    // The log proposed at first: beside the configuration file where that
    // can be written, else in the user's documents; on the built-in
    // simulation in the user's data folder, never beside the program.
    static QString defaultPath(bool simulated, const QString& configFolder);

    // The switch and its buttons, for the general page's button row.
    QWidget* controls() const { return m_controls; }
    // One more switch, for another overview page's row: the same switch.
    QCheckBox* addSwitch(QWidget* parent, const QString& name);
    // A poll ended: recorded when the switch is on; the general one is
    // summed up as well.
    void pollDone(const sensor::StatusGrid& grid, polllog::PollKind kind);
    void extendedPollDone(const sensor::StatusGrid& thermometers,
                          const sensor::StatusGrid& densities);
    void overviewPollDone(const sensor::StatusGrid& grid);
    // The log in use; not open while the switch is off.
    const polllog::PollLog& log() const { return m_log; }
    QString logPath() const { return m_path; }
    QString site() const { return m_site; }
    // The line is a site's now: its polls go under its name into path, or
    // when that is empty into the log of real lines (never the
    // demonstration's); the last poll's summary is another line's.
    void useSite(const QString& site, const QString& path);
    bool recording() const;
    // What was wrong at start with the log saved last time (it could not be
    // opened for recording, or is no file): for the status line once the
    // window is there; empty when nothing.
    QString startProblem() const { return m_startProblem; }
    // Replaces the file dialog (tests have no one to answer it).
    void setChooseFile(std::function<QString()> choose) { m_chooseFile = std::move(choose); }

  signals:
    // A general status poll went into the log (the trends follow).
    void recorded();
    // A summary line was clicked: the cell "УТОЧНИТЬ" would start from.
    void jumpRequested(int sensor, int row, int column);
    void trendsRequested();

  private:
    void setRecording(bool on);
    // Opens the log for recording; empty, or why not (the switch is then off).
    QString openLog();
    void chooseFile();
    // A log that did not open, said on the status line.
    void say(const QString& problem);
    void logOpened();
    void showFile();
    void remember();
    // Records with write when the switch is on; false when it failed (the
    // switch is then off and the status line says why).
    bool record(const std::function<QString(qint64)>& write);

    const sensor::StatusDecoder& m_decoder;
    std::function<void(const QString&)> m_mess;
    std::function<QString()> m_chooseFile;
    polllog::PollLog m_log;
    QString m_path;
    QString m_site;
    QString m_configFolder;
    QString m_defaultPath;
    QString m_startProblem;
    // "ЖУРНАЛ НЕ ОТКРЫТ: …" as said last, cleared from the status line once
    // a log opens.
    QString m_saidProblem;
    bool m_simulated = false;
    QWidget* m_controls = nullptr;
    std::vector<QCheckBox*> m_switches; // the first is the general page's
    QLabel* m_file = nullptr;
    QListWidget* m_health = nullptr;
};
