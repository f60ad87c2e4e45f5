#pragma once

#include "app/Setting.h"
#include "db/UserDatabase.h"

#include <QStringList>

#include <cstdint>
#include <vector>

namespace bus {
class SerialLink;
}

// A user file's record on its way into a sensor: what the window's
// "Загрузить" marks and its "УСТАНОВИТЬ" buttons then write, and what
// "db-load" writes at once. Both take the record through here.
namespace db {

struct LoadedSettings {
    // The values a load marks for writing, by the catalogue's keys: a place
    // with its identifier and height, level correction, filling criterion
    // and the flag groups the record holds.
    app::SettingValues marked;
    // The values a load shows without marking them: the size, an
    // identifier that came without its height.
    app::SettingValues shown;
    // The values the catalogue refuses, each with why: a record with one is
    // refused whole and nothing of it is sent.
    QStringList refusals;
};
LoadedSettings loadedSettings(const UserLoad& record);

// Writes the marked values of a load through their rows, in the
// catalogue's order (places first, a place's identifier before its height,
// then the sensor's own settings). After a Break nothing more is sent; the
// rows not written come back with their reasons. The caller holds transit.
std::vector<app::NotWritten> WriteLoadedSettings(bus::SerialLink& link, std::uint8_t sensor,
                                                 const app::SettingValues& marked,
                                                 const app::Progress& progress);

} // namespace db
