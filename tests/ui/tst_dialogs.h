#pragma once

#include <QObject>

// The small dialogs: poll interval, progress, sensor address.
class TestDialogs : public QObject {
    Q_OBJECT
  private slots:
    void intervalPositions_data();
    void intervalPositions();
    void intervalCancelKeepsPeriod();
    void progressWithoutBar();
    void breakButtonSetsBreak();
    void closeAreaOnlyHides();
    void sensorAddressDialog();
};
