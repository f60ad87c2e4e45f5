#pragma once

#include "link/Command.h"

#include <cstdint>
#include <span>

namespace bus {

class SerialLink;

// One request and its answer, taken as the command catalogue says for that
// form: AwaitReply's data length or -1, ReceiveRaw's character count (0 for
// nothing), 0 for a form that is not awaited. A form with more than one try
// is sent again while the answer falls short of needs data bytes (any
// character for a raw answer). A form the catalogue does not know sends
// nothing and gives -1.
int Exchange(SerialLink& link, Target target, std::uint8_t address, std::uint8_t code, Form form,
             std::span<const std::uint8_t> payload = {}, int needs = 0);

// The answer half alone, for an answer that follows another one.
int TakeAnswer(SerialLink& link, Target target, std::uint8_t code, Form form);

// The same, for the usual targets.
inline int AskController(SerialLink& link, std::uint8_t address, std::uint8_t code, Form form,
                         std::span<const std::uint8_t> payload = {}, int needs = 0) {
    return Exchange(link, Target::Controller, address, code, form, payload, needs);
}
inline int AskSensor(SerialLink& link, std::uint8_t address, std::uint8_t code, Form form,
                     std::span<const std::uint8_t> payload = {}, int needs = 0) {
    return Exchange(link, Target::Sensor, address, code, form, payload, needs);
}

} // namespace bus
