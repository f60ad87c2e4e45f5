#include "firmware/ControllerProgramming.h"

#include "app/Progress.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <algorithm>

namespace firmware {
namespace {

using bus::Form;
namespace ctl = bus::ctl;

constexpr int kPauseMs = 100;

QString replyText(const bus::SerialLink& link, int n) {
    return QString::fromLatin1(reinterpret_cast<const char*>(link.receiveBuffer()), n);
}

QString failure(const char* text, int address) {
    return QString::fromUtf8(text).arg(address, 5, 16, QLatin1Char('0')).toUpper();
}

} // namespace

std::uint8_t bootLoaderAddress(bool directSensorType, std::uint8_t controller) {
    return directSensorType ? controller : kBootLoaderBroadcast;
}

namespace {

// Version, a pause, date: what the running firmware says of itself.
void readIdentity(bus::SerialLink& link, std::uint8_t controller, bool wantVersion, bool wantDate,
                  LinkResult& r) {
    if (wantVersion) {
        const int v = bus::AskController(link, controller, ctl::ReadVersion, Form::Read);
        if (v >= 1)
            r.version = replyText(link, v);
    }
    link.Idle(kPauseMs);
    if (wantDate) {
        const int d = bus::AskController(link, controller, ctl::ReadDate, Form::Read);
        if (d >= 1) {
            const QString text = replyText(link, d);
            r.date = text.mid(text.lastIndexOf(QLatin1Char('.')) + 1);
        }
    }
}

} // namespace

LinkResult AwaitRestart(bus::SerialLink& link, std::uint8_t controller, app::Progress& progress,
                        int withinMs) {
    LinkResult r;
    // The device boots after its loader was let go: asked until it answers,
    // each silent question costing its wait.
    const int tries = std::max(1, withinMs / 1000);
    for (int t = 0; t < tries && !r.version && link.isOpen() && !progress.breakRequested(); ++t) {
        readIdentity(link, controller, true, true, r);
        progress.processEvents();
    }
    r.linked = r.version.has_value();
    return r;
}

LinkResult ControllerLink(bus::SerialLink& link, std::uint8_t controller, std::uint8_t bootLoader,
                          bool emergency, bool wantVersion, bool wantDate) {
    LinkResult r;
    r.mess = QStringLiteral("НЕТ ОТВЕТА");
    if (!emergency) {
        if (bus::AskController(link, controller, ctl::ReadState, Form::Read) < 0)
            return r;
        readIdentity(link, controller, wantVersion, wantDate, r);
    }
    if (bus::AskController(link, controller, ctl::StartBootLoader, Form::Read) < 0)
        return r;
    if (bus::AskController(link, bootLoader, ctl::ReadState, Form::Read) < 2 ||
        link.data(1) != 0x80)
        return r;
    r.linked = true;
    r.mess = QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА");
    return r;
}

void ReleaseBootLoader(bus::SerialLink& link, std::uint8_t bootLoader) {
    bus::AskController(link, bootLoader, ctl::ResumeNormal, Form::Unanswered);
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

ProgramResult ProgramController(bus::SerialLink& link, std::uint8_t bootLoader,
                                const FirmwareImage& image, app::Progress& progress) {
    ProgramResult r;
    if (!image.usable || image.end <= image.start)
        return r;
    const auto blocks = ProgramBlocks(image);
    progress.ShowProgress(static_cast<int>(blocks.size()));
    int address = image.start & ~1;
    // The failure texts name the byte address just past the last block sent.
    auto evaluate = [&](int n) -> bool {
        if (n < 0) {
            r.mess = failure("ПОТЕРЯ СВЯЗИ(%1)", address);
            return false;
        }
        if (link.data(0) == 0) {
            r.mess = failure("СБОЙ ПРОГРАММИРОВАНИЯ(%1)", address);
            return false;
        }
        return true;
    };
    for (const auto& block : blocks) {
        if (progress.breakRequested()) {
            r.stopped = true;
            r.mess = QStringLiteral("ПРОГРАММИРОВАНИЕ ПРЕРВАНО");
            return r;
        }
        const int n = bus::AskController(link, bootLoader, ctl::ProgramBlock, Form::Write, block);
        address += static_cast<int>(block.size()) - 2;
        ++r.blocksSent;
        if (!evaluate(n))
            return r;
        progress.StepProgress(0);
        progress.processEvents();
    }
    if (!evaluate(bus::AskController(link, bootLoader, ctl::ProgramBlock, Form::Read)))
        return r;
    r.done = true;
    r.mess = QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО");
    return r;
}

} // namespace firmware
