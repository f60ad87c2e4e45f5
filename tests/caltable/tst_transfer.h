#pragma once

#include <QObject>

class TestTransfer : public QObject {
    Q_OBJECT
  private slots:
    void pageSize_data();
    void pageSize();
    void allocationRoundTrip();
    void emptyEntries();
    void chunkLostThreeTimesGivesNoTable();
    void clearing();
    void lineFaults_data();
    void lineFaults();
};
