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
// The form's request changes what the device stores.
constexpr Answer writing(Answer a) {
    a.writes = true;
    return a;
}
// A sensor command its controller answers outside transit too.
constexpr bool kPolled = true;
constexpr bool kRelayed = false;

// One row per code and target; the answers list every form in use.
constexpr CommandInfo kCatalogue[] = {
    // Controllers.
    {0x01, Controller, "ReadVersion", "none", {await(Read, 500)}},
    {0x02, Controller, "ReadDate", "none", {await(Read, 500)}},
    {0x03,
     Controller,
     "PollInterval",
     "none / 1 byte",
     {await(Read, 500), writing(await(Write, 2000))},
     kRelayed,
     0},
    {0x08,
     Controller,
     "Passwords",
     "none / 5 bytes",
     {await(Read, 500), writing(await(Write, 700))},
     kRelayed,
     0},
    {0x09,
     Controller,
     "HostChannels",
     "none / 2 bytes",
     {await(Read, 500), writing(await(Write, 700))},
     kRelayed,
     0},
    {0x0A,
     Controller,
     "AddressRange",
     "none / 2 bytes",
     {await(Read, 500), writing(await(Write, 700))},
     kRelayed,
     0},
    {0x0B,
     Controller,
     "OptionByte",
     "1 byte / 2 bytes",
     {await(Read, 700), writing(await(Write, 700))},
     kRelayed,
     1},
    {0x0F, Controller, "ReadThermometerId", "1 byte: thermometer", {await(Read, 1000)}},
    {0x50,
     Controller,
     "ProgramBlock",
     "firmware block / none (end)",
     {writing(await(Write, 3000)), writing(await(Read, 2000))},
     kRelayed,
     kAlwaysWrites},
    {0x52,
     Controller,
     "WriteTableBlock",
     "table block",
     {writing(await(Write, 2000)), writing(raw(FollowUp, 2000))},
     kRelayed,
     kAlwaysWrites},
    {0x53, Controller, "ReadTableChunk", "5 bytes", {await(Read, 2000)}},
    {0x54,
     Controller,
     "AlarmThreshold",
     "read: 1 byte (none in type 2) / threshold record",
     {await(Read, 2000), writing(raw(Write, 2000))},
     kRelayed,
     1},
    {0x55,
     Controller,
     "AlarmFlags",
     "read: 1 byte (none in type 2) / 2 bytes",
     {await(Read, 2000), writing(raw(Write, 1000)), writing(raw(WriteSlow, 2000))},
     kRelayed,
     1},
    {0x57,
     Controller,
     "RelayConfig",
     "none / 1, 2, 4 or 8 bytes",
     {await(Read, 1000), writing(await(Write, 1000))},
     kRelayed,
     0},
    {0x5A,
     Controller,
     "StartBootLoader",
     "none",
     {writing(awaitFromAnyAddress(Read, 500))},
     kRelayed,
     kAlwaysWrites},
    {0x70,
     Controller,
     "WriteAllocationTable",
     "64 bytes (4 in type 2)",
     {writing(await(Write, 2000))},
     kRelayed,
     kAlwaysWrites},
    {0x71,
     Controller,
     "WriteTableBlock",
     "table block",
     {writing(await(Write, 2000))},
     kRelayed,
     kAlwaysWrites},
    {0x72, Controller, "ReadTableChunk", "3 bytes", {await(Read, 5000)}},
    {0x78, Controller, "ReadPageSize", "none", {await(Read, 1000)}},
    {0x7A, Controller, "ReadAllocationTable", "none", {await(Read, 1000)}},
    {0x7C, Controller, "ReadState", "none", {await(Read, 500), await(Slow, 1000)}},
    // The service mode exists only for writing; refused with them.
    {0xA0,
     Controller,
     "BeginService",
     "none",
     {writing(await(Read, 1000, 2))},
     kRelayed,
     kAlwaysWrites},
    {0xA1, Controller, "EnterTransit", "none", {raw(Read, 500)}},
    {0xA5, Controller, "ResumeNormal", "none", {raw(Read, 500), raw(Slow, 1000), unanswered()}},
    {0xAE,
     Controller,
     "EmergencyUpdateFlag",
     "none / 1 byte",
     {await(Read, 500), writing(await(Write, 500))},
     kRelayed,
     0},
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
    {0x17,
     Sensor,
     "Segments",
     "none / 2 bytes",
     {await(Read, 500), writing(await(Write, 500))},
     kRelayed,
     0},
    {0x18,
     Sensor,
     "ClearCodes",
     "1 byte: 3 air, 4 fuel, 2 all",
     {writing(await(Write, 10000))},
     kRelayed,
     kAlwaysWrites},
    {0x19,
     Sensor,
     "CodeUpdate",
     "none / 2 bytes",
     {await(Read, 500), writing(await(Write, 2000))},
     kRelayed,
     0},
    {0x1C, Sensor, "ReadFullStatus", "none", {await(Read, 1000)}, kPolled},
    {0x1F,
     Sensor,
     "FillCriterion",
     "none / 2 bytes",
     {await(Read, 500), writing(await(Write, 500))},
     kRelayed,
     0},
    {0x20, Sensor, "ReadParameterBlock", "none", {await(Read, 500)}},
    {0x28,
     Sensor,
     "ThermometerSearch",
     "1 byte: 1 start, 2 fetch, 3 end",
     {await(Slow, 2000), await(Read, 500)}},
    // Computed codes replace the reference codes the sensor keeps.
    {0x30,
     Sensor,
     "ComputeAirCodes",
     "none",
     {writing(await(Read, 4000))},
     kRelayed,
     kAlwaysWrites},
    {0x31,
     Sensor,
     "ComputeFuelCodes",
     "none",
     {writing(await(Read, 4000))},
     kRelayed,
     kAlwaysWrites},
    {0x34, Sensor, "ReadDryCodeBlock", "2 bytes: block, 1", {await(Read, 1000)}},
    {0x35, Sensor, "ReadWetCodeBlock", "2 bytes: block, 1", {await(Read, 1000)}},
    {0x36,
     Sensor,
     "WriteSectionCorrection",
     "5 bytes",
     {writing(await(Write, 3000))},
     kRelayed,
     kAlwaysWrites},
    {0x37, Sensor, "ReadSectionCorrections", "1 byte", {await(Read, 500)}},
    {0x38, Sensor, "ForecastCodes", "none", {writing(await(Read, 10000))}, kRelayed, kAlwaysWrites},
    {0x40,
     Sensor,
     "WriteCheckedBlock",
     "9 bytes ending in a CRC-8, or 2 bytes",
     {writing(await(Write, 3000)), writing(unanswered())},
     kRelayed,
     kAlwaysWrites},
    {0x41, Sensor, "DensityMeterExchange", "3 or 5 bytes, or a record", {await(Read, 2000)}},
    {0x4F,
     Sensor,
     "SensorFlags",
     "none / 1 byte",
     {await(Read, 500), writing(await(Write, 500))},
     kRelayed,
     0},
    {0x50,
     Sensor,
     "ProgramBlock",
     "firmware block / none (end)",
     {writing(await(Write, 3000)), writing(await(Read, 2000))},
     kRelayed,
     kAlwaysWrites},
    // A sounding alarm switched off stays off: a change the engineer makes.
    {0x56,
     Sensor,
     "SwitchOffAlarm",
     "1 byte",
     {writing(await(Write, 300))},
     kPolled,
     kAlwaysWrites},
    {0x58, Sensor, "ReadAlarmState", "1 byte", {await(Read, 300)}, kPolled},
    {0x5A, Sensor, "StartBootLoader", "none", {writing(await(Read, 500))}, kRelayed, kAlwaysWrites},
    {0x7C, Sensor, "ReadState", "none", {await(Read, 500)}},
    {0x83,
     Sensor,
     "WriteCell",
     "cell and data; identifier cells as text",
     {writing(await(Write, 2000))},
     kRelayed,
     kAlwaysWrites},
    {0x8A, Sensor, "Trigger", "none", {unanswered()}, kPolled},
    {0x8F,
     Sensor,
     "SetSensorAddress",
     "1 byte: the new address",
     {writing(raw(Write, 500))},
     kRelayed,
     kAlwaysWrites},
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

bool requestWrites(std::uint8_t address, std::uint8_t code, std::size_t payloadSize) {
    const bool controller = address >= kControllerBase && address != kSetAddressBroadcast;
    const CommandInfo* c = findCommand(controller ? Controller : Sensor, code);
    if (!c || c->readsUpTo == kAlwaysWrites)
        return true;
    return c->readsUpTo != kNeverWrites && payloadSize > static_cast<std::size_t>(c->readsUpTo);
}

bool formWrites(Target target, std::uint8_t code, Form form) {
    const Answer* a = findAnswer(target, code, form);
    return !a || a->writes;
}

const char* commandName(std::uint8_t address, std::uint8_t code) {
    const bool controller = address >= kControllerBase && address != kSetAddressBroadcast;
    const CommandInfo* c = findCommand(controller ? Controller : Sensor, code);
    return c ? c->name : "";
}

} // namespace bus
