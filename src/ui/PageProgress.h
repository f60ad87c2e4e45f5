#pragma once

#include "app/Progress.h"
#include "ui/TPForm.h"

#include <QProgressBar>

#include <algorithm>

// The page's bar shows how far a transfer got; the wait dialog's Break
// stops it between blocks.
class PageProgress final : public app::Progress {
  public:
    PageProgress(TPForm& dialog, QProgressBar& bar) : m_dialog(dialog), m_bar(bar) {}
    ~PageProgress() override { CloseProgress(); }
    void ShowProgress(int n) override {
        m_dialog.ShowProgress(0);
        m_bar.setRange(0, std::max(n, 1));
        m_bar.setValue(0);
        m_bar.show();
    }
    void StepProgress(int k) override { m_bar.setValue(k ? k : m_bar.value() + 1); }
    void CloseProgress() override { m_bar.hide(); }
    bool breakRequested() const override { return m_dialog.breakRequested(); }
    void processEvents() override { m_dialog.processEvents(); }

  private:
    TPForm& m_dialog;
    QProgressBar& m_bar;
};
