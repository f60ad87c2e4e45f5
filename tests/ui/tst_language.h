#pragma once

#include <QObject>

class TestLanguage : public QObject {
    Q_OBJECT
  private slots:
    void standardButtonsAreRussian();
    void fileErrorsAreRussian_data();
    void fileErrorsAreRussian();
    void fileErrorOnTheStatusLine();
    void closeButtonsAreRussian();
    void fileDialogColumnsAreRussian();
};
