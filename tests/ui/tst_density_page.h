#pragma once

#include <QObject>

class TestDensityPage : public QObject {
    Q_OBJECT
  private slots:
    void findMeters();
    void unansweredSearchSaysSo_data();
    void unansweredSearchSaysSo();
    void readEverything();
    void uninitialisedMeterIsInitialised();
    void correctionWrite();
    void correctionReadLikeEveryParameter();
    void clickOnTheSelectedMeterKeepsValues();
    void cycleNeverOverlaps();
    void changeOpensTheDensityTab();
};
