#include "sensor/OneWireId.h"

#include <QByteArray>

namespace sensor {

std::uint8_t oneWireCrc(const std::uint8_t* bytes, int count) {
    std::uint8_t crc = 0;
    for (int i = 0; i < count; ++i) {
        std::uint8_t b = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ b) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C; // x^8 + x^5 + x^4 + 1, reflected
            b >>= 1;
        }
    }
    return crc;
}

QString idText(const std::uint8_t* bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes), 8).toHex().toUpper());
}

bool crcMatches(const std::uint8_t* bytes) {
    return oneWireCrc(bytes, 7) == bytes[7];
}

IdCheck parseIdentifier(const QString& text, IdFamily family) {
    if (text.size() != kIdLength)
        return {std::nullopt, IdProblem::Length};
    std::uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) {
        int byte = 0;
        for (const QChar c : {text[2 * i], text[2 * i + 1]}) {
            const char16_t u = c.unicode();
            const int digit = u >= '0' && u <= '9'   ? u - '0'
                              : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return {std::nullopt, IdProblem::NotHex};
            byte = byte * 16 + digit;
        }
        bytes[i] = static_cast<std::uint8_t>(byte);
    }
    if (bytes[0] != static_cast<std::uint8_t>(family))
        return {std::nullopt, IdProblem::Family};
    if (!crcMatches(bytes))
        return {std::nullopt, IdProblem::Crc};
    return {Identifier(text, family), std::nullopt};
}

QString idRefusal(const QString& setting, const QString& value, IdProblem problem,
                  IdFamily family) {
    const QString code =
        QStringLiteral("%1").arg(static_cast<int>(family), 2, 16, QLatin1Char('0'));
    QString what;
    switch (problem) {
    case IdProblem::Length:
        what = QStringLiteral("не 16 символов");
        break;
    case IdProblem::NotHex:
        what = QStringLiteral("не шестнадцатеричные символы");
        break;
    case IdProblem::Family:
        what = QStringLiteral("семейство не %1").arg(code);
        break;
    case IdProblem::Crc:
        what = QStringLiteral("CRC не совпадает");
        break;
    }
    return QStringLiteral(
               "%1 \"%2\": %3; допустимо 16 символов 0-9 A-F, семейство %4, CRC-8 последним")
        .arg(setting, value, what, code);
}

QString completeDensityId(const QString& text) {
    QString t = text.trimmed();
    t.remove(QLatin1Char(' '));
    if (t.size() < 14)
        return t;
    t.truncate(14);
    std::uint8_t bytes[7];
    for (int i = 0; i < 7; ++i) {
        bool ok = false;
        bytes[i] = static_cast<std::uint8_t>(t.mid(2 * i, 2).toUInt(&ok, 16));
        if (!ok)
            bytes[i] = 0;
    }
    return t + QStringLiteral("%1").arg(oneWireCrc(bytes, 7), 2, 16, QLatin1Char('0')).toUpper();
}

QString densityIdOnEnter(const QString& text) {
    QString t = text.trimmed();
    if (t.isEmpty())
        return kDensityPrefix;
    if (t.size() < 14) {
        if (t.size() > 4)
            return {};
        t = t.rightJustified(4, QLatin1Char('0'));
        // The digits are the meter's serial bytes: hexadecimal, as typed.
        bool ok = false;
        const int value = t.toInt(&ok, 16);
        t = ok && value != 0 ? kDensityPrefix + t : QString(14, QLatin1Char('0'));
    }
    return completeDensityId(t);
}

} // namespace sensor
