#pragma once

#include <QObject>

// Line recordings: made with --record, served by orvant2-sim --replay,
// checked by replay-check, and the corpus of tests/recordings.
class TestRecordings : public QObject {
    Q_OBJECT
  private slots:
    void corpusReplaysAsRecorded_data();
    void corpusReplaysAsRecorded();
    void recordedSessionReplays();
    void recordingOnAFullDisk();
    void notARecording();
};
