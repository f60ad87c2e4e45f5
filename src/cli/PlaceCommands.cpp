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

// One place: identifier, height and, for a density meter, its correction.
struct PlaceWrite {
    bool density = false;
    int place = 0;
    std::optional<sensor::Identifier> id;
    int height = 0;
    std::optional<float> correction;
};

int writePlace(bus::SerialLink& link, std::uint8_t s, const PlaceWrite& w) {
    const std::uint8_t heightCell =
        w.density ? sensor::densityHeightCell(w.place) : sensor::thermometerHeightCell(w.place);
    const std::uint8_t idCell =
        w.density ? sensor::densityIdCell(w.place) : sensor::thermometerIdCell(w.place);
    // Each write says why it was not taken, as the properties page does.
    std::vector<app::NotWritten> failed;
    bool some = false;
    auto note = [&](const char* field, const app::WriteOutcome& done) {
        some = some || done.confirmed();
        if (!done)
            failed.push_back(
                {&sensor::sensorSetting(
                     QStringLiteral("%1.%2.%3")
                         .arg(w.density ? QStringLiteral("meter") : QStringLiteral("thermometer"))
                         .arg(w.place)
                         .arg(QLatin1String(field))),
                 *done.fault});
    };
    // Break between writes: nothing more is sent.
    const ConsoleProgress progress;
    auto unlessBreak = [&](auto write) {
        return progress.breakRequested() ? app::refused(app::WriteFault::Interrupted) : write();
    };
    note("height", unlessBreak([&] { return sensor::WriteHeight(link, s, heightCell, w.height); }));
    note("id", unlessBreak([&] { return sensor::WriteIdentifier(link, s, idCell, *w.id); }));
    if (w.correction)
        note("correction", unlessBreak([&] {
                 return sensor::WriteDensityCorrection(link, s, w.place, *w.correction);
             }));
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (!failed.empty())
        return fail(app::writeResultText(failed, some, true), 1);
    std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
    return 0;
}

std::optional<PlaceWrite> parsePlace(const QStringList& words, bool density, QString* error) {
    PlaceWrite w;
    w.density = density;
    const int count = static_cast<int>(words.size());
    if (count != 4 && !(density && count == 5)) {
        *error = density ? QStringLiteral("densitymeter I ID HEIGHT [CORRECTION]")
                         : QStringLiteral("thermometer I ID HEIGHT");
        return std::nullopt;
    }
    w.place = sensor::parseWhole(words[1]).value_or(0);
    QString id = words[2].toUpper();
    // A short density identifier is completed as the entry field does it.
    if (density && id.size() <= 4)
        id = sensor::densityIdOnEnter(id);
    const sensor::IdFamily family =
        density ? sensor::IdFamily::DensityMeter : sensor::IdFamily::Thermometer;
    const sensor::IdCheck check = sensor::parseIdentifier(id, family);
    w.id = check.id;
    if (w.place < 1 || w.place > sensor::kPlaces) {
        *error = QStringLiteral("место — от 1 до 8");
        return std::nullopt;
    }
    const QString kind = density ? QStringLiteral("meter") : QStringLiteral("thermometer");
    auto value = [&](const char* field, const QString& text) {
        const app::Setting& row = sensor::sensorSetting(
            QStringLiteral("%1.%2.%3").arg(kind).arg(w.place).arg(QLatin1String(field)));
        const auto v = row.parse(text);
        if (!v && error->isEmpty())
            *error = row.refusal(text);
        return v ? v->toDouble() : 0.0;
    };
    if (check.problem)
        *error = sensor::idRefusal(QStringLiteral("%1 %2").arg(words[0]).arg(w.place), words[2],
                                   *check.problem, family);
    w.height = static_cast<int>(value("height", words[3]));
    if (count == 5)
        w.correction = static_cast<float>(value("correction", words[4]));
    if (!error->isEmpty())
        return std::nullopt;
    return w;
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
        const auto w = parsePlace(words, verb == QLatin1String("densitymeter"), error);
        if (!w)
            return std::nullopt;
        return SensorAction(
            [w = *w](bus::SerialLink& l, std::uint8_t s) { return writePlace(l, s, w); });
    }
    return std::nullopt;
}

} // namespace cli
