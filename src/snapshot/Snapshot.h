#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QString>

#include <map>
#include <optional>
#include <utility>
#include <vector>

// A record of how an installation was left: every setting of every
// controller and sensor on the line, as one JSON document. A value that got
// no reply is kept as null (missing), never as 0.
namespace snapshot {

inline constexpr int kFormatVersion = 1;
inline const char* const kFormatName = "orvant2-snapshot";
// Larger files are refused before they are read.
inline constexpr qint64 kMaxSnapshotBytes = 8 * 1024 * 1024;

using Values = std::map<QString, QJsonValue>; // key -> value, null when missing

// A controller by its number (index + 1), a sensor by its number (address
// + 1) with the number of the controller that serves it (0: none).
struct Device {
    int number = 0;
    int controller = 0;
    Values values;
    bool operator==(const Device&) const = default;
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
// Written whole or not at all.
bool writeSnapshot(const QString& path, const Snapshot& s, QString* error);
std::optional<Snapshot> readSnapshot(const QString& path, QString* error);

// A value as a person reads it: "—" for missing.
QString valueText(const QJsonValue& v);

} // namespace snapshot
