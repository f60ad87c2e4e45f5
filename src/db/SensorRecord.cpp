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

QStringList unreadPlaces(const sensor::Places& places, sensor::PlaceKind kind, int count) {
    using sensor::PlaceField;
    QStringList missing;
    for (int k = 0; k < count; ++k) {
        if (!places[k].answered)
            missing << sensor::placeSetting(kind, k + 1, PlaceField::Id)->key;
        else if (!places[k].id.isEmpty() && !places[k].height)
            missing << sensor::placeSetting(kind, k + 1, PlaceField::Height)->key;
    }
    return missing;
}

namespace {

// What a user file keeps of the sensor tab, by the read each comes with.
enum class Group { Size, Correction, Flags, Criterion };
const std::pair<const char*, Group> kKept[] = {
    {"size", Group::Size},
    {"level-correction", Group::Correction},
    {"reset-on-link-loss", Group::Flags},
    {"reset-on-density-0-1", Group::Flags},
    {"propagate-after-filling", Group::Flags},
    {"density-channel", Group::Flags},
    {"filling-criterion", Group::Criterion},
};

} // namespace

QStringList unansweredGroups(const sensor::SensorGroups& g) {
    QStringList missing;
    for (const auto& [key, group] : kKept) {
        const bool read = group == Group::Size         ? g.sizeMm.has_value()
                          : group == Group::Correction ? g.levelCorrectionTenths.has_value()
                          : group == Group::Flags      ? g.flags.has_value()
                                                       : g.fillCriterionTenths.has_value();
        if (!read)
            missing << sensor::sensorSetting(QLatin1String(key)).key;
    }
    return missing;
}

QStringList unreadKept(const app::SettingValues& values) {
    QStringList missing;
    for (const auto& [key, group] : kKept)
        if (app::valueOf(values, QLatin1String(key)).isNull())
            missing << QLatin1String(key);
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
    // A sensor silent to all four reads is not asked for its sixteen places.
    if (!g.sizeMm && !g.levelCorrectionTenths && !g.flags && !g.fillCriterionTenths)
        return r;
    const sensor::Places t = sensor::ReadThermometers(link, s);
    r.missing << unreadPlaces(t, sensor::PlaceKind::Thermometer, kThermometerFields);
    for (int k = 0; k < kThermometerFields; ++k) {
        f.thermometerIds[k] = t[k].id;
        if (t[k].height)
            f.thermometerHeights[k] = QString::number(*t[k].height);
    }
    const sensor::Places d = sensor::ReadDensityMeters(link, s);
    r.missing << unreadPlaces(d, sensor::PlaceKind::DensityMeter, kMeterFields);
    for (int n = 0; n < kMeterFields; ++n) {
        f.meterIds[n] = d[n].id;
        if (d[n].height)
            f.meterHeights[n] = QString::number(*d[n].height);
    }
    r.outcome = r.missing.isEmpty() ? RecordRead::Complete : RecordRead::Incomplete;
    return r;
}

} // namespace db
