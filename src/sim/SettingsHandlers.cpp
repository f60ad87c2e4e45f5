#include "sim/SettingsHandlers.h"

#include "sim/Bytes.h"

#include <cstring>

namespace sim::settings {
namespace {

constexpr int kAccepted = 1;

int byteAt(const bus::DecodedRequest& req, int i) {
    return static_cast<std::uint8_t>(req.payload[i]);
}

} // namespace

// 0x83: the cell and its new value; the answer echoes the cell and 0 for a
// value taken. Identifier cells come as text and are kept as text.
std::optional<Answer> writeCell(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() < 2)
        return std::nullopt;
    const int cell = byteAt(req, 0);
    // Cells 13..20 initialise density meter 1..8: it measures its own
    // correction.
    if (cell >= 13 && cell <= 20) {
        if (cell - 12 > s.densityCount)
            return std::nullopt;
        s.densityCorrections[cell - 13] = 0.2f;
        return Answer{rawBytes({cell, 0}), {}};
    }
    s.cells[cell] = req.payload.mid(1);
    if (cell == 0x91 && req.payload.size() >= 3)
        s.length = ((byteAt(req, 1) << 8) | byteAt(req, 2)) * 125 / (s.wide ? 4 : 8);
    return Answer{rawBytes({cell, 0}), {}};
}

// 0x4F: read without payload, write with one byte.
std::optional<Answer> flags(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.isEmpty())
        return Answer{rawBytes({s.flags}), {}};
    if (req.payload.size() != 1)
        return std::nullopt;
    s.flags = byteAt(req, 0);
    return Answer{rawBytes({kAccepted}), {}};
}

// 0x1F: the criterion in tenths of a millimetre, big-endian.
std::optional<Answer> fillCriterion(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.isEmpty())
        return Answer{rawBytes({s.fillCriterionTenths >> 8, s.fillCriterionTenths}), {}};
    if (req.payload.size() != 2)
        return std::nullopt;
    s.fillCriterionTenths = (byteAt(req, 0) << 8) | byteAt(req, 1);
    return Answer{rawBytes({kAccepted}), {}};
}

// 0x37 [any]: eight single-precision numbers, little-endian, section 1 first.
std::optional<Answer> readSectionCorrections(Installation&, SimSensor& s,
                                             const bus::DecodedRequest& req) {
    if (req.payload.size() != 1)
        return std::nullopt;
    QByteArray out;
    for (float f : s.sectionCorrections) {
        quint32 bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        for (int shift = 0; shift < 32; shift += 8)
            out.append(static_cast<char>((bits >> shift) & 0xFF));
    }
    return Answer{out, {}};
}

// 0x36 [section 1..8, 4 bytes little-endian]: the answer echoes the section
// and gives a non-zero byte for a value taken.
std::optional<Answer> writeSectionCorrection(Installation&, SimSensor& s,
                                             const bus::DecodedRequest& req) {
    if (req.payload.size() != 5)
        return std::nullopt;
    const int section = byteAt(req, 0);
    if (section < 1 || section > 8)
        return Answer{rawBytes({section, 0}), {}};
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(byteAt(req, 1 + i)) << (8 * i);
    std::memcpy(&s.sectionCorrections[section - 1], &bits, sizeof bits);
    return Answer{rawBytes({section, kAccepted}), {}};
}

// 0x17: working and removed segments; a write is echoed.
std::optional<Answer> segments(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.size() == 2) {
        s.workingSegments = byteAt(req, 0);
        s.removedSegments = byteAt(req, 1);
    } else if (!req.payload.isEmpty()) {
        return std::nullopt;
    }
    return Answer{rawBytes({s.workingSegments, s.removedSegments}), {}};
}

// 0x19: read gives the code-update byte, the counter and its running value;
// [1, byte] writes the code-update byte, [2, n] the counter (3..254).
std::optional<Answer> codeUpdate(Installation&, SimSensor& s, const bus::DecodedRequest& req) {
    if (req.payload.isEmpty())
        return Answer{rawBytes({s.codeUpdate, s.counter, s.counterValue}), {}};
    if (req.payload.size() != 2)
        return std::nullopt;
    const int what = byteAt(req, 0);
    const int value = byteAt(req, 1);
    bool taken = false;
    if (what == 1) {
        s.codeUpdate = value & 0xC0;
        taken = true;
    } else if (what == 2 && value >= 3 && value <= 254) {
        s.counter = value;
        taken = true;
    }
    return Answer{rawBytes({what, taken ? kAccepted : 0}), {}};
}

} // namespace sim::settings
