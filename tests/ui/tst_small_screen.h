#pragma once

#include <QObject>

class TestSmallScreen : public QObject {
    Q_OBJECT
  private slots:
    void everyPageFits_data();
    void everyPageFits();
    void everyDialogFits();
    void helpNeverScrollsSideways_data();
    void helpNeverScrollsSideways();
};
