#pragma once

#include "polllog/PollLog.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace polllog {
class TrendLoader;
struct TrendData;
} // namespace polllog

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QListWidget;
class QListWidgetItem;
class TrendChartView;
class QChart;
class QLineSeries;
class QDateTimeAxis;
class QValueAxis;

// Curves of one quantity of up to 16 sensors from the poll log, over the
// last hour, day, week or a chosen period. A fault status is a gap. The log
// is read on a thread of its own: the window stays responsive meanwhile.
class TrendsDialog final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxSensors = 16;

    // logPath says which file the poll log panel uses at the moment.
    TrendsDialog(std::function<QString()> logPath, QWidget* parent);
    ~TrendsDialog() override;

    // Reads the log again (the dialog is shown, a choice changed); the
    // chart is drawn when the data is there (loaded()).
    void reload();
    // A general poll went into the log: the points since the last one read
    // are read and drawn on, the range moving with the time.
    void follow();
    // A read runs or waits.
    bool loading() const;
    // Writes the chart as PNG through the file writer; the status text.
    QString savePng(const QString& path);
    // The sensors drawn and the points of each, after thinning (tests).
    std::vector<std::pair<int, std::vector<polllog::Point>>> drawn() const;
    void selectSensors(const std::vector<int>& sensors);
    // The thread the data drawn was read on (tests).
    Qt::HANDLE readThread() const { return m_readThread; }
    // Replaces the file dialog of "Сохранить PNG…" (tests).
    void setChooseFile(std::function<QString()> choose) { m_chooseFile = std::move(choose); }

  signals:
    // The data of the last request is drawn (or its failure shown).
    void loaded();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void request(qint64 fromMs, qint64 toMs, bool incremental);
    void dataLoaded(int number, const std::shared_ptr<const polllog::TrendData>& data);
    void fillSensors(const std::vector<int>& logged, const std::vector<int>& checked);
    std::vector<int> checkedSensors() const;
    void rangeChosen();
    void sensorToggled(QListWidgetItem* item);
    // Thins the points read for the visible time range and draws them.
    void draw();
    std::pair<qint64, qint64> wantedRange() const;

    std::function<QString()> m_logPath;
    std::function<QString()> m_chooseFile;
    polllog::TrendLoader* m_loader = nullptr;
    int m_latest = 0; // the number of the last request sent
    bool m_latestIncremental = false;
    bool m_followLater = false; // a poll was recorded while a read ran
    QString m_listedPath;       // the log whose sensors the list shows
    std::vector<int> m_listed;  // and those sensors
    Qt::HANDLE m_readThread = nullptr;
    polllog::Series m_raw;
    std::vector<std::pair<int, std::vector<polllog::Point>>> m_drawn;
    QListWidget* m_sensors = nullptr;
    QComboBox* m_quantity = nullptr;
    QComboBox* m_range = nullptr;
    QDateTimeEdit* m_from = nullptr;
    QDateTimeEdit* m_to = nullptr;
    QLabel* m_status = nullptr;
    QChart* m_chart = nullptr;
    std::vector<QLineSeries*> m_lines; // a piece of a curve each, reused

    QDateTimeAxis* m_time = nullptr;
    QValueAxis* m_values = nullptr;
    TrendChartView* m_view = nullptr;
    bool m_drawing = false;
    bool m_redrawPending = false; // a zoom or pan waits to be drawn
};
