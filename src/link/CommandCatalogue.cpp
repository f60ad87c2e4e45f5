#include "link/Command.h"

namespace bus {
namespace {

using enum Target;
using enum AnswerKind;

constexpr CommandInfo kCatalogue[] = {
    // Controllers.
    {0x01, Controller, "ReadVersion", "none", AwaitReply, {500}},
    {0x02, Controller, "ReadDate", "none", AwaitReply, {500}},
    {0x03, Controller, "PollInterval", "none / 1 byte", AwaitReply, {500, 2000}},
    {0x08, Controller, "Passwords", "none / 5 bytes", AwaitReply, {500, 700}},
    {0x09, Controller, "HostChannels", "none / 2 bytes", AwaitReply, {500, 700}},
    {0x0A, Controller, "AddressRange", "none / 2 bytes", AwaitReply, {500, 700}},
    {0x0B, Controller, "OptionByte", "1 byte / 2 bytes", AwaitReply, {700}},
    {0x0F, Controller, "ReadThermometerId", "1 byte: thermometer", AwaitReply, {1000}},
    {0x50, Controller, "ProgramBlock", "firmware block / none", AwaitReply, {3000, 2000}},
    {0x52, Controller, "WriteTableBlock", "table block", AwaitReply, {2000}},
    {0x53, Controller, "ReadTableChunk", "5 bytes", AwaitReply, {2000}},
    {0x54, Controller, "AlarmThreshold", "1 byte / threshold record", AwaitReply, {2000}},
    {0x55, Controller, "AlarmFlags", "1 byte / 2 bytes", AwaitReply, {2000, 1000}},
    {0x57, Controller, "RelayConfig", "none / 1, 2, 4 or 8 bytes", AwaitReply, {1000}},
    {0x5A, Controller, "StartBootLoader", "none", AwaitReply, {500}},
    {0x70, Controller, "WriteAllocationTable", "64 bytes (4 in type 2)", AwaitReply, {2000}},
    {0x71, Controller, "WriteTableBlock", "table block", AwaitReply, {2000}},
    {0x72, Controller, "ReadTableChunk", "3 bytes", AwaitReply, {5000}},
    {0x78, Controller, "ReadPageSize", "none", AwaitReply, {1000}},
    {0x7A, Controller, "ReadAllocationTable", "none", AwaitReply, {1000}},
    {0x7C, Controller, "ReadState", "none", AwaitReply, {500, 1000}},
    {0xA0, Controller, "BeginService", "none", AwaitReply, {1000}},
    {0xA1, Controller, "EnterTransit", "none", ReceiveRaw, {500}},
    {0xA5, Controller, "ResumeNormal", "none", ReceiveRaw, {500, 1000}},
    {0xAE, Controller, "EmergencyUpdateFlag", "none / 1 byte", AwaitReply, {500}},
    // Sensors.
    {0x01, Sensor, "ReadVersion", "none", AwaitReply, {500, 200}},
    {0x02, Sensor, "ReadDate", "none", AwaitReply, {500}},
    {0x03, Sensor, "ReadCell", "1 byte: cell", AwaitReply, {300, 500, 1000}},
    {0x04, Sensor, "ReadFuelLevel", "none", AwaitReply, {500}},
    {0x05, Sensor, "ReadWaterLevel", "none", AwaitReply, {500}},
    {0x06, Sensor, "ReadTemperature", "none", AwaitReply, {500}},
    {0x07, Sensor, "ReadThermometer", "1 byte: thermometer 1..8", AwaitReply, {500}},
    {0x08, Sensor, "ReadDensity", "none", AwaitReply, {500}},
    {0x0A, Sensor, "ReadDensityChannel", "1 byte: channel", AwaitReply, {500, 1000}},
    {0x0B, Sensor, "ReadCodeBlock", "2 bytes: block, 1", AwaitReply, {500}},
    {0x0C, Sensor, "ReadStatus", "none", AwaitReply, {300, 500}},
    {0x0D, Sensor, "ReadLength", "none", AwaitReply, {500, 1500}},
    {0x10, Sensor, "ReadVolume", "none", AwaitReply, {500}},
    {0x11, Sensor, "ReadMass", "none", AwaitReply, {500}},
    {0x12, Sensor, "StartMemoryTest", "none", AwaitReply, {100}},
    {0x17, Sensor, "Segments", "none / 2 bytes", AwaitReply, {500}},
    {0x18, Sensor, "ClearCodes", "1 byte: 3 air, 4 fuel, 2 all", AwaitReply, {10000}},
    {0x19, Sensor, "CodeUpdate", "none / 2 bytes", AwaitReply, {500, 2000}},
    {0x1C, Sensor, "ReadFullStatus", "none", AwaitReply, {1000}},
    {0x1F, Sensor, "FillCriterion", "none / 2 bytes", AwaitReply, {500}},
    {0x20, Sensor, "ReadParameterBlock", "none", AwaitReply, {500}},
    {0x28, Sensor, "ThermometerSearch", "1 byte: 1 start, 2 fetch, 3 end", AwaitReply, {2000, 500}},
    {0x30, Sensor, "ComputeAirCodes", "none", AwaitReply, {4000}},
    {0x31, Sensor, "ComputeFuelCodes", "none", AwaitReply, {4000}},
    {0x34, Sensor, "ReadDryCodeBlock", "2 bytes: block, 1", AwaitReply, {1000}},
    {0x35, Sensor, "ReadWetCodeBlock", "2 bytes: block, 1", AwaitReply, {1000}},
    {0x36, Sensor, "WriteSectionCorrection", "5 bytes", AwaitReply, {3000}},
    {0x37, Sensor, "ReadSectionCorrections", "1 byte", AwaitReply, {500}},
    {0x38, Sensor, "ForecastCodes", "none", AwaitReply, {10000}},
    {0x40,
     Sensor,
     "WriteCheckedBlock",
     "9 bytes ending in a CRC-8, or 2 bytes",
     AwaitReply,
     {3000}},
    {0x41, Sensor, "DensityMeterExchange", "3 or 5 bytes, or a record", AwaitReply, {2000}},
    {0x4F, Sensor, "SensorFlags", "none / 1 byte", AwaitReply, {500}},
    {0x50, Sensor, "ProgramBlock", "firmware block / none", AwaitReply, {3000, 2000}},
    {0x56, Sensor, "SwitchOffAlarm", "1 byte", AwaitReply, {300}},
    {0x58, Sensor, "ReadAlarmState", "1 byte", AwaitReply, {300}},
    {0x5A, Sensor, "StartBootLoader", "none", AwaitReply, {500}},
    {0x7C, Sensor, "ReadState", "none", AwaitReply, {500}},
    {0x83, Sensor, "WriteCell", "cell and data; identifier cells as text", AwaitReply, {2000}},
    {0x8A, Sensor, "Trigger", "none", NotAwaited, {}},
    {0x8F, Sensor, "SetSensorAddress", "1 byte: the new address", ReceiveRaw, {500}},
    {0xA5, Sensor, "ResumeNormal", "none", NotAwaited, {}},
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

} // namespace bus
