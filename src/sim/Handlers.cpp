#include "sim/Handlers.h"

#include "sim/AlarmHandlers.h"
#include "sim/BootLoader.h"
#include "sim/Bytes.h"
#include "sim/ControllerHandlers.h"
#include "sim/DiagramHandlers.h"
#include "sim/PlaceHandlers.h"
#include "sim/SettingsHandlers.h"
#include "sim/TableHandlers.h"

#include <cstdlib>

namespace sim {
namespace {

// Devices end their texts with a zero byte.
QByteArray text(const QByteArray& t) {
    return t + QByteArray(1, '\0');
}

// 0x01: the firmware version text; 0x02: its date after the last '.'.
// A processor in its boot loader runs no firmware to ask.
std::optional<Answer> controllerVersion(Installation&, SimController& c,
                                        const bus::DecodedRequest&) {
    if (c.inBootLoader[0])
        return std::nullopt;
    return Answer{text(c.version), {}};
}

std::optional<Answer> controllerDate(Installation&, SimController& c, const bus::DecodedRequest&) {
    if (c.inBootLoader[0])
        return std::nullopt;
    return Answer{text(c.date), {}};
}

// The keyboard/display processor tells its own version and date.
std::optional<Answer> keyboardVersion(Installation&, SimController& c, const bus::DecodedRequest&) {
    if (c.inBootLoader[1])
        return std::nullopt;
    return Answer{text(c.keyboardVersion), {}};
}

std::optional<Answer> keyboardDate(Installation&, SimController& c, const bus::DecodedRequest&) {
    if (c.inBootLoader[1])
        return std::nullopt;
    return Answer{text(c.date), {}};
}

// 0xAE: the emergency update flag, read, or set to the one byte given.
std::optional<Answer> emergencyFlag(Installation&, SimController& c,
                                    const bus::DecodedRequest& req) {
    if (req.payload.size() > 1)
        return std::nullopt;
    if (req.payload.size() == 1) {
        const int want = static_cast<std::uint8_t>(req.payload[0]);
        if (want > 1)
            return std::nullopt;
        c.emergencyFlag = want == 1;
    }
    return Answer{rawBytes({c.emergencyFlag ? 1 : 0}), {}};
}

// 0xA1 / 0xA5: into and out of transit; an empty reply acknowledges.
std::optional<Answer> controllerEnterTransit(Installation&, SimController& c,
                                             const bus::DecodedRequest&) {
    c.transit = true;
    return Answer{};
}

std::optional<Answer> controllerResumeNormal(Installation&, SimController& c,
                                             const bus::DecodedRequest&) {
    c.transit = false;
    c.service = false;
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

// Value encodings: integer part, one fraction digit, status code.
QByteArray unsigned16(const Reading& r) {
    const int whole = std::abs(r.tenths) / 10;
    return rawBytes({whole >> 8, whole, std::abs(r.tenths) % 10, r.code});
}

QByteArray signed16(const Reading& r) {
    const int whole = r.tenths / 10;
    return rawBytes({whole >> 8, whole, std::abs(r.tenths) % 10, r.code});
}

QByteArray signed32(const Reading& r) {
    const qint32 whole = r.tenths / 10;
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>(whole >> shift));
    out.append(static_cast<char>(std::abs(r.tenths) % 10));
    out.append(static_cast<char>(r.code));
    return out;
}

QByteArray signedByte(const Reading& r) {
    const int whole = std::abs(r.tenths) / 10;
    return rawBytes({r.tenths < 0 ? 1 : 0, whole, std::abs(r.tenths) % 10, r.code});
}

// The fuel level breathes a little from one reading to the next.
Reading fuelNow(SimSensor& s) {
    Reading r = s.fuel;
    r.tenths += (s.polls++ % 5) - 2;
    return r;
}

QByteArray statusWord(const SimSensor& s) {
    return rawBytes({s.s1, s.s2});
}

std::optional<Answer> sensorFullStatus(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{statusWord(s) + unsigned16(fuelNow(s)) + unsigned16(s.water) +
                      signedByte(s.temperature) + signed16(s.density) + signed32(s.volume) +
                      signed32(s.mass),
                  {}};
}

std::optional<Answer> sensorStatus(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{statusWord(s), {}};
}

std::optional<Answer> sensorFuel(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{unsigned16(fuelNow(s)), {}};
}

std::optional<Answer> sensorWater(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{unsigned16(s.water), {}};
}

std::optional<Answer> sensorTemperature(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{signedByte(s.temperature), {}};
}

std::optional<Answer> sensorDensity(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{signed16(s.density), {}};
}

std::optional<Answer> sensorVolume(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{signed32(s.volume), {}};
}

std::optional<Answer> sensorMass(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{signed32(s.mass), {}};
}

// 0x07 [n] and 0x0A [n]: byte 0 echoes the channel.
int channelOf(const bus::DecodedRequest& req) {
    return req.payload.size() == 1 ? static_cast<std::uint8_t>(req.payload[0]) : 0;
}

std::optional<Answer> sensorThermometer(Installation&, SimSensor& s,
                                        const bus::DecodedRequest& req) {
    const int n = channelOf(req);
    if (n < 1 || n > 8)
        return std::nullopt;
    return Answer{QByteArray(1, static_cast<char>(n)) + signedByte(s.thermometers[n - 1]), {}};
}

std::optional<Answer> sensorDensityChannel(Installation&, SimSensor& s,
                                           const bus::DecodedRequest& req) {
    const int n = channelOf(req);
    if (n < 1 || n > 8)
        return std::nullopt;
    return Answer{QByteArray(1, static_cast<char>(n)) + signed16(s.densityChannels[n - 1]), {}};
}

// 0x0D: height (2 bytes), two reserved bytes, thermometers, density meters.
std::optional<Answer> sensorLength(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{rawBytes({s.length >> 8, s.length, 0, 0, s.thermometerCount, s.densityCount}),
                  {}};
}

// 0x8A starts a measurement cycle; it is never answered.
std::optional<Answer> sensorTrigger(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    ++s.triggers;
    return std::nullopt;
}

std::optional<Answer> sensorVersion(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{text(s.version), {}};
}

std::optional<Answer> sensorDate(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{text(s.date), {}};
}

} // namespace

const std::map<std::uint8_t, ControllerHandler>& controllerHandlers() {
    static const std::map<std::uint8_t, ControllerHandler> table = {
        {0x01, controllerVersion},       {0x0A, controllers::addressRange},
        {0x7C, controllers::mainState},  {0xA1, controllerEnterTransit},
        {0x03, controllers::interval},   {0x08, controllers::passwords},
        {0x09, controllers::channels},   {0x0B, controllers::option},
        {0xA5, controllerResumeNormal},  {0x0F, places::controllerThermometerId},
        {0x54, alarms::thresholds},      {0x55, alarms::enables},
        {0xA0, alarms::beginService},    {0x57, alarms::relays},
        {0x78, tables::pageSize},        {0x7A, tables::readAllocation},
        {0x70, tables::writeAllocation}, {0x52, tables::writeBlockMulti},
        {0x53, tables::readChunkMulti},  {0x71, tables::writeBlockSingle},
        {0x72, tables::readChunkSingle}, {0x5A, boot::enter},
        {0x02, controllerDate},          {0xAE, emergencyFlag},
    };
    return table;
}

const std::map<std::uint8_t, ControllerHandler>& keyboardHandlers() {
    static const std::map<std::uint8_t, ControllerHandler> table = {
        {0x7C, controllers::keyboardState},
        {0x5A, boot::enterKeyboard},
        {0x01, keyboardVersion},
        {0x02, keyboardDate},
    };
    return table;
}

const std::map<std::uint8_t, SensorHandler>& sensorHandlers() {
    static const std::map<std::uint8_t, SensorHandler> table = {
        {0x01, sensorVersion},
        {0x02, sensorDate},
        {0x5A, boot::enterSensor},
        {0x03, sensorReadCell},
        {0x04, sensorFuel},
        {0x05, sensorWater},
        {0x06, sensorTemperature},
        {0x07, sensorThermometer},
        {0x08, sensorDensity},
        {0x0A, sensorDensityChannel},
        {0x0C, sensorStatus},
        {0x0D, sensorLength},
        {0x10, sensorVolume},
        {0x11, sensorMass},
        {0x1C, sensorFullStatus},
        {0x8A, sensorTrigger},
        {0x83, settings::writeCell},
        {0x4F, settings::flags},
        {0x1F, settings::fillCriterion},
        {0x37, settings::readSectionCorrections},
        {0x36, settings::writeSectionCorrection},
        {0x17, settings::segments},
        {0x19, settings::codeUpdate},
        {0x28, places::thermometerSearch},
        {0x41, places::densityExchange},
        {0x40, places::checkedBlock},
        {0x58, alarms::state},
        {0x56, alarms::switchOff},
        {0x12, alarms::memoryTest},
        {0x0B, diagram::codeBlock},
        {0x34, diagram::dryBlock},
        {0x35, diagram::wetBlock},
        {0x20, diagram::parameterBlock},
        {0x18, diagram::clearCodes},
        {0x30, diagram::computeAir},
        {0x31, diagram::computeFuel},
        {0x38, diagram::forecast},
    };
    return table;
}

} // namespace sim
