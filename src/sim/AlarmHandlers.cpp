#include "sim/AlarmHandlers.h"

#include "sim/Bytes.h"

namespace sim::alarms {
namespace {

int byteAt(const bus::DecodedRequest& req, int i) {
    return static_cast<std::uint8_t>(req.payload[i]);
}

// Direct sensors are their own controller: no sensor byte in the payload.
bool direct(Installation& inst) {
    return inst.type() == 2;
}

// The sensor a request is about, and where its own words start.
SimAlarm* alarmOf(Installation& inst, SimController& c, const bus::DecodedRequest& req, int& at) {
    if (direct(inst)) {
        at = 0;
        return &c.alarms[c.first];
    }
    if (req.payload.isEmpty())
        return nullptr;
    at = 1;
    const int sensor = byteAt(req, 0) - 1;
    if (sensor < c.first || sensor >= c.first + c.count)
        return nullptr;
    return &c.alarms[sensor];
}

} // namespace

// 0x54: read gives the thresholds, the dry contacts and the volume; a write
// sets one threshold (or, direct, the two contact masks).
std::optional<Answer> thresholds(Installation& inst, SimController& c,
                                 const bus::DecodedRequest& req) {
    int at = 0;
    SimAlarm* a = alarmOf(inst, c, req, at);
    if (!a)
        return std::nullopt;
    const int words = static_cast<int>(req.payload.size()) - at;
    if (words == 0) {
        QByteArray out = direct(inst) ? QByteArray() : QByteArray(1, req.payload[0]);
        for (int t : a->thresholds)
            out += rawBytes({t >> 8, t});
        const quint32 v = a->volume;
        if (direct(inst))
            out += rawBytes({0, 0, a->contacts[0], a->contacts[1], static_cast<int>(v >> 24),
                             static_cast<int>(v >> 16), static_cast<int>(v >> 8)});
        else
            out += rawBytes({static_cast<int>(v >> 24), static_cast<int>(v >> 16),
                             static_cast<int>(v >> 8), static_cast<int>(v)});
        return Answer{out, {}};
    }
    if (words != 3 || !c.service)
        return Answer{rawBytes({0}), {}};
    int index = byteAt(req, at) - (direct(inst) ? 1 : 0);
    if (direct(inst) && byteAt(req, at) == 7) {
        a->contacts = {byteAt(req, at + 1), byteAt(req, at + 2)};
    } else if (index >= 0 && index <= 4 && index != 1) {
        a->thresholds[index] = (byteAt(req, at + 1) << 8) | byteAt(req, at + 2);
    }
    return Answer{rawBytes({1}), {}};
}

// 0x55: the enable bits (direct: the two relay modes).
std::optional<Answer> enables(Installation& inst, SimController& c,
                              const bus::DecodedRequest& req) {
    int at = 0;
    SimAlarm* a = alarmOf(inst, c, req, at);
    if (!a)
        return std::nullopt;
    const int words = static_cast<int>(req.payload.size()) - at;
    if (words == 0)
        return direct(inst) ? Answer{rawBytes({a->modes[0], a->modes[1]}), {}}
                            : Answer{QByteArray(1, req.payload[0]) + rawBytes({a->enables}), {}};
    if (!c.service)
        return Answer{rawBytes({0}), {}};
    if (direct(inst) && words == 2 && (byteAt(req, 0) == 1 || byteAt(req, 0) == 2))
        a->modes[byteAt(req, 0) - 1] = byteAt(req, 1);
    else if (!direct(inst) && words == 1)
        a->enables = byteAt(req, at) & 0x3F;
    return Answer{rawBytes({1}), {}};
}

// 0xA0: writes are taken until 0xA5.
std::optional<Answer> beginService(Installation&, SimController& c, const bus::DecodedRequest&) {
    c.service = true;
    return Answer{rawBytes({1}), {}};
}

// 0x57: the output matrix, in the firmware's old (4 bytes) or new form.
std::optional<Answer> relays(Installation&, SimController& c, const bus::DecodedRequest& req) {
    const int n = static_cast<int>(req.payload.size());
    if (n == 0) {
        QByteArray out;
        for (int i = 0; i < 4; ++i)
            out += c.oldRelayForm ? rawBytes({(c.relayEvents[i] << 4) | (c.relaySensors[i] & 0x0F)})
                                  : rawBytes({c.relayEvents[i], c.relaySensors[i]});
        return Answer{out, {}};
    }
    if (n != (c.oldRelayForm ? 4 : 8))
        return Answer{rawBytes({0}), {}};
    for (int i = 0; i < 4; ++i) {
        if (c.oldRelayForm) {
            c.relayEvents[i] = byteAt(req, i) >> 4;
            c.relaySensors[i] = byteAt(req, i) & 0x0F;
        } else {
            c.relayEvents[i] = byteAt(req, 2 * i);
            c.relaySensors[i] = byteAt(req, 2 * i + 1);
        }
    }
    return Answer{rawBytes({4}), {}};
}

// 0x58 [2]: the three state masks.
std::optional<Answer> state(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() != 1 || byteAt(req, 0) != 2)
        return std::nullopt;
    return Answer{rawBytes({2, s.alarmState[0], s.alarmState[1], s.alarmState[2]}), {}};
}

// 0x56 [event]: a sounding alarm switched off.
std::optional<Answer> switchOff(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() != 1 || byteAt(req, 0) > 5)
        return std::nullopt;
    const int bit = 1 << byteAt(req, 0);
    const bool sounding = (s.alarmState[2] & bit) != 0;
    s.alarmState[2] &= ~bit;
    return Answer{rawBytes({sounding ? 1 : 0}), {}};
}

// 0x12: the memory test's result.
std::optional<Answer> memoryTest(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    return Answer{s.memoryTestAnswer, {}};
}

} // namespace sim::alarms
