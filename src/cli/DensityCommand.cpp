#include "cli/DensityCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/LineLayout.h"
#include "density/DensityService.h"
#include "link/SerialLink.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SettingText.h"
#include "sensor/StatusDecoder.h"

#include <cstdio>

namespace cli {
namespace {

void print(const char* key, const density::Field& f) {
    std::printf("%s=%s\n", key, qPrintable(f.text));
}

int showAll(bus::SerialLink& link, std::uint8_t s, int meter) {
    const sensor::StatusDecoder decoder;
    const density::AllValues a = density::ReadAll(link, s, meter, decoder);
    print("status", a.status);
    print("version", a.version);
    print("adc1", a.adc1);
    print("disp1", a.disp1);
    print("adc2", a.adc2);
    print("disp2", a.disp2);
    print("base-density", a.baseDensity);
    print("density", a.density);
    print("base-density-difference", a.baseDensityDifference);
    print("corrected-density", a.correctedDensity);
    print("base-temperature", a.baseTemperature);
    print("temperature", a.temperature);
    print("correction", a.correction);
    for (const QString& line : a.memo)
        std::printf("text=%s\n", qPrintable(line));
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    return a.complete ? 0 : noAnswer(sensorName(s));
}

// The meters the sensor has, as ЗАПРОСИТЬ finds them: number, identifier
// and height of each present one, then how many. A search the sensor did
// not answer says so in the page's words, and exits 1.
int search(bus::SerialLink& link, std::uint8_t s) {
    ConsoleProgress progress;
    const density::MeterSearch r = density::FindDensityMeters(link, s, progress);
    if (!link.isOpen())
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (r.stopped)
        return fail(QStringLiteral("%1: ПОИСК ПРЕРВАН").arg(sensorName(s)), 1);
    const QString failed = density::searchFailureText(r);
    if (failed.isEmpty() || r.unanswered < r.asked) {
        int found = 0;
        for (int i = 0; i < density::kMeters; ++i) {
            const auto& m = r.meters[i];
            if (!m.present)
                continue;
            ++found;
            std::printf("%d\t%s\t%s\n", i + 1, qPrintable(m.id),
                        qPrintable(m.height ? QString::number(*m.height) : QString()));
        }
        if (failed.isEmpty())
            std::printf("found=%d\n", found);
    }
    return failed.isEmpty() ? 0 : fail(QStringLiteral("%1: %2").arg(sensorName(s), failed), 1);
}

enum class DensityAction { Show, SetCorrection, Initialise, Search };

// The words after the command, settled before the line is touched.
struct DensityWords {
    int number = 0;
    int meter = 1;
    DensityAction what = DensityAction::Show;
    float correction = 0;
};

std::optional<DensityWords> densityWords(QStringList args, QString* error) {
    DensityWords w;
    bool ok = false;
    w.number = args.isEmpty() ? 0 : args.takeFirst().toInt(&ok);
    if (args.size() >= 2 && args[0] == QLatin1String("--meter")) {
        w.meter = sensor::parseWhole(args[1]).value_or(0);
        args = args.mid(2);
    }
    QString correctionText;
    if (args.size() == 2 && args[0] == QLatin1String("set-correction")) {
        w.what = DensityAction::SetCorrection;
        correctionText = args[1];
    } else if (args.size() == 1 && args[0] == QLatin1String("--init")) {
        w.what = DensityAction::Initialise;
    } else if (args.size() == 1 && args[0] == QLatin1String("--search")) {
        w.what = DensityAction::Search;
    } else if (!args.isEmpty()) {
        *error = commandUsage(QStringLiteral("density"));
        return std::nullopt;
    }
    if (!ok || w.number < 1 || w.number > 128 || w.meter < 1 || w.meter > density::kMeters) {
        *error = QStringLiteral("density N [--meter M]: N от 1 до 128, M от 1 до 8");
        return std::nullopt;
    }
    if (w.what == DensityAction::SetCorrection) {
        // The meter's correction row of the catalogue says what it takes.
        const app::Setting& row = *sensor::placeSetting(sensor::PlaceKind::DensityMeter, w.meter,
                                                        sensor::PlaceField::Correction);
        const auto correction = row.parse(correctionText);
        if (!correction || !correction->isDouble()) {
            *error = row.refusal(correctionText);
            return std::nullopt;
        }
        w.correction = static_cast<float>(correction->toDouble());
    }
    return w;
}

} // namespace

QString densityWrongWords(const QStringList& args) {
    QString error;
    return densityWords(args, &error) ? QString() : error;
}

int runDensityCommand(bus::SerialLink& link, const CliOptions& o) {
    QString error;
    const std::optional<DensityWords> w = densityWords(o.commandArgs, &error);
    if (!w)
        return fail(error);
    const int number = w->number;
    const int meter = w->meter;
    ConsoleProgress progress;
    SensorRoute route;
    if (const int code = sensorRouteFor(link, o, progress, number, route))
        return code;
    const auto s = static_cast<std::uint8_t>(number - 1);
    const bus::TransitScope transit(link, route.controller.value_or(0),
                                    route.controller.has_value());
    if (w->what == DensityAction::Show)
        return showAll(link, s, meter);
    if (w->what == DensityAction::Search)
        return search(link, s);
    if (w->what == DensityAction::SetCorrection) {
        const app::WriteOutcome done = sensor::WriteDensityCorrection(link, s, meter, w->correction);
        const app::Setting& row = *sensor::placeSetting(sensor::PlaceKind::DensityMeter, meter,
                                                        sensor::PlaceField::Correction);
        if (!done)
            return fail(app::notWrittenText({{&row, *done.fault}}, false), 1);
        std::printf("ЗАПИСЬ ЗАВЕРШЕНА\n");
        return 0;
    }
    if (!density::InitialiseMeter(link, s, meter))
        return fail(QStringLiteral("СБОЙ ИНИЦИАЛИЗАЦИИ"), 1);
    std::printf("ПОПРАВКА ЗАПИСАНА. ОЖИДАНИЕ ЗАВЕРШЕНИЯ.\n");
    return 0;
}

} // namespace cli
