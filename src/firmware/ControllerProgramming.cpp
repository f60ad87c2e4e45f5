#include "firmware/ControllerProgramming.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

namespace firmware {

using bus::Form;
namespace ctl = bus::ctl;

QString otherProcessorText(const FirmwareImage& image, bool keyboard) {
    const QString other = keyboard ? QStringLiteral("VQM") : QStringLiteral("VQS");
    if (!image.version.contains(other))
        return {};
    return image.version.trimmed() +
           (keyboard ? QStringLiteral(" — ФАЙЛ ДЛЯ ЦЕНТРАЛЬНОГО ПРОЦЕССОРА, А ВЫБРАН ПРОЦЕССОР "
                                      "KBD/LCD")
                     : QStringLiteral(" — ФАЙЛ ДЛЯ ПРОЦЕССОРА KBD/LCD, А ВЫБРАН ЦЕНТРАЛЬНЫЙ "
                                      "ПРОЦЕССОР"));
}

std::uint8_t bootLoaderAddress(bool directSensorType, std::uint8_t controller) {
    return directSensorType ? controller : kBootLoaderBroadcast;
}

LinkResult ControllerLink(bus::SerialLink& link, std::uint8_t controller, std::uint8_t bootLoader,
                          bool emergency, bool wantVersion, bool wantDate) {
    LinkResult r;
    r.mess = QStringLiteral("НЕТ ОТВЕТА");
    if (!emergency) {
        if (bus::AskController(link, controller, ctl::ReadState, Form::Read) < 0)
            return r;
        ReadIdentity(link, bus::Target::Controller, controller, wantVersion, wantDate, r);
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

ProgramResult ProgramController(bus::SerialLink& link, std::uint8_t bootLoader,
                                const FirmwareImage& image, app::Progress& progress) {
    return ProgramImage(link, bus::Target::Controller, bootLoader, image, progress, BlockRule{});
}

UpdateResult UpdateController(bus::SerialLink& link, std::uint8_t bootLoader,
                              std::uint8_t controller, const FirmwareImage& image,
                              app::Progress& progress) {
    UpdateResult r;
    r.program = ProgramController(link, bootLoader, image, progress);
    if (!r.program.done)
        return r;
    ReleaseBootLoader(link, bootLoader);
    r.restarted = AwaitRestart(link, bus::Target::Controller, controller, progress);
    return r;
}

} // namespace firmware
