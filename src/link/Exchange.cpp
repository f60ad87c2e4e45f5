#include "link/Exchange.h"

#include "link/SerialLink.h"

namespace bus {
namespace {

int take(SerialLink& link, const Answer& a) {
    switch (a.kind) {
    case AnswerKind::AwaitReply:
        return link.AwaitReply(a.waitMs, a.checkAddress);
    case AnswerKind::ReceiveRaw:
        return link.ReceiveRaw(a.waitMs);
    case AnswerKind::NotAwaited:
        break;
    }
    return 0;
}

bool enough(const Answer& a, int result, int needs) {
    if (a.kind == AnswerKind::ReceiveRaw)
        return result >= std::max(needs, 1);
    return result >= needs;
}

} // namespace

int Exchange(SerialLink& link, Target target, std::uint8_t address, std::uint8_t code, Form form,
             std::span<const std::uint8_t> payload, int needs) {
    const Answer* a = findAnswer(target, code, form);
    if (!a)
        return -1;
    // Refused by its form, before the frame is even built.
    if (a->writes && link.readOnly()) {
        link.refuseWrite(address, code);
        return a->kind == AnswerKind::ReceiveRaw ? 0 : -1;
    }
    int result = -1;
    for (int t = 0; t < a->tries; ++t) {
        link.SendRequest(address, code, payload);
        result = take(link, *a);
        if (a->kind == AnswerKind::NotAwaited || enough(*a, result, needs))
            break;
    }
    return result;
}

int TakeAnswer(SerialLink& link, Target target, std::uint8_t code, Form form) {
    const Answer* a = findAnswer(target, code, form);
    return a ? take(link, *a) : -1;
}

} // namespace bus
