#include "cli/DbCommands.h"

#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "db/UserDatabase.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"
#include "sensor/SettingText.h"

#include <QFileInfo>

#include <cstdio>

namespace cli {
namespace {

const QString kBadStructure = QStringLiteral("Неподходящая структура файла.");

QString tenthsText(std::optional<int> tenths) {
    // The separator the page would show; files from the page and from here
    // read the same.
    return tenths ? sensor::decimalText(*tenths * 0.1, 1) : QString();
}

// The property set the page shows after reading every group of sensor s.
db::UserFields readFromSensor(bus::SerialLink& link, std::uint8_t s) {
    db::UserFields f;
    f.address = s;
    const sensor::SensorGroups g = sensor::ReadSensorGroups(link, s);
    if (g.sizeMm)
        f.size = QString::number(*g.sizeMm);
    f.correction = tenthsText(g.levelCorrectionTenths);
    f.criterion = tenthsText(g.fillCriterionTenths);
    if (g.flags) {
        f.resetOnLinkLoss = *g.flags & sensor::flag::ResetOnLinkLoss;
        f.resetOnDensity01 = *g.flags & sensor::flag::ResetOnDensity01;
        f.propagate = *g.flags & sensor::flag::Propagate;
        f.separate = !(*g.flags & sensor::flag::Combined);
    }
    const sensor::Places t = sensor::ReadThermometers(link, s);
    for (int k = 0; k < db::kThermometerFields; ++k) {
        f.thermometerIds[k] = t[k].id;
        if (t[k].height)
            f.thermometerHeights[k] = QString::number(*t[k].height);
    }
    const sensor::Places d = sensor::ReadDensityMeters(link, s);
    for (int n = 0; n < db::kMeterFields; ++n) {
        f.meterIds[n] = d[n].id;
        if (d[n].height)
            f.meterHeights[n] = QString::number(*d[n].height);
    }
    return f;
}

// The record's identifiers, checked before anything is sent: one that fails
// refuses the whole record.
QStringList refusedIds(const db::UserLoad& v) {
    QStringList refused;
    auto check = [&refused](const char* setting, int n, const std::optional<QString>& id,
                            sensor::IdFamily family) {
        if (!id)
            return;
        if (const auto problem = sensor::parseIdentifier(*id, family).problem)
            refused << sensor::idRefusal(QStringLiteral("%1%2").arg(QLatin1String(setting)).arg(n),
                                         *id, *problem, family);
    };
    for (int k = 0; k < db::kThermometerFields; ++k)
        check("thermometer", k + 1, v.thermometerIds[k], sensor::IdFamily::Thermometer);
    for (int n = 0; n < db::kMeterFields; ++n)
        check("meter", n + 1, v.meterIds[n], sensor::IdFamily::DensityMeter);
    return refused;
}

// What "УСТАНОВИТЬ" sends after a load: the values that came with their
// marks. Each line says what was written.
bool writeToSensor(bus::SerialLink& link, std::uint8_t s, const db::UserLoad& v) {
    bool all = true;
    auto report = [&all](const QString& what, bool ok) {
        std::printf("%s %s\n", qPrintable(what), ok ? "ЗАПИСАНО" : "НЕ ЗАПИСАНО");
        all = all && ok;
    };
    auto place = [&](const char* kind, int n, std::uint8_t idCell, std::uint8_t heightCell,
                     const std::optional<QString>& id, const std::optional<int>& height,
                     sensor::IdFamily family) {
        if (!id || !height)
            return;
        const auto checked = sensor::parseIdentifier(*id, family).id;
        report(QStringLiteral("%1%2=%3").arg(QLatin1String(kind)).arg(n).arg(*id),
               checked && sensor::WriteIdentifier(link, s, idCell, *checked));
        report(QStringLiteral("%1%2_height=%3").arg(QLatin1String(kind)).arg(n).arg(*height),
               sensor::WriteHeight(link, s, heightCell, *height));
    };
    for (int k = 0; k < db::kThermometerFields; ++k)
        place("thermometer", k + 1, sensor::thermometerIdCell(k + 1),
              sensor::thermometerHeightCell(k + 1), v.thermometerIds[k], v.thermometerHeights[k],
              sensor::IdFamily::Thermometer);
    for (int n = 0; n < db::kMeterFields; ++n)
        place("meter", n + 1, sensor::densityIdCell(n + 1), sensor::densityHeightCell(n + 1),
              v.meterIds[n], v.meterHeights[n], sensor::IdFamily::DensityMeter);
    if (v.correction) {
        const auto t = sensor::tenthsOf(*v.correction);
        report(QStringLiteral("correction=") + *v.correction,
               t && *t >= -32768 && *t <= 32767 && sensor::WriteLevelCorrection(link, s, *t));
    }
    if (v.criterion) {
        const auto t = sensor::tenthsOf(*v.criterion);
        report(QStringLiteral("criterion=") + *v.criterion,
               t && *t >= 0 && *t <= 0xFFFF && sensor::WriteFillCriterion(link, s, *t));
    }
    sensor::FlagChanges changes;
    if (v.resetOnLinkLoss || v.resetOnDensity01)
        changes.reset = {v.resetOnLinkLoss.value_or(false), v.resetOnDensity01.value_or(false)};
    if (v.propagate)
        changes.propagate = *v.propagate;
    // The page unticks "единственный плотномер" before a load.
    if (v.separate)
        changes.channel = {!*v.separate, false};
    if (changes.any())
        report(QStringLiteral("flags"), sensor::WriteFlags(link, s, changes));
    return all;
}

} // namespace

int runDbFind(const QStringList& args) {
    if (args.size() != 2)
        return fail(commandUsage(QStringLiteral("db-find")));
    const QString& path = args[0];
    if (!db::CheckStructure(path, false, false))
        return fail(QStringLiteral("%1: %2").arg(path, kBadStructure));
    const db::FactoryRead r = db::FindFactoryByNumber(path, args[1], {});
    if (!r.opened)
        return fail(QStringLiteral("%1: Исходный файл не открывается").arg(path));
    if (!r.record)
        return fail(db::numberNotFoundText(args[1]));
    const auto places = db::factoryThermometers(*r.record);
    for (int k = 0; k < db::kThermometerFields; ++k) {
        const bool filled = k < static_cast<int>(places.size());
        std::printf("%d\t%s\t%s\n", k + 1, filled ? qPrintable(places[k].first) : "",
                    filled ? qPrintable(places[k].second) : "");
    }
    return 0;
}

int runDbCommand(bus::SerialLink& link, const CliOptions& o) {
    const QStringList& args = o.commandArgs;
    const bool save = o.command == QLatin1String("db-save");
    const bool yes = save && args.size() == 4 && args[3] == QLatin1String("--yes");
    bool ok = false;
    const int number = args.value(2).toInt(&ok);
    if ((args.size() != 3 && !yes) || args.value(1) != QLatin1String("sensor") || !ok ||
        number < 1 || number > 128)
        return fail(commandUsage(o.command));
    const QString path = save ? db::userFilePath(args[0]) : args[0];
    // Loading needs a user file; saving may create one.
    if (!save || QFileInfo::exists(path)) {
        if (const QString problem = inputFileProblem(path); !problem.isEmpty())
            return fail(problem);
        if (!db::CheckStructure(path, true, false))
            return fail(QStringLiteral("%1: %2").arg(path, kBadStructure));
    }
    const auto s = static_cast<std::uint8_t>(number - 1);
    db::LoadResult loaded;
    if (!save) {
        loaded = db::LoadUserRecord(path, s, {});
        if (loaded.outcome == db::LoadOutcome::NoSuchAddress)
            return fail(QStringLiteral("ТАКОГО АДРЕСА НЕТ В БАЗЕ"), 1);
        if (loaded.outcome != db::LoadOutcome::Loaded)
            return fail(QStringLiteral("%1: Исходный файл не открывается").arg(path), 1);
        if (const QStringList refused = refusedIds(loaded.values); !refused.isEmpty())
            return fail(refused.join(QLatin1Char('\n')));
    }
    ConsoleProgress progress;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route))
        return code;
    if (!save) {
        const bus::TransitScope transit(link, route.controller.value_or(0),
                                        route.controller.has_value());
        const bool all = writeToSensor(link, s, loaded.values);
        return all ? 0 : fail(QStringLiteral("ЗАПИСАНО НЕ ВСЁ"), 1);
    }
    db::UserFields fields;
    {
        const bus::TransitScope transit(link, route.controller.value_or(0),
                                        route.controller.has_value());
        fields = readFromSensor(link, s);
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    bool asked = false;
    const db::SaveResult r = db::SaveUserRecord(path, fields, -1,
                                                [&] {
                                                    asked = true;
                                                    return yes;
                                                },
                                                {});
    if (r.outcome == db::SaveOutcome::Declined)
        return fail(QStringLiteral("Датчик с таким адресом уже есть (--yes заменяет запись)"), 1);
    if (r.outcome != db::SaveOutcome::Saved)
        return fail(QStringLiteral("СБОЙ СОХРАНЕНИЯ: ") + r.problem, 1);
    std::printf("СВОЙСТВА СОХРАНЕНЫ%s\n", asked ? " (запись заменена)" : "");
    return 0;
}

} // namespace cli
