#include "db/UserLoadSettings.h"

#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"

namespace db {
namespace {

// The row's value of text, or its refusal.
void take(const app::Setting& row, const QString& text, LoadedSettings& out) {
    if (const auto v = row.parse(text))
        out.marked[row.key] = *v;
    else
        out.refusals << row.refusal(text);
}

void takePlaces(sensor::PlaceKind kind, int count, const std::optional<QString>* ids,
                const std::optional<int>* heights, LoadedSettings& out) {
    using sensor::PlaceField;
    for (int k = 0; k < count; ++k) {
        // A place goes with its height; an identifier alone is shown, not
        // marked.
        const app::Setting& id = *sensor::placeSetting(kind, k + 1, PlaceField::Id);
        if (ids[k] && !heights[k])
            out.shown[id.key] = *ids[k];
        if (!ids[k] || !heights[k])
            continue;
        take(id, *ids[k], out);
        take(*sensor::placeSetting(kind, k + 1, PlaceField::Height), QString::number(*heights[k]),
             out);
    }
}

const app::Setting& row(const char* key) {
    return sensor::sensorSetting(QLatin1String(key));
}

} // namespace

LoadedSettings loadedSettings(const UserLoad& v) {
    LoadedSettings out;
    takePlaces(sensor::PlaceKind::Thermometer, kThermometerFields, v.thermometerIds.data(),
               v.thermometerHeights.data(), out);
    takePlaces(sensor::PlaceKind::DensityMeter, kMeterFields, v.meterIds.data(),
               v.meterHeights.data(), out);
    if (v.size)
        out.shown[row("size").key] = *v.size;
    if (v.correction)
        take(row("level-correction"), *v.correction, out);
    if (v.criterion)
        take(row("filling-criterion"), *v.criterion, out);
    // The page unticks both before a load: a flag the record lacks is off.
    if (v.resetOnLinkLoss || v.resetOnDensity01) {
        const app::Setting& linkLoss = row("reset-on-link-loss");
        out.marked[linkLoss.key] = v.resetOnLinkLoss.value_or(false);
        out.marked[linkLoss.partner] = v.resetOnDensity01.value_or(false);
    }
    if (v.propagate)
        out.marked[row("propagate-after-filling").key] = *v.propagate;
    if (v.separate) {
        // The file keeps the channel alone; the single meter goes off with it.
        const app::Setting& channel = row("density-channel");
        out.marked[channel.key] = channel.decode(*v.separate ? 0 : 1);
        out.marked[channel.partner] = false;
    }
    return out;
}

std::vector<app::NotWritten> WriteLoadedSettings(bus::SerialLink& link, std::uint8_t s,
                                                 const app::SettingValues& marked,
                                                 const app::Progress& progress) {
    std::vector<const app::Setting*> rows;
    for (const auto& [key, value] : marked)
        rows.push_back(&sensor::sensorSetting(key));
    return app::WriteSettings(link, app::SettingTarget{s, {}, false}, rows, marked, progress);
}

} // namespace db
