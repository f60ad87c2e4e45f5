#pragma once

#include <QObject>

class TestTankRows : public QObject {
    Q_OBJECT
  private slots:
    void loadShowsEntries();
    void cancellingMovesLaterFilesDown();
    void sharedFileIsOnePlannedFile();
    void selectionGroupsAndButtons();
    void exchangeTables();
    void exchangeTableWithEmptyRow();
    void pairWithAFileChangesNothing();
    void duplicateTable();
    void onlyReferenceIsNotReassigned();
    void writtenRowsTakeTheirEntries();
};
