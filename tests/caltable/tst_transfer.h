#pragma once

#include <QObject>

class TestTransfer : public QObject {
    Q_OBJECT
  private slots:
    void blocksAndPages_data();
    void blocksAndPages();
    void pageSize_data();
    void pageSize();
    void allocationRoundTrip();
    void emptyEntries();
    void writtenTableReadsBack_data();
    void writtenTableReadsBack();
    void sharedFileWrittenOnce();
    void corruptedByteCaught();
    void refusedTableKeepsItsEntry();
    void serviceModeAlwaysEnded();
    void breakLeavesTheTableAsItWas();
    void chunkLostThreeTimesGivesNoTable();
    void clearing();
    void lineFaults_data();
    void lineFaults();
};
