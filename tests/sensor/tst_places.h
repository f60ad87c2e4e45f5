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
    void identifierChecks_data();
    void identifierChecks();
    void simulatedIdentifiersPass();
    void heightZeroNeverWritten();
    void searchCountsEveryCode();
    void searchUnanswered_data();
    void searchUnanswered();
    void densityMeters();
    void correctionWithItsCrc();
    void controllerThermometer();
    void writePlacesInOneOrder_data();
    void writePlacesInOneOrder();
    void lineFaults_data();
    void lineFaults();
};
