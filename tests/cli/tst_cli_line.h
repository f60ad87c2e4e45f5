#pragma once

#include <QObject>

// The line itself as the CLI meets it: scan, trace, interrupts, lost and silent ports, transit.
class TestCliLine : public QObject {
    Q_OBJECT
  private slots:
    void scanOverPseudoTerminal();
    void killedClientNeverLocksTheSimulator();
    void portVanishingDuringScan();
    void scanSimulated_data();
    void scanSimulated();
    void wrongWords_data();
    void wrongWords();
    void portThatCannotBeOpened();
    void traceShowsFrames();
    void traceOneLinePerReplyAtWireSpeed();
    void interruptStopsStatus_data();
    void interruptStopsStatus();
    void helpWords_data();
    void helpWords();
    void usageOnWrongWords_data();
    void usageOnWrongWords();
    void simulatorStopsOnSignal();
    void setAddress_data();
    void setAddress();
    void statusFromConfiguration_data();
    void statusFromConfiguration();
    void unansweredReads_data();
    void unansweredReads();
    void deadLineEndsAtItsFront_data();
    void deadLineEndsAtItsFront();
    void transitLeftOn_data();
    void transitLeftOn();
    void typeFiveSendsNoProbes();
    void lostOutputEndsTheCommand_data();
    void lostOutputEndsTheCommand();
};
