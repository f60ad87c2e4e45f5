#include "firmware/ImageProgramming.h"

#include "app/Progress.h"
#include "link/DeviceText.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <algorithm>

namespace firmware {
namespace {

using bus::Form;

constexpr int kPauseMs = 100;
// Both targets name these commands alike.
constexpr std::uint8_t kReadVersion = bus::ctl::ReadVersion;
constexpr std::uint8_t kReadDate = bus::ctl::ReadDate;
constexpr std::uint8_t kProgramBlock = bus::ctl::ProgramBlock;
static_assert(bus::sns::ReadVersion == kReadVersion && bus::sns::ReadDate == kReadDate &&
              bus::sns::ProgramBlock == kProgramBlock);

} // namespace

void ReadIdentity(bus::SerialLink& link, bus::Target target, std::uint8_t address, bool wantVersion,
                  bool wantDate, LinkResult& r) {
    if (wantVersion)
        r.version = bus::ReadDeviceText(link, target, address, kReadVersion);
    link.Idle(kPauseMs);
    if (wantDate) {
        if (const auto text = bus::ReadDeviceText(link, target, address, kReadDate))
            r.date = text->mid(text->lastIndexOf(QLatin1Char('.')) + 1);
    }
}

LinkResult AwaitRestart(bus::SerialLink& link, bus::Target target, std::uint8_t address,
                        app::Progress& progress, int withinMs) {
    LinkResult r;
    // The device boots after its loader was let go: asked until it answers,
    // each silent question costing its wait.
    const int tries = std::max(1, withinMs / 1000);
    for (int t = 0; t < tries && !r.version && link.isOpen() && !progress.breakRequested(); ++t) {
        ReadIdentity(link, target, address, true, true, r);
        progress.processEvents();
    }
    r.linked = r.version.has_value();
    return r;
}

std::vector<std::vector<std::uint8_t>> ProgramBlocks(const FirmwareImage& image) {
    std::vector<std::vector<std::uint8_t>> blocks;
    // Words only: an odd start goes from the even address below it.
    const int from = image.start & ~1;
    auto byteAt = [&image](int a) {
        return a >= image.start && a < image.end && a < image.data.size()
                   ? static_cast<std::uint8_t>(image.data[a])
                   : std::uint8_t{0xFF};
    };
    for (int a = from; a < image.end; a += kFirmwareBlock) {
        const int left = image.end - a;
        const int length = left >= kFirmwareBlock ? kFirmwareBlock : (left + 1) & ~1;
        std::vector<std::uint8_t> payload{static_cast<std::uint8_t>((a / 2) >> 8),
                                          static_cast<std::uint8_t>(a / 2)};
        for (int i = 0; i < length; ++i)
            payload.push_back(byteAt(a + i));
        blocks.push_back(std::move(payload));
    }
    return blocks;
}

QString programText(ProgramEnd end, int sentPast) {
    const QString at = QStringLiteral("(%1)").arg(
        QStringLiteral("%1").arg(sentPast, 5, 16, QLatin1Char('0')).toUpper());
    switch (end) {
    case ProgramEnd::NotStarted:
        return {};
    case ProgramEnd::Done:
        return QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО");
    case ProgramEnd::Stopped:
        return QStringLiteral("ПРОГРАММИРОВАНИЕ ПРЕРВАНО") + at;
    case ProgramEnd::LineLost:
        return QStringLiteral("ПОТЕРЯ СВЯЗИ") + at;
    case ProgramEnd::Refused:
        return QStringLiteral("СБОЙ ПРОГРАММИРОВАНИЯ") + at;
    }
    return {};
}

ProgramResult ProgramImage(bus::SerialLink& link, bus::Target target, std::uint8_t address,
                           const FirmwareImage& image, app::Progress& progress, BlockRule rule) {
    ProgramResult r;
    if (!image.usable || image.end <= image.start)
        return r;
    const auto blocks = ProgramBlocks(image);
    progress.ShowProgress(static_cast<int>(blocks.size()));
    // Words only: the first block starts at the even address.
    r.reached = image.start & ~1;
    r.sentPast = r.reached;
    auto end = [&](ProgramEnd e) {
        r.end = e;
        r.done = e == ProgramEnd::Done;
        r.stopped = e == ProgramEnd::Stopped;
        r.mess = programText(e, r.sentPast);
        return r;
    };
    // One answer judged: an unanswered block (or one the link refused as an
    // answer to another command) is a lost link, a 0 a refused block.
    auto judged = [&](int n) {
        if (n < 0)
            return ProgramEnd::LineLost;
        if (link.data(0) == 0)
            return ProgramEnd::Refused;
        return ProgramEnd::Done;
    };
    for (const auto& block : blocks) {
        if (progress.breakRequested())
            return end(ProgramEnd::Stopped);
        ++r.blocksSent;
        r.sentPast = r.reached + static_cast<int>(block.size()) - 2;
        ProgramEnd got = ProgramEnd::LineLost;
        for (int attempt = 0; attempt < rule.attempts && got != ProgramEnd::Done; ++attempt) {
            if (attempt > 0 && progress.breakRequested())
                return end(ProgramEnd::Stopped);
            ++r.attempts;
            got = judged(bus::Exchange(link, target, address, kProgramBlock, Form::Write, block));
            if (!link.isOpen())
                break;
        }
        if (got != ProgramEnd::Done)
            return end(got);
        r.reached += static_cast<int>(block.size()) - 2;
        progress.StepProgress(0);
        progress.processEvents();
    }
    const bool closing = !rule.closingOnlyWhenOdd || blocks.size() % 2 == 1;
    if (closing) {
        const ProgramEnd got =
            judged(bus::Exchange(link, target, address, kProgramBlock, Form::Read));
        if (got != ProgramEnd::Done)
            return end(got);
    }
    return end(ProgramEnd::Done);
}

QString describe(const UpdateResult& r) {
    if (r.restarted && !r.restarted->linked)
        return r.program.mess + QStringLiteral("; УСТРОЙСТВО НЕ ОТВЕЧАЕТ ПОСЛЕ ПЕРЕЗАПУСКА");
    return r.program.mess;
}

} // namespace firmware
