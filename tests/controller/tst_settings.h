#pragma once

#include <QObject>

class TestControllerSettings : public QObject {
    Q_OBJECT
  private slots:
    void readPerType_data();
    void readPerType();
    void addressReplyDecoded();
    void writesOnTheWire_data();
    void writesOnTheWire();
    void settingsWriteOrder_data();
    void settingsWriteOrder();
    void addressChangeTakesEffect();
    void refusedWritesAreNotConfirmed();
    void sensorMapKeepsOtherBits();
    void shortPasswordIsNotSent();
    void intervalText_data();
    void intervalText();
    void lamps_data();
    void lamps();
    void shortReplyLeavesLampsOff();
    void statusTextOfAReply();
    void modeText_data();
    void modeText();
    void silentControllerFallsBack();
    void keyboardProcessorOnItsPort();
    void lineFaults_data();
    void lineFaults();
    void everyKeyRoundTrips_data();
    void everyKeyRoundTrips();
};
