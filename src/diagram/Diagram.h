#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// A level probe's segment diagram: the codes each segment reads now, the
// dry and wet reference codes it learned, its levels and parameters.
namespace diagram {

inline constexpr int kMaxSegments = 1280;
inline constexpr int kLevelBytes = 4;
inline constexpr int kParameterBytes = 36;
// In the reference arrays these mean "no code".
inline constexpr std::uint8_t kNoCodeLow = 0;
inline constexpr std::uint8_t kNoCodeHigh = 255;

enum class CodeKind { Sensor, Dry, Wet };

struct Diagram {
    int segments = 0;
    int segmentType = 0; // 0: 15 mm a segment, 1: 31 mm
    int codesPerBlock = 32;
    std::uint8_t sensorAddress = 0;
    // Index 0 first as received (the top of the probe); n codes each.
    QByteArray sensor;
    QByteArray dry;
    QByteArray wet;
    // The level and parameter replies as received (zeros when not read).
    std::array<std::uint8_t, kLevelBytes> fuelLevel{};
    std::array<std::uint8_t, kLevelBytes> waterLevel{};
    std::array<std::uint8_t, kParameterBytes> parameters{};
    bool parametersRead = false;
    double savedAt = 0; // days since 30 December 1899, as files keep it

    const QByteArray& codes(CodeKind kind) const;
    int fuelSegment() const;
    int waterSegment() const;
    double noise() const;
    double scale() const; // × 0.125 applied
    double delta() const; // × 0.5 applied
};

// Whether a reference code is a gap.
inline bool noCode(std::uint8_t c) {
    return c == kNoCodeLow || c == kNoCodeHigh;
}

// "%d.%d(%02X)" of a level reply: mm, tenth, status.
QString levelText(const std::array<std::uint8_t, kLevelBytes>& reply);
// "%d / %d": the segment and what lies below it.
QString segmentText(int segment, int segments);

// Which code buttons make sense for the diagram read.
struct CorrectionButtons {
    bool air = false;       // btACor: a dry gap above the fuel
    bool fuel = false;      // btFCor: a wet gap in the fuel
    bool forecast = false;  // btCCor
    bool sizeError = false; // lDgrErr: a level segment past the probe
};
CorrectionButtons correctionButtons(const Diagram& d);

} // namespace diagram
