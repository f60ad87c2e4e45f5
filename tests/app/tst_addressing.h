#pragma once

#include <QObject>

class TestAddressing : public QObject {
    Q_OBJECT
  private slots:
    void sensorClickSelectsItsController();
    void sensorButtonsOutsideRangesDisabled();
    void straddlingRangeShownWhole();
    void captionsPaddedUpTo98_data();
    void captionsPaddedUpTo98();
    void selectSensorByNumber_data();
    void selectSensorByNumber();
    void pagerRefusals_data();
    void pagerRefusals();
    void controllerClick();
    void noControllerTypeMovesEntryZero();
    void directTypeSelectsSensorAsController();
    void directTypeSelectionAfterLoad();
    void directTypeSelectByNumber();
};
