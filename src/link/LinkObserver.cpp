#include "link/LinkObserver.h"

#include "link/Command.h"
#include "link/FrameCodec.h"

#include <QDateTime>
#include <QStringList>

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

namespace bus {} // namespace bus

namespace bus {
namespace {

QString stamp(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString hexBytes(QByteArrayView bytes) {
    QStringList out;
    for (char c : bytes)
        out << QStringLiteral("%1")
                   .arg(static_cast<std::uint8_t>(c), 2, 16, QLatin1Char('0'))
                   .toUpper();
    return out.join(QLatin1Char(' '));
}

} // namespace

QString addressText(std::uint8_t address) {
    if (address == kSetAddressBroadcast)
        return QStringLiteral("все датчики");
    if (address == kReleaseBroadcast)
        return QStringLiteral("все КИП");
    if (address >= kControllerBase)
        return QStringLiteral("КИП %1").arg(address - kControllerBase + 1);
    return QStringLiteral("датчик %1").arg(address + 1);
}

LineMonitor::LineMonitor(Line line) : m_line(std::move(line)) {}

void LineMonitor::flush() {
    if (m_pending.isEmpty())
        return;
    m_line(stamp(m_pendingSince) + QStringLiteral(" <   | ") +
           QString::fromLatin1(printableChars(m_pending)));
    m_pending.clear();
}

void LineMonitor::requestResumed(std::uint8_t address, std::uint8_t command) {
    flush();
    m_address = address;
    m_command = command;
}

void LineMonitor::writeRefused(qint64 ms, std::uint8_t address, std::uint8_t command) {
    flush();
    m_address = address;
    m_command = command;
    m_line(stamp(ms) + QStringLiteral(" > ") + addressText(address) + QStringLiteral("  ") +
           QLatin1String(commandName(address, command)) + QStringLiteral("  !! ") +
           kReadOnlyRefusal);
}

void LineMonitor::frameSent(qint64 ms, QByteArrayView frame) {
    flush();
    QString text = stamp(ms) + QStringLiteral(" > ");
    if (const auto r = decodeRequest(frame)) {
        m_address = r->address;
        m_command = r->command;
        text += addressText(r->address) + QStringLiteral("  ") +
                QLatin1String(commandName(r->address, r->command));
        if (!r->payload.isEmpty())
            text += QStringLiteral("  [") +
                    (r->rawText ? hexBytes(r->payload.first(1)) + QStringLiteral(" \"") +
                                      QString::fromLatin1(r->payload.sliced(1)) + QLatin1Char('"')
                                : hexBytes(r->payload)) +
                    QLatin1Char(']');
    }
    m_line(text + QStringLiteral("  | ") + QString::fromLatin1(printableChars(frame)));
}

void LineMonitor::charactersReceived(qint64 ms, QByteArrayView chars) {
    if (m_pending.isEmpty())
        m_pendingSince = ms;
    m_pending.append(chars);
}

void LineMonitor::answerTaken(qint64 ms, Outcome outcome, int length) {
    // Said when it was refused; nothing was awaited.
    if (outcome == Outcome::ReadOnly)
        return;
    const qint64 at = m_pending.isEmpty() ? ms : m_pendingSince;
    QString what;
    switch (outcome) {
    case Outcome::Reply: {
        // The data bytes as the reply frame carries them.
        Buffer copy{};
        const int n = static_cast<int>(std::min<qsizetype>(m_pending.size(), kBufferSize));
        std::copy(m_pending.begin(), m_pending.begin() + n, copy.begin());
        ReplyFields fields;
        const int len = parseReply(copy, n, fields);
        what = QStringLiteral("данные %1 байт").arg(length);
        if (len > 0)
            what += QStringLiteral(": ") +
                    hexBytes(QByteArrayView(reinterpret_cast<const char*>(copy.data()), len));
        break;
    }
    case Outcome::Raw:
        what = QStringLiteral("принято %1 символов").arg(length);
        break;
    case Outcome::Silence:
        what = QStringLiteral("!! НЕТ ОТВЕТА");
        break;
    case Outcome::EchoOnly:
        what = QStringLiteral("!! НЕТ ОТВЕТА (только эхо запроса)");
        break;
    case Outcome::BadFrame:
        what = QStringLiteral("!! ИСКАЖЁННЫЙ ОТВЕТ");
        break;
    case Outcome::OtherCommand:
        what = QStringLiteral("!! ОТВЕТ НА ДРУГУЮ КОМАНДУ");
        break;
    case Outcome::OtherAddress:
        what = QStringLiteral("!! ОТВЕТ С ДРУГОГО АДРЕСА");
        break;
    case Outcome::ReadOnly:
        break;
    }
    QString text = stamp(at) + QStringLiteral(" < ") + addressText(m_address) +
                   QStringLiteral("  ") + QLatin1String(commandName(m_address, m_command)) +
                   QStringLiteral("  ") + what;
    if (!m_pending.isEmpty())
        text += QStringLiteral("  | ") + QString::fromLatin1(printableChars(m_pending));
    m_pending.clear();
    m_line(text);
}

} // namespace bus
