#pragma once

#include "app/Progress.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress dialog shown during every long exchange. Not modal: the loop
// that shows it keeps running and processes events, so "ПРЕРВАТЬ" can stop it.
class TPForm final : public QDialog, public app::Progress {
    Q_OBJECT
  public:
    // breakFlag is the window's breakRequested; anchor is where it appears.
    TPForm(bool& breakFlag, QWidget* anchor);

    void ShowProgress(int n) override;
    void StepProgress(int k) override;
    void CloseProgress() override;
    bool breakRequested() const override { return m_break; }
    void processEvents() override;

  signals:
    // ПРЕРВАТЬ pressed: for what waits without a loop that looks at the flag.
    void breakPressed();

  private:
    bool& m_break;
    QWidget* m_anchor;
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_breakButton;
};
