#include "app/Setting.h"

#include "app/Progress.h"

#include "link/SerialLink.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace app {
namespace {

double power10(int decimals) {
    return std::pow(10.0, decimals);
}

// The number in steps of the last decimal, worked out on the digits so
// that "2.3" is 23 tenths and not 22. A digit past the last decimal the
// device keeps (other than a trailing 0) is not a value: it would be lost.
std::optional<qint64> stepsOf(const QString& text, int decimals) {
    static const QRegularExpression number(QStringLiteral("^(-?)([0-9]*)(?:[.,]([0-9]*))?$"));
    const auto m = number.match(text.trimmed());
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()) ||
        m.captured(2).size() > 12)
        return std::nullopt;
    static const QRegularExpression zeros(QStringLiteral("^0*$"));
    if (!zeros.match(m.captured(3).mid(decimals)).hasMatch())
        return std::nullopt;
    const QString fraction = m.captured(3).left(decimals).leftJustified(decimals, QLatin1Char('0'));
    const qint64 steps = (m.captured(2) + fraction).toLongLong();
    return m.captured(1).isEmpty() ? steps : -steps;
}

bool whole(const QString& text, const QString& pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

QString byteText(int v) {
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString Setting::caption() const {
    return unit.isEmpty() ? label : label + QStringLiteral(", ") + unit;
}

std::optional<QJsonValue> Setting::parse(const QString& input) const {
    const QString text = input.trimmed();
    std::optional<QJsonValue> v;
    switch (kind) {
    case SettingKind::Number:
        if (const auto steps = stepsOf(text, decimals))
            v = QJsonValue(static_cast<double>(*steps) / power10(decimals));
        break;
    case SettingKind::Flag:
        if (text == QLatin1String("1") || text == QLatin1String("0"))
            v = QJsonValue(text == QLatin1String("1"));
        break;
    case SettingKind::Choice:
        for (const QString& c : choices)
            if (c.compare(text, Qt::CaseInsensitive) == 0)
                v = QJsonValue(c);
        break;
    case SettingKind::Byte:
        if (whole(text, QStringLiteral("[0-9A-Fa-f]{1,2}")))
            v = QJsonValue(byteText(text.toInt(nullptr, 16)));
        break;
    case SettingKind::Text:
        v = QJsonValue(text);
        break;
    case SettingKind::Identifier:
        v = QJsonValue(text.toUpper());
        break;
    }
    if (v && !accepts(*v))
        return std::nullopt;
    return v;
}

bool Setting::accepts(const QJsonValue& v) const {
    if (use == SettingUse::Measured || (emptiable && v == QJsonValue(kEmptyPlace)))
        return true;
    switch (kind) {
    case SettingKind::Number: {
        if (!v.isDouble())
            return false;
        const double x = v.toDouble();
        // Whole steps of the last decimal only; what lies between them is
        // not a value the device can hold.
        const double steps = x * power10(decimals);
        return x >= min - 1e-9 && x <= max + 1e-9 && std::abs(steps - std::round(steps)) < 1e-6 &&
               (!holds || holds(x));
    }
    case SettingKind::Flag:
        return v.isBool();
    case SettingKind::Choice:
        return v.isString() && choices.contains(v.toString());
    case SettingKind::Byte:
        return v.isString() && whole(v.toString(), QStringLiteral("[0-9A-F]{2}"));
    case SettingKind::Text:
        return v.isString() && whole(v.toString(), pattern);
    case SettingKind::Identifier:
        return v.isString() && idProblem && idProblem(key, v.toString()).isEmpty();
    }
    return false;
}

QString Setting::allowed() const {
    switch (kind) {
    case SettingKind::Number: {
        QString range =
            QStringLiteral("от %1 до %2")
                .arg(QString::number(min, 'f', decimals), QString::number(max, 'f', decimals));
        if (!unit.isEmpty())
            range += QLatin1Char(' ') + unit;
        if (!step.isEmpty())
            return range + QStringLiteral(", шаг ") + step;
        // The step names the last decimal the device keeps.
        return range + QStringLiteral(", шаг ") +
               QString::number(1.0 / power10(decimals), 'f', decimals);
    }
    case SettingKind::Flag:
        return QStringLiteral("1 или 0");
    case SettingKind::Choice:
        return choices.join(QStringLiteral(", "));
    case SettingKind::Byte:
        return QStringLiteral("00..FF");
    case SettingKind::Text:
        return patternHint;
    case SettingKind::Identifier:
        return QStringLiteral("16 символов 0-9 A-F");
    }
    return {};
}

QString Setting::refusal(const QString& text, const QString& name) const {
    const QString who = name.isEmpty() ? key : name;
    if (kind == SettingKind::Identifier && idProblem) {
        const QString problem = idProblem(who, text.trimmed().toUpper());
        if (!problem.isEmpty())
            return problem;
    }
    return QStringLiteral("%1 \"%2\": допустимо %3").arg(who, text, allowed());
}

QJsonValue Setting::decode(double device) const {
    switch (kind) {
    case SettingKind::Number: {
        const double steps = std::round((device - offset) / scale * power10(decimals));
        return QJsonValue(steps / power10(decimals));
    }
    case SettingKind::Flag:
        return QJsonValue(device != 0);
    case SettingKind::Choice: {
        const int i = static_cast<int>(device);
        return i >= 0 && i < choices.size() ? QJsonValue(choices[i]) : QJsonValue(QJsonValue::Null);
    }
    case SettingKind::Byte:
        return QJsonValue(byteText(static_cast<int>(device) & 0xFF));
    default:
        return QJsonValue(QJsonValue::Null);
    }
}

double Setting::encode(const QJsonValue& v) const {
    switch (kind) {
    case SettingKind::Number:
        return v.toDouble() * scale + offset;
    case SettingKind::Flag:
        return v.toBool() ? 1 : 0;
    case SettingKind::Choice:
        return static_cast<double>(choices.indexOf(v.toString()));
    case SettingKind::Byte:
        return v.toString().toInt(nullptr, 16);
    default:
        return 0;
    }
}

QString Setting::text(const QJsonValue& v) const {
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Double:
        return kind == SettingKind::Number ? QString::number(v.toDouble(), 'f', decimals)
                                           : QString::number(v.toDouble(), 'g', 10);
    case QJsonValue::String:
        return v.toString();
    default:
        return {};
    }
}

QString Setting::shown(const QJsonValue& v) const {
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("—");
    if (v.isString() && v.toString() == kEmptyPlace)
        return QStringLiteral("нет");
    if (v.isBool())
        return v.toBool() ? QStringLiteral("да") : QStringLiteral("нет");
    QString t = text(v);
    if (v.isDouble())
        t.replace(QLatin1Char('-'), QChar(0x2212));
    return t;
}

const Setting* findSetting(const std::vector<Setting>& rows, const QString& key) {
    for (const Setting& row : rows)
        if (row.key == key)
            return &row;
    return nullptr;
}

QJsonValue valueOf(const SettingValues& values, const QString& key) {
    const auto it = values.find(key);
    return it == values.end() ? QJsonValue(QJsonValue::Null) : it->second;
}

WriteFault writeFaultOf(const bus::SerialLink& link) {
    if (!link.isOpen())
        return WriteFault::LineLost;
    switch (link.lastOutcome()) {
    case bus::Outcome::Silence:
        return WriteFault::NoAnswer;
    case bus::Outcome::EchoOnly:
        return WriteFault::EchoOnly;
    case bus::Outcome::BadFrame:
    case bus::Outcome::OtherCommand:
    case bus::Outcome::OtherAddress:
        return WriteFault::BadAnswer;
    case bus::Outcome::Reply:
    case bus::Outcome::Raw:
        return WriteFault::NotConfirmed;
    case bus::Outcome::ReadOnly:
        return WriteFault::ReadOnly;
    }
    return WriteFault::NoAnswer;
}

WriteOutcome outcomeOf(const bus::SerialLink& link, bool confirmed) {
    return confirmed ? kConfirmed : refused(writeFaultOf(link));
}

WriteOutcome outcomeUnlessEchoed(const bus::SerialLink& link, bool confirmed) {
    if (link.answerCopiesRequest())
        return refused(WriteFault::EchoOnly);
    return outcomeOf(link, confirmed);
}

QString writeFaultText(WriteFault fault) {
    switch (fault) {
    case WriteFault::NoAnswer:
        return QStringLiteral("НЕТ ОТВЕТА");
    case WriteFault::EchoOnly:
        return QStringLiteral("НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)");
    case WriteFault::BadAnswer:
        return QStringLiteral("ОТВЕТ НЕ РАЗОБРАН");
    case WriteFault::NotConfirmed:
        return QStringLiteral("НЕ ПОДТВЕРЖДЕНО");
    case WriteFault::LineLost:
        return QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ");
    case WriteFault::Unread:
        return QStringLiteral("НЕ ПРОЧИТАНО ТО, ЧТО ЗАПИСЫВАЕТСЯ ВМЕСТЕ");
    case WriteFault::BadValue:
        return QStringLiteral("НЕДОПУСТИМОЕ ЗНАЧЕНИЕ");
    case WriteFault::Interrupted:
        return QStringLiteral("ПРЕРВАНО");
    case WriteFault::ReadOnly:
        return bus::kReadOnlyRefusal;
    }
    return {};
}

QString notWrittenText(const std::vector<NotWritten>& failed, bool withKeys) {
    // One part a reason, in the order they first came.
    std::vector<std::pair<WriteFault, QStringList>> parts;
    for (const NotWritten& n : failed) {
        auto it = std::find_if(parts.begin(), parts.end(),
                               [&](const auto& p) { return p.first == n.fault; });
        if (it == parts.end())
            it = parts.insert(parts.end(), {n.fault, {}});
        if (n.row && !it->second.contains(n.row->key))
            it->second << n.row->key;
    }
    QStringList said;
    for (const auto& [fault, keys] : parts)
        said << (withKeys && !keys.isEmpty() ? keys.join(QStringLiteral(", ")) +
                                                   QStringLiteral(" — ") + writeFaultText(fault)
                                             : writeFaultText(fault));
    if (said.isEmpty())
        return {};
    return QStringLiteral("НЕ ЗАПИСАНО: ") + said.join(QStringLiteral("; "));
}

QString writeResultText(const std::vector<NotWritten>& failed, bool someConfirmed, bool withKeys) {
    const QString text = notWrittenText(failed, withKeys);
    return text.isEmpty() || !someConfirmed ? text : QStringLiteral("ЗАПИСАНО НЕ ВСЁ. ") + text;
}

std::vector<NotWritten> WriteSettings(bus::SerialLink& link, const SettingTarget& target,
                                      std::vector<const Setting*> rows, const SettingValues& values,
                                      const Progress& progress) {
    std::stable_sort(rows.begin(), rows.end(), [](const Setting* a, const Setting* b) {
        return std::pair(a->operation->order, a->place) < std::pair(b->operation->order, b->place);
    });
    std::vector<NotWritten> failed;
    for (auto first = rows.begin(); first != rows.end();) {
        // The rows that travel in the same write.
        const auto last = std::find_if(first, rows.end(), [&](const Setting* r) {
            return r->operation != (*first)->operation || r->place != (*first)->place;
        });
        const WriteOutcome done =
            progress.breakRequested()
                ? refused(WriteFault::Interrupted)
                : (*first)->operation->write(link, target, (*first)->place, values);
        if (!done)
            for (auto it = first; it != last; ++it)
                failed.push_back({*it, *done.fault});
        first = last;
    }
    return failed;
}

} // namespace app
