#include "controller/ControllerWrite.h"

#include "app/ControllerTypes.h"
#include "controller/ControllerCatalogue.h"
#include "controller/ControllerSettings.h"

#include <algorithm>

namespace controller {

QString typeRefusal(int type, const QString& key, const QJsonValue& value) {
    const app::Setting* row = app::findSetting(controllerSettings(), key);
    if (!row || !row->writable())
        return QStringLiteral("нельзя записать \"%1\"").arg(key);
    if (!row->existsIn(type))
        return QStringLiteral("настройки \"%1\" нет у этого типа КИП").arg(key);
    // As many own addresses as the type's scan finds again.
    if (key == QLatin1String("address") && value.toInt() > addressEntries(type))
        return QStringLiteral("address \"%1\": у КИП-%2 допустимо от 1 до %3")
            .arg(value.toInt())
            .arg(QString::fromUtf8(app::controllerType(type).model))
            .arg(addressEntries(type));
    return {};
}

bool SettingsWriteResult::took(const QString& key) const {
    return std::find(confirmed.begin(), confirmed.end(), key) != confirmed.end();
}

SettingsWriteResult WriteControllerSettings(bus::SerialLink& link, std::uint8_t controller,
                                            int type, const app::SettingValues& values,
                                            const app::Progress& progress) {
    SettingsWriteResult r;
    std::vector<const app::Setting*> rows;
    for (const auto& [key, value] : values) {
        const app::Setting& row = controllerSetting(key);
        if (value.isNull() || !row.accepts(value) || !typeRefusal(type, key, value).isEmpty())
            r.failed.push_back({&row, app::WriteFault::BadValue});
        else
            rows.push_back(&row);
    }
    // The keys confirmed are listed in the order of their writes.
    std::stable_sort(rows.begin(), rows.end(), [](const app::Setting* a, const app::Setting* b) {
        return a->operation->order < b->operation->order;
    });
    const std::vector<app::NotWritten> unconfirmed =
        app::WriteSettings(link, app::SettingTarget{controller, {}, false}, rows, values, progress);
    for (const app::Setting* row : rows) {
        const bool failed = std::any_of(unconfirmed.begin(), unconfirmed.end(),
                                        [row](const app::NotWritten& n) { return n.row == row; });
        if (!failed)
            r.confirmed.push_back(row->key);
    }
    r.failed.insert(r.failed.end(), unconfirmed.begin(), unconfirmed.end());
    return r;
}

} // namespace controller
