#pragma once

#include <QObject>

// Modes, pages and the address bars for every controller type.
class TestNavigation : public QObject {
    Q_OBJECT
  private slots:
    void everyModeForEveryType_data();
    void everyModeForEveryType();
    void sameModeTwiceDoesNothing();
    void controllerStatusOnlyWithSwitch();
    void setSensorAddressButton();
    void sensorBarClicksSelectController();
    void leavingControllerPageSelectsSensorsController();
};
