#pragma once

#include <QObject>

class TestControllerPages : public QObject {
    Q_OBJECT
  private slots:
    void getShowsTheController();
    void addressWriteMovesTheEntry();
    void addressPastSixteen();
    void addressWrittenLast();
    void rangeWriteRebuildsTheLayout();
    void rangeWriteStaysOnItsController();
    void directTypeExchangesTheIntervalOnly();
    void shortPasswordKeepsItsMark();
    void unconfirmedWriteSaysSo();
    void dialogCaptionsPerType_data();
    void dialogCaptionsPerType();
    void dialogScanFillsTheList();
    void dialogDirectRange();
    void dialogWithoutController();
    void statusLampsAndMode();
    void statusFallbackKeepsSelection();
    void statusSilentLeavesNoStaleLamps();
    void keyboardStatusWhereThatProcessorIs_data();
    void keyboardStatusWhereThatProcessorIs();
    void keyboardStatusOnItsPort();
    void thermometerIdentifier();
};
