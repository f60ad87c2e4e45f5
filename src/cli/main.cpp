// orvant2-cli: the device operations without a window.
#include "app/FileWriter.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/ConsoleProgress.h"
#include "cli/FileCommands.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "cli/LineRun.h"
#include "cli/Output.h"
#include "cli/ReplayCheck.h"
#include "cli/TraceObserver.h"
#include "cli/WritingCommands.h"
#include "link/LineRecording.h"
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

namespace {

int run(int argc, char** argv) {
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

    // A controller no layout of the type can have is not looked for.
    if (command.controllerNumber)
        if (const std::optional<int> k = command.controllerNumber(options->commandArgs))
            if (const int code = cli::controllerNumberRefused(*options, *k))
                return code;

    // Refused before the port is opened: nothing of the command goes out.
    if (options->readOnly && cli::commandWrites(options->command, options->commandArgs))
        return fail(bus::kReadOnlyRefusal);

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
    // The recording starts before the port opens, so that it holds all.
    std::unique_ptr<bus::LineRecorder> recorder;
    if (!options->record.isEmpty()) {
        if (const app::FileResult room = app::checkRoomFor(options->record, 4096); !room.ok())
            return fail(QStringLiteral("ЗАПИСЬ ОБМЕНА: ") + room.message());
        recorder = std::make_unique<bus::LineRecorder>(portName);
        if (const int problem = cli::noteCommand(*recorder, *options))
            return problem;
        link.setRecorder(recorder.get());
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

    int code = cli::runOnLine(link, command, *options);
    if (recorder) {
        // Private: the passwords a controller was given or gave went on the line.
        const app::FileResult saved =
            app::writePrivateFileAtomically(options->record, recorder->text());
        if (!saved.ok())
            code = std::max(
                code, fail(QStringLiteral("ЗАПИСЬ ОБМЕНА НЕ СОХРАНЕНА: ") + saved.message(), 1));
    }
    return code;
}

} // namespace

int main(int argc, char** argv) {
    // Past a file-size limit a write fails and is reported, not fatal.
    std::signal(SIGXFSZ, SIG_IGN);
    // Whatever the command: an output that did not get all it printed (a
    // full disk, the reader gone) is no success.
    return cli::checkOutput(run(argc, argv));
}
