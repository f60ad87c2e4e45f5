#include "cli/LineCommands.h"

#include "app/ControllerScan.h"
#include "app/LayoutConfig.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "link/SensorAddress.h"
#include "link/SerialLink.h"

#include <cstdio>

namespace cli {

QString scanWrongWords(const QStringList& args) {
    return args.isEmpty() ? QString()
                          : QStringLiteral("scan: непонятно \"%1\"").arg(args.join(' '));
}

int runScan(bus::SerialLink& link, const CliOptions& o) {
    app::ControllerLayout layout;
    auto print = [&layout](FILE* out) {
        for (const auto& [key, value] : app::layoutKeys(layout))
            std::fprintf(out, "%s=%s\n", qPrintable(key), qPrintable(value));
    };
    // Type 5 has no controllers to look for.
    if (!app::controllerType(o.type).controller) {
        cli::layoutOffLine(o, layout);
        print(stdout);
        return 0;
    }
    layout.controllerType = o.type;
    cli::ConsoleProgress progress;
    const app::ScanResult result = app::ScanControllers(link, layout, progress);
    const bool interrupted = progress.breakRequested();
    // A partial or empty layout is no layout of the line: never on standard
    // output.
    const bool whole = !interrupted && !result.communicationProblem && result.found > 0;
    print(whole ? stdout : stderr);
    if (result.communicationProblem)
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (interrupted)
        return fail(kInterrupted + QStringLiteral("; выше — то, что успели найти"), 1);
    if (!whole)
        return fail(app::scanSummary(result), 1);
    return 0;
}

QString setAddressWrongWords(const QStringList& args) {
    bool ok = false;
    const int number = args.size() == 1 ? args[0].toInt(&ok) : 0;
    if (!ok || number < 1 || number > 128)
        return QStringLiteral("set-address: нужен номер датчика от 1 до 128");
    return {};
}

// The lone sensor on the line takes number N (address N - 1).
// The words were checked before the port was opened.
int runSetAddress(bus::SerialLink& link, const CliOptions& o) {
    const int number = o.commandArgs[0].toInt();
    if (!bus::SetSensorAddress(link, static_cast<std::uint8_t>(number - 1)))
        return fail(QStringLiteral("Адрес не установлен"), 1);
    std::printf("Адрес установлен\n");
    return 0;
}

} // namespace cli
