#include "cli/SensorCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "cli/PlaceCommands.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"

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
// sent; "wide" says how the size is counted and is not written itself.
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
            (!row->writable() && key != QLatin1String("wide"))) {
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
    if (r.given.count(QStringLiteral("working-segments")) !=
        r.given.count(QStringLiteral("removed-segments")))
        r.error = QStringLiteral("working-segments и removed-segments задаются вместе");
    return r;
}

bool sharesOperation(const app::SettingValues& given, const std::vector<const char*>& keys) {
    for (const char* key : keys)
        if (given.count(QLatin1String(key)))
            return true;
    return false;
}

int set(bus::SerialLink& link, std::uint8_t s, app::SettingValues given) {
    // The flag byte and the code-update byte travel whole: a group given in
    // part keeps the sensor's value for the rest. A forbidden result is
    // refused before anything is written.
    const std::vector<const char*> flagKeys = {"density-channel", "single-density-meter",
                                               "reset-on-link-loss", "reset-on-density-0-1",
                                               "propagate-after-filling"};
    const std::vector<const char*> codeKeys = {"code-update", "code-algorithm"};
    if (sharesOperation(given, flagKeys) || sharesOperation(given, codeKeys)) {
        const app::SettingValues now = sensor::ReadSensorSettings(link, s);
        for (const auto& keys : {flagKeys, codeKeys})
            if (sharesOperation(given, keys))
                for (const char* key : keys)
                    given.try_emplace(QLatin1String(key), app::valueOf(now, QLatin1String(key)));
        if (given[QStringLiteral("density-channel")] == QJsonValue(QStringLiteral("combined")) &&
            given[QStringLiteral("single-density-meter")].toBool())
            return fail(QStringLiteral("Запрещённая комбинация флагов !"));
    }
    std::vector<const app::Setting*> rows;
    for (const auto& [key, value] : given) {
        const app::Setting& row = sensor::sensorSetting(key);
        // Nothing of a group the sensor did not tell is written blind.
        if (row.writable() && !value.isNull())
            rows.push_back(&row);
    }
    std::vector<app::NotWritten> failed;
    for (const auto& [key, value] : given)
        if (value.isNull())
            failed.push_back({&sensor::sensorSetting(key), app::WriteFault::Unread});
    for (const app::NotWritten& n :
         app::WriteSettings(link, app::SettingTarget{s, {}, false}, rows, given))
        failed.push_back(n);
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // The keys not written and why, as the properties page says it.
    if (!failed.empty())
        return fail(app::notWrittenText(failed, true), 1);
    std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
    return 0;
}

} // namespace

int runSensorCommand(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    bool ok = false;
    const int number = args.value(0).toInt(&ok);
    const QString verb = args.value(1);
    if (!ok || number < 1 || number > 128)
        return fail(QStringLiteral("sensor N: N — номер датчика от 1 до 128"));
    // Everything about the words is settled before the line is touched.
    std::optional<SensorAction> action;
    QString error;
    if (verb == QLatin1String("get") && args.size() == 2) {
        action = SensorAction(get);
    } else if (verb == QLatin1String("set") && args.size() > 2) {
        const SetRequest request = parseSet(args.mid(2));
        if (!request.error.isEmpty())
            return fail(request.error);
        action = SensorAction([given = request.given](bus::SerialLink& l, std::uint8_t s) {
            return set(l, s, given);
        });
    } else {
        action = placeCommand(args.mid(1), &error);
    }
    if (!action)
        return fail(error.isEmpty() ? commandUsage(QStringLiteral("sensor")) : error);
    ConsoleProgress progress;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route))
        return code;
    const auto s = static_cast<std::uint8_t>(number - 1);
    bus::TransitScope transit(link, route.controller.value_or(0), route.controller.has_value());
    return (*action)(link, s);
}

} // namespace cli
