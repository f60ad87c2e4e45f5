#include "cli/ControllerCommand.h"

#include "app/ControllerTypes.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "controller/ControllerSettings.h"
#include "controller/ControllerStatus.h"
#include "link/Command.h"
#include "link/SerialLink.h"
#include "sensor/SettingText.h"
#include "sim/SimulatedLine.h"

#include <QRegularExpression>

#include <cstdio>

namespace cli {
namespace {

void print(const char* key, const QString& value) {
    std::printf("%s=%s\n", key, qPrintable(value));
}

QString orEmpty(const std::optional<int>& v, int shift = 0) {
    return v ? QString::number(*v + shift) : QString();
}

QString nameOf(const QStringList& names, const std::optional<int>& v) {
    return v && *v >= 0 && *v < names.size() ? names[*v] : QString();
}

int get(bus::SerialLink& link, std::uint8_t address, int type) {
    const controller::ControllerSettings s =
        controller::ReadControllerSettings(link, address, type);
    print("interval", s.interval ? QString::number(*s.interval / 10.0, 'f', 1) : QString());
    const bool direct = app::controllerType(type).directSensors;
    if (app::controllerType(type).hostChannels) {
        print("main-channel", nameOf(controller::mainChannelNames(), s.mainChannel));
        print("second-channel", nameOf(controller::secondChannelNames(), s.secondChannel));
    }
    if (!direct) {
        print("address", orEmpty(s.index, 1));
        print("first-sensor", orEmpty(s.firstSensor, 1));
        print("sensor-count", orEmpty(s.sensorCount));
        print("sensor-map", s.sensorMap ? QString::number(*s.sensorMap) : QString());
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    const bool whole = s.interval && (direct || (s.index && s.sensorMap &&
                                                 (!app::controllerType(type).hostChannels ||
                                                  (s.mainChannel && s.workingPassword))));
    return whole ? 0 : noAnswer(controllerName(address));
}

// What set was given, checked before anything goes on the line.
struct Wanted {
    std::optional<int> interval, index, first, count, map, mainChannel, secondChannel;
    std::optional<QString> working, system;
};

std::optional<int> inRange(const QString& v, int low, int high) {
    const auto n = sensor::parseWhole(v);
    return n && *n >= low && *n <= high ? n : std::nullopt;
}

std::optional<int> channel(const QStringList& names, const QString& v) {
    const int i = static_cast<int>(names.indexOf(v.toUpper()));
    return i >= 0 ? std::optional<int>(i) : std::nullopt;
}

std::optional<QString> password(const QString& v) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{4}$"));
    return digits.match(v).hasMatch() ? std::optional<QString>(v) : std::nullopt;
}

// Nothing and a message when a word is wrong for that type.
std::optional<Wanted> parseWanted(const QStringList& words, int type, QString* error) {
    Wanted w;
    const bool direct = app::controllerType(type).directSensors;
    const bool host = app::controllerType(type).hostChannels;
    for (const QString& word : words) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        const QString key = word.left(eq);
        const QString value = word.mid(eq + 1).trimmed();
        bool ok = eq > 0;
        if (key == QLatin1String("interval")) {
            const auto t = sensor::tenthsOf(value);
            ok = ok && t && *t >= controller::kIntervalMin && *t <= controller::kIntervalMax;
            w.interval = t;
        } else if (key == QLatin1String("address") && !direct) {
            const auto n = inRange(value, 1, controller::kAddressEntries);
            ok = ok && n;
            w.index = n ? std::optional<int>(*n - 1) : std::nullopt;
        } else if (key == QLatin1String("first-sensor") && !direct) {
            const auto n = inRange(value, 1, app::kSensorAddresses);
            ok = ok && n;
            w.first = n ? std::optional<int>(*n - 1) : std::nullopt;
        } else if (key == QLatin1String("sensor-count") && !direct) {
            w.count = inRange(value, 1, controller::kAddressEntries);
            ok = ok && w.count;
        } else if (key == QLatin1String("sensor-map") && !direct) {
            w.map = inRange(value, 0, 1);
            ok = ok && w.map;
        } else if (key == QLatin1String("main-channel") && host) {
            w.mainChannel = channel(controller::mainChannelNames(), value);
            ok = ok && w.mainChannel;
        } else if (key == QLatin1String("second-channel") && host) {
            w.secondChannel = channel(controller::secondChannelNames(), value);
            ok = ok && w.secondChannel;
        } else if (key == QLatin1String("working-password") && host) {
            w.working = password(value);
            ok = ok && w.working;
        } else if (key == QLatin1String("system-password") && host) {
            w.system = password(value);
            ok = ok && w.system;
        } else {
            *error = QStringLiteral("no setting \"%1\" in this controller type").arg(key);
            return std::nullopt;
        }
        if (!ok) {
            *error = QStringLiteral("bad value in \"%1\"").arg(word);
            return std::nullopt;
        }
    }
    return w;
}

int set(bus::SerialLink& link, std::uint8_t address, int type, const QStringList& words) {
    QString error;
    const auto w = parseWanted(words, type, &error);
    if (!w)
        return fail(error);
    using namespace controller;
    bool all = true;
    if (w->interval)
        all &= WriteInterval(link, address, *w->interval);
    if (w->index) {
        const bool ok = WriteControllerIndex(link, address, *w->index);
        all &= ok;
        // The controller answers at its new address from now on.
        if (ok)
            address = static_cast<std::uint8_t>(bus::kControllerBase + *w->index);
    }
    if (w->first)
        all &= WriteFirstSensor(link, address, *w->first);
    if (w->count)
        all &= WriteSensorCount(link, address, *w->count);
    if (w->map)
        all &= WriteSensorMap(link, address, *w->map == 1);
    if (w->system)
        all &= WritePassword(link, address, Password::System, *w->system);
    if (w->working)
        all &= WritePassword(link, address, Password::Working, *w->working);
    if (w->secondChannel)
        all &= WriteChannel(link, address, Channel::Second, *w->secondChannel);
    if (w->mainChannel)
        all &= WriteChannel(link, address, Channel::Main, *w->mainChannel);
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!all)
        return fail(QStringLiteral("ЗАПИСАНО НЕ ВСЁ"), 1);
    std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
    return 0;
}

int status(bus::SerialLink& link, std::uint8_t address, controller::Processor p) {
    ConsoleProgress progress;
    const auto r = p == controller::Processor::Main
                       ? controller::ReadMainStatus(link, address, progress)
                       : controller::ReadKeyboardStatus(link, address);
    if (!r)
        return link.isOpen() ? noAnswer(controllerName(address))
                             : fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r->answeredBy != address)
        std::fprintf(stderr, "orvant2-cli: controller %d is silent; controller %d answered\n",
                     (address & 0x7F) + 1, (r->answeredBy & 0x7F) + 1);
    for (const controller::LampRow& row : controller::lampRows(p))
        for (int i = 0; i < 8; ++i)
            if (*row.labels[i] && controller::lampLit(r->bytes, row, i))
                std::printf("%s\n", row.labels[i]);
    if (p == controller::Processor::Main) {
        const auto mode = r->bytes.size() > controller::kMainModeByte
                              ? static_cast<std::uint8_t>(r->bytes[controller::kMainModeByte])
                              : std::uint8_t{0};
        print("mode", r->bytes.isEmpty() ? QString() : controller::modeText(mode));
    }
    return 0;
}

} // namespace

int runControllerCommand(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    bool ok = false;
    const int number = args.value(0).toInt(&ok);
    const QString verb = args.value(1);
    if (!ok || number < 1 || number > app::kSensorAddresses || args.size() < 2)
        return fail(commandUsage(QStringLiteral("controller")));
    const auto address = static_cast<std::uint8_t>(bus::kControllerBase + number - 1);
    if (verb == QLatin1String("status") && args.size() == 3 &&
        args[2] == QLatin1String("--keyboard")) {
        // The keyboard/display processor has a cable of its own: no scan there.
        if (o.simulate && !link.OpenPort(sim::SimulatedLine::kKeyboardPortName))
            return fail(link.lastOpenError().text());
        return status(link, address, controller::Processor::Keyboard);
    }
    ConsoleProgress progress;
    app::ControllerLayout layout;
    std::uint8_t inLayout = 0;
    if (const int code = controllerFor(link, o, progress, number, layout, inLayout))
        return code;
    if (verb == QLatin1String("get") && args.size() == 2)
        return get(link, inLayout, layout.controllerType);
    if (verb == QLatin1String("set") && args.size() > 2)
        return set(link, inLayout, layout.controllerType, args.mid(2));
    if (verb == QLatin1String("status") && args.size() == 2)
        return status(link, inLayout, controller::Processor::Main);
    return fail(commandUsage(QStringLiteral("controller")));
}

} // namespace cli
