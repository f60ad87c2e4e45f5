#include "density/DensityService.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SettingText.h"
#include "sensor/StatusDecoder.h"

#include <cstring>

namespace density {
namespace {

using bus::Form;

constexpr std::uint8_t kVersion[] = {0xAA, 0x02};
constexpr std::uint8_t kStatus[] = {0xA5, 0x02};
constexpr std::uint8_t kParameter = 0xBE;
constexpr std::uint8_t kCorrectedDensity[] = {0x49, 0x04};
constexpr std::uint8_t kTemperature[] = {0x51, 0x04};
constexpr std::uint8_t kConvert = 0x43;
constexpr int kInitialiseBase = 12;
constexpr int kPositionFloorMm = 200;

QString hex2(int v) {
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

// A 0x41 read of meter m, with the sensor's version asked first where the
// meter wants it (the answer is not looked at).
int ask(bus::SerialLink& link, std::uint8_t sensor, int meter,
        std::initializer_list<std::uint8_t> words, bool probeFirst) {
    if (probeFirst)
        bus::AskSensor(link, sensor, bus::sns::ReadVersion, Form::Probe);
    std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(meter)};
    payload.insert(payload.end(), words);
    return bus::AskSensor(link, sensor, bus::sns::DensityMeterExchange, Form::Read, payload);
}

// The meter's verdict rides in the last byte: 0 = failed, the byte before
// it the meter's error code.
std::optional<Field> meterFailure(const bus::SerialLink& link, int n) {
    if (n >= 2 && link.data(n - 1) == 0)
        return Field{hex2(link.data(n - 2)), false, n};
    return std::nullopt;
}

Field bad(int n) {
    return Field{QString(), true, n};
}

float floatAt(const bus::SerialLink& link, int at) {
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(link.data(at + i)) << (8 * i);
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

QString wholeDotTenths(const bus::SerialLink& link) {
    return QStringLiteral("%1.%2").arg(link.data(1) * 256 + link.data(2)).arg(link.data(3));
}

std::optional<int> level(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t command) {
    if (bus::AskSensor(link, sensor, command, Form::Read) < 4)
        return std::nullopt;
    return link.data(0) * 256 + link.data(1);
}

} // namespace

MeterSearch FindDensityMeters(bus::SerialLink& link, std::uint8_t sensor, app::Progress& progress) {
    MeterSearch r;
    progress.ShowProgress(kMeters);
    for (int n = 1; n <= kMeters; ++n) {
        if (progress.breakRequested()) {
            r.stopped = true;
            break;
        }
        MeterSearch::Meter& m = r.meters[n - 1];
        // Each request's own outcome, never the line's state after the search.
        auto ask = [&](std::uint8_t command, std::span<const std::uint8_t> payload) {
            const int len = bus::AskSensor(link, sensor, command, Form::Slow, payload);
            ++r.asked;
            if (link.lastOutcome() != bus::Outcome::Reply) {
                ++r.unanswered;
                r.fault = app::writeFaultOf(link);
            }
            return len;
        };
        const std::uint8_t idCell[] = {sensor::densityIdCell(n)};
        int len = ask(bus::sns::ReadCell, idCell);
        if (len > 7 && link.data(0) == idCell[0] && link.data(1) == '4' && link.data(2) == '4') {
            m.present = true;
            m.id = QString::fromLatin1(
                reinterpret_cast<const char*>(link.receiveBuffer() + 1),
                static_cast<qsizetype>(
                    qstrnlen(reinterpret_cast<const char*>(link.receiveBuffer() + 1), len - 1)));
            const std::uint8_t heightCell[] = {sensor::densityHeightCell(n)};
            len = ask(bus::sns::ReadCell, heightCell);
            if (len > 2 && link.data(0) == heightCell[0])
                m.height = link.data(1) * 256 + link.data(2);
        }
        const std::uint8_t channel[] = {static_cast<std::uint8_t>(n)};
        if (ask(bus::sns::ReadDensityChannel, channel) > 4)
            m.status = link.data(4);
        progress.StepProgress(n);
        progress.processEvents();
        // A sensor silent to all of the first meter's questions is asked
        // nothing more: it would otherwise cost every meter's waits.
        if (r.unanswered == r.asked &&
            (r.fault == app::WriteFault::NoAnswer || r.fault == app::WriteFault::EchoOnly)) {
            progress.CloseProgress();
            return r;
        }
    }
    if (!r.stopped && !progress.breakRequested()) {
        r.fuelLevel = level(link, sensor, bus::sns::ReadFuelLevel);
        r.waterLevel = level(link, sensor, bus::sns::ReadWaterLevel);
    }
    progress.CloseProgress();
    return r;
}

QString searchFailureText(const MeterSearch& s) {
    if (s.unanswered == 0 || !s.fault)
        return {};
    return s.unanswered == s.asked ? app::writeFaultText(*s.fault)
                                   : QStringLiteral("НА ЧАСТЬ ЗАПРОСОВ НЕТ ОТВЕТА");
}

Positions meterPositions(const MeterSearch& s) {
    Positions p;
    bool heightMissing = false;
    for (int i = 0; i < kMeters; ++i) {
        p.lamps[i] = s.meters[i].present;
        heightMissing = heightMissing || (s.meters[i].present && !s.meters[i].height);
    }
    if (heightMissing)
        return p;
    for (int i = 0; i < kMeters; ++i) {
        const MeterSearch::Meter& m = s.meters[i];
        if (!m.present || *m.height < kPositionFloorMm)
            continue;
        p.shown = true;
        if (s.fuelLevel && *s.fuelLevel >= *m.height)
            p.fuelUpTo = i;
        if (s.waterLevel && *m.height < *s.waterLevel + kPositionFloorMm)
            p.waterUpTo = i;
    }
    return p;
}

Field ReadVersion(bus::SerialLink& link, std::uint8_t sensor, int meter) {
    const int n = ask(link, sensor, meter, {kVersion[0], kVersion[1]}, false);
    if (n < 3)
        return bad(n);
    if (const auto f = meterFailure(link, n))
        return *f;
    return Field{
        QStringLiteral("%1.%2").arg(link.data(1)).arg(link.data(2), 2, 10, QLatin1Char('0')), false,
        n};
}

Field ReadStatus(bus::SerialLink& link, std::uint8_t sensor, int meter) {
    const int n = ask(link, sensor, meter, {kStatus[0], kStatus[1]}, false);
    if (n < 2)
        return bad(n);
    if (n == 4)
        return Field{link.data(n - 1) != 0
                         ? hex2(link.data(1)) + QLatin1Char(' ') + hex2(link.data(2))
                         : hex2(link.data(2)),
                     false, n};
    if (n <= 3)
        return Field{hex2(link.data(n - 1)), false, n};
    return Field{QStringLiteral("L=%1").arg(n), false, n};
}

Field ReadParameter(bus::SerialLink& link, std::uint8_t sensor, int meter, Parameter p) {
    const auto code = static_cast<std::uint8_t>(p);
    const int n = ask(link, sensor, meter, {kParameter, 0x01, code, 0x04}, true);
    const bool isFloat = p == Parameter::Correction || p == Parameter::Density ||
                         p == Parameter::BaseTemperature || p == Parameter::BaseDensity ||
                         p == Parameter::BaseDensityDifference;
    if (n < 2)
        return bad(n);
    if (const auto f = meterFailure(link, n))
        return *f;
    switch (p) {
    case Parameter::Adc1:
    case Parameter::Adc2:
        return n >= 3 ? Field{QString::number(link.data(1) * 256 + link.data(2)), false, n}
                      : bad(n);
    case Parameter::Disp1:
    case Parameter::Disp2:
        return n >= 4 ? Field{wholeDotTenths(link), false, n} : bad(n);
    default:
        break;
    }
    if (isFloat && n < 5)
        return bad(n);
    return Field{sensor::decimalText(floatAt(link, 1), p == Parameter::Correction ? 1 : 4), false,
                 n};
}

Field ReadCorrectedDensity(bus::SerialLink& link, std::uint8_t sensor, int meter) {
    const int n = ask(link, sensor, meter, {kCorrectedDensity[0], kCorrectedDensity[1]}, true);
    if (n < 2)
        return bad(n);
    if (const auto f = meterFailure(link, n))
        return *f;
    return n >= 4 ? Field{wholeDotTenths(link), false, n} : bad(n);
}

Field ReadTemperature(bus::SerialLink& link, std::uint8_t sensor, int meter) {
    const int n = ask(link, sensor, meter, {kTemperature[0], kTemperature[1]}, true);
    if (n < 2)
        return bad(n);
    if (const auto f = meterFailure(link, n))
        return *f;
    if (n < 4)
        return bad(n);
    return Field{QStringLiteral("%1 %2.%3")
                     .arg(link.data(1) != 0 ? QLatin1Char('-') : QLatin1Char('+'))
                     .arg(link.data(2))
                     .arg(link.data(3)),
                 false, n};
}

Correction ReadCorrection(bus::SerialLink& link, std::uint8_t sensor, int meter) {
    Correction c;
    bus::AskSensor(link, sensor, bus::sns::ReadVersion, Form::Probe);
    c.value = sensor::ReadDensityCorrection(link, sensor, meter);
    c.uninitialised = c.value && *c.value == 0.0f;
    return c;
}

bool InitialiseMeter(bus::SerialLink& link, std::uint8_t sensor, int meter) {
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(meter + kInitialiseBase), 0, 1};
    return bus::AskSensor(link, sensor, bus::sns::WriteCell, Form::Write, payload) >= 2 &&
           !link.answerCopiesRequest();
}

void StartConversion(bus::SerialLink& link, std::uint8_t sensor, int meter, bool wholeSensor) {
    if (wholeSensor) {
        bus::AskSensor(link, sensor, bus::sns::Trigger, Form::Unanswered);
        return;
    }
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(meter), kConvert};
    bus::AskSensor(link, sensor, bus::sns::WriteCheckedBlock, Form::Unanswered, payload);
}

AllValues ReadAll(bus::SerialLink& link, std::uint8_t sensor, int meter,
                  const sensor::StatusDecoder& decoder,
                  std::optional<std::uint8_t> transitController) {
    AllValues a;
    a.status = ReadStatus(link, sensor, meter);
    a.complete = a.status.length == 4;
    if (!a.complete)
        return a;
    // A meter that is gone or not answering says nothing more.
    if (a.status.text != QLatin1String("B0") && a.status.text != QLatin1String("B2")) {
        a.version = ReadVersion(link, sensor, meter);
        a.adc1 = ReadParameter(link, sensor, meter, Parameter::Adc1);
        a.disp1 = ReadParameter(link, sensor, meter, Parameter::Disp1);
        a.adc2 = ReadParameter(link, sensor, meter, Parameter::Adc2);
        a.disp2 = ReadParameter(link, sensor, meter, Parameter::Disp2);
        a.baseDensity = ReadParameter(link, sensor, meter, Parameter::BaseDensity);
        a.density = ReadParameter(link, sensor, meter, Parameter::Density);
        a.baseDensityDifference =
            ReadParameter(link, sensor, meter, Parameter::BaseDensityDifference);
        a.correctedDensity = ReadCorrectedDensity(link, sensor, meter);
        a.baseTemperature = ReadParameter(link, sensor, meter, Parameter::BaseTemperature);
        a.temperature = ReadTemperature(link, sensor, meter);
        Correction c;
        {
            const bus::TransitScope transit(link, transitController.value_or(0),
                                            transitController.has_value());
            c = ReadCorrection(link, sensor, meter);
        }
        if (c.value)
            a.correction.text = sensor::decimalText(*c.value, 1);
        else
            a.correction.bad = true;
        a.uninitialised = c.uninitialised;
    }
    if (a.status.text.size() == 2)
        a.memo = decoder.DecodeCodeText(a.status.text, true).split(QLatin1Char('|'));
    if (a.uninitialised)
        a.memo << kNotInitialised;
    return a;
}

} // namespace density
