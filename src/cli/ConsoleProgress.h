#pragma once

#include "app/Progress.h"

namespace cli {

// A progress line on standard error; Ctrl+C asks the loop to stop, and
// every loop after it.
class ConsoleProgress final : public app::Progress {
  public:
    ConsoleProgress();
    ~ConsoleProgress() override;

    void ShowProgress(int n) override;
    void StepProgress(int k) override;
    void CloseProgress() override;
    bool breakRequested() const override;
    void processEvents() override {}

  private:
    void draw();
    int m_max = 0;
    int m_position = 0;
    bool m_showing = false;
};

} // namespace cli
