// orvant2-sim: the simulated installation on a pseudo-terminal.
#include "app/FileReader.h"
#include "link/LineRecording.h"
#include "sim/PtyServer.h"
#include "sim/Scenario.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
std::atomic<bool> g_stop{false};
void onSignal(int) {
    g_stop = true;
}

int usage() {
    std::fprintf(
        stderr,
        "usage: orvant2-sim --link PATH [--scenario FILE | --replay RECORDING] [--wire-time]\n"
        "                   [--report-writes]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString linkPath;
    QString scenarioPath;
    QString replayPath;
    bool wireTime = false;
    bool reportWrites = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--link") && i + 1 < args.size())
            linkPath = args[++i];
        else if (args[i] == QLatin1String("--scenario") && i + 1 < args.size())
            scenarioPath = args[++i];
        else if (args[i] == QLatin1String("--replay") && i + 1 < args.size())
            replayPath = args[++i];
        else if (args[i] == QLatin1String("--wire-time"))
            wireTime = true;
        else if (args[i] == QLatin1String("--report-writes"))
            reportWrites = true;
        else
            return usage();
    }
    if (linkPath.isEmpty() || (!scenarioPath.isEmpty() && !replayPath.isEmpty()))
        return usage();

    sim::Scenario scenario = sim::Scenario::builtIn();
    if (!scenarioPath.isEmpty()) {
        QString error;
        const auto loaded = sim::loadScenario(scenarioPath, &error);
        if (!loaded) {
            std::fprintf(stderr, "orvant2-sim: %s: %s\n", qPrintable(scenarioPath),
                         qPrintable(error));
            return 2;
        }
        scenario = *loaded;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    auto installation = std::make_shared<sim::Installation>(scenario);
    if (!replayPath.isEmpty()) {
        const app::FileRead in = app::readRegularFile(replayPath, bus::kMaxRecordingBytes);
        QString error = in.result.ok() ? QString() : in.result.message();
        const auto recording =
            in.result.ok() ? bus::parseRecording(in.bytes, &error) : std::nullopt;
        if (!recording) {
            std::fprintf(stderr, "orvant2-sim: %s: %s\n", qPrintable(replayPath),
                         qPrintable(error));
            return 2;
        }
        // A request the recording does not hold is said, never guessed at.
        installation->setReplay(std::make_shared<bus::RecordedAnswers>(*recording),
                                [](const QByteArray& request) {
                                    std::fprintf(stderr, "orvant2-sim: запрос не записан: %s\n",
                                                 bus::printableChars(request).constData());
                                    std::fflush(stderr);
                                });
    }
    // One line per request that changes a device: what read-only must never let by.
    if (reportWrites)
        installation->setWriteHeard([](const QByteArray& request) {
            std::printf("write %s\n", request.constData());
            std::fflush(stdout);
        });
    sim::PtyServer server(installation, wireTime);
    QString error;
    if (!server.start(linkPath, &error)) {
        std::fprintf(stderr, "orvant2-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("ready %s\n", qPrintable(linkPath));
    std::fflush(stdout);
    server.run(g_stop);
    return 0;
}
