#include "link/Command.h"

namespace bus {
namespace {

using enum Target;
using enum Form;

constexpr Answer await(Form f, int ms, int tries = 1) {
    return {f, AnswerKind::AwaitReply, ms, true, tries};
}
// Boot loaders answer from an address of their own.
constexpr Answer awaitFromAnyAddress(Form f, int ms) {
    return {f, AnswerKind::AwaitReply, ms, false, 1};
}
constexpr Answer raw(Form f, int ms) {
    return {f, AnswerKind::ReceiveRaw, ms, true, 1};
}
constexpr Answer unanswered() {
    return {Unanswered, AnswerKind::NotAwaited, 0, true, 1};
}
// A sensor command its controller answers outside transit too.
constexpr bool kPolled = true;

// One row per code and target; the answers list every form in use.
constexpr CommandInfo kCatalogue[] = {
    // Controllers.
    {0x01, Controller, "ReadVersion", "none", {await(Read, 500)}},
    {0x02, Controller, "ReadDate", "none", {await(Read, 500)}},
    {0x03, Controller, "PollInterval", "none / 1 byte", {await(Read, 500), await(Write, 2000)}},
    {0x08, Controller, "Passwords", "none / 5 bytes", {await(Read, 500), await(Write, 700)}},
    {0x09, Controller, "HostChannels", "none / 2 bytes", {await(Read, 500), await(Write, 700)}},
    {0x0A, Controller, "AddressRange", "none / 2 bytes", {await(Read, 500), await(Write, 700)}},
    {0x0B, Controller, "OptionByte", "1 byte / 2 bytes", {await(Read, 700), await(Write, 700)}},
    {0x0F, Controller, "ReadThermometerId", "1 byte: thermometer", {await(Read, 1000)}},
    {0x50,
     Controller,
     "ProgramBlock",
     "firmware block / none (end)",
     {await(Write, 3000), await(Read, 2000)}},
    {0x52, Controller, "WriteTableBlock", "table block", {await(Write, 2000), raw(FollowUp, 2000)}},
    {0x53, Controller, "ReadTableChunk", "5 bytes", {await(Read, 2000)}},
    {0x54,
     Controller,
     "AlarmThreshold",
     "read: 1 byte (none in type 2) / threshold record",
     {await(Read, 2000), raw(Write, 2000)}},
    {0x55,
     Controller,
     "AlarmFlags",
     "read: 1 byte (none in type 2) / 2 bytes",
     {await(Read, 2000), raw(Write, 1000), raw(WriteSlow, 2000)}},
    {0x57,
     Controller,
     "RelayConfig",
     "none / 1, 2, 4 or 8 bytes",
     {await(Read, 1000), await(Write, 1000)}},
    {0x5A, Controller, "StartBootLoader", "none", {awaitFromAnyAddress(Read, 500)}},
    {0x70, Controller, "WriteAllocationTable", "64 bytes (4 in type 2)", {await(Write, 2000)}},
    {0x71, Controller, "WriteTableBlock", "table block", {await(Write, 2000)}},
    {0x72, Controller, "ReadTableChunk", "3 bytes", {await(Read, 5000)}},
    {0x78, Controller, "ReadPageSize", "none", {await(Read, 1000)}},
    {0x7A, Controller, "ReadAllocationTable", "none", {await(Read, 1000)}},
    {0x7C, Controller, "ReadState", "none", {await(Read, 500), await(Slow, 1000)}},
    {0xA0, Controller, "BeginService", "none", {await(Read, 1000, 2)}},
    {0xA1, Controller, "EnterTransit", "none", {raw(Read, 500)}},
    {0xA5, Controller, "ResumeNormal", "none", {raw(Read, 500), raw(Slow, 1000), unanswered()}},
    {0xAE,
     Controller,
     "EmergencyUpdateFlag",
     "none / 1 byte",
     {await(Read, 500), await(Write, 500)}},
    // Sensors.
    {0x01, Sensor, "ReadVersion", "none", {await(Read, 500), raw(Probe, 200)}, kPolled},
    {0x02, Sensor, "ReadDate", "none", {await(Read, 500)}},
    {0x03,
     Sensor,
     "ReadCell",
     "1 byte: cell",
     {await(Read, 500), await(Quick, 300), await(Slow, 1000)}},
    {0x04, Sensor, "ReadFuelLevel", "none", {await(Read, 500)}, kPolled},
    {0x05, Sensor, "ReadWaterLevel", "none", {await(Read, 500)}, kPolled},
    {0x06, Sensor, "ReadTemperature", "none", {await(Read, 500)}, kPolled},
    {0x07, Sensor, "ReadThermometer", "1 byte: thermometer 1..8", {await(Read, 500)}, kPolled},
    {0x08, Sensor, "ReadDensity", "none", {await(Read, 500)}, kPolled},
    {0x0A,
     Sensor,
     "ReadDensityChannel",
     "1 byte: channel",
     {await(Read, 500), await(Slow, 1000)},
     kPolled},
    {0x0B, Sensor, "ReadCodeBlock", "2 bytes: block, 1", {await(Read, 500)}},
    {0x0C,
     Sensor,
     "ReadStatus",
     "none",
     {await(Read, 500), await(Retried, 500, 3), await(Quick, 300, 3), unanswered()},
     kPolled},
    {0x0D, Sensor, "ReadLength", "none", {await(Read, 500), await(Slow, 1500)}, kPolled},
    {0x10, Sensor, "ReadVolume", "none", {await(Read, 500)}, kPolled},
    {0x11, Sensor, "ReadMass", "none", {await(Read, 500)}, kPolled},
    // Started unanswered; the result is looked for later, 100 ms a look.
    {0x12, Sensor, "StartMemoryTest", "none", {unanswered(), await(FollowUp, 100)}, kPolled},
    {0x17, Sensor, "Segments", "none / 2 bytes", {await(Read, 500), await(Write, 500)}},
    {0x18, Sensor, "ClearCodes", "1 byte: 3 air, 4 fuel, 2 all", {await(Write, 10000)}},
    {0x19, Sensor, "CodeUpdate", "none / 2 bytes", {await(Read, 500), await(Write, 2000)}},
    {0x1C, Sensor, "ReadFullStatus", "none", {await(Read, 1000)}, kPolled},
    {0x1F, Sensor, "FillCriterion", "none / 2 bytes", {await(Read, 500), await(Write, 500)}},
    {0x20, Sensor, "ReadParameterBlock", "none", {await(Read, 500)}},
    {0x28,
     Sensor,
     "ThermometerSearch",
     "1 byte: 1 start, 2 fetch, 3 end",
     {await(Slow, 2000), await(Read, 500)}},
    {0x30, Sensor, "ComputeAirCodes", "none", {await(Read, 4000)}},
    {0x31, Sensor, "ComputeFuelCodes", "none", {await(Read, 4000)}},
    {0x34, Sensor, "ReadDryCodeBlock", "2 bytes: block, 1", {await(Read, 1000)}},
    {0x35, Sensor, "ReadWetCodeBlock", "2 bytes: block, 1", {await(Read, 1000)}},
    {0x36, Sensor, "WriteSectionCorrection", "5 bytes", {await(Write, 3000)}},
    {0x37, Sensor, "ReadSectionCorrections", "1 byte", {await(Read, 500)}},
    {0x38, Sensor, "ForecastCodes", "none", {await(Read, 10000)}},
    {0x40,
     Sensor,
     "WriteCheckedBlock",
     "9 bytes ending in a CRC-8, or 2 bytes",
     {await(Write, 3000), unanswered()}},
    {0x41, Sensor, "DensityMeterExchange", "3 or 5 bytes, or a record", {await(Read, 2000)}},
    {0x4F, Sensor, "SensorFlags", "none / 1 byte", {await(Read, 500), await(Write, 500)}},
    {0x50,
     Sensor,
     "ProgramBlock",
     "firmware block / none (end)",
     {await(Write, 3000), await(Read, 2000)}},
    {0x56, Sensor, "SwitchOffAlarm", "1 byte", {await(Write, 300)}, kPolled},
    {0x58, Sensor, "ReadAlarmState", "1 byte", {await(Read, 300)}, kPolled},
    {0x5A, Sensor, "StartBootLoader", "none", {await(Read, 500)}},
    {0x7C, Sensor, "ReadState", "none", {await(Read, 500)}},
    {0x83, Sensor, "WriteCell", "cell and data; identifier cells as text", {await(Write, 2000)}},
    {0x8A, Sensor, "Trigger", "none", {unanswered()}, kPolled},
    {0x8F, Sensor, "SetSensorAddress", "1 byte: the new address", {raw(Write, 500)}},
    {0xA5, Sensor, "ResumeNormal", "none", {unanswered()}},
};

} // namespace

std::span<const CommandInfo> commandCatalogue() {
    return kCatalogue;
}

const CommandInfo* findCommand(Target target, std::uint8_t code) {
    for (const CommandInfo& c : kCatalogue)
        if (c.target == target && c.code == code)
            return &c;
    return nullptr;
}

const Answer* findAnswer(Target target, std::uint8_t code, Form form) {
    const CommandInfo* c = findCommand(target, code);
    if (!c)
        return nullptr;
    for (const Answer& a : c->answers)
        if (a.tries > 0 && a.form == form)
            return &a;
    return nullptr;
}

bool answerProvesTransit(std::uint8_t address, std::uint8_t code) {
    if (address >= kControllerBase)
        return false;
    const CommandInfo* c = findCommand(Sensor, code);
    return c && !c->answeredOutsideTransit;
}

const char* commandName(std::uint8_t address, std::uint8_t code) {
    const bool controller = address >= kControllerBase && address != kSetAddressBroadcast;
    const CommandInfo* c = findCommand(controller ? Controller : Sensor, code);
    return c ? c->name : "";
}

} // namespace bus
