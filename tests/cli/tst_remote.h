#pragma once

#include <QObject>

// The line through ser2net, raw and RFC 2217, against the same line direct.
class TestRemoteLines : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void sameAsDirect_data();
    void sameAsDirect();
    void farPortSettings_data();
    void farPortSettings();
    void farEndKilledMidScan_data();
    void farEndKilledMidScan();
    void farEndThatNeverAnswers_data();
    void farEndThatNeverAnswers();
    void unreachableFarEnd_data();
    void unreachableFarEnd();
};
