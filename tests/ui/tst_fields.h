#pragma once

#include <QObject>

class TestEntryFields : public QObject {
    Q_OBJECT
  private slots:
    void typingReplacesTheValue_data();
    void typingReplacesTheValue();
    void selectAllAndCopyPass_data();
    void selectAllAndCopyPass();
};
