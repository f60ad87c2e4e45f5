#include "caltable/TableFile.h"

#include "app/FileReader.h"
#include "app/FileWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace caltable {
namespace {

constexpr quint32 kMaxIncrement = 0xFFFF;
constexpr qint64 kMaxVolume = 0xFFFFFFFFLL;
constexpr int kFractionDigits = 4;
// An integer part past this cannot be a table value; counting stops there.
constexpr qint64 kTooLarge = 1'000'000'000'000LL;

QStringList fieldsOf(const QString& line) {
    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    return line.trimmed().split(blanks, Qt::SkipEmptyParts);
}

QString withoutFirstEquals(QString line) {
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq >= 0)
        line.remove(eq, 1);
    return line;
}

// A row split by commas (a spreadsheet's CSV): fewer than three values
// between blanks, or a value that ends with a comma. A decimal comma
// inside a value ("0 0,5 0,1") is no separator.
bool splitByCommas(const QString& t) {
    if (t.split(QLatin1Char(','), Qt::SkipEmptyParts).size() < 3)
        return false;
    const QStringList f = fieldsOf(t);
    return f.size() < 3 || std::any_of(f.begin(), f.end(), [](const QString& v) {
               return v.endsWith(QLatin1Char(','));
           });
}

// A spreadsheet's export: a row split by ";" or by commas, or by tabs into
// more than three values, its values in double quotes or not ("0","0.0",
// "0.0"). The text names the separator, the quotes, and the form a row
// must have.
QString exportText(const QString& line, int fileLine) {
    QString t = line.trimmed();
    const bool quoted = t.startsWith(QLatin1Char('"'));
    if (quoted)
        t.remove(QLatin1Char('"'));
    if (t.isEmpty() || !t[0].isDigit())
        return {};
    // The quotes go where the separator's kind is said.
    const QString inQuotes = quoted ? QStringLiteral("В КАВЫЧКАХ") : QString();
    QString by;
    if (t.contains(QLatin1Char(';')))
        by = QStringLiteral("РАЗДЕЛИТЕЛЬ «;»") +
             (quoted ? QStringLiteral(" (%1)").arg(inQuotes) : QString());
    else if (splitByCommas(t))
        by = QStringLiteral("РАЗДЕЛИТЕЛЬ «,» (CSV%1)")
                 .arg(quoted ? QStringLiteral(", ") + inQuotes : QString());
    else if (t.contains(QLatin1Char('\t')) &&
             t.split(QLatin1Char('\t'), Qt::SkipEmptyParts).size() > 3)
        by = QStringLiteral("РАЗДЕЛИТЕЛЬ ТАБУЛЯЦИЯ") +
             (quoted ? QStringLiteral(" (%1)").arg(inQuotes) : QString());
    else if (quoted)
        by = QStringLiteral("ЗНАЧЕНИЯ ") + inQuotes;
    else
        return {};
    return QStringLiteral("%1 В СТРОКЕ %2: НУЖНО «НОМЕР ОБЪЁМ ПРИРАЩЕНИЕ» ЧЕРЕЗ ПРОБЕЛ, "
                          "НАПРИМЕР «0 0.0 0.0»")
        .arg(by)
        .arg(fileLine);
}

// The first export row among the lines, when the table was not found.
QString firstExportText(const QStringList& lines) {
    for (int i = 0; i < lines.size(); ++i)
        if (const QString t = exportText(lines[i], i + 1); !t.isEmpty())
            return t;
    return {};
}

int rowNumber(const QString& field) {
    bool ok = false;
    const int n = field.toInt(&ok);
    return ok ? n : -1;
}

// A row's text as a reason quotes it: short, on one line.
QString quoted(const QString& text) {
    constexpr int kShown = 24;
    const QString t = text.simplified();
    return QStringLiteral("«%1»").arg(t.size() > kShown ? t.left(kShown) + QStringLiteral("…") : t);
}

// The stop texts name the row k, the line of the file it stands on and why.
QString rowError(const QString& head, int fileLine, const QString& why) {
    return QStringLiteral("%1 (СТРОКА ФАЙЛА %2): %3").arg(head).arg(fileLine).arg(why);
}

QString numberError(int k, int fileLine, const QString& line) {
    return rowError(QStringLiteral("ОШИБКА В НОМЕРЕ %1 СТРОКИ").arg(k), fileLine,
                    QStringLiteral("ОЖИДАЛСЯ НОМЕР %1, А В СТРОКЕ %2").arg(k).arg(quoted(line)));
}

QString dataError(int k, int fileLine, const QString& why) {
    return rowError(QStringLiteral("ОШИБКА В ДАННЫХ СТРОКИ № %1").arg(k), fileLine, why);
}

} // namespace

QString tooManyRowsText() {
    return QStringLiteral("ТАБЛИЦА ДЛИННЕЕ %1 СТРОК").arg(kMaxRows);
}

std::optional<qint64> tableNumber(QStringView field, Fraction fraction) {
    // Digits with at most one separator among them, nothing else: no sign,
    // no exponent, no "nan".
    qint64 whole = 0;
    QString fractionDigits;
    bool separatorSeen = false;
    int digitCount = 0;
    for (const QChar c : field) {
        if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
            if (separatorSeen)
                return std::nullopt;
            separatorSeen = true;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ++digitCount;
            if (separatorSeen)
                fractionDigits.append(c);
            else if (whole < kTooLarge)
                whole = whole * 10 + (c.unicode() - '0');
        } else {
            return std::nullopt;
        }
    }
    if (digitCount == 0)
        return std::nullopt;
    qint64 four = 0;
    for (int i = 0; i < kFractionDigits; ++i)
        four = four * 10 + (i < fractionDigits.size() ? fractionDigits[i].unicode() - '0' : 0);
    if (fraction == Fraction::RoundPerDigit) {
        // (f + 5) / 10 once per extra digit, from the last one: a digit
        // carries when it, with the carry from behind it, reaches 5. Done
        // digit by digit so that no length overflows.
        int carry = 0;
        for (qsizetype i = fractionDigits.size() - 1; i >= kFractionDigits; --i)
            carry = (fractionDigits[i].unicode() - '0') + carry >= 5 ? 1 : 0;
        four += carry;
    }
    return std::min(whole, kTooLarge) * 10000 + four;
}

namespace {

// Why two values are no row the controller can hold; empty when they are.
QString valuesReason(const QString& volume, const QString& increment, Fraction fraction) {
    const struct {
        const QString& text;
        qint64 max;
        const char* name;
        const char* maxText;
    } values[] = {{volume, kMaxVolume, "ОБЪЁМ", "429496.7295"},
                  {increment, kMaxIncrement, "ПРИРАЩЕНИЕ", "6.5535"}};
    for (const auto& v : values) {
        const auto n = tableNumber(v.text, fraction);
        if (!n)
            return QStringLiteral("%1 %2 НЕ ЧИСЛО").arg(QString::fromUtf8(v.name), quoted(v.text));
        if (*n > v.max)
            return QStringLiteral("%1 %2 БОЛЬШЕ %3")
                .arg(QString::fromUtf8(v.name), quoted(v.text), QLatin1String(v.maxText));
    }
    return {};
}

QString decodeCp1251(const QByteArray& bytes) {
    QStringDecoder d("windows-1251");
    return d.isValid() ? QString(d(bytes)) : QString::fromLatin1(bytes);
}

QByteArray encodeCp1251(const QString& text) {
    QStringEncoder e("windows-1251");
    return e.isValid() ? QByteArray(e(text)) : text.toLatin1();
}

// The run of digits at the start of text, cut off; its value (0 when none)
// and how many digits it had.
qint64 takeDigits(QString& text, int& digits) {
    digits = 0;
    qint64 value = 0;
    while (digits < text.size() && text[digits].isDigit() && text[digits].unicode() < 128) {
        // More than 12 digits cannot be a table value; stop before overflow.
        if (value < 1'000'000'000'000LL)
            value = value * 10 + (text[digits].unicode() - '0');
        ++digits;
    }
    text.remove(0, digits);
    return value;
}

void putBigEndian(QByteArray& out, quint32 v, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(static_cast<char>((v >> shift) & 0xFF));
}

} // namespace

ParsedTable ParseTableText(QStringList& lines, const TableEditor& editor) {
    ParsedTable t;
    // Find the zero line.
    for (int i = 0; i < lines.size() && t.zeroLine < 0; ++i) {
        if (lines[i].isEmpty() || !lines[i][0].isDigit())
            continue;
        lines[i] = withoutFirstEquals(lines[i]);
        const QStringList f = fieldsOf(lines[i]);
        if (f.size() != 3)
            continue;
        if (rowNumber(f[0]) == 0) {
            t.zeroLine = i;
        } else if (editor && editor(EditorMode::AddRowZero, lines, i, 0)) {
            --i;
        } else {
            break;
        }
    }
    if (t.zeroLine < 0) {
        t.status = firstExportText(lines);
        if (t.status.isEmpty())
            t.status = QStringLiteral("НЕТ НУЛЕВОЙ СТРОКИ");
        return t;
    }
    int k = 0;
    for (int i = t.zeroLine; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        lines[i] = withoutFirstEquals(lines[i].trimmed());
        const QStringList f = fieldsOf(lines[i]);
        const bool isRow = !f.isEmpty() && rowNumber(f[0]) == k;
        if (isRow && f.size() != 3) {
            t.status = exportText(lines[i], i + 1);
            if (t.status.isEmpty())
                t.status = rowError(QStringLiteral("ОШИБКА ФОРМАТА СТРОКИ № %1").arg(k), i + 1,
                                    QStringLiteral("НУЖНО 3 ПОЛЯ «НОМЕР ОБЪЁМ ПРИРАЩЕНИЕ», А НЕ %1")
                                        .arg(f.size()));
            t.rows = -1;
            return t;
        }
        if (isRow && k >= kMaxRows) {
            t.status = tooManyRowsText();
            t.rows = -1;
            return t;
        }
        if (isRow) {
            const auto volume = tableNumber(f[1], Fraction::Truncate);
            const auto increment = tableNumber(f[2], Fraction::Truncate);
            // Values the controller cannot hold are refused here as well.
            if (!volume || !increment || *volume > kMaxVolume || *increment > kMaxIncrement) {
                t.status = dataError(k, i + 1, valuesReason(f[1], f[2], Fraction::Truncate));
                t.rows = -1;
                return t;
            }
            t.volumes.push_back(static_cast<quint32>(*volume));
            t.increments.push_back(static_cast<quint32>(*increment));
            ++k;
            continue;
        }
        if (editor && editor(EditorMode::EditRow, lines, t.zeroLine, k)) {
            --i;
            continue;
        }
        t.status = numberError(k, i + 1, lines[i]);
        t.rows = -1;
        return t;
    }
    t.rows = k;
    t.tableSize = k * kRowBytes;
    return t;
}

bool readTableFile(const QString& path, QStringList& lines, QString* error) {
    const app::FileRead in = app::readRegularFile(path, kMaxTableFileBytes);
    if (!in.result.ok()) {
        if (error)
            *error = app::fileFaultText(in.result.fault);
        return false;
    }
    // A BOM from an editor that saved the file as UTF-8.
    const QByteArray bom("\xEF\xBB\xBF");
    QString text = in.bytes.startsWith(bom) ? QString::fromUtf8(in.bytes.mid(bom.size()))
                                            : decodeCp1251(in.bytes);
    // CR LF, LF and a lone CR all end a line.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    // A BOM also comes later, where a UTF-8 file was appended to a header:
    // before the first table line it is never part of the text.
    const QString bomAsText = decodeCp1251(bom);
    for (QString& line : lines) {
        if (line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        else if (line.startsWith(bomAsText))
            line.remove(0, bomAsText.size());
        if (!line.isEmpty() && line[0].isDigit())
            break;
    }
    return true;
}

bool convertTableLines(const QStringList& lines, QByteArray& image, QString& status) {
    image.clear();
    int zero = -1;
    for (int i = 0; i < lines.size() && zero < 0; ++i)
        if (lines[i].startsWith(QLatin1Char('0')))
            zero = i;
    if (zero < 0) {
        status = firstExportText(lines);
        if (status.isEmpty())
            status = QStringLiteral("НЕТ ТАБЛИЦЫ");
        return false;
    }
    int k = 0;
    for (int i = zero; i < lines.size(); ++i) {
        QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        line = withoutFirstEquals(line);
        int digits = 0;
        if (takeDigits(line, digits) != k) {
            status = numberError(k, i + 1, lines[i]);
            image.clear();
            return false;
        }
        if (k >= kMaxRows) {
            status = tooManyRowsText();
            image.clear();
            return false;
        }
        const QStringList values = fieldsOf(line);
        const auto volume =
            values.size() == 2 ? tableNumber(values[0], Fraction::RoundPerDigit) : std::nullopt;
        const auto increment =
            values.size() == 2 ? tableNumber(values[1], Fraction::RoundPerDigit) : std::nullopt;
        // Anything but two plain numbers, or a value cut to fit its field,
        // would put a wrong table into the controller.
        if (!volume || !increment || *volume > kMaxVolume || *increment > kMaxIncrement) {
            status = values.size() == 2 ? QString() : exportText(lines[i], i + 1);
            if (status.isEmpty())
                status = dataError(
                    k, i + 1,
                    values.size() == 2
                        ? valuesReason(values[0], values[1], Fraction::RoundPerDigit)
                        : QStringLiteral("НУЖНО 2 ЗНАЧЕНИЯ ПОСЛЕ НОМЕРА, А НЕ %1").arg(values.size()));
            image.clear();
            return false;
        }
        putBigEndian(image, static_cast<quint32>(*volume), 4);
        putBigEndian(image, static_cast<quint32>(*increment), 2);
        ++k;
    }
    return true;
}

bool ConvertTableFile(const QString& path, QByteArray& image, QString& status) {
    QStringList lines;
    if (!readTableFile(path, lines, &status)) {
        image.clear();
        return false;
    }
    return convertTableLines(lines, image, status);
}

QStringList tableFileLines(const QByteArray& image, int tank) {
    QStringList lines{QStringLiteral(";"),
                      QStringLiteral(";  Калибровочная таблица для резервуара № %1").arg(tank),
                      QStringLiteral(";")};
    const auto* b = reinterpret_cast<const quint8*>(image.constData());
    for (qsizetype row = 0; row + kRowBytes <= image.size(); row += kRowBytes) {
        const quint32 volume = (quint32(b[row]) << 24) | (quint32(b[row + 1]) << 16) |
                               (quint32(b[row + 2]) << 8) | b[row + 3];
        const quint32 increment = (quint32(b[row + 4]) << 8) | b[row + 5];
        lines << QStringLiteral("%1=\t%2.%3\t\t%4.%5")
                     .arg(row / kRowBytes)
                     .arg(volume / 10000)
                     .arg(volume % 10000, 4, 10, QLatin1Char('0'))
                     .arg(increment / 10000)
                     .arg(increment % 10000, 4, 10, QLatin1Char('0'));
    }
    return lines;
}

QByteArray tableFileBytes(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += encodeCp1251(line) + "\r\n";
    return bytes;
}

bool writeTableLines(const QStringList& lines, const QString& path, QString* error) {
    const QByteArray bytes = tableFileBytes(lines);
    const app::FileResult r = app::writeFileAtomically(path, bytes);
    if (!r.ok() && error)
        *error = app::fileFaultText(r.fault);
    return r.ok();
}

bool WriteTableFile(const QByteArray& image, int tank, const QString& path, QString* error) {
    return writeTableLines(tableFileLines(image, tank), path, error);
}

QString tableFileName(int tank, bool singleTable) {
    return QStringLiteral("Tank_%1%2.vlm")
        .arg(tank, 2)
        .arg(singleTable ? QStringLiteral("R") : QString());
}

bool saveTable(const QStringList& lines, const QString& path,
               const std::function<bool()>& clearReadOnly, QString* error) {
    // The file's own read-only attribute, whoever runs the program.
    if (QFileInfo::exists(path) && !(QFile::permissions(path) & QFileDevice::WriteOwner)) {
        if (!clearReadOnly || !clearReadOnly())
            return false;
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    }
    if (writeTableLines(lines, path, error))
        return true;
    if (error)
        *error = QFileInfo(path).fileName() + QStringLiteral(": ") + *error;
    return false;
}

} // namespace caltable
