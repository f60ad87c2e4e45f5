// orvant2-cli: the device operations without a window.
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/ConsoleProgress.h"
#include "cli/FileCommands.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "cli/TraceObserver.h"
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

using cli::fail;

int main(int argc, char** argv) {
    // Past a file-size limit a write fails and is reported, not fatal.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    QString error;
    auto options = cli::parseCliOptions(words, &error);
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
    const cli::Command& command = *cli::findCommand(options->command);
    if (command.drawsPictures) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    // File work needs no event loop; starting none keeps batch runs quick.
    if (command.onFiles)
        return cli::runFileCommand(command, options->commandArgs);
    // Wrong words and a configuration file that is not there are said
    // before the port is opened: nothing goes on the line for them.
    // (The watcher checks its own words: it opens lines of its own.)
    if (command.wrongWords)
        if (const QString wrong = command.wrongWords(options->commandArgs); !wrong.isEmpty())
            return fail(wrong);
    if (!options->config.isEmpty())
        if (const QString problem = cli::inputFileProblem(options->config); !problem.isEmpty())
            return fail(QStringLiteral("--config ") + problem);
    if (!app)
        app = std::make_unique<QCoreApplication>(argc, argv);
    if (command.onSites) {
        cli::breakOnSignals();
        return command.onSites(*options);
    }
    // The site's line and layout, as if they had been typed.
    if (!cli::resolveSite(*options, &error))
        return fail(error);

    // From here on a signal ends the command as Ctrl+C does, with the
    // controllers left as they were found.
    cli::breakOnSignals();
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
        const auto opener = sim::simulatedPortOpener(std::make_shared<sim::Installation>(scenario),
                                                     false, options->virtualTime);
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
    // line, one that never answered the end of service mode may still be in
    // it: whatever the command did, the engineer is told.
    const bus::TransitWatch watch(link);
    int code = command.onLine(link, *options);
    if (!watch.leftOn().empty())
        code = std::max(code, fail(QStringLiteral("КИП остался в режиме ТРАНЗИТ"), 1));
    for (std::uint8_t controller : watch.serviceLeftOn())
        code = std::max(code, fail(bus::serviceLeftOnText(controller), 1));
    return code;
}
