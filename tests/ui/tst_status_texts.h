#pragma once

#include <QObject>

// What the status line says of a status the simulated sensor sends: the
// engineer's words for its code bytes and its fault summary.
class TestStatusTexts : public QObject {
    Q_OBJECT
  private slots:
    void cellSaysWhatTheSensorSent_data();
    void cellSaysWhatTheSensorSent();
};
