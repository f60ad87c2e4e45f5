#include "sensor/SettingText.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace sensor {
namespace {

// Sign, whole digits, fraction digits; nothing when the text is no number.
struct Parts {
    bool negative = false;
    QString whole;
    QString fraction;
};

std::optional<Parts> partsOf(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^(-?)([0-9]*)(?:[.,]([0-9]*))?$"));
    const auto m = number.match(text.trimmed());
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        return std::nullopt;
    return Parts{!m.captured(1).isEmpty(), m.captured(2), m.captured(3)};
}

} // namespace

std::optional<double> parseDecimal(const QString& text) {
    const auto p = partsOf(text);
    if (!p)
        return std::nullopt;
    bool ok = false;
    const QString plain = (p->negative ? QStringLiteral("-") : QString()) +
                          (p->whole.isEmpty() ? QStringLiteral("0") : p->whole) + QLatin1Char('.') +
                          p->fraction + QLatin1Char('0');
    const double v = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> tenthsOf(const QString& text) {
    const auto p = partsOf(text);
    if (!p)
        return std::nullopt;
    // Past nine digits no setting fits anyway.
    if (p->whole.size() > 9)
        return std::nullopt;
    const int whole = p->whole.isEmpty() ? 0 : p->whole.toInt();
    const int tenth = p->fraction.isEmpty() ? 0 : p->fraction[0].unicode() - '0';
    const int value = whole * 10 + tenth;
    return p->negative ? -value : value;
}

std::optional<int> parseWhole(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^-?[0-9]{1,9}$"));
    const QString t = text.trimmed();
    if (!number.match(t).hasMatch())
        return std::nullopt;
    return t.toInt();
}

QString decimalText(double value, int decimals) {
    QString s = QString::number(value, 'f', decimals);
    s.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return s;
}

} // namespace sensor
