#include "link/PortDevice.h"

#include <chrono>

namespace bus {
PortDevice::~PortDevice() = default;

qint64 PortDevice::clockMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace bus
