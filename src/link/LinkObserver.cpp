#include "link/LinkObserver.h"

#include "link/Command.h"
#include "link/FrameCodec.h"

namespace bus {

QByteArray printableChars(QByteArrayView chars) {
    QByteArray out;
    for (char c : chars) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F)
            out.append(c);
        else
            out.append('<')
                .append(QByteArray::number(u, 16).toUpper().rightJustified(2, '0'))
                .append('>');
    }
    return out;
}

} // namespace bus

namespace bus {

QByteArray describeRequest(QByteArrayView frame) {
    QByteArray out = printableChars(frame);
    if (const auto request = decodeRequest(frame)) {
        const char* name = commandName(request->address, request->command);
        if (*name)
            out.append("  ").append(name);
    }
    return out;
}

} // namespace bus
