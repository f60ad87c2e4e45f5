#include "cli/SensorCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "cli/PlaceCommands.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorSettings.h"
#include "sensor/SettingText.h"

#include <cstdio>
#include <map>

namespace cli {
namespace {

using Settings = std::map<QString, QString>;

// The keys in the order they print.
QStringList settingKeys() {
    QStringList keys{QStringLiteral("size"),
                     QStringLiteral("level-correction"),
                     QStringLiteral("density-channel"),
                     QStringLiteral("single-density-meter"),
                     QStringLiteral("reset-on-link-loss"),
                     QStringLiteral("reset-on-density-0-1"),
                     QStringLiteral("propagate-after-filling"),
                     QStringLiteral("filling-criterion")};
    for (int i = 1; i <= 8; ++i)
        keys << QStringLiteral("section-%1").arg(i);
    keys << QStringLiteral("working-segments") << QStringLiteral("removed-segments")
         << QStringLiteral("code-update") << QStringLiteral("code-algorithm")
         << QStringLiteral("counter") << QStringLiteral("counter-value");
    return keys;
}

QString bit(std::uint8_t byte, std::uint8_t mask) {
    return (byte & mask) ? QStringLiteral("1") : QStringLiteral("0");
}

Settings readAll(bus::SerialLink& link, std::uint8_t s) {
    Settings v;
    const sensor::SensorGroups g = sensor::ReadSensorGroups(link, s);
    if (g.sizeMm)
        v[QStringLiteral("size")] = QString::number(*g.sizeMm);
    if (g.levelCorrectionTenths)
        v[QStringLiteral("level-correction")] =
            sensor::decimalText(*g.levelCorrectionTenths * 0.1, 1);
    if (g.flags) {
        const std::uint8_t f = *g.flags;
        v[QStringLiteral("density-channel")] =
            (f & sensor::flag::Combined) ? QStringLiteral("combined") : QStringLiteral("separate");
        v[QStringLiteral("single-density-meter")] = bit(f, sensor::flag::SingleMeter);
        v[QStringLiteral("reset-on-link-loss")] = bit(f, sensor::flag::ResetOnLinkLoss);
        v[QStringLiteral("reset-on-density-0-1")] = bit(f, sensor::flag::ResetOnDensity01);
        v[QStringLiteral("propagate-after-filling")] = bit(f, sensor::flag::Propagate);
    }
    if (g.fillCriterionTenths)
        v[QStringLiteral("filling-criterion")] =
            sensor::decimalText(*g.fillCriterionTenths * 0.1, 1);
    if (const auto sections = sensor::ReadSectionCorrections(link, s))
        for (int i = 0; i < 8; ++i)
            v[QStringLiteral("section-%1").arg(i + 1)] = sensor::decimalText((*sections)[i], 3);
    if (const auto seg = sensor::ReadSegments(link, s)) {
        v[QStringLiteral("working-segments")] = QString::number(seg->working);
        v[QStringLiteral("removed-segments")] = QString::number(seg->removed);
    }
    if (const auto c = sensor::ReadCodeUpdate(link, s)) {
        v[QStringLiteral("code-update")] =
            c->updateAllowed ? QStringLiteral("1") : QStringLiteral("0");
        v[QStringLiteral("code-algorithm")] =
            c->algorithmAllowed ? QStringLiteral("1") : QStringLiteral("0");
        v[QStringLiteral("counter")] = QString::number(c->counter);
        v[QStringLiteral("counter-value")] = QString::number(c->counterValue);
    }
    return v;
}

int get(bus::SerialLink& link, std::uint8_t s) {
    const Settings v = readAll(link, s);
    bool complete = true;
    for (const QString& key : settingKeys()) {
        const auto it = v.find(key);
        complete = complete && it != v.end();
        std::printf("%s=%s\n", qPrintable(key), it != v.end() ? qPrintable(it->second) : "");
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (v.empty())
        return noAnswer(sensorName(s));
    return complete ? 0 : fail(QStringLiteral("some settings got no reply"), 1);
}

std::optional<bool> flagValue(const QString& v) {
    if (v == QLatin1String("1"))
        return true;
    if (v == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// The words of "set", checked before anything is sent.
struct SetRequest {
    Settings given;
    QString error;
};

SetRequest parseSet(const QStringList& words) {
    SetRequest r;
    const QStringList keys = settingKeys();
    for (const QString& w : words) {
        const qsizetype eq = w.indexOf(QLatin1Char('='));
        const QString key = w.left(eq);
        const QString value = w.mid(eq + 1).trimmed();
        if (eq <= 0 || (!keys.contains(key) && key != QLatin1String("wide")) ||
            key == QLatin1String("counter-value")) {
            r.error = QStringLiteral("cannot set \"%1\"").arg(w);
            return r;
        }
        bool valid = true;
        if (key == QLatin1String("size"))
            valid = sensor::parseWhole(value).value_or(-1) >= 0;
        else if (key == QLatin1String("level-correction"))
            valid = sensor::tenthsOf(value).has_value();
        else if (key == QLatin1String("filling-criterion"))
            valid = sensor::tenthsOf(value).value_or(-1) >= 0;
        else if (key.startsWith(QLatin1String("section-")))
            valid = sensor::parseDecimal(value).has_value();
        else if (key == QLatin1String("density-channel"))
            valid = value == QLatin1String("combined") || value == QLatin1String("separate");
        else if (key == QLatin1String("counter"))
            valid = sensor::isValidCounter(sensor::parseWhole(value).value_or(0));
        else if (key.endsWith(QLatin1String("-segments")))
            valid = sensor::parseWhole(value).value_or(-1) >= 0;
        else
            valid = flagValue(value).has_value();
        if (!valid) {
            r.error = QStringLiteral("bad value in \"%1\"").arg(w);
            return r;
        }
        r.given[key] = value;
    }
    if (r.given.count(QStringLiteral("working-segments")) !=
        r.given.count(QStringLiteral("removed-segments")))
        r.error = QStringLiteral("working-segments and removed-segments go together");
    return r;
}

int set(bus::SerialLink& link, std::uint8_t s, const Settings& given) {
    auto has = [&](const char* key) { return given.count(QLatin1String(key)) > 0; };
    auto value = [&](const char* key) { return given.at(QLatin1String(key)); };
    auto flag = [&](const char* key) { return *flagValue(value(key)); };
    QStringList failed;
    auto check = [&failed](bool ok, const QString& key) {
        if (!ok)
            failed << key;
    };

    // A flag group given in part keeps the sensor's value for the rest; a
    // forbidden result is refused before anything is written.
    const bool reset = has("reset-on-link-loss") || has("reset-on-density-0-1");
    const bool channel = has("density-channel") || has("single-density-meter");
    const bool flags = reset || channel || has("propagate-after-filling");
    std::optional<sensor::FlagChanges> changes;
    if (flags) {
        if (const std::optional<std::uint8_t> now = sensor::ReadSensorGroups(link, s).flags) {
            auto keep = [&](const char* key, std::uint8_t mask) {
                return has(key) ? flag(key) : (*now & mask) != 0;
            };
            sensor::FlagChanges c;
            if (reset)
                c.reset = {keep("reset-on-link-loss", sensor::flag::ResetOnLinkLoss),
                           keep("reset-on-density-0-1", sensor::flag::ResetOnDensity01)};
            if (has("propagate-after-filling"))
                c.propagate = flag("propagate-after-filling");
            if (channel)
                c.channel = {has("density-channel")
                                 ? value("density-channel") == QLatin1String("combined")
                                 : (*now & sensor::flag::Combined) != 0,
                             keep("single-density-meter", sensor::flag::SingleMeter)};
            if (sensor::isForbiddenFlagCombination(sensor::applyFlagChanges(*now, c)))
                return fail(QStringLiteral("Запрещённая комбинация флагов !"));
            changes = c;
        }
    }
    if (has("size"))
        check(sensor::WriteSensorSize(link, s, *sensor::parseWhole(value("size")),
                                      has("wide") && flag("wide")),
              QStringLiteral("size"));
    if (has("level-correction"))
        check(sensor::WriteLevelCorrection(link, s, *sensor::tenthsOf(value("level-correction"))),
              QStringLiteral("level-correction"));

    if (flags)
        check(changes && sensor::WriteFlags(link, s, *changes), QStringLiteral("flags"));
    if (has("filling-criterion"))
        check(sensor::WriteFillCriterion(link, s, *sensor::tenthsOf(value("filling-criterion"))),
              QStringLiteral("filling-criterion"));
    for (int i = 1; i <= 8; ++i) {
        const QString key = QStringLiteral("section-%1").arg(i);
        if (given.count(key))
            check(sensor::WriteSectionCorrection(
                      link, s, i, static_cast<float>(*sensor::parseDecimal(given.at(key)))),
                  key);
    }
    if (has("working-segments")) {
        const int work = *sensor::parseWhole(value("working-segments"));
        const int removed = *sensor::parseWhole(value("removed-segments"));
        const sensor::SegmentsWrite w = sensor::WriteSegments(link, s, work, removed);
        check(w.confirmed, QStringLiteral("segments"));
    }
    if (has("counter"))
        check(sensor::WriteCounter(link, s, *sensor::parseWhole(value("counter"))),
              QStringLiteral("counter"));
    if (has("code-update") || has("code-algorithm")) {
        const auto now = sensor::ReadCodeUpdate(link, s);
        bool ok = now.has_value();
        if (ok)
            ok = sensor::WriteCodeUpdateFlags(
                link, s, has("code-update") ? flag("code-update") : now->updateAllowed,
                has("code-algorithm") ? flag("code-algorithm") : now->algorithmAllowed);
        check(ok, QStringLiteral("code-update"));
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!failed.isEmpty())
        return fail(QStringLiteral("НЕ ЗАПИСАНО: ") + failed.join(QStringLiteral(", ")), 1);
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
        return fail(QStringLiteral("sensor N: N is the sensor number 1..128"));
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
