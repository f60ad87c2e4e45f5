#pragma once

#include <QObject>

class TestSensorProgramming : public QObject {
    Q_OBJECT
  private slots:
    void linkUnderTransit();
    void linkWithoutLoaderEndsTransit();
    void linkWithoutTransitSaysNoAnswer();
    void closingBlockOnlyAfterOddCount_data();
    void closingBlockOnlyAfterOddCount();
    void attemptsPerBlock_data();
    void attemptsPerBlock();
    void flashEqualsTheImage();
    void releaseEndsTransitAndRestarts();
    void emergencyFlag_data();
    void emergencyFlag();
    void emergencyLinkWhileSwitchedOn();
    void emergencyLinkGivesUp();
    void faultMidImage_data();
    void faultMidImage();
    void lineFaults_data();
    void lineFaults();
};
