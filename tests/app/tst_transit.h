#pragma once

#include <QObject>

class TestTransitState : public QObject {
    Q_OBJECT
  private slots:
    void engineerSwitches_data();
    void engineerSwitches();
    void pageChanges_data();
    void pageChanges();
    void pageEntryTriesThrice();
    void leftOnByAPageOperation_data();
    void leftOnByAPageOperation();
    void movesWithTheSensor_data();
    void movesWithTheSensor();
    void writeNeedsTransit_data();
    void writeNeedsTransit();
};
