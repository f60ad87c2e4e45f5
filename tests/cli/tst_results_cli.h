#pragma once

#include <QObject>

// What the CLI says when a device operation ends otherwise than planned: the
// memory test's answers, a firmware write cut short by the line or Ctrl+C.
class TestCliResults : public QObject {
    Q_OBJECT
  private slots:
    void ramtestResults_data();
    void ramtestResults();
    void flashLineSilentMidWrite();
    void flashInterruptedNamesTheAddress();
};
