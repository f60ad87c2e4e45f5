// orvant2: the service and commissioning tool.
#include "app/ConfigFile.h"
#include "sim/Installation.h"
#include "sim/Scenario.h"
#include "sim/SimulatedLine.h"
#include "ui/Help.h"
#include "ui/Language.h"
#include "ui/StartOptions.h"
#include "ui/TMForm.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    // Past a file-size limit a write fails and is reported, not fatal.
    std::signal(SIGXFSZ, SIG_IGN);
    // The usage is printed without a window, and so without a screen.
    QStringList words;
    for (int i = 0; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    if (asksForHelp(words)) {
        std::fputs(qPrintable(startUsage()), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvant2"));
    // Without them the standard dialogs and buttons stay English.
    installQtTranslations(app);
    QString error;
    const auto options = parseStartOptions(app.arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "orvant2: %s\n%s", qPrintable(error), qPrintable(startUsage()));
        return 2;
    }
    bus::PortOpener simulation;
    if (options->simulate) {
        sim::Scenario scenario = sim::Scenario::builtIn();
        if (!options->scenario.isEmpty()) {
            const auto loaded = sim::loadScenario(options->scenario, &error);
            if (!loaded) {
                std::fprintf(stderr, "orvant2: %s: %s\n", qPrintable(options->scenario),
                             qPrintable(error));
                return 2;
            }
            scenario = *loaded;
        }
        simulation = sim::simulatedPortOpener(std::make_shared<sim::Installation>(scenario), true);
    }
    // Installed, the help pages live under share/ and not beside the program.
    const QString programFolder = QApplication::applicationDirPath();
    const bool installed =
        !QFileInfo(QDir(programFolder).filePath(QStringLiteral("help"))).isDir() &&
        QFileInfo(helpFolder(programFolder)).isDir();
    TMForm window(*options,
                  app::ConfigFile::forProgram(QApplication::applicationFilePath(), installed),
                  simulation);
    window.show();
    window.Start();
    return app.exec();
}
