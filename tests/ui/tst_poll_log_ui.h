#pragma once

#include <QObject>

// The poll log switch, the health summary and the trends in the window.
class TestPollLogUi : public QObject {
    Q_OBJECT
  private slots:
    void pollsRecordedAsShownAndSwitchRemembered();
    void healthLineJumpsAsDetailWould_data();
    void healthLineJumpsAsDetailWould();
    void trendsFollowPollsWithGaps();
    void trendPngOnAFullDisk();
    void unusableLogRefused();
    void extendedAndOverviewPollsRecorded();
    void simulationLogInTheDataFolder();
    void healthLinesFitA1024Window();
};
