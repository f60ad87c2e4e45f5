#pragma once

#include <QObject>

class TestUpdatePage : public QObject {
    Q_OBJECT
  private slots:
    void linkProgramFree();
    void fileFromTheConfiguration();
    void unsupportedFileIsRefused();
};
