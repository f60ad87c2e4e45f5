#include "cli/PlaceCommands.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "link/SerialLink.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SettingText.h"

#include <cstdio>

namespace cli {
namespace {

QString orEmpty(const std::optional<int>& v) {
    return v ? QString::number(*v) : QString();
}

int listPlaces(bus::SerialLink& link, std::uint8_t s, bool density) {
    const sensor::Places places =
        density ? sensor::ReadDensityMeters(link, s) : sensor::ReadThermometers(link, s);
    for (int i = 0; i < sensor::kPlaces; ++i) {
        const sensor::Place& p = places[i];
        QString line = QStringLiteral("%1\t%2\t%3").arg(i + 1).arg(p.id, orEmpty(p.height));
        if (density)
            line += QLatin1Char('\t') +
                    (p.correction ? sensor::decimalText(*p.correction, 1) : QString());
        std::printf("%s\n", qPrintable(line));
    }
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    // Empty rows are the truth only from a sensor that answered for them.
    QStringList silent;
    for (int i = 0; i < sensor::kPlaces; ++i)
        if (!places[i].answered)
            silent << QString::number(i + 1);
    if (silent.size() == sensor::kPlaces)
        return noAnswer(sensorName(s));
    if (!silent.isEmpty())
        return fail(QStringLiteral("%1: нет ответа для мест %2")
                        .arg(sensorName(s), silent.join(QStringLiteral(", "))),
                    1);
    return 0;
}

int search(bus::SerialLink& link, std::uint8_t s) {
    const sensor::SearchResult r = sensor::SearchThermometers(link, s);
    // A search that did not end is no "found=0": the page's words, and exit 1.
    if (r.end != sensor::SearchEnd::Done)
        return fail(QStringLiteral("%1: %2").arg(sensorName(s), sensor::searchText(r)), 1);
    for (const QString& id : r.ids)
        std::printf("%s\n", qPrintable(id));
    std::printf("found=%d\n", r.found);
    return 0;
}

// One place: identifier, height and, for a density meter, its correction,
// as the catalogue keeps them; written by the one places workflow the
// properties page uses too.
int writePlace(bus::SerialLink& link, std::uint8_t s, const app::SettingValues& values) {
    const std::vector<app::NotWritten> failed =
        sensor::WritePlaces(link, s, values, ConsoleProgress());
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!failed.empty())
        return fail(app::writeResultText(failed, failed.size() < values.size(), true), 1);
    std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
    return 0;
}

std::optional<app::SettingValues> parsePlace(const QStringList& words, bool density,
                                             QString* error) {
    const int count = static_cast<int>(words.size());
    if (count != 4 && !(density && count == 5)) {
        *error = density ? QStringLiteral("densitymeter I ID HEIGHT [CORRECTION]")
                         : QStringLiteral("thermometer I ID HEIGHT");
        return std::nullopt;
    }
    const int place = sensor::parseWhole(words[1]).value_or(0);
    if (place < 1 || place > sensor::kPlaces) {
        *error = QStringLiteral("место — от 1 до 8");
        return std::nullopt;
    }
    QString id = words[2].toUpper();
    // A short density identifier is completed as the entry field does it.
    if (density && id.size() <= 4)
        id = sensor::densityIdOnEnter(id);
    const sensor::PlaceKind kind =
        density ? sensor::PlaceKind::DensityMeter : sensor::PlaceKind::Thermometer;
    app::SettingValues values;
    auto take = [&](sensor::PlaceField field, const QString& text, const QString& name) {
        const app::Setting& row = *sensor::placeSetting(kind, place, field);
        const auto v = row.parse(text);
        if (!v && error->isEmpty())
            *error = row.refusal(text, name);
        if (v)
            values[row.key] = *v;
    };
    take(sensor::PlaceField::Id, id, QStringLiteral("%1 %2").arg(words[0]).arg(place));
    take(sensor::PlaceField::Height, words[3], {});
    if (count == 5)
        take(sensor::PlaceField::Correction, words[4], {});
    if (!error->isEmpty())
        return std::nullopt;
    return values;
}

} // namespace

std::optional<SensorAction> placeCommand(const QStringList& words, QString* error) {
    const QString verb = words.value(0);
    if (verb == QLatin1String("thermometers") || verb == QLatin1String("densitymeters")) {
        const bool density = verb == QLatin1String("densitymeters");
        const bool searching =
            !density && words.size() == 2 && words[1] == QLatin1String("--search");
        if (words.size() != 1 && !searching) {
            *error =
                QStringLiteral("%1: лишние слова%2")
                    .arg(verb, density ? QString() : QStringLiteral(" (можно только --search)"));
            return std::nullopt;
        }
        if (searching)
            return SensorAction(search);
        return SensorAction(
            [density](bus::SerialLink& l, std::uint8_t s) { return listPlaces(l, s, density); });
    }
    if (verb == QLatin1String("thermometer") || verb == QLatin1String("densitymeter")) {
        const auto values = parsePlace(words, verb == QLatin1String("densitymeter"), error);
        if (!values)
            return std::nullopt;
        return SensorAction([values = *values](bus::SerialLink& l, std::uint8_t s) {
            return writePlace(l, s, values);
        });
    }
    return std::nullopt;
}

} // namespace cli
