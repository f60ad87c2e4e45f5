#pragma once

#include <QObject>

class TestDiagramPage : public QObject {
    Q_OBJECT
  private slots:
    void drawOnce();
    void failedReadKeepsThePicture();
    void cycleNeverOverlaps();
    void leavingStopsTheCycle();
    void saveAndOpen();
    void unwritableFileIsSaid();
    void filesThatCannotBeUsed_data();
    void filesThatCannotBeUsed();
    void wideDiagramScrolls();
    void codeButtons();
    void clearingAsksFirst_data();
    void clearingAsksFirst();
    void codeButtonsAndTransit_data();
    void codeButtonsAndTransit();
    void testPanelWithDgr();
};
