#pragma once

#include <array>
#include <cstdint>
#include <span>

// The protocol's vocabulary: every command code with its name, who it goes
// to, its payload and how its answer is awaited. Code elsewhere names
// commands through these constants, never by number. Some codes carry other
// names for controllers than for sensors.
namespace bus {

enum class Target { Controller, Sensor };
enum class AnswerKind { AwaitReply, ReceiveRaw, NotAwaited };

struct CommandInfo {
    std::uint8_t code;
    Target target;
    const char* name;
    const char* payload; // request payload shape
    AnswerKind answer;
    std::array<int, 3> waitsMs; // the waits used, 0 = none
};

std::span<const CommandInfo> commandCatalogue();
// Nothing known under that code for that target: nullptr.
const CommandInfo* findCommand(Target target, std::uint8_t code);

// Bus addresses.
inline constexpr std::uint8_t kControllerBase = 0x80;
inline constexpr std::uint8_t kSetAddressBroadcast = 0xF0;
inline constexpr std::uint8_t kReleaseBroadcast = 0xFF;

// Commands to controllers.
namespace ctl {
inline constexpr std::uint8_t ReadVersion = 0x01;
inline constexpr std::uint8_t ReadDate = 0x02;
inline constexpr std::uint8_t PollInterval = 0x03;
inline constexpr std::uint8_t Passwords = 0x08;
inline constexpr std::uint8_t HostChannels = 0x09;
inline constexpr std::uint8_t AddressRange = 0x0A;
inline constexpr std::uint8_t OptionByte = 0x0B;
inline constexpr std::uint8_t ReadThermometerId = 0x0F;
inline constexpr std::uint8_t ProgramBlock = 0x50;
inline constexpr std::uint8_t WriteTableBlockMulti = 0x52;
inline constexpr std::uint8_t ReadTableChunkMulti = 0x53;
inline constexpr std::uint8_t AlarmThreshold = 0x54;
inline constexpr std::uint8_t AlarmFlags = 0x55;
inline constexpr std::uint8_t RelayConfig = 0x57;
inline constexpr std::uint8_t StartBootLoader = 0x5A;
inline constexpr std::uint8_t WriteAllocationTable = 0x70;
inline constexpr std::uint8_t WriteTableBlockSingle = 0x71;
inline constexpr std::uint8_t ReadTableChunkSingle = 0x72;
inline constexpr std::uint8_t ReadPageSize = 0x78;
inline constexpr std::uint8_t ReadAllocationTable = 0x7A;
inline constexpr std::uint8_t ReadState = 0x7C;
inline constexpr std::uint8_t BeginService = 0xA0;
inline constexpr std::uint8_t EnterTransit = 0xA1;
inline constexpr std::uint8_t ResumeNormal = 0xA5;
inline constexpr std::uint8_t EmergencyUpdateFlag = 0xAE;
} // namespace ctl

// Commands to sensors (and through them to thermometers and density meters).
namespace sns {
inline constexpr std::uint8_t ReadVersion = 0x01;
inline constexpr std::uint8_t ReadDate = 0x02;
inline constexpr std::uint8_t ReadCell = 0x03;
inline constexpr std::uint8_t ReadFuelLevel = 0x04;
inline constexpr std::uint8_t ReadWaterLevel = 0x05;
inline constexpr std::uint8_t ReadTemperature = 0x06;
inline constexpr std::uint8_t ReadThermometer = 0x07;
inline constexpr std::uint8_t ReadDensity = 0x08;
inline constexpr std::uint8_t ReadDensityChannel = 0x0A;
inline constexpr std::uint8_t ReadCodeBlock = 0x0B;
inline constexpr std::uint8_t ReadStatus = 0x0C;
inline constexpr std::uint8_t ReadLength = 0x0D;
inline constexpr std::uint8_t ReadVolume = 0x10;
inline constexpr std::uint8_t ReadMass = 0x11;
inline constexpr std::uint8_t StartMemoryTest = 0x12;
inline constexpr std::uint8_t Segments = 0x17;
inline constexpr std::uint8_t ClearCodes = 0x18;
inline constexpr std::uint8_t CodeUpdate = 0x19;
inline constexpr std::uint8_t ReadFullStatus = 0x1C;
inline constexpr std::uint8_t FillCriterion = 0x1F;
inline constexpr std::uint8_t ReadParameterBlock = 0x20;
inline constexpr std::uint8_t ThermometerSearch = 0x28;
inline constexpr std::uint8_t ComputeAirCodes = 0x30;
inline constexpr std::uint8_t ComputeFuelCodes = 0x31;
inline constexpr std::uint8_t ReadDryCodeBlock = 0x34;
inline constexpr std::uint8_t ReadWetCodeBlock = 0x35;
inline constexpr std::uint8_t WriteSectionCorrection = 0x36;
inline constexpr std::uint8_t ReadSectionCorrections = 0x37;
inline constexpr std::uint8_t ForecastCodes = 0x38;
inline constexpr std::uint8_t WriteCheckedBlock = 0x40;
inline constexpr std::uint8_t DensityMeterExchange = 0x41;
inline constexpr std::uint8_t SensorFlags = 0x4F;
inline constexpr std::uint8_t ProgramBlock = 0x50;
inline constexpr std::uint8_t SwitchOffAlarm = 0x56;
inline constexpr std::uint8_t ReadAlarmState = 0x58;
inline constexpr std::uint8_t StartBootLoader = 0x5A;
inline constexpr std::uint8_t ReadState = 0x7C;
inline constexpr std::uint8_t WriteCell = 0x83;
inline constexpr std::uint8_t Trigger = 0x8A;
inline constexpr std::uint8_t SetSensorAddress = 0x8F;
inline constexpr std::uint8_t ResumeNormal = 0xA5;
} // namespace sns

// Waits of the application core, in milliseconds.
inline constexpr int kScanWaitMs = 500;
inline constexpr int kTransitWaitMs = 500;
inline constexpr int kSetAddressWaitMs = 500;

} // namespace bus
