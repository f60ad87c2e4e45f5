#include "cli/DbCommands.h"

#include "cli/ConsoleProgress.h"
#include "cli/InputFile.h"
#include "cli/LineLayout.h"
#include "db/SensorRecord.h"
#include "db/UserDatabase.h"
#include "db/UserLoadSettings.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace cli {
namespace {

const QString kBadStructure = QStringLiteral("Неподходящая структура файла.");

// What "УСТАНОВИТЬ" sends after a load, written by the load's one
// workflow: each value on its line, with what came of it.
int writeToSensor(bus::SerialLink& link, std::uint8_t s, const app::SettingValues& marked) {
    const std::vector<app::NotWritten> failed =
        db::WriteLoadedSettings(link, s, marked, ConsoleProgress());
    // In the order they were written.
    std::vector<const app::Setting*> rows;
    for (const auto& [key, value] : marked)
        rows.push_back(&sensor::sensorSetting(key));
    std::stable_sort(rows.begin(), rows.end(), [](const app::Setting* a, const app::Setting* b) {
        return std::pair(a->operation->order, a->place) < std::pair(b->operation->order, b->place);
    });
    for (const app::Setting* row : rows) {
        const auto it = std::find_if(failed.begin(), failed.end(),
                                     [&](const app::NotWritten& n) { return n.row == row; });
        std::printf("%s=%s %s\n", qPrintable(row->key),
                    qPrintable(row->text(app::valueOf(marked, row->key))),
                    it == failed.end()
                        ? "ЗАПИСАНО"
                        : qPrintable(QStringLiteral("НЕ ЗАПИСАНО — ") + app::writeFaultText(it->fault)));
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!failed.empty())
        return fail(app::writeResultText(failed, failed.size() < marked.size(), true), 1);
    return 0;
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
    db::LoadedSettings loaded;
    if (!save) {
        const db::LoadResult record = db::LoadUserRecord(path, s, {});
        if (record.outcome == db::LoadOutcome::NoSuchAddress)
            return fail(QStringLiteral("ТАКОГО АДРЕСА НЕТ В БАЗЕ"), 1);
        if (record.outcome != db::LoadOutcome::Loaded)
            return fail(QStringLiteral("%1: Исходный файл не открывается").arg(path), 1);
        // A record with one value the catalogue refuses is refused whole.
        loaded = db::loadedSettings(record.values);
        if (!loaded.refusals.isEmpty())
            return fail(loaded.refusals.join(QLatin1Char('\n')));
        if (loaded.marked.empty())
            return fail(app::kNothingToWrite);
    }
    ConsoleProgress progress;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route))
        return code;
    if (!save) {
        const bus::TransitScope transit(link, route.controller.value_or(0),
                                        route.controller.has_value());
        return writeToSensor(link, s, loaded.marked);
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
