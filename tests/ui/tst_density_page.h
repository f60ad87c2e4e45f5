#pragma once

#include <QObject>

class TestDensityPage : public QObject {
    Q_OBJECT
  private slots:
    void findMeters();
    void readEverything();
    void uninitialisedMeterIsInitialised();
    void correctionWrite();
    void cycleNeverOverlaps();
    void changeOpensTheDensityTab();
};
