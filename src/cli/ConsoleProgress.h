#pragma once

#include "app/Progress.h"

namespace cli {

// Every signal that would end the program where it stands (Ctrl+C, a
// terminal or ssh session gone, timeout or a service manager stopping it)
// asks for Break instead, for the whole run: the command stops as its loops
// allow and leaves transit and service mode off on the way out. Installed
// once, before the line is opened.
void breakOnSignals();
// How many of those signals came (the watcher stops between polls on the
// first and at once on the second).
int signalsReceived();
// Whether a SIGPIPE came: a pipe we wrote into had lost its reader.
bool pipeReaderGone();

// A progress line on standard error; a signal (breakOnSignals) asks the
// loop to stop, and every loop after it.
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
