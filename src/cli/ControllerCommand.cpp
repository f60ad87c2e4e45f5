#include "cli/ControllerCommand.h"

#include "app/ControllerTypes.h"
#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "controller/ControllerCatalogue.h"
#include "controller/ControllerSettings.h"
#include "controller/ControllerStatus.h"
#include "controller/ControllerWrite.h"
#include "link/Command.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"

#include <cstdio>

namespace cli {
namespace {

void print(const char* key, const QString& value) {
    std::printf("%s=%s\n", key, qPrintable(value));
}

// The settings the type has, as their rows print them; the passwords are
// read (a silent one makes the read incomplete) but not printed.
int get(bus::SerialLink& link, std::uint8_t address, int type) {
    const app::SettingValues v = controller::ReadControllerValues(link, address, type);
    bool whole = true;
    for (const app::Setting& row : controller::controllerSettings()) {
        if (!row.writable() || !row.existsIn(type))
            continue;
        const QJsonValue value = app::valueOf(v, row.key);
        whole = whole && !value.isNull();
        if (row.kind != app::SettingKind::Text)
            print(qPrintable(row.key), row.text(value));
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    return whole ? 0 : noAnswer(controllerName(address), link);
}

// The words of "set", each checked against its row before anything goes
// on the line; nothing and a message when one is wrong.
std::optional<app::SettingValues> parseWanted(const QStringList& words, QString* error) {
    app::SettingValues w;
    for (const QString& word : words) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        const QString key = word.left(eq);
        const QString value = word.mid(eq + 1);
        const app::Setting* row = app::findSetting(controller::controllerSettings(), key);
        if (eq <= 0 || !row || !row->writable()) {
            *error = QStringLiteral("нельзя записать \"%1\"").arg(word);
            return std::nullopt;
        }
        const auto parsed = row->parse(value);
        if (!parsed) {
            *error = row->refusal(value);
            return std::nullopt;
        }
        w[key] = *parsed;
    }
    return w;
}

int set(bus::SerialLink& link, std::uint8_t address, int type, const app::SettingValues& w) {
    // What the type does not take is refused before anything is sent.
    for (const auto& [key, value] : w)
        if (const QString refusal = controller::typeRefusal(type, key, value); !refusal.isEmpty())
            return fail(refusal);
    const controller::SettingsWriteResult r =
        controller::WriteControllerSettings(link, address, type, w, ConsoleProgress());
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // The keys not written and why, as the configuration page says it.
    if (!r.failed.empty())
        return fail(app::notWrittenText(r.failed, true), 1);
    std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
    return 0;
}

int status(bus::SerialLink& link, std::uint8_t address, controller::Processor p) {
    ConsoleProgress progress;
    const auto r = p == controller::Processor::Main
                       ? controller::ReadMainStatus(link, address, progress)
                       : controller::ReadKeyboardStatus(link, address);
    if (!r)
        return link.isOpen() ? noAnswer(controllerName(address), link)
                             : fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r->answeredBy != address)
        std::fprintf(stderr, "orvant2-cli: КИП %d не отвечает; ответил КИП %d\n",
                     (address & 0x7F) + 1, (r->answeredBy & 0x7F) + 1);
    for (const controller::LampRow& row : controller::lampRows(p))
        for (int i = 0; i < 8; ++i)
            if (*row.labels[i] && controller::lampLit(r->bytes, row, i))
                std::printf("%s\n", row.labels[i]);
    // What the page shows beside the lamps, from the same function.
    const controller::StatusText text = controller::statusText(p, r->bytes);
    if (p == controller::Processor::Main) {
        print("sensors", text.sensors);
        print("mode", text.mode);
    }
    print("dump", text.dump);
    return 0;
}

// The words after the command, settled before the line is touched.
struct ControllerWords {
    int number = 0;
    QString verb;
    bool keyboard = false;      // status --keyboard
    app::SettingValues wanted; // set
};

std::optional<ControllerWords> controllerWords(const QStringList& args, QString* error) {
    ControllerWords w;
    bool ok = false;
    w.number = args.value(0).toInt(&ok);
    w.verb = args.value(1);
    const auto size = args.size();
    w.keyboard = w.verb == QLatin1String("status") && size == 3 &&
                 args[2] == QLatin1String("--keyboard");
    const bool known = (w.verb == QLatin1String("get") && size == 2) ||
                       (w.verb == QLatin1String("set") && size > 2) ||
                       (w.verb == QLatin1String("status") && size == 2) || w.keyboard;
    if (!ok || w.number < 1 || w.number > app::kSensorAddresses || !known) {
        *error = commandUsage(QStringLiteral("controller"));
        return std::nullopt;
    }
    if (w.verb == QLatin1String("set")) {
        const auto wanted = parseWanted(args.mid(2), error);
        if (!wanted)
            return std::nullopt;
        w.wanted = *wanted;
    }
    return w;
}

} // namespace

QString controllerWrongWords(const QStringList& args) {
    QString error;
    return controllerWords(args, &error) ? QString() : error;
}

int runControllerCommand(bus::SerialLink& link, const CliOptions& o) {
    QString error;
    const std::optional<ControllerWords> w = controllerWords(o.commandArgs, &error);
    if (!w)
        return fail(error);
    const int number = w->number;
    const auto address = static_cast<std::uint8_t>(bus::kControllerBase + number - 1);
    if (w->keyboard) {
        // The keyboard/display processor has a cable of its own: no scan there.
        // The window shows its status wherever there is one.
        app::ControllerLayout offLine;
        if (const int code = layoutOffLine(o, offLine))
            return code;
        if (!offLine.type().keyboardProcessor)
            return fail(QStringLiteral("%1: процессора клавиатуры и индикации нет")
                            .arg(app::controllerTypeLabel(offLine.controllerType)));
        if (o.simulate && !link.OpenPort(sim::SimulatedLine::kKeyboardPortName))
            return fail(link.lastOpenError().text());
        return status(link, address, controller::Processor::Keyboard);
    }
    ConsoleProgress progress;
    app::ControllerLayout layout;
    std::uint8_t inLayout = 0;
    if (const int code = controllerFor(link, o, progress, number, layout, inLayout))
        return code;
    if (w->verb == QLatin1String("get"))
        return get(link, inLayout, layout.controllerType);
    if (w->verb == QLatin1String("set"))
        return set(link, inLayout, layout.controllerType, w->wanted);
    return status(link, inLayout, controller::Processor::Main);
}

} // namespace cli
