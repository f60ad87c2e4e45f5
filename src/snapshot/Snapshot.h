#pragma once

#include "app/Setting.h"

#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace app {
struct ControllerLayout;
}

// A record of how an installation was left: every setting of every
// controller and sensor on the line, as one JSON document, keyed and valued
// as the settings catalogue has them (in the pages' units). A value that
// got no reply is kept as null (missing), never as 0; a place that answered
// empty is "empty".
namespace snapshot {

// Format 1 kept the devices' own numbers; it is converted on reading.
inline constexpr int kFormatVersion = 2;
inline const char* const kFormatName = "orvant2-snapshot";
// Larger files are refused before they are read.
inline constexpr qint64 kMaxSnapshotBytes = 8 * 1024 * 1024;

using Values = app::SettingValues; // key -> value, null when missing

// A controller by its number (index + 1), a sensor by its number (address
// + 1) with the number of the controller that serves it (0: none).
struct Device {
    int number = 0;
    int controller = 0;
    Values values;
    // Numbers and flags as the file wrote them ("1.250", "1e2", "true"), by
    // key: a refusal quotes what the engineer sees in the file, not what it
    // parsed to. Empty for a device read from the line.
    std::map<QString, QString> written = {};
    // Values a walk over the line asked and got no reply to (a null that is
    // the device's own "none" is not among them); not kept in the file.
    int unanswered = 0;
    bool operator==(const Device& o) const {
        return number == o.number && controller == o.controller && values == o.values;
    }
};

struct Snapshot {
    QDateTime time;
    int controllerType = 1;
    std::vector<std::pair<QString, QString>> layout; // configuration keys
    std::vector<Device> controllers;
    std::vector<Device> sensors;

    const Device* controller(int number) const;
    const Device* sensor(int number) const;
};

QByteArray toJson(const Snapshot& s);
// Nothing, with the reason in error, for text that is not a snapshot of
// this format version.
std::optional<Snapshot> fromJson(const QByteArray& text, QString* error);
// Written whole or not at all, readable by its owner only: it holds the
// passwords.
bool writeSnapshot(const QString& path, const Snapshot& s, QString* error);
// Whether a snapshot of the installation of layout would fit at path;
// asked before the walk over the line, which takes minutes, not after it.
bool roomForSnapshot(const QString& path, const app::ControllerLayout& layout, QString* error);
std::optional<Snapshot> readSnapshot(const QString& path, QString* error);

// The catalogue row of a key of a sensor (its alarm set-up included) or
// of a controller; null for a key the catalogue does not know.
const app::Setting* settingOf(bool sensor, const QString& key);
// A value as the CLI prints it ("-1.5"), and as a window or report shows
// it ("−1.5", "—" for missing).
QString valueText(bool sensor, const QString& key, const QJsonValue& v);
// A value of d as a refusal quotes it: as the file wrote it, else a number
// in full (never rounded to the field's step), a text as it is.
QString writtenText(const Device& d, bool sensor, const QString& key, const QJsonValue& v);
QString shownValue(bool sensor, const QString& key, const QJsonValue& v);
// "Поправка по уровню, мм"; the key itself for one the catalogue lacks.
QString settingCaption(bool sensor, const QString& key);

} // namespace snapshot
