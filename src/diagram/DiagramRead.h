#pragma once

#include "diagram/Diagram.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

namespace diagram {

// The layout the drawing needs when the segment count changed.
struct ReadResult {
    bool drawn = false;    // a diagram was read (true also with arrays incomplete)
    bool stopped = false;  // the user broke off; the status line stays as it was
    QString mess;          // the status line text
    QString step;          // the last step text
    int codesRead = 0;     // sensor codes received
    bool complete = false; // every array read whole
    // The layers to draw again; a layer not read keeps its picture.
    bool sensorLayer = false;
    bool dryLayer = false;
    bool wetLayer = false;
};

// Reads the diagram of the sensor into d (its arrays and header persist
// between reads; each read clears them first). With referenceCodes the dry
// and wet codes are read too. showStep sees each step text as it begins.
ReadResult ReadSegmentDiagram(bus::SerialLink& link, std::uint8_t sensor, bool referenceCodes,
                              app::Progress& progress, Diagram& d,
                              const std::function<void(const QString&)>& showStep = {});
// After a read, whatever came of it: the sensor starts a measurement (0x8A,
// unanswered) for the next look.
void StartNextMeasurement(bus::SerialLink& link, std::uint8_t sensor);

// The six code buttons: clear the air, fuel or all references, or compute
// the air or fuel references, or foretell both.
enum class CodeAction { ClearAir, ClearFuel, ClearAll, ComputeAir, ComputeFuel, Forecast };
// True when the sensor answered the command; the caller handles transit.
bool ClearOrComputeCodes(bus::SerialLink& link, std::uint8_t sensor, CodeAction action);
inline const QString kDone = QStringLiteral("ВЫПОЛНЕНО");
inline const QString kNotDone = QStringLiteral("НЕ ВЫПОЛНЕНО");

} // namespace diagram
