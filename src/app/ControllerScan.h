#pragma once

#include "app/ControllerLayout.h"
#include "app/Progress.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace bus {
class SerialLink;
}

namespace app {

// What the window shows while a scan runs. keepScanning() lets a view that
// started the scan with a toggle button stop it by releasing that button.
class ScanObserver {
  public:
    virtual ~ScanObserver() = default;
    // The first n controller slots are about to be probed.
    virtual void scanStarted(int /*n*/) {}
    virtual void controllerFound(int /*index*/) {}
    virtual bool keepScanning() { return true; }
};

struct ScanResult {
    // The first controller found, which becomes the selected one.
    std::optional<std::uint8_t> selectedController;
    // The port was gone during the scan.
    bool communicationProblem = false;
    // Controllers found; in the direct-sensor type the sensors that answered.
    int found = 0;
    // Whether anything at all came back on the line.
    bool lineHeard = false;
};

// The status line after a scan: "НАЙДЕНО КИП: N", "КИП НЕ НАЙДЕНЫ", or
// "КИП НЕ НАЙДЕНЫ: НЕТ ОТВЕТА" when nothing at all came back.
QString scanSummary(const ScanResult& result);

// Finds the controllers on the line and fills the layout. In the
// direct-sensor type it probes 64 sensor addresses instead; the sensor
// address end is then one past the last sensor that answered, as in every
// other type.
ScanResult ScanControllers(bus::SerialLink& link, ControllerLayout& layout, Progress& progress,
                           ScanObserver* observer = nullptr);

} // namespace app
