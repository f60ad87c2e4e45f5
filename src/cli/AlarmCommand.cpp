#include "cli/AlarmCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "controller/ControllerCatalogue.h"
#include "link/SerialLink.h"

#include <cstdio>

namespace cli {
namespace {

// The events by bit, as keys.
const char* const kEvents[controller::kEvents] = {"fuel-max",  "fuel-95", "fuel-min",
                                                  "water-max", "leak",    "separation"};

void print(const QString& key, const QString& value) {
    std::printf("%s=%s\n", qPrintable(key), qPrintable(value));
}

// The set-up as the rows of the type print it, keys without "alarm.".
int get(bus::SerialLink& link, const controller::AlarmTarget& t, int type) {
    const app::SettingValues v = controller::ReadAlarmValues(
        link, app::SettingTarget{t.sensor, t.controller, t.direct}, type);
    const QString prefix = QStringLiteral("alarm.");
    for (const app::Setting& row : controller::alarmSettings())
        if (row.existsIn(type))
            print(row.key.mid(prefix.size()), row.text(app::valueOf(v, row.key)));
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // The thresholds and the reactions (or outputs) come in two answers.
    const bool whole = !app::valueOf(v, prefix + QStringLiteral("fuel-max")).isNull() &&
                       !app::valueOf(v, prefix + (t.direct ? QStringLiteral("output-1")
                                                           : QStringLiteral("enable-fuel-max")))
                            .isNull();
    return whole ? 0 : noAnswer(controllerName(t.controller), link);
}

// The words of "set", each checked against its row (keys "alarm.…")
// before anything goes on the line.
std::optional<app::SettingValues> parseSet(const QStringList& words, QString* error) {
    app::SettingValues given;
    for (const QString& w : words) {
        const qsizetype eq = w.indexOf(QLatin1Char('='));
        const QString key = QStringLiteral("alarm.") + w.left(eq);
        const QString value = w.mid(eq + 1);
        const app::Setting* row = app::findSetting(controller::alarmSettings(), key);
        if (eq <= 0 || !row || !row->writable()) {
            *error = QStringLiteral("нельзя записать \"%1\"").arg(w);
            return std::nullopt;
        }
        const auto parsed = row->parse(value);
        if (!parsed) {
            *error = row->refusal(value);
            return std::nullopt;
        }
        given[key] = *parsed;
    }
    return given;
}

int set(bus::SerialLink& link, const controller::AlarmTarget& t, int type,
        const app::SettingValues& given) {
    for (const auto& [key, value] : given)
        if (!controller::controllerSetting(key).existsIn(type))
            return fail(QStringLiteral("настройки \"%1\" нет у этого типа КИП")
                            .arg(key.mid(QStringLiteral("alarm.").size())));
    // What is not given stays as the controller has it.
    app::SettingValues values = controller::ReadAlarmValues(
        link, app::SettingTarget{t.sensor, t.controller, t.direct}, type);
    if (app::valueOf(values, QStringLiteral("alarm.fuel-max")).isNull())
        return noAnswer(controllerName(t.controller), link);
    for (const auto& [key, value] : given)
        values[key] = value;
    const controller::AlarmWriteOutcome r =
        controller::WriteAlarmConfig(link, t, controller::alarmWriteOf(values));
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r != controller::AlarmWriteOutcome::Confirmed)
        return fail(controller::alarmWriteText(r), 1);
    std::printf("%s\n", qPrintable(controller::alarmWriteText(r)));
    return 0;
}

int state(bus::SerialLink& link, std::uint8_t s) {
    const auto st = controller::ReadAlarmState(link, s);
    if (!st)
        return fail(QStringLiteral("НЕ ПОЛУЧИЛОСЬ"), 1);
    static const char* const columns[3] = {"controlled", "happened", "sounding"};
    for (int k = 0; k < controller::kEvents; ++k) {
        QStringList on;
        for (int j = 0; j < 3; ++j)
            if (((*st)[j] >> k) & 1)
                on << QLatin1String(columns[j]);
        print(QLatin1String(kEvents[k]), on.join(QLatin1Char(' ')));
    }
    return 0;
}

int off(bus::SerialLink& link, std::uint8_t s, const QString& event) {
    int k = -1;
    for (int i = 0; i < controller::kEvents; ++i)
        if (event == QLatin1String(kEvents[i]) || event == QString::number(i))
            k = i;
    if (k < 0)
        return fail(QStringLiteral("off: событие 0..5 или fuel-max, fuel-95, fuel-min, "
                                   "water-max, leak, separation"));
    const app::WriteOutcome r = controller::SwitchOffAlarm(link, s, k);
    if (!r)
        return fail(controller::switchOffText(r), 1);
    std::printf("%s\n", qPrintable(controller::switchOffText(r)));
    return 0;
}

// The result of a test that ran on stdout (exit 0 only for no errors);
// a test that gave no result is a failure on stderr.
int ramtest(bus::SerialLink& link, std::uint8_t s) {
    using enum controller::MemoryTestOutcome;
    ConsoleProgress progress;
    const controller::MemoryTestResult r = controller::RunMemoryTest(link, s, progress);
    progress.CloseProgress();
    const QString text = controller::memoryTestText(r);
    switch (r.outcome) {
    case NoErrors:
    case HighByteError:
    case CellError:
    case NotSupported:
        std::printf("%s\n", qPrintable(text));
        return r.outcome == NoErrors ? 0 : 1;
    case UnexpectedLength:
    case NoAnswer:
    case EchoOnly:
    case Stopped:
    case LineLost:
        break;
    }
    return fail(text, 1);
}

} // namespace

int runAlarmCommand(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    bool ok = false;
    const int number = args.value(0).toInt(&ok);
    const QString verb = args.value(1);
    if (!ok || number < 1 || number > 128 || args.size() < 2)
        return fail(commandUsage(QStringLiteral("alarm")));
    std::optional<app::SettingValues> given;
    if (verb == QLatin1String("set") && args.size() > 2) {
        QString error;
        given = parseSet(args.mid(2), &error);
        if (!given)
            return fail(error);
    }
    ConsoleProgress progress;
    app::ControllerLayout layout;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route, &layout))
        return code;
    const auto s = static_cast<std::uint8_t>(number - 1);
    const bool sensorOnly = verb == QLatin1String("state") || verb == QLatin1String("off") ||
                            verb == QLatin1String("ramtest");
    // The settings live in a controller: without one only the sensor's own
    // commands are there.
    if (!route.controller && !sensorOnly)
        return fail(notServedText(number));
    const controller::AlarmTarget t{route.controller.value_or(0), s, layout.isDirectSensorType()};
    if (verb == QLatin1String("get") && args.size() == 2)
        return get(link, t, layout.controllerType);
    if (given)
        return set(link, t, layout.controllerType, *given);
    if (verb == QLatin1String("state") && args.size() == 2)
        return state(link, s);
    if (verb == QLatin1String("off") && args.size() == 3)
        return off(link, s, args[2]);
    if (verb == QLatin1String("ramtest") && args.size() == 2)
        return ramtest(link, s);
    return fail(commandUsage(QStringLiteral("alarm")));
}

} // namespace cli
