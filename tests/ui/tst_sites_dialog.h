#pragma once

#include <QObject>

class TestSitesDialog : public QObject {
    Q_OBJECT
  private slots:
    void sitesShownFromTheLogAlone();
    void enterInTheLogFieldReadsTheLog();
    void choosingASiteSetsLineAndLayout();
    void brokenSitesFileSaysWhere_data();
    void brokenSitesFileSaysWhere();
};
