#pragma once

#include <QObject>

class TestCalibrationPage : public QObject {
    Q_OBJECT
  private slots:
    void enteringReadsTheAllocationTable();
    void sharedFileWrittenOnceAndRecorded();
    void readBackCatchesAWrongByte();
    void tablesReadIntoFiles();
    void serviceLeftOnIsSaid_data();
    void serviceLeftOnIsSaid();
    void tablesReadBesideAReadOnlyProgram();
    void pipeOrDeviceAsTable_data();
    void pipeOrDeviceAsTable();
    void exchangeThenStore();
    void clearing();
    void singleTableDevice();
    void singleTableTooLargeIsRefused();
    void editedTableIsWhatIsWritten_data();
    void editedTableIsWhatIsWritten();
    void editorAroundARow();
    void editorAtRowZero();
    void editorAddsRowZero();
    void editorRewritesOnlyTheTypedLine();
    void editorOnAMissingRowSaysWhy_data();
    void editorOnAMissingRowSaysWhy();
};
