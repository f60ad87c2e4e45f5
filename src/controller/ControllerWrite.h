#pragma once

#include "app/Setting.h"

#include <cstdint>
#include <vector>

namespace app {
class Progress;
}

// Writing a controller's own settings: one workflow for the configuration
// page and "controller K set".
namespace controller {

// Why the controller type does not take the value (a setting it does not
// have, an own address past what its scan finds again); empty when it does.
QString typeRefusal(int controllerType, const QString& key, const QJsonValue& value);

struct SettingsWriteResult {
    std::vector<app::NotWritten> failed; // each with its reason
    std::vector<QString> confirmed;      // keys the controller took
    bool took(const QString& key) const;
};

// Writes the given settings (keys of controllerSettings()) through their
// rows, in the operations' order: the own address last, so that every
// other write still finds the controller where it was. A key given as null,
// or one the type refuses, has nothing to send: it comes back as a bad
// value and nothing of it goes on the line.
SettingsWriteResult WriteControllerSettings(bus::SerialLink& link, std::uint8_t controller,
                                            int controllerType, const app::SettingValues& values,
                                            const app::Progress& progress);

} // namespace controller
