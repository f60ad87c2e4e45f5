#pragma once

#include <QObject>

class TestFiles : public QObject {
    Q_OBJECT
  private slots:
    void writesWholeFiles();
    void refusedWriteLeavesTheOldFile_data();
    void refusedWriteLeavesTheOldFile();
    void killedWriterLeavesOldOrNew();
    void readerRefuses_data();
    void readerRefuses();
    void outputFolderWhenTheProgramsCannotBeWritten();
    void configurationOnAFullDisk();
    void roomAskedBeforeTheWork();
    void configurationThatIsAPipe();
};
