#include "firmware/HexLoader.h"

#include <QStringDecoder>

namespace firmware {
namespace {

// A field of the record, 1-based columns as the format counts them; false
// when it is missing or not all hexadecimal.
bool hexField(const QByteArray& line, int column, int width, int& value) {
    if (line.size() < column - 1 + width)
        return false;
    value = 0;
    for (int i = 0; i < width; ++i) {
        const char c = line[column - 1 + i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value * 16 + digit;
    }
    return true;
}

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// Why a record (":" and its hexadecimal pairs) cannot be trusted, or null:
// a record cut short or corrupted on its way would put a wrong image into
// the device.
const char* recordFault(const QByteArray& line) {
    int count = 0;
    int value = 0;
    int type = 0;
    if (!hexField(line, 2, 2, count))
        return "ОШИБКА РАЗМЕРА(стр.%1)";
    if (!hexField(line, 4, 4, value))
        return "ОШИБКА АДРЕСА(стр.%1)";
    if (!hexField(line, 8, 2, type))
        return "ОШИБКА ДАННЫХ(стр.%1)";
    if (line.size() != 11 + 2 * count)
        return "ОШИБКА ДЛИНЫ ЗАПИСИ(стр.%1)";
    int sum = count + (value >> 8) + (value & 0xFF) + type;
    for (int column = 10; column < line.size(); column += 2) {
        int byte = 0;
        if (!hexField(line, column, 2, byte))
            return type == 0x02 || type == 0x04 ? "ОШИБКА АДРЕСА(стр.%1)" : "ОШИБКА ДАННЫХ(стр.%1)";
        sum += byte;
    }
    return (sum & 0xFF) == 0 ? nullptr : "ОШИБКА КОНТРОЛЬНОЙ СУММЫ(стр.%1)";
}

QString lineError(const char* text, int line) {
    return QString::fromUtf8(text).arg(line);
}

} // namespace

LoadResult parseHexText(const QByteArray& text, FirmwareImage& work) {
    work.data.fill(char(0xFF), kImageSpace);
    work.start = kImageSpace;
    work.end = 0;
    quint32 base = 0;
    int n = 0;
    bool ended = false;
    qsizetype from = text.startsWith(kUtf8Bom) ? 3 : 0;
    while (from < text.size()) {
        // CR LF, LF and a lone CR all end a line.
        qsizetype to = from;
        while (to < text.size() && text[to] != '\n' && text[to] != '\r')
            ++to;
        const QByteArray line = text.mid(from, to - from);
        from = to + 1;
        if (to + 1 < text.size() && text[to] == '\r' && text[to + 1] == '\n')
            ++from;
        ++n;
        if (!line.startsWith(':'))
            continue;
        // Records run together on one line would be read as one.
        if (line.indexOf(':', 1) >= 0) {
            work.end = 0;
            return {false, lineError("ОШИБКА ДАННЫХ(стр.%1)", n), LoadFault::BadRecord};
        }
        if (const char* fault = recordFault(line.trimmed())) {
            work.end = 0;
            return {false, lineError(fault, n), LoadFault::BadRecord};
        }
        int type = 0;
        hexField(line, 8, 2, type);
        if (type == 0x01) {
            ended = true;
            break;
        }
        if (type == 0x02 || type == 0x04) {
            int value = 0;
            if (!hexField(line, 10, 4, value)) {
                work.end = 0;
                return {false, lineError("ОШИБКА АДРЕСА(стр.%1)", n), LoadFault::BadRecord};
            }
            // Type 04 gives the upper 16 address bits, type 02 a segment
            // whose low 16 bits are dropped.
            base = type == 0x04 ? quint32(value) << 16 : (quint32(value) * 16) & 0xFFFF0000u;
            continue;
        }
        if (type != 0x00)
            continue;
        int offset = 0;
        if (!hexField(line, 4, 4, offset)) {
            work.end = 0;
            return {false, lineError("ОШИБКА АДРЕСА(стр.%1)", n), LoadFault::BadRecord};
        }
        quint32 address = base | quint32(offset);
        int count = 0;
        if (!hexField(line, 2, 2, count)) {
            work.end = 0;
            return {false, lineError("ОШИБКА РАЗМЕРА(стр.%1)", n), LoadFault::BadRecord};
        }
        // Bytes beyond the image space would be lost: the file is refused.
        if (address >= quint32(kImageSpace) || address + quint32(count) > quint32(kImageSpace)) {
            work.end = 0;
            return {false, lineError("ОШИБКА АДРЕСА(стр.%1)", n), LoadFault::BadRecord};
        }
        work.start = std::min(work.start, static_cast<int>(address));
        for (int k = 0; k < count && line.size() >= 11 + 2 * k; ++k) {
            int byte = 0;
            if (!hexField(line, 10 + 2 * k, 2, byte)) {
                work.end = 0;
                return {false, lineError("ОШИБКА ДАННЫХ(стр.%1)", n), LoadFault::BadRecord};
            }
            work.data[address++] = static_cast<char>(byte);
        }
        work.end = std::max(work.end, static_cast<int>(address));
        base = address & 0xFFFF0000u;
    }
    // Without the end record the file may have been cut anywhere.
    if (!ended) {
        work.end = 0;
        return {false, lineError("НЕТ ЗАПИСИ КОНЦА ФАЙЛА(стр.%1)", n), LoadFault::BadRecord};
    }
    return {true, {}};
}

bool findVersion(const FirmwareImage& image, QString& version) {
    const QByteArrayView span(image.data.constData() + image.start,
                              std::max(0, image.end - image.start));
    const qsizetype at = image.start < image.end ? span.indexOf(QByteArrayView("REV")) : -1;
    if (at < 0)
        return false;
    QByteArrayView text = span.sliced(at);
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text = text.first(zero);
    QStringDecoder cp1251("windows-1251");
    version = cp1251.isValid() ? QString(cp1251(text)) : QString::fromLatin1(text);
    return true;
}

} // namespace firmware
