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

// The exchanges one command is used in. Most commands read without a payload
// and write with one; some callers wait shorter or longer than the usual
// read; a few answers are taken raw or not at all.
enum class Form {
    Read,       // the usual request (with its read payload, where it has one)
    Write,      // the request that carries a new value
    Quick,      // a read with a shorter wait
    Slow,       // a read with a longer wait
    Retried,    // a read asked again while it goes unanswered
    WriteSlow,  // a write with a longer wait
    FollowUp,   // a second answer taken after the first, without a request
    Probe,      // a raw look that only asks whether anything came back
    Unanswered, // sent without waiting; the next request purges any answer
};

// How the answer of one form is taken.
struct Answer {
    Form form = Form::Read;
    AnswerKind kind = AnswerKind::NotAwaited;
    int waitMs = 0;
    bool checkAddress = true;
    int tries = 0; // 0 marks an unused slot
    // The request of this form changes what the device stores, or starts
    // what does (a boot loader, a service mode): refused in read-only.
    bool writes = false;
};

// Which requests of a command write, told by the payload alone, for the
// link's last guard (it sees frames, not forms).
inline constexpr int kNeverWrites = 255; // no request of it writes
inline constexpr int kAlwaysWrites = -1; // every request of it writes

struct CommandInfo {
    std::uint8_t code;
    Target target;
    const char* name;
    const char* payload; // request payload shape
    std::array<Answer, 4> answers;
    // A sensor command the controller answers for its sensors outside
    // transit too, from what it polls anyway (measured values, status,
    // alarms); every other sensor command reaches a sensor only through a
    // controller in transit.
    bool answeredOutsideTransit = false;
    // The longest payload a reading form carries: a request with more
    // writes. kNeverWrites or kAlwaysWrites where the payload tells nothing.
    int readsUpTo = kNeverWrites;
};

std::span<const CommandInfo> commandCatalogue();
// Nothing known under that code for that target: nullptr.
const CommandInfo* findCommand(Target target, std::uint8_t code);
// The answer rule of one form; nothing when the command has no such form.
const Answer* findAnswer(Target target, std::uint8_t code, Form form);
// Whether a sound answer from that address to that command proves that the
// controller in front of the sensor relays the line (is in transit): a
// sensor's answer to a command that goes through only in transit.
bool answerProvesTransit(std::uint8_t address, std::uint8_t code);
// Whether a request of that address, code and payload size writes (see
// readsUpTo); a code the catalogue does not know counts as writing, so that
// read-only never lets through what it cannot judge.
bool requestWrites(std::uint8_t address, std::uint8_t code, std::size_t payloadSize);
// Whether the form of that command writes; an unknown form counts as writing.
bool formWrites(Target target, std::uint8_t code, Form form);
// The name a frame to that address bears: controllers from 0x80 up (0xF0,
// the address-setting broadcast, goes to sensors), sensors below. Empty
// when the code is not in the catalogue.
const char* commandName(std::uint8_t address, std::uint8_t code);

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

} // namespace bus
