#pragma once

#include <QObject>

class TestFaultMatrix : public QObject {
    Q_OBJECT
  private slots:
    void scanAndTransit_data();
    void scanAndTransit();
    void portVanishesMidTransaction();
};
