#include "cli/AlarmCommand.h"

#include "app/ControllerTypes.h"

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

// The event by its key or its bit, -1 for neither.
int eventOf(const QString& event) {
    for (int i = 0; i < controller::kEvents; ++i)
        if (event == QLatin1String(kEvents[i]) || event == QString::number(i))
            return i;
    return -1;
}

int off(bus::SerialLink& link, std::uint8_t s, int k) {
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

// The words after the command, settled before the line is touched.
struct AlarmWords {
    int number = 0;
    QString verb;
    app::SettingValues given; // set
    int event = -1;           // off
};

std::optional<AlarmWords> alarmWords(const QStringList& args, QString* error) {
    AlarmWords w;
    bool ok = false;
    w.number = args.value(0).toInt(&ok);
    w.verb = args.value(1);
    const auto size = args.size();
    const bool known = (w.verb == QLatin1String("get") && size == 2) ||
                       (w.verb == QLatin1String("set") && size > 2) ||
                       (w.verb == QLatin1String("state") && size == 2) ||
                       (w.verb == QLatin1String("off") && size == 3) ||
                       (w.verb == QLatin1String("ramtest") && size == 2);
    if (!ok || w.number < 1 || w.number > 128 || !known) {
        *error = commandUsage(QStringLiteral("alarm"));
        return std::nullopt;
    }
    if (w.verb == QLatin1String("set")) {
        const auto given = parseSet(args.mid(2), error);
        if (!given)
            return std::nullopt;
        w.given = *given;
    }
    if (w.verb == QLatin1String("off")) {
        w.event = eventOf(args[2]);
        if (w.event < 0) {
            *error = QStringLiteral("off: событие 0..5 или fuel-max, fuel-95, fuel-min, "
                                    "water-max, leak, separation");
            return std::nullopt;
        }
    }
    return w;
}

} // namespace

QString alarmWrongWords(const QStringList& args) {
    QString error;
    return alarmWords(args, &error) ? QString() : error;
}

int runAlarmCommand(bus::SerialLink& link, const CliOptions& o) {
    QString error;
    const std::optional<AlarmWords> w = alarmWords(o.commandArgs, &error);
    if (!w)
        return fail(error);
    ConsoleProgress progress;
    app::ControllerLayout layout;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, w->number, route, &layout))
        return code;
    const auto s = static_cast<std::uint8_t>(w->number - 1);
    const QString& verb = w->verb;
    const bool sensorOnly = verb == QLatin1String("state") || verb == QLatin1String("off") ||
                            verb == QLatin1String("ramtest");
    // The settings live in a controller: without one only the sensor's own
    // commands are there.
    if (!route.controller && !sensorOnly)
        return fail(layout.isNoControllerType()
                        ? QStringLiteral("тип КИП %1 (%2): настроек сигнализации нет, их хранит КИП")
                              .arg(layout.controllerType)
                              .arg(app::controllerTypeLabel(layout.controllerType))
                        : notServedText(w->number));
    const controller::AlarmTarget t{route.controller.value_or(0), s, layout.isDirectSensorType()};
    if (verb == QLatin1String("get"))
        return get(link, t, layout.controllerType);
    if (verb == QLatin1String("set"))
        return set(link, t, layout.controllerType, w->given);
    if (verb == QLatin1String("state"))
        return state(link, s);
    if (verb == QLatin1String("off"))
        return off(link, s, w->event);
    return ramtest(link, s);
}

} // namespace cli
