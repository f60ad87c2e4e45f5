#pragma once

#include <QObject>

class TestSettings : public QObject {
    Q_OBJECT
  private slots:
    void sizeOnTheWire_data();
    void sizeOnTheWire();
    void sizeOutOfRangeSendsNothing();
    void everyToldSizeWritesBack();
    void correctionRoundTrip();
    void criterionOnTheWire();
    void flagsKeepHiddenBits_data();
    void flagsKeepHiddenBits();
    void sectionCorrections();
    void segmentsAndCodeUpdate();
    void counterLimits_data();
    void counterLimits();
    void cellWritesNeedTransit();
    void settingText_data();
    void settingText();
    void lineFaults_data();
    void lineFaults();
    void catalogueRefusesWhatTheFieldCannotHold_data();
    void catalogueRefusesWhatTheFieldCannotHold();
    void nonFiniteNeverSent();
    void eachWriteSaysItsOwnOutcome();
    void halfAByteIsNeverWrittenBlind_data();
    void halfAByteIsNeverWrittenBlind();
    void everyKeyRoundTrips_data();
    void everyKeyRoundTrips();
    void settingsWriteOnTheWire_data();
    void settingsWriteOnTheWire();
};
