#include "db/SensorRecord.h"

#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"
#include "sensor/SettingText.h"

namespace db {
namespace {

// The separator the page would show: files from the page and from here read
// the same.
QString tenthsText(int tenths) {
    return sensor::decimalText(tenths * 0.1, 1);
}

} // namespace

bool placesRead(const sensor::Places& places, int count) {
    for (int k = 0; k < count; ++k)
        if (!places[k].answered || (!places[k].id.isEmpty() && !places[k].height))
            return false;
    return true;
}

QStringList unansweredGroups(const sensor::SensorGroups& g) {
    QStringList missing;
    if (!g.sizeMm)
        missing << QStringLiteral("size");
    if (!g.levelCorrectionTenths)
        missing << QStringLiteral("level-correction");
    if (!g.flags)
        missing << QStringLiteral("flags");
    if (!g.fillCriterionTenths)
        missing << QStringLiteral("filling-criterion");
    return missing;
}

QString notSavedText(std::uint8_t sensor, const QStringList& missing) {
    return QStringLiteral("датчик %1: НЕ СОХРАНЕНО, нет ответа: %2")
        .arg(sensor + 1)
        .arg(missing.join(QStringLiteral(", ")));
}

SensorRecord ReadSensorRecord(bus::SerialLink& link, std::uint8_t s) {
    SensorRecord r;
    UserFields& f = r.fields;
    f.address = s;
    const sensor::SensorGroups g = sensor::ReadSensorGroups(link, s);
    r.missing = unansweredGroups(g);
    auto missing = [&r](bool read, const char* group) {
        if (!read)
            r.missing << QLatin1String(group);
        return read;
    };
    if (g.sizeMm)
        f.size = QString::number(*g.sizeMm);
    if (g.levelCorrectionTenths)
        f.correction = tenthsText(*g.levelCorrectionTenths);
    if (g.fillCriterionTenths)
        f.criterion = tenthsText(*g.fillCriterionTenths);
    if (g.flags) {
        f.resetOnLinkLoss = *g.flags & sensor::flag::ResetOnLinkLoss;
        f.resetOnDensity01 = *g.flags & sensor::flag::ResetOnDensity01;
        f.propagate = *g.flags & sensor::flag::Propagate;
        f.separate = !(*g.flags & sensor::flag::Combined);
    }
    // A sensor silent to all four is not asked for its sixteen places.
    if (r.missing.size() == 4)
        return r;
    const sensor::Places t = sensor::ReadThermometers(link, s);
    missing(placesRead(t, kThermometerFields), "thermometers");
    for (int k = 0; k < kThermometerFields; ++k) {
        f.thermometerIds[k] = t[k].id;
        if (t[k].height)
            f.thermometerHeights[k] = QString::number(*t[k].height);
    }
    const sensor::Places d = sensor::ReadDensityMeters(link, s);
    missing(placesRead(d, kMeterFields), "density meters");
    for (int n = 0; n < kMeterFields; ++n) {
        f.meterIds[n] = d[n].id;
        if (d[n].height)
            f.meterHeights[n] = QString::number(*d[n].height);
    }
    r.outcome = r.missing.isEmpty() ? RecordRead::Complete : RecordRead::Incomplete;
    return r;
}

} // namespace db
