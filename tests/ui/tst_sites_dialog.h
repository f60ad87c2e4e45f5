#pragma once

#include <QObject>

class TestSitesDialog : public QObject {
    Q_OBJECT
  private slots:
    void sitesShownFromTheLogAlone();
    void enterInTheLogFieldReadsTheLog();
    void choosingASiteSetsLineAndLayout();
    void goingToASiteLeavesNothingOfTheLineBefore_data();
    void goingToASiteLeavesNothingOfTheLineBefore();
    void brokenSitesFileSaysWhere_data();
    void brokenSitesFileSaysWhere();
};
