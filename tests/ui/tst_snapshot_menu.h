#pragma once

#include <QObject>

class TestSnapshotMenu : public QObject {
    Q_OBJECT
  private slots:
    void snapshotCompareRestoreReport();
    void restoreOfASensorNotInTheSnapshot();
    void snapshotOnAFullDisk();
    void snapshotOfSilence_data();
    void snapshotOfSilence();
};
