#pragma once

#include <QObject>

class TestPlaces : public QObject {
    Q_OBJECT
  private slots:
    void crcOfKnownRomCodes_data();
    void crcOfKnownRomCodes();
    void densityEntry_data();
    void densityEntry();
    void readThermometers();
    void thermometerIdentifierOnTheWire_data();
    void thermometerIdentifierOnTheWire();
    void heightZeroNeverWritten();
    void searchCountsEveryCode();
    void searchRefused();
    void densityMeters();
    void correctionWithItsCrc();
    void controllerThermometer();
    void lineFaults_data();
    void lineFaults();
};
