#include "diagram/DiagramRead.h"

#include "app/Progress.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <algorithm>
#include <cstring>

namespace diagram {
namespace {

using bus::Form;
namespace sns = bus::sns;

constexpr std::uint8_t kSegmentCell = 0x91;
constexpr int kPauseMs = 10;
constexpr int kType0Mm = 15;
constexpr int kType1Mm = 31;

// How one array is read: the sensor codes get three attempts a block; the
// reference codes one, a reply shorter than shortest stops them and a
// reply for another block is passed over.
struct BlockRule {
    std::uint8_t code;
    int tries;
    int shortest;
};
constexpr BlockRule kSensorCodes{sns::ReadCodeBlock, 3, 0};
constexpr BlockRule kDryCodes{sns::ReadDryCodeBlock, 1, 2};
constexpr BlockRule kWetCodes{sns::ReadWetCodeBlock, 1, 3};

// Codes of one array, block by block from the last one down. Returns the
// number of codes received.
int readBlocks(bus::SerialLink& link, std::uint8_t sensor, const BlockRule& rule, Diagram& d,
               QByteArray& out, app::Progress& progress) {
    const int blocks = (d.segments + d.codesPerBlock - 1) / d.codesPerBlock;
    progress.ShowProgress(blocks);
    int received = 0;
    for (int b = blocks; b >= 1; --b) {
        bool taken = false;
        bool passedOver = false;
        for (int attempt = 0; attempt < rule.tries && !taken && !passedOver; ++attempt) {
            if (progress.breakRequested())
                return received;
            const std::uint8_t payload[] = {static_cast<std::uint8_t>(b), 1};
            const int n = bus::AskSensor(link, sensor, rule.code, Form::Read, payload);
            progress.processEvents();
            if (rule.shortest > 0 && n < rule.shortest)
                return received;
            if (n <= 1 || link.data(0) != b) {
                passedOver = rule.tries == 1 && n > 1;
                continue;
            }
            const int take = std::min(n - 1, d.segments - received);
            std::memcpy(out.data() + received, link.receiveBuffer() + 1, take);
            received += take;
            taken = true;
            progress.StepProgress(0);
        }
        if (!taken && !passedOver)
            break;
    }
    return received;
}

void keep(const bus::SerialLink& link, std::uint8_t* to, int n) {
    std::memcpy(to, link.receiveBuffer(), n);
}

} // namespace

ReadResult ReadSegmentDiagram(bus::SerialLink& link, std::uint8_t sensor, bool referenceCodes,
                              app::Progress& progress, Diagram& d,
                              const std::function<void(const QString&)>& showStep) {
    ReadResult r;
    auto step = [&](const char* text) {
        r.step = QString::fromUtf8(text);
        if (showStep)
            showStep(r.step);
    };
    auto stopped = [&] {
        r.stopped = progress.breakRequested();
        return r.stopped;
    };
    step("СТАТУС");
    int n = bus::AskSensor(link, sensor, sns::ReadStatus, Form::Read);
    if (n < 0)
        n = bus::AskSensor(link, sensor, sns::ReadStatus, Form::Read);
    if (n < 0) {
        r.mess = QStringLiteral("Датчик не отвечает.");
        return r;
    }
    step("НАЛИЧИЕ");
    if (n < 2 || !(link.data(1) & 1)) {
        r.mess = QStringLiteral("ДАТЧИКА УРОВНЯ НЕТ");
        return r;
    }
    if (stopped())
        return r;
    link.Idle(kPauseMs);
    step("СЕГМЕНТЫ");
    const std::uint8_t cell[] = {kSegmentCell};
    if (bus::AskSensor(link, sensor, sns::ReadCell, Form::Read, cell) <= 2) {
        r.mess = QStringLiteral("Размер не получен.");
        return r;
    }
    const int segments = (link.data(1) << 8) | link.data(2);
    if (stopped())
        return r;
    step("ДЛИНА");
    if (bus::AskSensor(link, sensor, sns::ReadLength, Form::Read) <= 1) {
        r.mess = QStringLiteral("Размер (мм) не получен.");
        return r;
    }
    const int length = (link.data(0) << 8) | link.data(1);
    if (segments == 0) {
        r.mess = QStringLiteral("НУЛЕВОЙ РАЗМЕР СЕНСОРА");
        return r;
    }
    // More segments than the arrays hold is no probe this program can draw.
    const int perSegment = length / segments;
    if ((perSegment != kType0Mm && perSegment != kType1Mm) || segments > kMaxSegments) {
        step("СЕГ=0");
        r.mess = QStringLiteral("ОШИБКА РАЗМЕРА СЕГМЕНТА");
        return r;
    }
    if (stopped())
        return r;
    d.segments = segments;
    d.segmentType = perSegment == kType0Mm ? 0 : 1;
    d.codesPerBlock = d.segmentType == 0 ? 32 : 16;
    d.sensorAddress = sensor;
    d.sensor = QByteArray(segments, '\0');
    d.dry = QByteArray(segments, '\0');
    d.wet = QByteArray(segments, '\0');
    step("ГРАФИК");

    r.codesRead = readBlocks(link, sensor, kSensorCodes, d, d.sensor, progress);
    if (stopped())
        return r;
    const bool sensorComplete = r.codesRead == segments;
    if (sensorComplete && d.sensor.count('\0') == segments)
        r.mess = QStringLiteral("Сенсор не подключен ?");
    r.sensorLayer = true;
    bool dryComplete = true;
    bool wetComplete = true;
    if (referenceCodes) {
        dryComplete = readBlocks(link, sensor, kDryCodes, d, d.dry, progress) == segments;
        if (stopped())
            return r;
        r.dryLayer = dryComplete;
        wetComplete = readBlocks(link, sensor, kWetCodes, d, d.wet, progress) == segments;
        if (stopped())
            return r;
        r.wetLayer = wetComplete;
    }

    d.fuelLevel.fill(0);
    d.waterLevel.fill(0);
    d.parameters.fill(0);
    d.parametersRead = false;
    if (bus::AskSensor(link, sensor, sns::ReadFuelLevel, Form::Read) > 3)
        keep(link, d.fuelLevel.data(), kLevelBytes);
    if (bus::AskSensor(link, sensor, sns::ReadWaterLevel, Form::Read) > 3)
        keep(link, d.waterLevel.data(), kLevelBytes);
    if (bus::AskSensor(link, sensor, sns::ReadParameterBlock, Form::Read) > 35) {
        keep(link, d.parameters.data(), kParameterBytes);
        d.parametersRead = true;
    }
    if (stopped())
        return r;

    if (!sensorComplete || !dryComplete || !wetComplete) {
        QString text = QStringLiteral("Считаны не все коды :");
        if (!sensorComplete)
            text += QStringLiteral(" датчика,");
        if (!dryComplete)
            text += QStringLiteral(" сухие,");
        if (!wetComplete)
            text += QStringLiteral(" мокрые.");
        else
            text.chop(1);
        r.mess = text;
    } else {
        r.mess += QStringLiteral(" ВСЁ СЧИТАНО");
        r.complete = true;
    }
    step("ВСЁ");
    r.drawn = true;
    return r;
}

bool ClearOrComputeCodes(bus::SerialLink& link, std::uint8_t sensor, CodeAction action) {
    // A look at the sensor first; its answer is not needed.
    bus::AskSensor(link, sensor, sns::ReadStatus, Form::Quick);
    struct Command {
        std::uint8_t code;
        Form form;
        int what; // the payload byte, or -1
    };
    static const Command kCommands[] = {
        {sns::ClearCodes, Form::Write, 3},       {sns::ClearCodes, Form::Write, 4},
        {sns::ClearCodes, Form::Write, 2},       {sns::ComputeAirCodes, Form::Read, -1},
        {sns::ComputeFuelCodes, Form::Read, -1}, {sns::ForecastCodes, Form::Read, -1},
    };
    const Command& c = kCommands[static_cast<int>(action)];
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(c.what)};
    const std::span<const std::uint8_t> p =
        c.what < 0 ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(payload);
    return bus::AskSensor(link, sensor, c.code, c.form, p) >= 1;
}

void StartNextMeasurement(bus::SerialLink& link, std::uint8_t sensor) {
    bus::AskSensor(link, sensor, bus::sns::Trigger, bus::Form::Unanswered);
}

} // namespace diagram
