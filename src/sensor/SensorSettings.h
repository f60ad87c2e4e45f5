#pragma once

#include "app/Setting.h"

#include <array>
#include <cstdint>
#include <optional>

namespace bus {
class SerialLink;
}

// The settings stored in a sensor: size, level correction, flag byte,
// filling criterion, section corrections, segments and code update. Every
// request goes to the sensor's own address; the caller puts its controller
// into transit.
namespace sensor {

// The flag byte (0x4F). Bits 4, 6 and 7 are never shown and never changed.
namespace flag {
inline constexpr std::uint8_t ResetOnLinkLoss = 0x01;  // code 0xB2
inline constexpr std::uint8_t ResetOnDensity01 = 0x02; // density 0 or 1
inline constexpr std::uint8_t Propagate = 0x04;        // D and Td after filling
inline constexpr std::uint8_t Combined = 0x08;         // density channel on the level line
inline constexpr std::uint8_t SingleMeter = 0x20;
} // namespace flag

// The "СЕНСОР" read: each value that got no usable reply stays empty.
struct SensorGroups {
    std::optional<int> sizeMm;
    std::optional<int> levelCorrectionTenths; // signed
    std::optional<std::uint8_t> flags;
    std::optional<int> fillCriterionTenths;
};
SensorGroups ReadSensorGroups(bus::SerialLink& link, std::uint8_t sensor);

// Size in mm, written to cell 0x91 as segments of 15.625 mm (31.25 mm for a
// wide sensor); the sensor tells the size of its segments in whole mm, the
// rest dropped. The nearest count of segments, so that a size the sensor
// told is written back as it was.
int sizeSegments(int sizeMm, bool wide);
// The size the sensor tells for its segments.
int segmentsSize(int segments, bool wide);
// Whether the sensor keeps the size as typed: a whole number of segments
// that it tells back as the same size. Any other is refused, with nothing
// sent.
bool holdsSize(int sizeMm, bool wide);
// The segments cell as the sensor holds it; with the size it tells a wide
// sensor (about 31 mm a segment) from a normal one (about 15 mm).
std::optional<int> ReadSizeSegments(bus::SerialLink& link, std::uint8_t sensor);
bool isWide(int sizeMm, int segments);
// Whether the sensor is a wide one, from its size and its segments cell;
// nothing when either got no answer.
std::optional<bool> ReadWide(bus::SerialLink& link, std::uint8_t sensor);
app::WriteOutcome WriteSensorSize(bus::SerialLink& link, std::uint8_t sensor, int sizeMm,
                                  bool wide);
// Cell 0x90, signed tenths of a millimetre.
app::WriteOutcome WriteLevelCorrection(bus::SerialLink& link, std::uint8_t sensor, int tenths);

// The flag groups marked for writing; the others keep what the sensor has.
struct FlagChanges {
    std::optional<std::array<bool, 2>> reset; // on link loss, on density 0/1
    std::optional<bool> propagate;
    std::optional<std::array<bool, 2>> channel; // combined, single meter
    bool any() const { return reset || propagate || channel; }
};
std::uint8_t applyFlagChanges(std::uint8_t flags, const FlagChanges& changes);
// Reads the flag byte, changes the marked groups, writes it back; nothing
// is written when the byte could not be read (Unread).
app::WriteOutcome WriteFlags(bus::SerialLink& link, std::uint8_t sensor,
                             const FlagChanges& changes);
// 0x1F, unsigned tenths of a millimetre.
app::WriteOutcome WriteFillCriterion(bus::SerialLink& link, std::uint8_t sensor, int tenths);

// Section 1 is the lowest.
using SectionCorrections = std::array<float, 8>;
std::optional<SectionCorrections> ReadSectionCorrections(bus::SerialLink& link,
                                                         std::uint8_t sensor);
// A value that is no finite number is never sent.
app::WriteOutcome WriteSectionCorrection(bus::SerialLink& link, std::uint8_t sensor, int section,
                                         float value);

struct Segments {
    int working = 0;
    int removed = 0;
};
std::optional<Segments> ReadSegments(bus::SerialLink& link, std::uint8_t sensor);
// Sends nothing for 0 working segments or 255 removed ones (a field that
// was not a number) or values past a byte; otherwise the echo, if any. The
// echo of the values sent is the only confirmation: no echo, not written.
struct SegmentsWrite {
    bool sent = false;
    std::optional<Segments> echo;
    bool confirmed = false;
};
SegmentsWrite WriteSegments(bus::SerialLink& link, std::uint8_t sensor, int working, int removed);

struct CodeUpdate {
    bool updateAllowed = false;
    bool algorithmAllowed = false;
    int counter = 0;
    int counterValue = 0;
};
std::optional<CodeUpdate> ReadCodeUpdate(bus::SerialLink& link, std::uint8_t sensor);
// Only what the catalogue allows (3..254) is ever sent.
bool isValidCounter(int n);
app::WriteOutcome WriteCounter(bus::SerialLink& link, std::uint8_t sensor, int n);
app::WriteOutcome WriteCodeUpdateFlags(bus::SerialLink& link, std::uint8_t sensor,
                                       bool updateAllowed, bool algorithmAllowed);

} // namespace sensor
