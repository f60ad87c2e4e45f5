#pragma once

#include <QObject>

class TestDeviceActions : public QObject {
    Q_OBJECT
  private slots:
    void frames_data();
    void frames();
    void refusedWhileAnotherRuns();
    void unregisteredTagDoesNothing();
};
