#pragma once

#include <QObject>

// tables K write on a pseudo-terminal whose far end goes away mid-write;
// the controller's modes after a write, a signal, or an unheard end.
class TestTablesCli : public QObject {
    Q_OBJECT
  private slots:
    void lineLostNamesTheBlock_data();
    void lineLostNamesTheBlock();
    void serviceLeftOnIsSaid_data();
    void serviceLeftOnIsSaid();
    void signalEndsLikeBreak_data();
    void signalEndsLikeBreak();
};
