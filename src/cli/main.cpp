// orvant2-cli: the device operations without a window.
#include "app/ConfigFile.h"
#include "app/ControllerScan.h"
#include "app/LayoutConfig.h"
#include "cli/AlarmCommand.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleProgress.h"
#include "cli/ControllerCommand.h"
#include "cli/DbCommands.h"
#include "cli/DensityCommand.h"
#include "cli/DiagramCommand.h"
#include "cli/FileCommands.h"
#include "cli/FlashCommand.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "cli/SensorCommand.h"
#include "cli/SnapshotCommands.h"
#include "cli/StatusCommand.h"
#include "cli/TablesCommand.h"
#include "cli/TraceObserver.h"
#include "link/SensorAddress.h"
#include "link/SerialLink.h"
#include "link/TcpPortDevice.h"
#include "link/Transit.h"
#include "sim/Scenario.h"
#include "sim/SimulatedLine.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

using cli::fail;

int runScan(bus::SerialLink& link, const cli::CliOptions& o) {
    if (!o.commandArgs.isEmpty())
        return fail(QStringLiteral("scan: \"%1\" is not understood").arg(o.commandArgs.join(' ')));
    app::ControllerLayout layout;
    auto print = [&layout](FILE* out) {
        for (const auto& [key, value] : app::layoutKeys(layout))
            std::fprintf(out, "%s=%s\n", qPrintable(key), qPrintable(value));
    };
    // Type 5 has no controllers to look for.
    if (o.type == app::TypeNone) {
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
        return fail(QStringLiteral("interrupted; the lines above are what was found so far"), 1);
    if (!whole)
        return fail(app::scanSummary(result), 1);
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

int runOnLine(bus::SerialLink& link, const cli::CliOptions& o) {
    if (o.command == QLatin1String("scan"))
        return runScan(link, o);
    if (o.command == QLatin1String("status"))
        return cli::runStatusCommand(link, o);
    if (o.command == QLatin1String("health"))
        return cli::runHealthCommand(link, o);
    if (o.command == QLatin1String("set-address"))
        return runSetAddress(link, o.commandArgs);
    if (o.command == QLatin1String("alarm"))
        return cli::runAlarmCommand(link, o);
    if (o.command == QLatin1String("controller"))
        return cli::runControllerCommand(link, o);
    if (o.command == QLatin1String("flash"))
        return cli::runFlashCommand(link, o);
    if (o.command == QLatin1String("tables"))
        return cli::runTablesCommand(link, o);
    if (o.command == QLatin1String("diagram"))
        return cli::runDiagramCommand(link, o);
    if (o.command == QLatin1String("snapshot") ||
        o.command == QLatin1String("restore"))
        return cli::runSnapshotCommand(link, o);
    if (o.command == QLatin1String("db-save") ||
        o.command == QLatin1String("db-load"))
        return cli::runDbCommand(link, o);
    if (o.command == QLatin1String("density"))
        return cli::runDensityCommand(link, o);
    return cli::runSensorCommand(link, o);
}

} // namespace

int main(int argc, char** argv) {
    // Past a file-size limit a write fails and is reported, not fatal.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    QString error;
    const auto options = cli::parseCliOptions(words, &error);
    if (!options)
        return fail(error + QLatin1Char('\n') + cli::cliUsage());
    if (options->help) {
        std::fputs(qPrintable(cli::commandUsage(options->command)), stdout);
        return 0;
    }
    // Numbers print with "." whatever the user's locale.
    QLocale::setDefault(QLocale::c());
    // Pictures are drawn with fonts, which want a GUI application; no screen
    // is needed for that.
    std::unique_ptr<QCoreApplication> app;
    if (cli::drawsPictures(options->command)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    // File work needs no event loop; starting none keeps batch runs quick.
    if (cli::isFileCommand(options->command))
        return cli::runFileCommand(options->command, options->commandArgs);
    if (!app)
        app = std::make_unique<QCoreApplication>(argc, argv);

    bus::SerialLink link;
    cli::TraceObserver trace;
    if (options->trace)
        link.setObserver(&trace);

    QString portName = options->port;
    if (options->simulate) {
        sim::Scenario scenario = sim::Scenario::builtIn();
        if (!options->scenario.isEmpty()) {
            if (const QString problem = cli::inputFileProblem(options->scenario);
                !problem.isEmpty())
                return fail(problem);
            const auto loaded = sim::loadScenario(options->scenario, &error);
            if (!loaded)
                return fail(options->scenario + QStringLiteral(": ") + error);
            scenario = *loaded;
        }
        const auto opener =
            sim::simulatedPortOpener(std::make_shared<sim::Installation>(scenario), false);
        link.addVirtualPort(sim::SimulatedLine::kPortName, opener);
        link.addVirtualPort(sim::SimulatedLine::kKeyboardPortName, opener);
        portName = sim::SimulatedLine::kPortName;
    }
    if (!link.OpenPort(portName)) {
        const bus::PortOpenError& e = link.lastOpenError();
        return fail(QStringLiteral("%1: %2\n%3").arg(portName, e.caption(), e.text()));
    }
    if (options->trace && bus::isRemotePortName(portName))
        std::fputs(qPrintable(QStringLiteral("%1: к каждому ожиданию ответа прибавлено %2 мс "
                                             "(время туда и обратно)\n")
                                  .arg(portName)
                                  .arg(link.extraLatencyMs())),
                   stderr);

    // A controller that never answered leaving transit may still relay the
    // line: whatever the command did, the engineer is told.
    const bus::TransitWatch transit(link);
    const int code = runOnLine(link, *options);
    if (!transit.leftOn().empty())
        return std::max(code, fail(QStringLiteral("КИП остался в режиме ТРАНЗИТ"), 1));
    return code;
}
