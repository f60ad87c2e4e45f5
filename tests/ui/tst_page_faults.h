#pragma once

#include <QObject>

class TestPageFaults : public QObject {
    Q_OBJECT
  private slots:
    void writeButtonsUnderLineFaults_data();
    void writeButtonsUnderLineFaults();
    void loaderAndTableWritesUnderLineFaults_data();
    void loaderAndTableWritesUnderLineFaults();
    void propertiesSayWhyNotWritten_data();
    void propertiesSayWhyNotWritten();
    void refusedValuesNeverReachTheLine_data();
    void refusedValuesNeverReachTheLine();
    void silentReadIsShownUnread_data();
    void silentReadIsShownUnread();
    void writeButtonsReadOnly_data();
    void writeButtonsReadOnly();
    void everyWriteControlReadOnly();
    void exchangeRecordedFromTheWindow();
};
