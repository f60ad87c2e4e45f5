#pragma once

#include <QObject>

// status --log, health and log-export as the engineer runs them.
class TestPollLogCli : public QObject {
    Q_OBJECT
  private slots:
    void logHoldsWhatWasPrinted();
    void killedMidRunKeepsEveryEarlierPoll();
    void otherPagesLogged_data();
    void otherPagesLogged();
    void noLogWithoutAnswers_data();
    void noLogWithoutAnswers();
    void logOnAFullDisk_data();
    void logOnAFullDisk();
    void health_data();
    void health();
    void wrongWords_data();
    void wrongWords();
};
