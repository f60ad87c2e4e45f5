#pragma once

#include <QString>

#include <optional>

// Setting values as the fields show them and as the user types them: the
// system's decimal separator on show, "." or "," taken on input.
namespace sensor {

// A decimal number: an optional "-", digits, at most one "." or ",".
// Nothing for anything else (no exponent, no "nan", no blanks inside).
std::optional<double> parseDecimal(const QString& text);
// The number x 10, truncated toward zero, worked out on the digits so that
// "2.3" gives 23 and not 22.
std::optional<int> tenthsOf(const QString& text);
// A whole number: an optional "-" and digits.
std::optional<int> parseWhole(const QString& text);
// value with the given number of decimals and the system's separator.
QString decimalText(double value, int decimals);

} // namespace sensor
