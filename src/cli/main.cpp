// orvant2-cli: the device operations without a window.
#include "app/ConfigFile.h"
#include "app/ControllerScan.h"
#include "app/LayoutConfig.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleProgress.h"
#include "cli/FileCommands.h"
#include "cli/LineLayout.h"
#include "cli/SensorCommand.h"
#include "cli/TraceObserver.h"
#include "link/SensorAddress.h"
#include "link/SerialLink.h"
#include "sensor/StatusPolls.h"
#include "sim/Scenario.h"
#include "sim/SimulatedLine.h"

#include <QCoreApplication>
#include <QLocale>

#include <cstdio>

namespace {

using cli::fail;

int runScan(bus::SerialLink& link, const cli::CliOptions& o) {
    app::ControllerLayout layout;
    layout.controllerType = o.type;
    cli::ConsoleProgress progress;
    const app::ScanResult result = app::ScanControllers(link, layout, progress);
    if (result.communicationProblem)
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (progress.breakRequested())
        return fail(QStringLiteral("interrupted"), 1);
    for (const auto& [key, value] : app::layoutKeys(layout))
        std::printf("%s=%s\n", qPrintable(key), qPrintable(value));
    return 0;
}

// The lone sensor on the line takes number N (address N - 1).
int runSetAddress(bus::SerialLink& link, const QStringList& args) {
    bool ok = false;
    const int number = args.size() == 1 ? args[0].toInt(&ok) : 0;
    if (!ok || number < 1 || number > 128)
        return fail(QStringLiteral("set-address needs a sensor number 1..128"));
    if (!bus::SetSensorAddress(link, static_cast<std::uint8_t>(number - 1)))
        return fail(QStringLiteral("Адрес не установлен"), 1);
    std::printf("Адрес установлен\n");
    return 0;
}

void printGrid(const sensor::StatusGrid& grid) {
    std::printf("%s\n", qPrintable(grid.header.join(QLatin1Char('\t'))));
    for (const QStringList& row : grid.rows)
        std::printf("%s\n", qPrintable(row.join(QLatin1Char('\t'))));
}

int runStatus(bus::SerialLink& link, const cli::CliOptions& o) {
    const QStringList& args = o.commandArgs;
    if (args.size() > 1 || (args.size() == 1 && args[0] != QLatin1String("--extended") &&
                            args[0] != QLatin1String("--overview")))
        return fail(QStringLiteral("status takes --extended or --overview"));
    if (!o.config.isEmpty() && !app::ConfigFile(o.config).exists())
        return fail(QStringLiteral("%1: no such configuration file").arg(o.config));
    cli::ConsoleProgress progress;
    app::ControllerLayout layout;
    if (!cli::layoutFor(link, o, progress, layout))
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (progress.breakRequested())
        return fail(QStringLiteral("interrupted"), 1);
    sensor::PollResult r;
    if (args.value(0) == QLatin1String("--extended")) {
        sensor::StatusGrid t = sensor::thermometerGrid(), d = sensor::densityGrid();
        r = sensor::PollExtendedStatus(link, layout, progress, t, d);
        printGrid(t);
        printGrid(d);
    } else if (args.value(0) == QLatin1String("--overview")) {
        sensor::StatusGrid grid = sensor::configOverviewGrid();
        r = sensor::PollConfigOverview(link, layout, progress, grid);
        printGrid(grid);
    } else {
        sensor::StatusGrid grid = sensor::generalStatusGrid();
        r = sensor::PollGeneralStatus(link, layout, progress, grid, false);
        printGrid(grid);
    }
    if (r.linkLost)
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    return r.stopped ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    QString error;
    const auto options = cli::parseCliOptions(words, &error);
    if (!options)
        return fail(error + QLatin1Char('\n') + cli::cliUsage());
    // File work needs no event loop; starting none keeps batch runs quick.
    if (cli::isFileCommand(options->command))
        return cli::runFileCommand(options->command, options->commandArgs);
    QCoreApplication app(argc, argv);
    // Numbers print with "." whatever the user's locale.
    QLocale::setDefault(QLocale::c());

    bus::SerialLink link;
    cli::TraceObserver trace;
    if (options->trace)
        link.setObserver(&trace);

    QString portName = options->port;
    if (options->simulate) {
        sim::Scenario scenario = sim::Scenario::builtIn();
        if (!options->scenario.isEmpty()) {
            const auto loaded = sim::loadScenario(options->scenario, &error);
            if (!loaded)
                return fail(options->scenario + QStringLiteral(": ") + error);
            scenario = *loaded;
        }
        link.addVirtualPort(
            sim::SimulatedLine::kPortName,
            sim::simulatedPortOpener(std::make_shared<sim::Installation>(scenario), false));
        portName = sim::SimulatedLine::kPortName;
    }
    if (!link.OpenPort(portName)) {
        const bus::PortOpenError& e = link.lastOpenError();
        return fail(QStringLiteral("%1: %2\n%3").arg(portName, e.caption(), e.text()));
    }

    if (options->command == QLatin1String("scan") && options->commandArgs.isEmpty())
        return runScan(link, *options);
    if (options->command == QLatin1String("status"))
        return runStatus(link, *options);
    if (options->command == QLatin1String("set-address"))
        return runSetAddress(link, options->commandArgs);
    if (options->command == QLatin1String("sensor"))
        return cli::runSensorCommand(link, *options);
    return fail(QStringLiteral("unknown command \"%1\"\n").arg(options->command) + cli::cliUsage());
}
