#include "cli/SensorCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "cli/PlaceCommands.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

// The rows "get" prints and "set" takes, in the catalogue's order.
std::vector<const app::Setting*> ownRows() {
    std::vector<const app::Setting*> rows;
    for (const app::Setting& row : sensor::sensorSettings())
        if (sensor::isOwnSetting(row))
            rows.push_back(&row);
    return rows;
}

int get(bus::SerialLink& link, std::uint8_t s) {
    const app::SettingValues v = sensor::ReadSensorSettings(link, s);
    bool complete = true, any = false;
    for (const app::Setting* row : ownRows()) {
        const QJsonValue value = app::valueOf(v, row->key);
        complete = complete && !value.isNull();
        any = any || !value.isNull();
        std::printf("%s=%s\n", qPrintable(row->key), qPrintable(row->text(value)));
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!any)
        return noAnswer(sensorName(s));
    return complete ? 0 : fail(QStringLiteral("НА ЧАСТЬ ЗАПРОСОВ НЕТ ОТВЕТА"), 1);
}

// The words of "set", each checked against its row before anything is
// sent; a row another is counted by (the kind of probe) says how and is not
// written itself.
struct SetRequest {
    app::SettingValues given;
    QString error;
};

SetRequest parseSet(const QStringList& words) {
    SetRequest r;
    for (const QString& w : words) {
        const qsizetype eq = w.indexOf(QLatin1Char('='));
        const QString key = w.left(eq);
        const QString value = w.mid(eq + 1);
        const app::Setting* row = app::findSetting(sensor::sensorSettings(), key);
        if (eq <= 0 || !row || !sensor::isOwnSetting(*row) ||
            (!row->writable() && !sensor::countsAnother(*row))) {
            r.error = QStringLiteral("нельзя записать \"%1\"").arg(w);
            return r;
        }
        const auto parsed = row->parse(value);
        if (!parsed) {
            r.error = row->refusal(value);
            return r;
        }
        r.given[key] = *parsed;
    }
    // Half of a pair only given together, or a forbidden combination: no
    // line is needed to refuse them.
    if (const auto refused = sensor::refusalOf(r.given))
        r.error = refused->text(true);
    // A row that only says how another is counted writes nothing alone.
    if (std::none_of(r.given.begin(), r.given.end(),
                     [](const auto& kv) { return sensor::sensorSetting(kv.first).writable(); }))
        r.error = app::kNothingToWrite;
    return r;
}

int set(bus::SerialLink& link, std::uint8_t s, const app::SettingValues& given) {
    const sensor::SettingsWrite w = sensor::WriteSensorSettings(link, s, given, ConsoleProgress());
    // A forbidden combination made with a bit read from the sensor.
    if (w.refused)
        return fail(w.refused->text(true));
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // The keys not written and why, as the properties page says it.
    if (!w.failed.empty())
        return fail(app::notWrittenText(w.failed, true), 1);
    std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
    return 0;
}

// What the words after N ask of the sensor; nothing, and error, when they
// are wrong.
std::optional<SensorAction> sensorAction(const QStringList& args, QString* error) {
    bool ok = false;
    const int number = args.value(0).toInt(&ok);
    const QString verb = args.value(1);
    if (!ok || number < 1 || number > 128) {
        *error = QStringLiteral("sensor N: N — номер датчика от 1 до 128");
        return std::nullopt;
    }
    std::optional<SensorAction> action;
    if (verb == QLatin1String("get") && args.size() == 2) {
        action = SensorAction(get);
    } else if (verb == QLatin1String("set") && args.size() > 2) {
        const SetRequest request = parseSet(args.mid(2));
        if (!request.error.isEmpty()) {
            *error = request.error;
            return std::nullopt;
        }
        action = SensorAction([given = request.given](bus::SerialLink& l, std::uint8_t s) {
            return set(l, s, given);
        });
    } else {
        action = placeCommand(args.mid(1), error);
    }
    if (!action && error->isEmpty())
        *error = commandUsage(QStringLiteral("sensor"));
    return action;
}

} // namespace

QString sensorWrongWords(const QStringList& args) {
    QString error;
    return sensorAction(args, &error) ? QString() : error;
}

int runSensorCommand(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    // The words were checked before the line was touched.
    QString error;
    const std::optional<SensorAction> action = sensorAction(args, &error);
    if (!action)
        return fail(error);
    const int number = args[0].toInt();
    ConsoleProgress progress;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route))
        return code;
    const auto s = static_cast<std::uint8_t>(number - 1);
    bus::TransitScope transit(link, route.controller.value_or(0), route.controller.has_value());
    return (*action)(link, s);
}

} // namespace cli
