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
    void memoryTestAnswerOfUnexpectedLength();
    void leavingStopsTheMemoryTest();
    void writeIsReadBack_data();
    void writeIsReadBack();
    void oldMatrixFormKeepsEveryBit();
    void directTypeWithoutVolume();
    void changeOfSensorEmptiesEverything_data();
    void changeOfSensorEmptiesEverything();
};
