#include "cli/DbCommands.h"

#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "db/SensorRecord.h"
#include "db/UserDatabase.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

const QString kBadStructure = QStringLiteral("Неподходящая структура файла.");

// The record's identifiers and numbers, checked before anything is sent:
// one that fails refuses the whole record.
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
    // The numbers go through their catalogue rows as typed values do.
    auto value = [&refused](const char* key, const std::optional<QString>& text) {
        const app::Setting& row = sensor::sensorSetting(QLatin1String(key));
        if (text && !row.parse(*text))
            refused << row.refusal(*text);
    };
    value("level-correction", v.correction);
    value("filling-criterion", v.criterion);
    auto height = [&](const char* kind, int n, const std::optional<int>& h) {
        value(qPrintable(QStringLiteral("%1.%2.height").arg(QLatin1String(kind)).arg(n)),
              h ? std::optional<QString>(QString::number(*h)) : std::nullopt);
    };
    for (int k = 0; k < db::kThermometerFields; ++k)
        height("thermometer", k + 1, v.thermometerHeights[k]);
    for (int n = 0; n < db::kMeterFields; ++n)
        height("meter", n + 1, v.meterHeights[n]);
    return refused;
}

// The device number of a value the record's check let through.
int tenths(const char* key, const QString& text) {
    const app::Setting& row = sensor::sensorSetting(QLatin1String(key));
    return static_cast<int>(std::lround(row.encode(*row.parse(text))));
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
               checked && sensor::WriteIdentifier(link, s, idCell, *checked).confirmed());
        report(QStringLiteral("%1%2_height=%3").arg(QLatin1String(kind)).arg(n).arg(*height),
               sensor::WriteHeight(link, s, heightCell, *height).confirmed());
    };
    for (int k = 0; k < db::kThermometerFields; ++k)
        place("thermometer", k + 1, sensor::thermometerIdCell(k + 1),
              sensor::thermometerHeightCell(k + 1), v.thermometerIds[k], v.thermometerHeights[k],
              sensor::IdFamily::Thermometer);
    for (int n = 0; n < db::kMeterFields; ++n)
        place("meter", n + 1, sensor::densityIdCell(n + 1), sensor::densityHeightCell(n + 1),
              v.meterIds[n], v.meterHeights[n], sensor::IdFamily::DensityMeter);
    if (v.correction)
        report(QStringLiteral("correction=") + *v.correction,
               sensor::WriteLevelCorrection(link, s, tenths("level-correction", *v.correction))
                   .confirmed());
    if (v.criterion)
        report(QStringLiteral("criterion=") + *v.criterion,
               sensor::WriteFillCriterion(link, s, tenths("filling-criterion", *v.criterion))
                   .confirmed());
    sensor::FlagChanges changes;
    if (v.resetOnLinkLoss || v.resetOnDensity01)
        changes.reset = {v.resetOnLinkLoss.value_or(false), v.resetOnDensity01.value_or(false)};
    if (v.propagate)
        changes.propagate = *v.propagate;
    // The page unticks "единственный плотномер" before a load.
    if (v.separate)
        changes.channel = {!*v.separate, false};
    if (changes.any())
        report(QStringLiteral("flags"), sensor::WriteFlags(link, s, changes).confirmed());
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

// N_DU as the page gives it: the number of the factory record that holds
// the sensor's thermometers; -1 for none.
int factoryNumber(const QString& factory, const db::UserFields& fields) {
    QStringList ids;
    for (const QString& id : fields.thermometerIds)
        if (!id.isEmpty())
            ids << id;
    if (factory.isEmpty() || ids.isEmpty() || !db::CheckStructure(factory, false, false))
        return -1;
    const auto record = db::FindFactoryByIds(factory, ids, {});
    return record ? db::factoryNumber(*record) : -1;
}

// The words of db-save and db-load: FILE.dbf sensor N, and for db-save its
// options wherever they stand after the file.
struct DbWords {
    QString file;
    int number = 0;
    bool yes = false;
    QString factory;
};

std::optional<DbWords> dbWords(QStringList args, bool save) {
    DbWords w;
    for (int i = 1; save && i < args.size();) {
        if (args[i] == QLatin1String("--yes")) {
            w.yes = true;
            args.removeAt(i);
        } else if (args[i] == QLatin1String("--factory") && i + 1 < args.size()) {
            w.factory = args[i + 1];
            args.remove(i, 2);
        } else {
            ++i;
        }
    }
    bool ok = false;
    w.number = args.value(2).toInt(&ok);
    if (args.size() != 3 || args.value(1) != QLatin1String("sensor") || !ok || w.number < 1 ||
        w.number > 128)
        return std::nullopt;
    w.file = args[0];
    return w;
}

QString dbSaveWrongWords(const QStringList& args) {
    return dbWords(args, true) ? QString() : commandUsage(QStringLiteral("db-save"));
}

QString dbLoadWrongWords(const QStringList& args) {
    return dbWords(args, false) ? QString() : commandUsage(QStringLiteral("db-load"));
}

int runDbCommand(bus::SerialLink& link, const CliOptions& o) {
    const bool save = o.command == QLatin1String("db-save");
    const std::optional<DbWords> words = dbWords(o.commandArgs, save);
    if (!words)
        return fail(commandUsage(o.command));
    const int number = words->number;
    const bool yes = words->yes;
    QString factory = words->factory;
    const QString path = save ? db::userFilePath(words->file) : words->file;
    // Loading needs a user file; saving may create one.
    if (!save || QFileInfo::exists(path)) {
        if (const QString problem = inputFileProblem(path); !problem.isEmpty())
            return fail(problem);
        if (!db::CheckStructure(path, true, false))
            return fail(QStringLiteral("%1: %2").arg(path, kBadStructure));
    }
    // A factory database named but unreadable would leave N_DU empty
    // under "СВОЙСТВА СОХРАНЕНЫ": refused before the line is touched.
    if (save && !factory.isEmpty()) {
        if (const QString problem = inputFileProblem(factory); !problem.isEmpty())
            return fail(problem);
        if (!db::CheckStructure(factory, false, false))
            return fail(QStringLiteral("%1: %2").arg(factory, kBadStructure));
    }
    // Without --factory, the factory database beside the user file, as the
    // window finds one in its folder.
    if (save && factory.isEmpty())
        factory = db::FindFactoryBase(QFileInfo(path).absolutePath());
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
    db::SensorRecord read;
    {
        const bus::TransitScope transit(link, route.controller.value_or(0),
                                        route.controller.has_value());
        read = db::ReadSensorRecord(link, s);
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // Nothing half-read replaces what the file holds.
    if (read.outcome == db::RecordRead::NoAnswer)
        return noAnswer(sensorName(s));
    if (read.outcome == db::RecordRead::Incomplete)
        return fail(db::notSavedText(s, read.missing), 1);
    bool asked = false;
    const db::SaveResult r =
        db::SaveUserRecord(path, read.fields, factoryNumber(factory, read.fields),
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
