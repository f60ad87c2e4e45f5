#pragma once

#include <QObject>

class TestUpdatePage : public QObject {
    Q_OBJECT
  private slots:
    void linkProgramFree();
    void progStoppedShortNamesTheAddress_data();
    void progStoppedShortNamesTheAddress();
    void sensorProgStoppedShortNamesTheAddress_data();
    void sensorProgStoppedShortNamesTheAddress();
    void fileFromTheConfiguration();
    void unsupportedFileIsRefused();
    void failedReloadLeavesNoImage();
    void otherProcessorsImageAskedFirst_data();
    void otherProcessorsImageAskedFirst();
    void pipeOrDeviceRefused_data();
    void pipeOrDeviceRefused();
    void sensorLinkProgramFree();
    void sensorReleasedOnLeavingAndOnAnotherSensor_data();
    void sensorReleasedOnLeavingAndOnAnotherSensor();
    void sensorEmergencyUpdate();
    void sensorEmergencyProbingGivesUp();
    void sensorEmergencyControlsByType_data();
    void sensorEmergencyControlsByType();
    void sensorFileFromTheConfiguration();
};
