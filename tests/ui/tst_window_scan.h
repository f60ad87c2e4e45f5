#pragma once

#include <QObject>

// The search for controllers and what the status line says of it.
class TestWindowScan : public QObject {
    Q_OBJECT
  private slots:
    void scanFindsControllersZeroAndTwo();
    void scanWhereNothingAnswers();
    void scanAndPollSayWhatHappened_data();
    void scanAndPollSayWhatHappened();
    void modeChangeStopsARunningScan();
};
