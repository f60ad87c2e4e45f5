#pragma once

#include <QObject>

// The status pages: polls, cycles, cells and the jumps they lead to.
class TestStatusPages : public QObject {
    Q_OBJECT
  private slots:
    void generalPollAndCellClicks();
    void detailJumps_data();
    void detailJumps();
    void emptyFuelCellStillLeadsOn();
    void gridWidensPast16Rows();
    void cyclicPollsNeverOverlap();
    void cycleTickedDuringAnotherOperation();
    void leavingStopsTheCycle();
    void lostPortIsReported();
    void configOverviewPage();
    void silentFrontOnTheStatusLine_data();
    void silentFrontOnTheStatusLine();
};
