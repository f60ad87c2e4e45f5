#pragma once

#include <QObject>

// The line monitor.
class TestTrafficView : public QObject {
    Q_OBJECT
  private slots:
    void trafficViewShowsTheLine();
};
