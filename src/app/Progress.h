#pragma once

namespace app {

// What a long device loop needs from whoever shows it: the progress dialog
// in the window, a console line in the CLI. Loops check breakRequested()
// before every request and call processEvents() after each one.
class Progress {
  public:
    virtual ~Progress() = default;
    // n > 0 shows a bar with maximum n; clears the break request.
    virtual void ShowProgress(int n) = 0;
    // k != 0 sets the bar to k, k == 0 advances it by one.
    virtual void StepProgress(int k) = 0;
    virtual void CloseProgress() = 0;
    virtual bool breakRequested() const = 0;
    virtual void processEvents() = 0;
};

// For loops run where nobody watches (tests, batch use without a console).
class SilentProgress : public Progress {
  public:
    void ShowProgress(int) override { m_break = false; }
    void StepProgress(int) override {}
    void CloseProgress() override {}
    bool breakRequested() const override { return m_break; }
    void processEvents() override {}
    void requestBreak() { m_break = true; }

  private:
    bool m_break = false;
};

} // namespace app
