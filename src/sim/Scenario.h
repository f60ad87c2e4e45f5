#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace sim {

// Line faults a simulated device can show.
enum class Fault {
    None,
    Silent,       // never answers
    BadChecksum,  // answers with a wrong checksum
    Garbage,      // answers with noise before the "@"
    WrongAddress, // answers from another address
    Late,         // answers later than any wait
    Truncated,    // answer stops before its "*"
    // A device that answers reads and ignores writes (a sensor's cells, settings, address and
    // loader blocks; a controller's tables and loader blocks): it keeps its values and says
    // nothing, so a write taken for done on silence (or on the adapter's echo of it) shows.
    IgnoresWrites,
};

std::optional<Fault> faultFromName(const QString& name);
QString faultName(Fault fault);

struct ControllerSpec {
    int index = 0;
    int first = 0;
    int count = 0;
    Fault fault = Fault::None;
};

struct SensorSpec {
    int address = 0;
    Fault fault = Fault::None;
};

// A controller's table flash: its page size and how it tells it.
struct FlashSpec {
    int index = 0;
    int pageSize = 264;
    bool silent = false; // 0x78 unanswered
    bool zero = false;   // 0x78 answered with 0
};

// A probe of its own size: segments, and its length in mm (0: 15.625 mm a
// segment).
struct ProbeSpec {
    int address = 0;
    int segments = 0;
    int lengthMm = 0;
};

// A controller switched off, and switched on again once the line has
// carried this many more requests (an engineer at the power switch).
struct PowerSpec {
    int index = 0;
    int onAfterRequests = 0;
};

// A controller that does not hear the next requests with one command code
// (count -1: it never does).
struct UnheardSpec {
    int index = 0;
    int command = 0;
    int count = -1;
};

// What a sensor answers its memory test with (any length, 0..32 bytes).
struct MemoryTestSpec {
    int address = 0;
    QByteArray answer;
};

// The line goes dead once it has carried this many requests with one
// command code: nothing answers that request or any after it (a cable
// pulled mid-write).
struct CutSpec {
    int command = 0;
    int after = 0;
};

// Which devices sit on the line and how they misbehave.
struct Scenario {
    int type = 1;
    int turnaroundMs = 2;
    int lateMs = 1500;
    // The tool's adapter hears its own transmitter (two-wire RS-485): every
    // request comes back before any answer.
    bool echo = false;
    // Nothing on the line but that echo.
    bool noDevices = false;
    std::vector<ControllerSpec> controllers;
    // Types 2 and 5 have no controllers: their sensors are listed here.
    int directFirst = 0;
    int directCount = 4;
    std::vector<SensorSpec> sensorFaults;
    // Addresses in a controller's range where no sensor is fitted.
    std::vector<int> absentSensors;
    std::vector<ProbeSpec> probes;
    std::vector<FlashSpec> flashes;
    // Sensors whose firmware no longer runs: they answer only in their boot
    // loader, which holds them after power-up.
    std::vector<int> brokenSensors;
    std::vector<int> emergencyFlags; // controllers with the flag set
    std::vector<PowerSpec> poweredOff;
    // Controllers whose firmware no longer runs: only the start of the boot
    // loader (0x5A) and the loader itself answer.
    std::vector<int> deadControllers;
    std::vector<UnheardSpec> unheard;
    std::vector<MemoryTestSpec> memoryTests;
    std::optional<CutSpec> cut;

    static Scenario builtIn();
};

// Parses the scenario text; on failure returns nothing and sets error to
// "line N: what".
std::optional<Scenario> parseScenario(const QString& text, QString* error);
// A scenario is a few lines per device; a larger file is refused unread.
inline constexpr qint64 kMaxScenarioBytes = 1024 * 1024;
// A regular file only (a pipe or a device is refused without waiting).
std::optional<Scenario> loadScenario(const QString& path, QString* error);

} // namespace sim
