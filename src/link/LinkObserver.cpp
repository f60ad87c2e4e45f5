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

void ReceivedLines::add(qint64 ms, QByteArrayView chars) {
    for (const char c : chars) {
        // A reply ends with "*" and its CR; anything else after the "*"
        // starts the next line.
        if (m_starSeen && c != '\r')
            flush();
        if (m_pending.isEmpty())
            m_since = ms;
        m_pending.append(c);
        if (m_starSeen && c == '\r') {
            flush();
            continue;
        }
        m_starSeen = c == '*';
    }
}

void ReceivedLines::flush() {
    m_starSeen = false;
    if (m_pending.isEmpty())
        return;
    m_line(m_since, m_pending);
    m_pending.clear();
}

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
