#pragma once

#include "link/Command.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace bus {

class SerialLink;

// A text a device sends (its version, its date): up to the first zero byte,
// which devices send as its end, in the Windows Cyrillic code page they use.
QString deviceText(const std::uint8_t* bytes, int length);

// The version (0x01) or date (0x02) text of a controller or sensor; nothing
// when no answer with at least one byte came.
std::optional<QString> ReadDeviceText(SerialLink& link, Target target, std::uint8_t address,
                                      std::uint8_t code);

} // namespace bus
