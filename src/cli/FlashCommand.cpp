#include "cli/FlashCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "firmware/ControllerProgramming.h"
#include "firmware/FirmwareImage.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"

#include <cstdio>

namespace cli {

int runFlashCommand(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    const QString target = args.value(0);
    bool ok = false;
    const int number = args.value(1).toInt(&ok);
    const bool emergency = args.size() == 4 && args[3] == QLatin1String("--emergency");
    const bool keyboard = target == QLatin1String("keyboard");
    if ((!keyboard && target != QLatin1String("controller")) || !ok || number < 1 || number > 128 ||
        (args.size() != 3 && !emergency))
        return fail(commandUsage(QStringLiteral("flash")));
    const QString path = args[2];
    if (const QString problem = inputFileProblem(path); !problem.isEmpty())
        return fail(problem);
    firmware::FirmwareImage image;
    const firmware::LoadResult loaded = firmware::LoadControllerFirmware(path, image);
    if (!loaded.ok)
        return fail(QStringLiteral("%1: %2").arg(path, loaded.message));
    std::fprintf(stderr, "orvant2-cli: %s: %s\n", qPrintable(path), qPrintable(image.version));

    auto address = static_cast<std::uint8_t>(0x80 + number - 1);
    bool direct = false;
    if (keyboard) {
        // The keyboard/display processor has a cable of its own: no scan there.
        if (o.simulate && !link.OpenPort(sim::SimulatedLine::kKeyboardPortName))
            return fail(link.lastOpenError().text());
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
        return fail(link.isOpen() ? linked.mess : QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    std::fprintf(stderr, "orvant2-cli: %s; running %s %s\n", qPrintable(linked.mess),
                 qPrintable(linked.version.value_or(QStringLiteral("?"))),
                 qPrintable(linked.date.value_or(QStringLiteral("?"))));
    ConsoleProgress progress;
    const firmware::ProgramResult r = firmware::ProgramController(link, loader, image, progress);
    progress.CloseProgress();
    if (!r.done) {
        // The loader stays linked for another try; nothing is let go half-written.
        return fail(r.mess, 1);
    }
    std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(r.mess));
    firmware::ReleaseBootLoader(link, loader);
    const firmware::LinkResult now =
        firmware::AwaitRestart(link, bus::Target::Controller, address, progress);
    std::printf("version=%s\ndate=%s\n", qPrintable(now.version.value_or(QString())),
                qPrintable(now.date.value_or(QString())));
    return now.linked ? 0 : fail(QStringLiteral("НЕТ ОТВЕТА после перезапуска"), 1);
}

} // namespace cli
