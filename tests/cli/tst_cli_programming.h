#pragma once

#include <QObject>

// Firmware, calibration tables and segment diagrams written to and read from the devices.
class TestCliProgramming : public QObject {
    Q_OBJECT
  private slots:
    void diagramSavedAndDrawn();
    void flashOverPseudoTerminal();
    void flashSensorOverPseudoTerminal();
    void flashSensorEmergency();
    void flashFailures_data();
    void flashFailures();
    void flashRefusedByType_data();
    void flashRefusedByType();
    void tablesOverPseudoTerminal_data();
    void tablesOverPseudoTerminal();
    void diagramFailures_data();
    void diagramFailures();
    void tablesWrittenUnverifiedSaySo();
    void flashDeadControllerInEmergency();
};
