#include "sim/Handlers.h"

namespace sim {
namespace {

Answer bytes(std::initializer_list<int> values) {
    Answer a;
    for (int v : values)
        a.data.append(static_cast<char>(v));
    return a;
}

// 0x01: the firmware version text.
std::optional<Answer> controllerVersion(Installation&, SimController& c, const bus::DecodedRequest&) {
    return Answer{c.version, {}};
}

// 0x0A read: own address, first sensor, sensor count.
std::optional<Answer> controllerAddressRange(Installation&, SimController& c,
                                             const bus::DecodedRequest& req) {
    if (req.count != 0)
        return std::nullopt;
    return bytes({0x80 + (c.index & 0x7F), c.first, c.count});
}

// 0x7C: sensor count, presence mask (high, low), state and mode bytes.
std::optional<Answer> controllerState(Installation&, SimController& c, const bus::DecodedRequest&) {
    const quint32 mask = c.count >= 16 ? 0xFFFF : ((1u << c.count) - 1);
    return bytes({c.count, static_cast<int>((mask >> 8) & 0x7F), static_cast<int>(mask & 0xFF),
                  c.transit ? 0x20 : 0x00, 0, 0, 0x03, 0, 0, 0});
}

// 0xA1 / 0xA5: into and out of transit; an empty reply acknowledges.
std::optional<Answer> controllerEnterTransit(Installation&, SimController& c, const bus::DecodedRequest&) {
    c.transit = true;
    return Answer{};
}

std::optional<Answer> controllerResumeNormal(Installation&, SimController& c, const bus::DecodedRequest&) {
    c.transit = false;
    return Answer{};
}

// 0x03: byte 0 echoes the cell; heights follow as 2 bytes, identifiers as
// their 16 characters in the raw-text form.
std::optional<Answer> sensorReadCell(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() != 1)
        return std::nullopt;
    const int cell = static_cast<std::uint8_t>(req.payload[0]);
    const auto it = s.cells.find(cell);
    const QByteArray value = it != s.cells.end() ? it->second : QByteArray(2, '\0');
    if (cell >= 0x81 && cell <= 0x8E)
        return Answer{QByteArray(1, static_cast<char>(cell)), value};
    return Answer{QByteArray(1, static_cast<char>(cell)) + value, {}};
}

std::optional<Answer> sensorVersion(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{s.version, {}};
}

} // namespace

const std::map<std::uint8_t, ControllerHandler>& controllerHandlers() {
    static const std::map<std::uint8_t, ControllerHandler> table = {
        {0x01, controllerVersion},      {0x0A, controllerAddressRange},
        {0x7C, controllerState},        {0xA1, controllerEnterTransit},
        {0xA5, controllerResumeNormal},
    };
    return table;
}

const std::map<std::uint8_t, SensorHandler>& sensorHandlers() {
    static const std::map<std::uint8_t, SensorHandler> table = {
        {0x01, sensorVersion},
        {0x03, sensorReadCell},
    };
    return table;
}

} // namespace sim
