#pragma once

#include <QObject>

// Read-only and line recordings from the command line, against the simulator.
class TestReadOnlyCli : public QObject {
    Q_OBJECT
  private slots:
    void everyCommandReadOnly();
};
