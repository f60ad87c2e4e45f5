#include "sim/ControllerHandlers.h"

#include "sim/Bytes.h"

namespace sim::controllers {
namespace {

int byteAt(const bus::DecodedRequest& req, int i) {
    return static_cast<std::uint8_t>(req.payload[i]);
}

Answer ok() {
    return Answer{rawBytes({1}), {}};
}

Answer range(const SimController& c) {
    return Answer{rawBytes({0x80 + (c.index & 0x7F), c.first, c.count}), {}};
}

} // namespace

// 0x03: the polling interval; a write out of 1.0..25.5 s is refused.
std::optional<Answer> interval(Installation&, SimController& c, const bus::DecodedRequest& req) {
    if (req.payload.isEmpty())
        return Answer{rawBytes({c.interval}), {}};
    if (req.payload.size() != 1)
        return std::nullopt;
    if (byteAt(req, 0) < 10)
        return Answer{rawBytes({0}), {}};
    c.interval = byteAt(req, 0);
    return ok();
}

// 0x08: working then system password; a write is a selector (0 system,
// 1 working) and four characters.
std::optional<Answer> passwords(Installation& inst, SimController& c,
                                const bus::DecodedRequest& req) {
    if (inst.type() != 0 && inst.type() != 1)
        return std::nullopt;
    if (req.payload.isEmpty())
        return Answer{c.workingPassword + c.systemPassword, {}};
    if (req.payload.size() != 5 || byteAt(req, 0) > 1)
        return Answer{rawBytes({0}), {}};
    (byteAt(req, 0) == 1 ? c.workingPassword : c.systemPassword) = req.payload.mid(1);
    return ok();
}

// 0x09: the host channels, X1 (RS232, RS485, USB) and X3 (RS232, RS485).
std::optional<Answer> channels(Installation& inst, SimController& c,
                               const bus::DecodedRequest& req) {
    if (inst.type() != 0 && inst.type() != 1)
        return std::nullopt;
    if (!req.payload.isEmpty()) {
        if (req.payload.size() != 2)
            return std::nullopt;
        const int which = byteAt(req, 0);
        const int type = byteAt(req, 1);
        if ((which == 1 && type <= 2) || (which == 2 && type <= 1))
            c.channels[which - 1] = type;
    }
    return Answer{rawBytes({c.channels[0], c.channels[1]}), {}};
}

// 0x0A: own address, first sensor, count; a write changes one of them.
std::optional<Answer> addressRange(Installation& inst, SimController& c,
                                   const bus::DecodedRequest& req) {
    if (req.payload.isEmpty())
        return range(c);
    if (req.payload.size() != 2)
        return std::nullopt;
    const int v = byteAt(req, 1);
    switch (byteAt(req, 0)) {
    case 1:
        // Two controllers at one address would talk over each other.
        if (v < 32 && (v == c.index || !inst.controller(v)))
            c.index = v;
        break;
    case 2:
        if (v < 128)
            c.first = v;
        break;
    case 3:
        if (v >= 1 && v <= 16)
            c.count = v;
        break;
    default:
        return std::nullopt;
    }
    return range(c);
}

// 0x0B [1] reads option byte 1; [1, v] writes it.
std::optional<Answer> option(Installation&, SimController& c, const bus::DecodedRequest& req) {
    if (req.payload.isEmpty() || byteAt(req, 0) != 1 || req.payload.size() > 2)
        return std::nullopt;
    if (req.payload.size() == 2)
        c.option = byteAt(req, 1);
    return Answer{rawBytes({1, c.option}), {}};
}

// 0x7C from the main processor: sensor count, presence mask (high, low),
// state bytes, the mode it is busy with, and the last error bytes. The mode
// walks through the exchanges from one read to the next.
std::optional<Answer> mainState(Installation& inst, SimController& c, const bus::DecodedRequest&) {
    quint32 mask = 0;
    for (int j = 0; j < std::min(c.count, 16); ++j) {
        const SimSensor* s = inst.sensor(c.first + j);
        if (s && !s->absent)
            mask |= 1u << j;
    }
    const int k = c.statePolls++;
    const int global = (c.transit ? 0x20 : 0x00) | (c.service ? 0x08 : 0x00) | 0x01;
    const int mode = ((k % 13) * 2) | (k & 1);
    return Answer{rawBytes({c.count, static_cast<int>((mask >> 8) & 0xFF),
                            static_cast<int>(mask & 0xFF), global, k % 3 == 0 ? 0x81 : 0x01,
                            0x0C >> (k % 3), mode, 0x12, k & 0xFF, 0x40 | (1 << (k % 6))}),
                  {}};
}

// 0x7C from the keyboard/display processor: state bytes and the channels
// it shows.
std::optional<Answer> keyboardState(Installation&, SimController& c, const bus::DecodedRequest&) {
    const int k = c.statePolls++;
    const int shown = (1 << std::min(c.count, 16)) - 1;
    return Answer{
        rawBytes({0x10 | (k % 2 ? 0x02 : 0x00), 0x80 >> (k % 8), 0x24, 0x30, shown >> 8, shown}),
        {}};
}

} // namespace sim::controllers
