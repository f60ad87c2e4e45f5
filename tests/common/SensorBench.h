#pragma once

#include "common/CommandLog.h"
#include "common/SimHarness.h"
#include "link/FrameCodec.h"
#include "link/Transit.h"

#include <cstring>

// Sensor 2 behind controller 0, the controller in transit, the line logged.
struct SensorBench {
    static constexpr std::uint8_t kSensor = 2;
    SensorBench() : h(scenarioFrom("controller 0 0 4\n")) {
        bus::EnterTransitMode(h.link, 0x80);
        h.link.setObserver(&log);
    }
    sim::SimSensor& sensor() { return *h.installation->sensor(kSensor); }
    SimHarness h;
    CommandLog log;
};

// The request frame as the link puts it on the line.
inline QByteArray requestFrame(std::uint8_t address, std::uint8_t command,
                               const QByteArray& payload = {}) {
    bus::Buffer b{};
    const int n = bus::encodeRequest(
        b, address, command,
        std::span(reinterpret_cast<const std::uint8_t*>(payload.constData()), payload.size()));
    return QByteArray(reinterpret_cast<const char*>(b.data()), n);
}

// A single-precision number as the sensor keeps it: four bytes, low first.
inline QByteArray floatBytes(float f) {
    quint32 bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    QByteArray b;
    for (int shift = 0; shift < 32; shift += 8)
        b.append(char((bits >> shift) & 0xFF));
    return b;
}
