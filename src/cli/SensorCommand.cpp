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
    // "wide" only says how a size is counted: alone it writes nothing.
    if (std::none_of(r.given.begin(), r.given.end(),
                     [](const auto& kv) { return sensor::sensorSetting(kv.first).writable(); }))
        r.error = app::kNothingToWrite;
    return r;
}

int set(bus::SerialLink& link, std::uint8_t s, app::SettingValues given) {
    // Two bits of one byte that only travel together: given one, the other
    // keeps what the sensor holds, read first. Without that read nothing
    // at all is written, so that no bit is changed that was not given.
    static const std::pair<const char*, const char*> pairs[] = {
        {"reset-on-link-loss", "reset-on-density-0-1"},
        {"density-channel", "single-density-meter"},
        {"code-update", "code-algorithm"}};
    // The keys as given: a partner read in is written, never named.
    std::vector<const app::Setting*> asGiven;
    for (const auto& [key, value] : given)
        asGiven.push_back(&sensor::sensorSetting(key));
    std::vector<std::pair<QString, QString>> partners; // given, read
    for (const auto& [a, b] : pairs) {
        const bool hasA = given.count(QLatin1String(a)) != 0,
                   hasB = given.count(QLatin1String(b)) != 0;
        if (hasA != hasB)
            partners.emplace_back(QLatin1String(hasA ? a : b), QLatin1String(hasA ? b : a));
    }
    if (!partners.empty()) {
        const app::SettingValues now = sensor::ReadSensorSettings(link, s);
        std::vector<app::NotWritten> unread;
        for (const auto& [mine, key] : partners) {
            given[key] = app::valueOf(now, key);
            if (given[key].isNull())
                unread.push_back({&sensor::sensorSetting(mine), app::WriteFault::Unread});
        }
        if (!link.isOpen())
            return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
        if (!unread.empty())
            return fail(app::notWrittenText(unread, true), 1);
    }
    // A forbidden result is refused before anything is written.
    if (app::valueOf(given, QStringLiteral("density-channel")) ==
            QJsonValue(QStringLiteral("combined")) &&
        app::valueOf(given, QStringLiteral("single-density-meter")).toBool())
        return fail(QStringLiteral("Запрещённая комбинация флагов !"));
    std::vector<const app::Setting*> rows;
    for (const auto& [key, value] : given)
        if (const app::Setting& row = sensor::sensorSetting(key); row.writable())
            rows.push_back(&row);
    std::vector<app::NotWritten> failed =
        app::WriteSettings(link, app::SettingTarget{s, {}, false}, rows, given, ConsoleProgress());
    std::erase_if(failed, [&](const app::NotWritten& n) {
        return std::find(asGiven.begin(), asGiven.end(), n.row) == asGiven.end();
    });
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // The keys not written and why, as the properties page says it.
    if (!failed.empty())
        return fail(app::notWrittenText(failed, true), 1);
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
