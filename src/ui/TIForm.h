#pragma once

#include <QDialog>

class QLabel;
class QSlider;

// The polling-interval dialog: 1.0 .. 15.0 seconds in tenths.
class TIForm final : public QDialog {
    Q_OBJECT
  public:
    explicit TIForm(QWidget* parent = nullptr);

    // Opens at the period's position; returns the new period, or the old one
    // when cancelled.
    int choosePeriod(int periodMs);
    void setPeriod(int periodMs);
    int period() const;

  private:
    void showPosition(int position);
    QSlider* m_track;
    QLabel* m_value;
};
