#pragma once

#include <QObject>

// tables K write on a pseudo-terminal whose far end goes away mid-write.
class TestTablesCli : public QObject {
    Q_OBJECT
  private slots:
    void lineLostNamesTheBlock_data();
    void lineLostNamesTheBlock();
};
