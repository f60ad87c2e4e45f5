#include "sim/BootLoader.h"

#include "sim/Bytes.h"

namespace sim::boot {
namespace {

constexpr int kMaxBlock = 128;

std::optional<Answer> enterOn(SimController& c, Cpu cpu) {
    c.inBootLoader[static_cast<int>(cpu)] = true;
    QByteArray& flash = c.program[static_cast<int>(cpu)];
    if (flash.size() != kProgramSpace)
        flash = QByteArray(kProgramSpace, '\xFF');
    return Answer{rawBytes({1}), {}};
}

} // namespace

std::optional<Answer> enter(Installation&, SimController& c, const bus::DecodedRequest&) {
    return enterOn(c, Cpu::Main);
}

std::optional<Answer> enterKeyboard(Installation&, SimController& c, const bus::DecodedRequest&) {
    return enterOn(c, Cpu::Keyboard);
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
    switch (req.command) {
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
    case 0xA5: {
        c.inBootLoader[which] = false;
        // The processor starts the program it now holds.
        const QByteArray version = versionIn(flash);
        if (!version.isEmpty())
            (cpu == Cpu::Main ? c.version : c.keyboardVersion) = version;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace sim::boot
