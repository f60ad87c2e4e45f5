#pragma once

#include "polllog/PollLog.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QListWidget;
class QListWidgetItem;
class TrendChartView;
class QChart;
class QDateTimeAxis;
class QValueAxis;

// Curves of one quantity of up to 16 sensors from the poll log, over the
// last hour, day, week or a chosen period. A fault status is a gap.
class TrendsDialog final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxSensors = 16;

    // logPath says which file the poll log panel uses at the moment.
    TrendsDialog(std::function<QString()> logPath, QWidget* parent);

    // Reads the log again: a new poll was recorded, or the dialog is shown.
    void reload();
    // Writes the chart as PNG through the file writer; the status text.
    QString savePng(const QString& path);
    // The sensors drawn and the points of each, after thinning (tests).
    std::vector<std::pair<int, std::vector<polllog::Point>>> drawn() const;
    void selectSensors(const std::vector<int>& sensors);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void fillSensors();
    void rangeChosen();
    void sensorToggled(QListWidgetItem* item);
    // Thins the points read for the visible time range and draws them.
    void draw();
    std::pair<qint64, qint64> wantedRange() const;

    std::function<QString()> m_logPath;
    polllog::PollLog m_log;
    polllog::Series m_raw;
    std::vector<std::pair<int, std::vector<polllog::Point>>> m_drawn;
    QListWidget* m_sensors = nullptr;
    QComboBox* m_quantity = nullptr;
    QComboBox* m_range = nullptr;
    QDateTimeEdit* m_from = nullptr;
    QDateTimeEdit* m_to = nullptr;
    QLabel* m_status = nullptr;
    QChart* m_chart = nullptr;
    QDateTimeAxis* m_time = nullptr;
    QValueAxis* m_values = nullptr;
    TrendChartView* m_view = nullptr;
    bool m_drawing = false;
};
