#pragma once

#include <QObject>

class TestAnswers : public QObject {
    Q_OBJECT
  private slots:
    void pollsSayHowManyAnswered_data();
    void pollsSayHowManyAnswered();
    void layoutSaveSaysWhere();
    void newScanEmptiesTheGrids();
};
