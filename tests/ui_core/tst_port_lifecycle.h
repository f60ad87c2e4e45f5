#pragma once

#include <QObject>

class TestPortLifecycle : public QObject {
    Q_OBJECT
  private slots:
    void simulatedPortIsNotSaved();
    void chosenDeviceIsSaved();
    void missingPortIsSaidAndForgotten();
    void toggle();
    void lostWhileIdleAndBack();
    void lostDuringAnOperation();
    void switchedOffStaysOff();
    void roleSwitchShowsTheSlavePort();
    void configuredPortsShownBeforeTried();
    void remoteLineRememberedLostAndBack();
    void unreachableRemoteLine_data();
    void unreachableRemoteLine();
    void lostRemoteLineTriedLessOften();
};
