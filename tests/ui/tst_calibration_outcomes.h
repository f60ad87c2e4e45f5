#pragma once

#include <QObject>

// What the calibration page says after ЗАПИСАТЬ (tables), from the one
// table programming workflow: the block reached when the line is lost or
// Break is pressed, a write without read-back, an unanswered device.
class TestCalibrationOutcomes : public QObject {
    Q_OBJECT
  private slots:
    void lineLostNamesTheBlock();
    void breakNamesTheBlock();
    void unverifiedWriteSaysSo();
    void unansweredSingleTableDeviceSaysSo();
};
