#pragma once

#include <QObject>

class TestKeyboard : public QObject {
    Q_OBJECT
  private slots:
    void arrowsExplainACell_data();
    void arrowsExplainACell();
    void tabLeavesTheGrid_data();
    void tabLeavesTheGrid();
    void menuKeyAndLineMenu();
    void everyTopButtonHasAMenuItem();
    void fileKeyOnlyWhereAPageTakesAFile();
    void escapeAndEnterCloseTheDialogs();
};
