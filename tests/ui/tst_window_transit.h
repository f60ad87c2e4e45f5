#pragma once

#include <QObject>

// "ТРАНЗИТ" and "НОРМ." in the window: the buttons, page changes, the way out.
class TestWindowTransit : public QObject {
    Q_OBJECT
  private slots:
    void closeLeavesTransit();
    void transitButtons();
    void closeDuringAPollWaitsForIt();
    void propertiesToDensityKeepsTransit();
    void directTypeTransitGoesToTheSensor();
    void scanGivesThePageTransit_data();
    void scanGivesThePageTransit();
};
