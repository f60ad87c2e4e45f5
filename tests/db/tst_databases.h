#pragma once

#include <QObject>

class TestDatabases : public QObject {
    Q_OBJECT
  private slots:
    void factoryBaseAtStartUp();
    void structure_data();
    void structure();
    void lookupByNumber_data();
    void lookupByNumber();
    void lookupByIdentifiers();
    void lockedFileIsTriedTwice();
    void newUserFile();
    void saveAndLoad();
    void loadRules_data();
    void loadRules();
    void secondSaveAsks();
    void interruptedSave_data();
    void interruptedSave();
    void peerToolsReadWhatIsSaved();
    void peerToolsFileLoads();
    void deletedRecordsOfPeerTools_data();
    void deletedRecordsOfPeerTools();
    void deletedFactoryRecordNotFound();
    void killedSaveLeavesNothingBehind();
    void saveOnAFullDiskAtEverySize_data();
    void saveOnAFullDiskAtEverySize();
    void workFileIsTheProcessOwn();
    void concurrentSavesKeepEveryRecord();
};

class TestSectionBuilder : public QObject {
    Q_OBJECT
  private slots:
    void sectionRows();
    void heightsAndTotals();
    void identifiersTaken_data();
    void identifiersTaken();
    void numberingAndLimit();
    void withoutTubeField();
    void settings_data();
    void settings();
    void moveAndDelete();
    void messages_data();
    void messages();
};
