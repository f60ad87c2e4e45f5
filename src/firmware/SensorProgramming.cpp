#include "firmware/SensorProgramming.h"

#include "app/Progress.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "link/Transit.h"

namespace firmware {
namespace {

using bus::Form;
namespace sns = bus::sns;
namespace ctl = bus::ctl;

constexpr int kProbePauseMs = 100;
constexpr int kRestartMs = 100;

bool transitOn(bus::SerialLink& link, std::uint8_t controller) {
    return bus::EnterTransitMode(link, controller) || bus::EnterTransitMode(link, controller);
}

} // namespace

bool SensorBootProbe(bus::SerialLink& link, std::uint8_t sensor) {
    if (bus::AskSensor(link, sensor, sns::StartBootLoader, Form::Read) < 0)
        return false;
    return bus::AskSensor(link, sensor, sns::ReadState, Form::Read) >= 2 && link.data(1) == 0x80;
}

SensorLinkResult SensorLink(bus::SerialLink& link, const SensorRoute& route, bool wantVersion,
                            bool wantDate) {
    SensorLinkResult r;
    r.mess = QStringLiteral("НЕТ ОТВЕТА");
    if (route.viaTransit) {
        if (!transitOn(link, route.controller))
            return r;
        r.transitOn = true;
    }
    ReadIdentity(link, bus::Target::Sensor, route.sensor, wantVersion, wantDate, r);
    if (SensorBootProbe(link, route.sensor)) {
        r.linked = true;
        r.mess = QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА");
        return r;
    }
    if (r.transitOn) {
        bus::LeaveTransitMode(link, route.controller);
        r.transitOn = false;
    }
    return r;
}

bool EmergencySensorLink(bus::SerialLink& link, std::uint8_t sensor, app::Progress& progress,
                         int probes) {
    if (SensorBootProbe(link, sensor))
        return true;
    progress.ShowProgress(probes);
    for (int n = 0; n < probes && link.isOpen() && !progress.breakRequested(); ++n) {
        link.Idle(kProbePauseMs);
        if (SensorBootProbe(link, sensor))
            return true;
        progress.StepProgress(0);
        progress.processEvents();
    }
    return false;
}

ProgramResult ProgramSensor(bus::SerialLink& link, std::uint8_t sensor, const FirmwareImage& image,
                            app::Progress& progress) {
    return ProgramImage(link, bus::Target::Sensor, sensor, image, progress,
                        BlockRule{.attempts = 5, .closingOnlyWhenOdd = true});
}

void LetSensorGo(bus::SerialLink& link, std::uint8_t sensor) {
    bus::AskSensor(link, sensor, sns::ResumeNormal, Form::Unanswered);
    link.Idle(kRestartMs);
}

void ReleaseSensor(bus::SerialLink& link, const SensorRoute& route) {
    LetSensorGo(link, route.sensor);
    if (route.viaTransit)
        bus::LeaveTransitMode(link, route.controller);
}

LinkResult RestartSensor(bus::SerialLink& link, const SensorRoute& route, app::Progress& progress) {
    LetSensorGo(link, route.sensor);
    LinkResult now = AwaitRestart(link, bus::Target::Sensor, route.sensor, progress);
    if (route.viaTransit)
        bus::LeaveTransitMode(link, route.controller);
    return now;
}

UpdateResult UpdateSensor(bus::SerialLink& link, const SensorRoute& route,
                          const FirmwareImage& image, app::Progress& progress) {
    UpdateResult r;
    r.program = ProgramSensor(link, route.sensor, image, progress);
    if (r.program.done)
        r.restarted = RestartSensor(link, route, progress);
    return r;
}

std::optional<bool> ReadEmergencyFlag(bus::SerialLink& link, std::uint8_t controller) {
    if (bus::AskController(link, controller, ctl::EmergencyUpdateFlag, Form::Read) < 1)
        return std::nullopt;
    return link.data(0) != 0;
}

FlagResult SetEmergencyFlag(bus::SerialLink& link, std::uint8_t controller, bool want) {
    FlagResult r;
    const std::optional<bool> now = ReadEmergencyFlag(link, controller);
    if (!now || *now != want) {
        const std::uint8_t value = want ? 1 : 0;
        const int n = bus::AskController(link, controller, ctl::EmergencyUpdateFlag, Form::Write,
                                         std::span(&value, 1));
        if (n < 1 || link.data(0) != value) {
            r.mess = QStringLiteral("НЕ УСТАНОВЛЕН");
            return r;
        }
    }
    r.set = true;
    r.mess = want ? QStringLiteral("УСТАНОВЛЕН АВАРИЙНЫЙ РЕЖИМ")
                  : QStringLiteral("АВАРИЙНЫЙ РЕЖИМ СНЯТ");
    return r;
}

} // namespace firmware
