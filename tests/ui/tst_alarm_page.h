#pragma once

#include <QObject>

class TestAlarmPage : public QObject {
    Q_OBJECT
  private slots:
    void thresholdsAndEnables();
    void directSensorOutputs();
    void outputMatrix();
    void stateAndSwitchOff();
    void memoryTest();
    void memoryTestGivenUp();
};
