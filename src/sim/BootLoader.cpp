#include "sim/BootLoader.h"

#include "sim/Bytes.h"

namespace sim::boot {
namespace {

constexpr int kMaxBlock = 128;

Answer entered(QByteArray& flash) {
    if (flash.size() != kProgramSpace)
        flash = QByteArray(kProgramSpace, '\xFF');
    return Answer{rawBytes({1}), {}};
}

// What every loader answers alike; the release is the caller's.
std::optional<Answer> loaderAnswer(QByteArray& flash, const bus::DecodedRequest& req) {
    switch (req.command) {
    case 0x5A:
        return Answer{rawBytes({1}), {}};
    case 0x7C:
        return Answer{rawBytes({0, 0x80}), {}};
    case 0x50: {
        if (req.payload.isEmpty())
            return Answer{rawBytes({1}), {}};
        // Whole words, within the flash, at most 128 bytes.
        const int length = static_cast<int>(req.payload.size()) - 2;
        const int at = ((static_cast<std::uint8_t>(req.payload[0]) << 8) |
                        static_cast<std::uint8_t>(req.payload[1])) *
                       2;
        if (length <= 0 || length % 2 != 0 || length > kMaxBlock || at + length > flash.size())
            return Answer{rawBytes({0}), {}};
        flash.replace(at, length, req.payload.mid(2));
        return Answer{rawBytes({1}), {}};
    }
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<Answer> enter(Installation&, SimController& c, const bus::DecodedRequest&) {
    c.inBootLoader[static_cast<int>(Cpu::Main)] = true;
    return entered(c.program[static_cast<int>(Cpu::Main)]);
}

std::optional<Answer> enterKeyboard(Installation&, SimController& c, const bus::DecodedRequest&) {
    c.inBootLoader[static_cast<int>(Cpu::Keyboard)] = true;
    return entered(c.program[static_cast<int>(Cpu::Keyboard)]);
}

std::optional<Answer> enterSensor(Installation&, SimSensor& s, const bus::DecodedRequest&) {
    s.inBootLoader = true;
    return entered(s.program);
}

QByteArray versionIn(const QByteArray& program) {
    const qsizetype at = program.indexOf("REV");
    if (at < 0)
        return {};
    const qsizetype zero = program.indexOf('\0', at);
    return program.mid(at, (zero < 0 ? program.size() : zero) - at).left(40);
}

std::optional<Answer> answer(SimController& c, Cpu cpu, const bus::DecodedRequest& req) {
    const int which = static_cast<int>(cpu);
    QByteArray& flash = c.program[which];
    if (req.command != 0xA5)
        return req.command == 0x5A ? std::nullopt : loaderAnswer(flash, req);
    c.inBootLoader[which] = false;
    // The processor starts the program it now holds.
    const QByteArray version = versionIn(flash);
    if (!version.isEmpty()) {
        (cpu == Cpu::Main ? c.version : c.keyboardVersion) = version;
        if (cpu == Cpu::Main)
            c.firmwareDead = false;
    }
    return std::nullopt;
}

std::optional<Answer> sensorAnswer(SimSensor& s, const bus::DecodedRequest& req) {
    if (s.program.size() != kProgramSpace)
        s.program = QByteArray(kProgramSpace, '\xFF');
    if (req.command != 0xA5)
        return loaderAnswer(s.program, req);
    s.inBootLoader = false;
    // Firmware with a version in it runs; an empty flash leaves the sensor
    // as it was.
    const QByteArray version = versionIn(s.program);
    if (!version.isEmpty()) {
        s.version = version;
        s.firmwareBroken = false;
    }
    return std::nullopt;
}

} // namespace sim::boot
