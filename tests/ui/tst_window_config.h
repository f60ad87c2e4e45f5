#pragma once

#include <QObject>

// The window at start: its configuration file, its own settings, its size.
class TestWindowConfig : public QObject {
    Q_OBJECT
  private slots:
    void startsWithoutConfiguration();
    void simulatedPortIsNotSaved();
    void noLayoutSwitchKeepsDefaults();
    void layoutSaveAndReload();
    void startAndPortChangeKeepTheFile();
    void windowRemembersItsState();
    void recentRemoteLinesAreFew();
    void configurationThatIsNoFile_data();
    void configurationThatIsNoFile();
    void savedFileThatCannotBeRead_data();
    void savedFileThatCannotBeRead();
    void everyStartProblemShown();
    void geometryFitsTheScreen_data();
    void geometryFitsTheScreen();
    void startOptions_data();
    void startOptions();
};
