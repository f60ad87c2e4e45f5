#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// Calibration tables: text files of one row per centimetre of level with
// the volume and the increment per millimetre, and the controller's form of
// them, 6 bytes a row (volume as 32 bits, increment as 16 bits, both
// big-endian, value x 10000).
namespace caltable {

inline constexpr int kRowBytes = 6;
inline constexpr int kMaxRows = 10922;
// Far more than the longest table with comments: a larger file is refused
// before it is read.
inline constexpr qint64 kMaxTableFileBytes = 2 * 1024 * 1024;

// The editor the validating reader calls on a row out of sequence; it may
// change lines in place and returns true when the user pressed OK.
enum class EditorMode { AddRowZero, EditRow };
using TableEditor = std::function<bool(EditorMode mode, QStringList& lines, int line, int row)>;

struct ParsedTable {
    int rows = 0; // > 0 on success; 0 without a zero line; -1 on an error
    int zeroLine = -1;
    int tableSize = 0;            // rows x 6
    QString status;               // the text for the status line on failure
    std::vector<quint32> volumes; // x 10000
    std::vector<quint32> increments;
};

// The validating reader. Lines are changed in place (the "=" is removed).
// Without an editor an out-of-sequence row counts as cancelled.
ParsedTable ParseTableText(QStringList& lines, const TableEditor& editor = {});

// The lines of a table file (CP1251; CR LF or LF).
bool readTableFile(const QString& path, QStringList& lines, QString* error = nullptr);

// The converter used for programming: the TableImage of a file, or false
// with the status text.
bool ConvertTableFile(const QString& path, QByteArray& image, QString& status);
bool convertTableLines(const QStringList& lines, QByteArray& image, QString& status);

// The text of a table read from a controller.
QStringList tableFileLines(const QByteArray& image, int tank);
// The lines as the file holds them: CP1251, CR LF.
QByteArray tableFileBytes(const QStringList& lines);
// Writes the lines in CP1251 with CR LF; the old file is replaced only by a
// complete new one.
bool writeTableLines(const QStringList& lines, const QString& path, QString* error = nullptr);
bool WriteTableFile(const QByteArray& image, int tank, const QString& path,
                    QString* error = nullptr);
// "Tank_%2d.vlm", or "Tank_%2dR.vlm" for a controller with a single table.
QString tableFileName(int tank, bool singleTable);

// Saves edited lines; a read-only file is written only when
// clearReadOnly() agrees, and then loses just that attribute.
bool saveTable(const QStringList& lines, const QString& path,
               const std::function<bool()>& clearReadOnly, QString* error = nullptr);

// A value field x 10000: digits with at most one "." or "," among them and
// nothing else; nothing when it is not such a number. The preview and the
// validating reader cut the fraction to four digits, the converter rounds
// it once per extra digit.
enum class Fraction { Truncate, RoundPerDigit };
std::optional<qint64> tableNumber(QStringView field, Fraction fraction);

// The status text for a table longer than the controller can count.
QString tooManyRowsText();

} // namespace caltable
