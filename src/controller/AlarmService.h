#pragma once

#include "app/Setting.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

// The alarm outputs a controller keeps for each sensor, their live state,
// and the memory test of a sensor. In the direct-sensor type the sensor is
// its own controller and the sensor byte is left out of the payloads.
namespace controller {

inline constexpr int kEvents = 6; // fuel max, fuel 95 %, fuel min, water max, leak, separation

struct AlarmTarget {
    std::uint8_t controller = 0;
    std::uint8_t sensor = 0;
    bool direct = false; // controller type 2
};

struct AlarmConfig {
    bool complete = false; // thresholds came (0x54 answered with 12 bytes or more)
    std::optional<int> fuelMax, fuel95, fuelMin, waterMax, leak;
    std::optional<quint32> volume;                       // litres when leak control was set
    std::optional<std::array<std::uint8_t, 2>> contacts; // dry-contact masks
    std::optional<std::uint8_t> enables;                 // event bits, other types
    std::optional<std::array<std::uint8_t, 2>> modes;    // relay modes, direct type
};
AlarmConfig ReadAlarmConfig(bus::SerialLink& link, const AlarmTarget& t);

// A relay output that is switched off.
inline constexpr std::uint8_t kOutputOff = 0x7F;

struct AlarmWrite {
    std::optional<int> fuelMax, fuelMin, waterMax, leak; // written when given
    std::uint8_t enables = 0;                            // other types
    std::array<std::uint8_t, 2> contacts{};              // direct type
    std::array<std::uint8_t, 2> modes{kOutputOff, kOutputOff};
};
// How a write of the alarm settings ended.
enum class AlarmWriteOutcome {
    Confirmed, // read back as written
    NoAnswer,  // 0xA0 (twice), a write or the read-back got no answer
    EchoOnly,  // nothing but the requests' own echo came back
    BadAnswer, // something came back that was no answer to the request
    LineLost,  // the port went away
    Differs,   // read back, but not as written
};
// Writes in the service mode (0xA0 .. 0xA5, bus::ServiceMode), then reads
// the settings back: the controller confirms none of the single writes
// itself. Nothing is written when 0xA0 went unanswered.
AlarmWriteOutcome WriteAlarmConfig(bus::SerialLink& link, const AlarmTarget& t,
                                   const AlarmWrite& w);
QString alarmWriteText(AlarmWriteOutcome o);

// The type-3 output matrix: per output X1..X4 an event mask and a sensor
// mask; the old firmware form keeps four events in one byte with the
// sensors.
struct OutputMatrix {
    bool oldForm = false;
    std::array<std::uint8_t, 4> events{};
    std::array<std::uint8_t, 4> sensors{};
};
// The old form keeps four event bits (fuel max .. water max): no leak, no
// separation.
inline constexpr std::uint8_t kOldFormEvents = 0x0F;
bool fitsOldForm(const OutputMatrix& m);
// A matrix button (output 0..3, event bit 0..5, sensor bit 0..3) pressed
// or released: the output's two masks stay both empty or both non-empty.
void applyMatrixButton(OutputMatrix& m, int output, int event, int sensor, bool down);
// Whether the button shows down: both its bits set in its output's masks.
bool matrixButtonDown(const OutputMatrix& m, int output, int event, int sensor);

std::optional<OutputMatrix> ReadOutputMatrix(bus::SerialLink& link, std::uint8_t controller);
// The number of outputs the controller took (4 = all), nothing without a
// reply; nothing is sent for events the old form cannot hold.
std::optional<int> WriteOutputMatrix(bus::SerialLink& link, std::uint8_t controller,
                                     const OutputMatrix& m);

// Three event masks: controlled, happened, alarm sounding.
using AlarmState = std::array<std::uint8_t, 3>;
std::optional<AlarmState> ReadAlarmState(bus::SerialLink& link, std::uint8_t sensor);
// Confirmed by byte 0 = 1; otherwise why not (no answer, only the echo, an
// answer not understood, or one that did not take it).
app::WriteOutcome SwitchOffAlarm(bus::SerialLink& link, std::uint8_t sensor, int event);
// "ВЫКЛЮЧЕНО", or "НЕ ПОЛУЧИЛОСЬ: " and the cause, for the page and the CLI.
QString switchOffText(const app::WriteOutcome& o);

// The memory test's steps: one request, then looks for its answer; the
// stop tells the sensor the test was given up. RunMemoryTest is what the
// page and the CLI call.
void StartMemoryTest(bus::SerialLink& link, std::uint8_t sensor);
// The answer's data length, or -1 when none came in this look.
int LookForMemoryTest(bus::SerialLink& link);
void StopMemoryTest(bus::SerialLink& link, std::uint8_t sensor);
inline constexpr int kMemoryTestLooks = 6;
inline constexpr int kMemoryTestTickMs = 400; // from one look to the next
// The lengths an answer may have: 0 (no test in the device), 1 (no
// errors), 2 (an error in an address's high byte), 4 (a cell that failed).
inline constexpr std::array<int, 4> kMemoryTestLengths{0, 1, 2, 4};

enum class MemoryTestOutcome {
    NoErrors,         // answered with 1 byte
    HighByteError,    // 2 bytes: the high byte of an address failed
    CellError,        // 4 bytes: the address, what was written, what was read
    NotSupported,     // 0 bytes: the device says it has no test
    UnexpectedLength, // an answer of none of the lengths known
    NoAnswer,         // no answer in six looks: perhaps no test in the device
    EchoOnly,         // nothing but the request's own echo: nothing answers on the line
    Stopped,          // a break before the answer
    LineLost,         // the port went away
};
struct MemoryTestResult {
    MemoryTestOutcome outcome = MemoryTestOutcome::NoAnswer;
    int length = -1;                                    // the answer's data length got
    std::span<const int> expected = kMemoryTestLengths; // the lengths known
    std::array<std::uint8_t, 4> bytes{};                // the answer's first bytes
};
// The whole test: the request, up to six looks 400 ms apart (a break ends
// them), and the stop on every way out while the line is there.
MemoryTestResult RunMemoryTest(bus::SerialLink& link, std::uint8_t sensor, app::Progress& progress);
// What the page's status line and the CLI say of a result.
QString memoryTestText(const MemoryTestResult& r);
inline const QString kTestMaybeUnsupported =
    QStringLiteral("ВОЗМОЖНО УСТРОЙСТВОМ ТЕСТ НЕ ПОДДЕРЖИВАЕТСЯ");

} // namespace controller
