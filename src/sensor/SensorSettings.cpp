#include "sensor/SensorSettings.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"

#include <cmath>
#include <cstring>

namespace sensor {
namespace {

using bus::Form;

constexpr std::uint8_t kCorrectionCell = 0x90;
constexpr std::uint8_t kSizeCell = 0x91;
constexpr std::uint8_t kCodeUpdateByte = 1;
constexpr std::uint8_t kCounter = 2;
constexpr std::uint8_t kSectionReadByte = 0;

int ask(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t code, Form form,
        std::span<const std::uint8_t> payload = {}) {
    return bus::AskSensor(link, sensor, code, form, payload);
}

std::uint8_t high(int v) {
    return static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
std::uint8_t low(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

using app::outcomeOf;
using app::WriteFault;
using app::WriteOutcome;

// Writes confirmed by a non-zero byte 0.
bool acceptedInByte0(int length, const bus::SerialLink& link) {
    return length >= 1 && link.data(0) != 0;
}
// Writes confirmed by a non-zero byte 1.
bool acceptedInByte1(int length, const bus::SerialLink& link) {
    return length >= 2 && link.data(1) != 0;
}

// The counter and the code-update byte share one command: the answer names
// which of them it took, so a late answer to the one never confirms the other.
bool codeUpdateAccepted(int length, const bus::SerialLink& link, std::uint8_t which) {
    return acceptedInByte1(length, link) && link.data(0) == which;
}

} // namespace

SensorGroups ReadSensorGroups(bus::SerialLink& link, std::uint8_t sensor) {
    SensorGroups g;
    if (ask(link, sensor, bus::sns::ReadLength, Form::Slow) >= 6)
        g.sizeMm = link.data(0) * 256 + link.data(1);
    const std::uint8_t cell[] = {kCorrectionCell};
    // The answer echoes the cell; another cell's is a late answer.
    if (ask(link, sensor, bus::sns::ReadCell, Form::Quick, cell) >= 3 &&
        link.data(0) == kCorrectionCell)
        g.levelCorrectionTenths = static_cast<std::int16_t>((link.data(1) << 8) | link.data(2));
    if (ask(link, sensor, bus::sns::SensorFlags, Form::Read) >= 1)
        g.flags = link.data(0);
    if (ask(link, sensor, bus::sns::FillCriterion, Form::Read) >= 2)
        g.fillCriterionTenths = link.data(0) * 256 + link.data(1);
    return g;
}

int sizeSegments(int sizeMm, bool wide) {
    return (sizeMm * (wide ? 4 : 8) * 2 + 125) / 250;
}

int segmentsSize(int segments, bool wide) {
    return segments * 125 / (wide ? 4 : 8);
}

bool holdsSize(int sizeMm, bool wide) {
    const int segments = sizeSegments(sizeMm, wide);
    return segments >= 1 && segments <= 0xFFFF && segmentsSize(segments, wide) == sizeMm;
}

std::optional<int> ReadSizeSegments(bus::SerialLink& link, std::uint8_t sensor) {
    const std::uint8_t cell[] = {kSizeCell};
    if (ask(link, sensor, bus::sns::ReadCell, Form::Quick, cell) >= 3 && link.data(0) == kSizeCell)
        return link.data(1) * 256 + link.data(2);
    return std::nullopt;
}

bool isWide(int sizeMm, int segments) {
    return segments > 0 && sizeMm / segments == 31;
}

std::optional<bool> ReadWide(bus::SerialLink& link, std::uint8_t sensor) {
    if (ask(link, sensor, bus::sns::ReadLength, Form::Slow) < 6)
        return std::nullopt;
    const int sizeMm = link.data(0) * 256 + link.data(1);
    const auto segments = ReadSizeSegments(link, sensor);
    if (!segments)
        return std::nullopt;
    return isWide(sizeMm, *segments);
}

WriteOutcome WriteSensorSize(bus::SerialLink& link, std::uint8_t sensor, int sizeMm, bool wide) {
    const int segments = sizeSegments(sizeMm, wide);
    if (!sensorSetting(QStringLiteral("size")).accepts(QJsonValue(sizeMm)) ||
        !holdsSize(sizeMm, wide))
        return app::refused(WriteFault::BadValue);
    return WriteCellWord(link, sensor, kSizeCell, static_cast<std::uint16_t>(segments));
}

WriteOutcome WriteLevelCorrection(bus::SerialLink& link, std::uint8_t sensor, int tenths) {
    if (tenths < -32768 || tenths > 32767)
        return app::refused(WriteFault::BadValue);
    return WriteCellWord(link, sensor, kCorrectionCell, static_cast<std::uint16_t>(tenths));
}

std::uint8_t applyFlagChanges(std::uint8_t f, const FlagChanges& c) {
    auto set = [&f](std::uint8_t bit, bool on) {
        f = static_cast<std::uint8_t>(on ? (f | bit) : (f & ~bit));
    };
    if (c.reset) {
        set(flag::ResetOnLinkLoss, (*c.reset)[0]);
        set(flag::ResetOnDensity01, (*c.reset)[1]);
    }
    if (c.propagate)
        set(flag::Propagate, *c.propagate);
    if (c.channel) {
        set(flag::Combined, (*c.channel)[0]);
        set(flag::SingleMeter, (*c.channel)[1]);
    }
    return f;
}

WriteOutcome WriteFlags(bus::SerialLink& link, std::uint8_t sensor, const FlagChanges& changes) {
    // Start from the sensor's own byte, so that what is not shown survives;
    // without it nothing is written, lest the other bits be guessed.
    if (ask(link, sensor, bus::sns::SensorFlags, Form::Read) < 1)
        return app::refused(link.isOpen() ? WriteFault::Unread : WriteFault::LineLost);
    const std::uint8_t f = applyFlagChanges(link.data(0), changes);
    const std::uint8_t payload[] = {f};
    return outcomeOf(
        link,
        acceptedInByte0(ask(link, sensor, bus::sns::SensorFlags, Form::Write, payload), link));
}

WriteOutcome WriteFillCriterion(bus::SerialLink& link, std::uint8_t sensor, int tenths) {
    if (tenths < 0 || tenths > 0xFFFF)
        return app::refused(WriteFault::BadValue);
    const std::uint8_t payload[] = {high(tenths), low(tenths)};
    return outcomeOf(
        link,
        acceptedInByte0(ask(link, sensor, bus::sns::FillCriterion, Form::Write, payload), link));
}

std::optional<SectionCorrections> ReadSectionCorrections(bus::SerialLink& link,
                                                         std::uint8_t sensor) {
    const std::uint8_t payload[] = {kSectionReadByte};
    if (ask(link, sensor, bus::sns::ReadSectionCorrections, Form::Read, payload) < 32)
        return std::nullopt;
    SectionCorrections out{};
    for (int i = 0; i < 8; ++i) {
        quint32 bits = 0;
        for (int b = 0; b < 4; ++b)
            bits |= quint32(link.data(4 * i + b)) << (8 * b);
        std::memcpy(&out[i], &bits, sizeof bits);
    }
    return out;
}

WriteOutcome WriteSectionCorrection(bus::SerialLink& link, std::uint8_t sensor, int section,
                                    float value) {
    // The last guard before the payload: an infinity or NaN never leaves.
    if (section < 1 || section > 8 || !std::isfinite(value))
        return app::refused(WriteFault::BadValue);
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(section), low(bits), low(bits >> 8),
                                    low(bits >> 16), low(bits >> 24)};
    return outcomeOf(
        link, acceptedInByte1(
                  ask(link, sensor, bus::sns::WriteSectionCorrection, Form::Write, payload), link));
}

std::optional<Segments> ReadSegments(bus::SerialLink& link, std::uint8_t sensor) {
    if (ask(link, sensor, bus::sns::Segments, Form::Read) < 2)
        return std::nullopt;
    return Segments{link.data(0), link.data(1)};
}

SegmentsWrite WriteSegments(bus::SerialLink& link, std::uint8_t sensor, int working, int removed) {
    SegmentsWrite w;
    if (working <= 0 || working > 0xFF || removed < 0 || removed >= 0xFF)
        return w;
    const std::uint8_t payload[] = {low(working), low(removed)};
    w.sent = true;
    if (ask(link, sensor, bus::sns::Segments, Form::Write, payload) >= 2)
        w.echo = Segments{link.data(0), link.data(1)};
    w.confirmed = w.echo && w.echo->working == working && w.echo->removed == removed;
    return w;
}

std::optional<CodeUpdate> ReadCodeUpdate(bus::SerialLink& link, std::uint8_t sensor) {
    if (ask(link, sensor, bus::sns::CodeUpdate, Form::Read) < 3)
        return std::nullopt;
    return CodeUpdate{(link.data(0) & 0x80) != 0, (link.data(0) & 0x40) != 0, link.data(1),
                      link.data(2)};
}

bool isValidCounter(int n) {
    return sensorSetting(QStringLiteral("counter")).accepts(QJsonValue(n));
}

WriteOutcome WriteCounter(bus::SerialLink& link, std::uint8_t sensor, int n) {
    if (!isValidCounter(n))
        return app::refused(WriteFault::BadValue);
    const std::uint8_t payload[] = {kCounter, low(n)};
    return outcomeOf(
        link, codeUpdateAccepted(ask(link, sensor, bus::sns::CodeUpdate, Form::Write, payload),
                                 link, kCounter));
}

WriteOutcome WriteCodeUpdateFlags(bus::SerialLink& link, std::uint8_t sensor, bool updateAllowed,
                                  bool algorithmAllowed) {
    const std::uint8_t b = (updateAllowed ? 0x80 : 0) | (algorithmAllowed ? 0x40 : 0);
    const std::uint8_t payload[] = {kCodeUpdateByte, b};
    return outcomeOf(
        link, codeUpdateAccepted(ask(link, sensor, bus::sns::CodeUpdate, Form::Write, payload),
                                 link, kCodeUpdateByte));
}

} // namespace sensor
