#pragma once

#include <QObject>

// The table programming workflow against the simulated controller.
class TestTableProgramming : public QObject {
    Q_OBJECT
  private slots:
    void blocksAndPages_data();
    void blocksAndPages();
    void writtenTableReadsBack_data();
    void writtenTableReadsBack();
    void sharedFileWrittenOnce();
    void readBackMismatch();
    void readBackUnanswered();
    void refusedBlockNamed_data();
    void refusedBlockNamed();
    void tooLargeSendsNothing();
    void serviceEndTriedThrice_data();
    void serviceEndTriedThrice();
    void silentLine_data();
    void silentLine();
    void lineLostNamesTheBlock_data();
    void lineLostNamesTheBlock();
    void breakNamesTheBlock_data();
    void breakNamesTheBlock();
    void breakDuringReadBack();
    void tablesReadIntoFiles_data();
    void tablesReadIntoFiles();
};
