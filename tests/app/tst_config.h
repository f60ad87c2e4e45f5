#pragma once

#include <QObject>

class TestConfig : public QObject {
    Q_OBJECT
  private slots:
    void loadLayout_data();
    void loadLayout();
    void typeChange_data();
    void typeChange();
    void saveKeepsOtherKeys();
    void portValues_data();
    void portValues();
    void readsOldCodePage();
    void linesNotOwnedSurvive_data();
    void linesNotOwnedSurvive();
    void unchangedValuesWriteNothing();
    void readOnlyFolderKeepsTheLayout();
    void killedWriterLeavesAWholeFile();
    void pathBesideProgram();
    void installedProgramKeepsItsFileInTheUserFolder();
    void movedControllerTakesItsRange();
    void rebuildAfterRangeEdits();
    void dialogRows_data();
    void dialogRows();
    void directRangeFields_data();
    void directRangeFields();
};
