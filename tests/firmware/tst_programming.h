#pragma once

#include <QObject>

class TestProgramming : public QObject {
    Q_OBJECT
  private slots:
    void blocks_data();
    void blocks();
    void linkAsksThenStartsTheLoader();
    void emergencyLinkGoesStraightToTheLoader();
    void silentControllerIsNotLinked();
    void flashEqualsTheImage_data();
    void flashEqualsTheImage();
    void failureNamesTheAddress_data();
    void failureNamesTheAddress();
    void faultMidImage_data();
    void faultMidImage();
    void updateEndsWithTheRestartedDevice_data();
    void updateEndsWithTheRestartedDevice();
    void unusableImageSendsNothing();
    void breakLeavesTheLoaderLinked();
    void lineFaults_data();
    void lineFaults();
};
