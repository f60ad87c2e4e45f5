#pragma once

#include <QObject>

// Reading and writing the settings of sensors, controllers, alarms and density meters, snapshots
// and the sensor database over the line.
class TestCliSettings : public QObject {
    Q_OBJECT
  private slots:
    void sensorSettingsOverPseudoTerminal();
    void placesOverPseudoTerminal();
    void densityOverPseudoTerminal();
    void alarmOverPseudoTerminal();
    void controllerOverPseudoTerminal();
    void controllerWrongWords_data();
    void controllerWrongWords();
    void controllerSetNamesWhatWasNotWritten();
    void controllerSetWritesTheAddressLast();
    void controllerBeyondSixteen();
    void keyboardStatusSimulated_data();
    void keyboardStatusSimulated();
    void dbSaveNeedsEveryReadAndTheFactoryNumber();
    void dbSaveRefusesWhatItCannotRead_data();
    void dbSaveRefusesWhatItCannotRead();
    void dbSaveAndLoadOverPseudoTerminal();
    void valueRefusedBeforeAnyFrame_data();
    void valueRefusedBeforeAnyFrame();
    void snapshotDiffRestoreReport();
    void restoreSaysWhatTheSnapshotLacks();
    void snapshotNamesWhatDidNotCome_data();
    void snapshotNamesWhatDidNotCome();
    void sensorSettingsFailures_data();
    void sensorSettingsFailures();
    void sensorWriteStopsAtBreak_data();
    void sensorWriteStopsAtBreak();
    void snapshotOfEachType_data();
    void snapshotOfEachType();
    void restoreOutsideItsScope_data();
    void restoreOutsideItsScope();
    void versionTextsEndAtTheirZero();
};
