#pragma once

#include <QObject>

// The window's port: chosen, switched, lost and back, per processor tab, over the network.
class TestWindowPort : public QObject {
    Q_OBJECT
  private slots:
    void portFromConfigurationThatCannotOpen();
    void portToggle();
    void leavingTheLineEndsTransit_data();
    void leavingTheLineEndsTransit();
    void slaveTabSwitchesPortRole();
    void unpluggedPortShowsOnTheLabel();
    void remoteLineLostAndBack();
    void recentRemoteLineInThePortMenu();
    void remoteConnectLeavesTheWindowFree_data();
    void remoteConnectLeavesTheWindowFree();
    void lostPortEndsTheCycle();
    void lostPortReachesThePages();
    void pseudoTerminalComesBack();
    void portChoiceNotSavedIsSaid();
};
