#include "cli/FlashCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "firmware/ControllerProgramming.h"
#include "firmware/FirmwareImage.h"
#include "firmware/SensorProgramming.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sim/SimulatedLine.h"

#include <cstdio>

namespace cli {
namespace {

const QString kLinkLost = QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");

void say(const QString& text) {
    std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(text));
}

// What the restarted device reports; exit 0 only when it answered.
int restarted(const firmware::UpdateResult& r) {
    say(r.program.mess);
    const firmware::LinkResult& now = *r.restarted;
    std::printf("version=%s\ndate=%s\n", qPrintable(now.version.value_or(QString())),
                qPrintable(now.date.value_or(QString())));
    return r.done() ? 0 : fail(firmware::describe(r), 1);
}

int flashController(bus::SerialLink& link, const CliOptions& o, int number, bool keyboard,
                    const QString& path, bool emergency) {
    firmware::FirmwareImage image;
    const firmware::LoadResult loaded = firmware::LoadControllerFirmware(path, image);
    if (!loaded.ok)
        return fail(QStringLiteral("%1: %2").arg(path, loaded.message));
    // The window asks; here the other processor's file is refused.
    if (const QString other = firmware::otherProcessorText(image, keyboard); !other.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(path, other));
    say(path + QStringLiteral(": ") + image.version);

    auto address = static_cast<std::uint8_t>(0x80 + number - 1);
    bool direct = false;
    if (keyboard) {
        // The keyboard/display processor has a cable of its own: no scan there.
        if (o.simulate && !link.OpenPort(sim::SimulatedLine::kKeyboardPortName))
            return fail(link.lastOpenError().text());
    } else if (emergency) {
        // Dead firmware answers no scan: controller K is taken at its own
        // address, and only the type is looked up.
        app::ControllerLayout layout;
        if (const int code = layoutOffLine(o, layout))
            return code;
        direct = layout.isDirectSensorType();
        if (!direct && number > app::kControllerSlots)
            return fail(QStringLiteral("КИП K: от 1 до %1").arg(app::kControllerSlots));
    } else {
        ConsoleProgress scan;
        app::ControllerLayout layout;
        if (const int code = controllerFor(link, o, scan, number, layout, address))
            return code;
        direct = layout.isDirectSensorType();
    }
    const std::uint8_t loader = firmware::bootLoaderAddress(direct, address);
    const firmware::LinkResult linked = firmware::ControllerLink(link, address, loader, emergency);
    if (!linked.linked)
        return fail(link.isOpen() ? linked.mess : kLinkLost, 1);
    say(QStringLiteral("%1; в устройстве %2 %3")
            .arg(linked.mess, linked.version.value_or(QStringLiteral("?")),
                 linked.date.value_or(QStringLiteral("?"))));
    ConsoleProgress progress;
    const firmware::UpdateResult r =
        firmware::UpdateController(link, loader, address, image, progress);
    progress.CloseProgress();
    // The loader stays linked for another try; nothing is let go half-written.
    if (!r.restarted)
        return fail(firmware::describe(r), 1);
    return restarted(r);
}

int flashSensor(bus::SerialLink& link, const CliOptions& o, int number, const QString& path,
                bool emergency) {
    firmware::FirmwareImage image;
    const firmware::LoadResult loaded = firmware::LoadSensorFirmware(path, image);
    if (!loaded.ok)
        return fail(QStringLiteral("%1: %2").arg(
            path, loaded.message.isEmpty() ? QStringLiteral("нет данных") : loaded.message));
    say(path + QStringLiteral(": ") + image.version);

    firmware::SensorRoute route{static_cast<std::uint8_t>(number - 1), 0, false};
    ConsoleProgress progress;
    // The layout is looked for only where the controller answers: in the
    // emergency mode, once the sensor's loader was found.
    auto findRoute = [&]() -> int {
        SensorRoute r;
        if (const int code = sensorRouteFor(link, o, progress, number, r))
            return code;
        route.controller = r.controller.value_or(0);
        route.viaTransit = r.controller.has_value();
        return 0;
    };
    if (emergency) {
        say(QStringLiteral("АВАРИЙНЫЙ РЕЖИМ: включите КИП"));
        if (!firmware::EmergencySensorLink(link, route.sensor, progress))
            return fail(
                link.isOpen() ? QStringLiteral("СВЯЗИ НЕТ. ПОПРОБУЙТЕ ПОВТОРИТЬ.") : kLinkLost, 1);
        progress.CloseProgress();
        say(QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
        if (const int code = findRoute())
            return code;
    } else {
        if (const int code = findRoute())
            return code;
        const firmware::SensorLinkResult linked = firmware::SensorLink(link, route);
        if (!linked.linked)
            return fail(link.isOpen() ? linked.mess : kLinkLost, 1);
        say(QStringLiteral("%1; в устройстве %2 %3")
                .arg(linked.mess, linked.version.value_or(QStringLiteral("?")),
                     linked.date.value_or(QStringLiteral("?"))));
    }
    const firmware::UpdateResult r = firmware::UpdateSensor(link, route, image, progress);
    progress.CloseProgress();
    if (!r.restarted) {
        // The sensor stays in its loader for another try; transit ends here.
        if (route.viaTransit)
            bus::LeaveTransitMode(link, route.controller);
        return fail(firmware::describe(r), 1);
    }
    return restarted(r);
}

// The emergency mode and the keyboard processor's own connector belong to
// some types only; the window offers them for those, and so does this.
int refusedByType(const CliOptions& o, bool app::ControllerTypeInfo::*feature,
                  const QString& what) {
    app::ControllerLayout layout;
    if (const int code = layoutOffLine(o, layout))
        return code;
    if (layout.type().*feature)
        return 0;
    return fail(
        QStringLiteral("%1: %2 нет, есть у %3")
            .arg(app::controllerTypeLabel(layout.controllerType), what, app::modelsWith(feature)));
}

int emergencyRefused(const CliOptions& o) {
    return refusedByType(o, &app::ControllerTypeInfo::emergencyFlag,
                         QStringLiteral("аварийного режима"));
}

// The controller's emergency update flag: read, or set on or off.
int emergencyFlag(bus::SerialLink& link, const CliOptions& o, int number, const QString& what) {
    ConsoleProgress scan;
    app::ControllerLayout layout;
    std::uint8_t address = 0;
    if (const int code = controllerFor(link, o, scan, number, layout, address))
        return code;
    if (what == QLatin1String("get")) {
        const std::optional<bool> flag = firmware::ReadEmergencyFlag(link, address);
        if (!flag)
            return link.isOpen() ? noAnswer(controllerName(address), link) : fail(kLinkLost, 1);
        std::printf("emergency=%d\n", *flag ? 1 : 0);
        return 0;
    }
    const firmware::FlagResult r =
        firmware::SetEmergencyFlag(link, address, what == QLatin1String("on"));
    if (!r.set)
        return fail(r.mess, 1);
    say(r.mess);
    return 0;
}

} // namespace

QString flashWrongWords(const QStringList& args) {
    const QString target = args.value(0);
    bool ok = false;
    const int number = args.value(1).toInt(&ok);
    const QString usage = commandUsage(QStringLiteral("flash"));
    if (!ok || number < 1 || number > 128)
        return usage;
    if (target == QLatin1String("emergency")) {
        const QString what = args.value(2);
        const bool known = what == QLatin1String("on") || what == QLatin1String("off") ||
                           what == QLatin1String("get");
        return args.size() == 3 && known ? QString() : usage;
    }
    const bool emergency = args.size() == 4 && args[3] == QLatin1String("--emergency");
    if ((target != QLatin1String("keyboard") && target != QLatin1String("sensor") &&
         target != QLatin1String("controller")) ||
        (args.size() != 3 && !emergency))
        return usage;
    return inputFileProblem(args[2]);
}

std::optional<int> flashControllerNumber(const QStringList& args) {
    if (args.value(0) == QLatin1String("sensor"))
        return std::nullopt;
    return args.value(1).toInt();
}

int runFlashCommand(bus::SerialLink& link, const CliOptions& o) {
    // The words were checked before the port was opened.
    const QStringList& args = o.commandArgs;
    const QString target = args[0];
    const int number = args[1].toInt();
    if (target == QLatin1String("emergency")) {
        if (const int code = emergencyRefused(o))
            return code;
        return emergencyFlag(link, o, number, args[2]);
    }
    const bool emergency = args.size() == 4;
    const bool keyboard = target == QLatin1String("keyboard");
    const bool sensor = target == QLatin1String("sensor");
    const QString path = args[2];
    if (sensor && emergency)
        if (const int code = emergencyRefused(o))
            return code;
    if (keyboard)
        if (const int code = refusedByType(o, &app::ControllerTypeInfo::keyboardPort,
                                           QStringLiteral("разъёма процессора KBD/LCD")))
            return code;
    return sensor ? flashSensor(link, o, number, path, emergency)
                  : flashController(link, o, number, keyboard, path, emergency);
}

} // namespace cli
