#pragma once

#include "app/Progress.h"
#include "app/Setting.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace bus {
class SerialLink;
}
namespace sensor {
class StatusDecoder;
}

// Service of the density meters behind a sensor. The tool never talks to a
// meter itself: each request is a sensor command (0x41 to read, 0x40 to
// write) with the meter number first. The caller puts the sensor's
// controller into transit.
namespace density {

inline constexpr int kMeters = 8;

// One value as a field shows it: the text, or red when the answer was too
// short. A meter that refused shows its own error code as the text.
struct Field {
    QString text;
    bool bad = false;
    int length = 0; // the answer's data length, -1 for none
};

// The meters a sensor has and where they sit.
struct MeterSearch {
    struct Meter {
        bool present = false;
        QString id;
        std::optional<int> height; // mm, when its cell answered
        std::optional<std::uint8_t> status;
    };
    std::array<Meter, kMeters> meters;
    std::optional<int> fuelLevel; // mm
    std::optional<int> waterLevel;
    bool stopped = false;
    int asked = 0;      // requests made
    int unanswered = 0; // of them, without a sound answer
    // Why the last unanswered request went without one.
    std::optional<app::WriteFault> fault;
};
// What the search says when the sensor did not answer all of it: the cause
// of its own requests ("НЕТ ОТВЕТА", or that the line only echoes), or
// that part went unanswered; empty when every request was answered.
QString searchFailureText(const MeterSearch& search);
// A sensor that answers none of the first meter's requests is asked no
// further (the levels neither).
MeterSearch FindDensityMeters(bus::SerialLink& link, std::uint8_t sensor, app::Progress& progress);

// Where the position panel puts its lamps and level marks: a lamp per
// present meter; the panel shows when at least one meter sits at 200 mm or
// higher and every present meter's height is known; the fuel mark reaches
// the highest meter under fuel, the water mark the highest under water + 200.
struct Positions {
    std::array<bool, kMeters> lamps{};
    bool shown = false;
    std::optional<int> fuelUpTo;  // meter index 0..7
    std::optional<int> waterUpTo; // meter index 0..7
};
Positions meterPositions(const MeterSearch& search);

// The meter parameters of the 0x41 register read.
enum class Parameter {
    Correction = 5,
    Adc1 = 9,
    Disp1 = 10,
    Adc2 = 11,
    Disp2 = 12,
    Density = 13,
    BaseTemperature = 99,
    BaseDensity = 100,
    BaseDensityDifference = 101,
};

Field ReadVersion(bus::SerialLink& link, std::uint8_t sensor, int meter);
Field ReadStatus(bus::SerialLink& link, std::uint8_t sensor, int meter);
Field ReadParameter(bus::SerialLink& link, std::uint8_t sensor, int meter, Parameter p);
Field ReadCorrectedDensity(bus::SerialLink& link, std::uint8_t sensor, int meter);
Field ReadTemperature(bus::SerialLink& link, std::uint8_t sensor, int meter);

// The correction: its value, and whether the meter is not initialised (a
// correction of 0). Asked after 0x01, as every parameter is.
struct Correction {
    std::optional<float> value;
    bool uninitialised = false;
};
Correction ReadCorrection(bus::SerialLink& link, std::uint8_t sensor, int meter);
// The status code of a meter that was never initialised.
inline constexpr std::uint8_t kUninitialisedStatus = 0xB4;
inline const QString kNotInitialised = QStringLiteral("Плотномер не инициализирован");

// 0x83 [m + 12, 0, 1]; true when accepted.
bool InitialiseMeter(bus::SerialLink& link, std::uint8_t sensor, int meter);
// Starts a conversion in the meter (0x40 [m, 0x43]), or of the whole sensor
// (0x8A) when the density page is not shown; never answered.
void StartConversion(bus::SerialLink& link, std::uint8_t sensor, int meter, bool wholeSensor);

// Everything "ЗАПРОСИТЬ ВСЁ" shows, in the order it reads.
struct AllValues {
    Field status;
    bool complete = false; // the status came with 4 bytes
    Field version, adc1, disp1, adc2, disp2, baseDensity, density, baseDensityDifference,
        correctedDensity, baseTemperature, temperature, correction;
    bool uninitialised = false;
    QStringList memo; // decoded status lines, then the correction's remark
};
// transitController, when given, is switched to transit around the
// correction read (a caller that does not hold transit on itself).
AllValues ReadAll(bus::SerialLink& link, std::uint8_t sensor, int meter,
                  const sensor::StatusDecoder& decoder,
                  std::optional<std::uint8_t> transitController = std::nullopt);

} // namespace density
