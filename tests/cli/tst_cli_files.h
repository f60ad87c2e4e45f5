#pragma once

#include <QObject>

// The commands that only read and write files, and every writer on a disk that is full.
class TestCliFiles : public QObject {
    Q_OBJECT
  private slots:
    void dbFind_data();
    void dbFind();
    void fileCommands();
    void fileCommandFailures_data();
    void fileCommandFailures();
    void writersOnAFullDisk_data();
    void writersOnAFullDisk();
    void snapshotRefusedBeforeTheLine();
    void writerPastAFileSizeLimit();
    void readersRefuseWhatIsNoFile_data();
    void readersRefuseWhatIsNoFile();
    void simulatorKeepsOthersFiles();
    void userFileNameGetsItsExtension();
    void dbfDumpDecodesTheCodePage_data();
    void dbfDumpDecodesTheCodePage();
    void everyLanguageDriverDecodes();
};
