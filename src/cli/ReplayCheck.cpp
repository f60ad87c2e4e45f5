#include "cli/ReplayCheck.h"

#include "app/FileReader.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/LineLayout.h"
#include "cli/LineRun.h"
#include "link/LineRecording.h"
#include "link/SerialLink.h"
#include "sim/Installation.h"
#include "sim/SimulatedLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace cli {
namespace {

const QString kWords = QStringLiteral("words");
const QString kConfig = QStringLiteral("config");
// The size a configuration file may have at most (as the window reads it).
constexpr qint64 kMaxConfigBytes = 1024 * 1024;

} // namespace

int noteCommand(bus::LineRecorder& recorder, const CliOptions& o) {
    QJsonArray words;
    if (o.type != 1)
        words << QStringLiteral("--type") << QString::number(o.type);
    if (o.readOnly)
        words << QStringLiteral("--read-only");
    words << o.command;
    for (const QString& w : o.commandArgs)
        words << w;
    recorder.note(kWords, QString::fromUtf8(QJsonDocument(words).toJson(QJsonDocument::Compact)));
    if (!o.config.isEmpty()) {
        const app::FileRead in = app::readRegularFile(o.config, kMaxConfigBytes);
        if (!in.result.ok())
            return fail(in.result.message());
        recorder.note(kConfig, QString::fromUtf8(in.bytes));
    }
    return 0;
}

int runReplayCheck(const QStringList& args) {
    if (args.size() != 1)
        return fail(commandUsage(QStringLiteral("replay-check")));
    const app::FileRead in = app::readRegularFile(args.first(), bus::kMaxRecordingBytes);
    if (!in.result.ok())
        return fail(in.result.message());
    QString error;
    const auto recording = bus::parseRecording(in.bytes, &error);
    if (!recording)
        return fail(args.first() + QStringLiteral(": ") + error);
    QStringList words;
    QString config;
    bool hasConfig = false;
    for (const bus::RecordLine& l : recording->lines) {
        if (l.kind == kWords)
            for (const QJsonValue& w : QJsonDocument::fromJson(l.text.toUtf8()).array())
                words << w.toString();
        else if (l.kind == kConfig) {
            config = l.text;
            hasConfig = true;
        }
    }
    if (words.isEmpty())
        return fail(args.first() + QStringLiteral(": нет команды orvant2-cli (запись окна?)"));
    QTemporaryDir folder;
    if (!folder.isValid())
        return fail(QStringLiteral("нет временной папки: ") + folder.errorString());
    QStringList optionWords{QStringLiteral("--port"), QStringLiteral("REPLAY")};
    if (hasConfig) {
        const QString path = folder.filePath(QStringLiteral("replay.cfg"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(config.toUtf8()) != config.toUtf8().size())
            return fail(path + QStringLiteral(": ") + f.errorString());
        optionWords << QStringLiteral("--config") << path;
    }
    const auto options = parseCliOptions(optionWords + words, &error);
    if (!options || options->help)
        return fail(args.first() + QStringLiteral(": ") + error);
    const Command& command = *findCommand(options->command);
    if (!command.onLine)
        return fail(args.first() + QStringLiteral(": ") + options->command +
                    QStringLiteral(" не работает с линией"));

    // Outputs the command writes land in the temporary folder.
    QDir::setCurrent(folder.path());
    static int argc = 1;
    static char name[] = "orvant2-cli";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (command.drawsPictures) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    auto installation = std::make_shared<sim::Installation>(sim::Scenario::builtIn());
    installation->setReplay(std::make_shared<bus::RecordedAnswers>(*recording),
                            [](const QByteArray& request) {
                                fail(QStringLiteral("запрос не записан: ") +
                                         QString::fromLatin1(bus::printableChars(request)),
                                     0);
                            });
    bus::SerialLink link;
    // On a clock of its own: the recorded waits cost nothing.
    link.attach(std::make_unique<sim::SimulatedLine>(installation, false, true));
    return runOnLine(link, command, *options);
}

} // namespace cli
