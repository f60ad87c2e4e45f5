// orvant2-sim: the simulated installation on a pseudo-terminal.
#include "app/FileReader.h"
#include "link/LineRecording.h"
#include "sim/PtyServer.h"
#include "sim/Scenario.h"
#include "sim/TcpLineServer.h"

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

const char* const kUsage =
    "использование: orvant2-sim (--link PATH | --tcp [HOST:]PORT) "
    "[--scenario FILE | --replay RECORDING] [--wire-time] [--report-writes]\n"
    "  --link PATH       псевдотерминал имитации установки под этим именем; к нему "
    "подключаются orvant2 --port PATH и orvant2-cli --port PATH\n"
    "  --tcp [HOST:]PORT установка как сервер TCP преобразователя; orvant2-cli --port "
    "tcp://HOST:PORT\n"
    "  --scenario FILE   установка из файла сценария вместо встроенной\n"
    "  --replay RECORDING отвечать ответами записи обмена (orvant2-cli --record)\n"
    "  --wire-time       символы идут со скоростью линии 9600 бод\n"
    "  --report-writes   строка \"write …\" на каждый запрос, меняющий устройство\n"
    "  --help, -h        эта справка\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString linkPath;
    QString tcp; // served as a converter's TCP server, not on a terminal
    QString scenarioPath;
    QString replayPath;
    bool wireTime = false;
    bool reportWrites = false;
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--link") && i + 1 < args.size())
            linkPath = args[++i];
        else if (args[i] == QLatin1String("--tcp") && i + 1 < args.size())
            tcp = args[++i];
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
    if (linkPath.isEmpty() == tcp.isEmpty() ||
        (!scenarioPath.isEmpty() && !replayPath.isEmpty()))
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
    QString error;
    if (!tcp.isEmpty()) {
        sim::TcpLineServer server(installation, wireTime);
        if (!server.start(tcp, &error)) {
            std::fprintf(stderr, "orvant2-sim: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("ready %s\n", qPrintable(server.url()));
        std::fflush(stdout);
        server.run(g_stop);
        return 0;
    }
    sim::PtyServer server(installation, wireTime);
    if (!server.start(linkPath, &error)) {
        std::fprintf(stderr, "orvant2-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("ready %s\n", qPrintable(linkPath));
    std::fflush(stdout);
    server.run(g_stop);
    return 0;
}
