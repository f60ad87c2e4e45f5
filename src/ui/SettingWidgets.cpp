#include "ui/SettingWidgets.h"

#include "app/Setting.h"
#include "ui/InputFilters.h"
#include "ui/PageWidgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QToolButton>

#include <algorithm>

QToolButton* markOf(const app::Setting& row, const QWidget* page) {
    return row.mark.isEmpty() ? nullptr : page->findChild<QToolButton*>(row.mark);
}

void showSetting(const app::Setting& row, const QJsonValue& value, const QWidget* page) {
    const bool unread = value.isNull() || value.isUndefined();
    QString text = row.text(value);
    if (row.kind == app::SettingKind::Number)
        text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    for (qsizetype i = 0; i < row.fields.size(); ++i) {
        QWidget* w = page->findChild<QWidget*>(row.fields[i]);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(text);
            // Red says unread; a value that came takes the red away, and
            // leaves any other colour of the field as it is.
            if (unread)
                paintBad(edit, true);
            else if (edit->styleSheet().contains(QLatin1String(kBadColour)))
                paintBad(edit, false);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(unread ? QStringLiteral("—") : text);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            // A flag's box, or the button of the choice the value names;
            // unread, none is ticked and the texts turn red.
            const bool on = !unread && (row.kind == app::SettingKind::Choice
                                            ? row.choices.value(i) == value.toString()
                                            : value.toBool());
            QButtonGroup* group = button->group();
            if (group)
                group->setExclusive(false);
            button->setChecked(on);
            if (group)
                group->setExclusive(true);
            button->setStyleSheet(unread ? QStringLiteral("color: red;") : QString());
        }
    }
}

namespace {

QWidget* fieldOf(const app::Setting& row, const QWidget* page, qsizetype i = 0) {
    return row.fields.size() > i ? page->findChild<QWidget*>(row.fields[i]) : nullptr;
}

// The value the row's field holds, as the row takes it; nothing for an
// empty text. Taken for a write (refusals given), the text is put back
// trimmed, as it is sent, and one the row does not take turns the field red
// and leaves its refusal.
std::optional<QJsonValue> fieldValue(const app::Setting& row, const QWidget* page,
                                     QStringList* refusals) {
    QWidget* w = fieldOf(row, page);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        const QString text = edit->text().trimmed();
        if (!refusals)
            return text.isEmpty() ? std::nullopt : row.parse(text);
        if (text != edit->text())
            edit->setText(text);
        if (text.isEmpty())
            return std::nullopt;
        const auto v = row.parse(text);
        paintBad(edit, !v);
        if (!v)
            *refusals << row.refusal(text, row.label);
        return v;
    }
    if (row.kind == app::SettingKind::Choice) {
        for (qsizetype i = 0; i < row.fields.size(); ++i)
            if (auto* b = qobject_cast<QAbstractButton*>(fieldOf(row, page, i));
                b && b->isChecked())
                return QJsonValue(row.choices.value(i));
        return std::nullopt;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return QJsonValue(b->isChecked());
    return std::nullopt;
}

} // namespace

std::vector<const app::Setting*> rowsOn(const std::vector<app::Setting>& rows,
                                        const QWidget* page) {
    std::vector<const app::Setting*> on;
    for (const app::Setting& row : rows)
        if (fieldOf(row, page))
            on.push_back(&row);
    return on;
}

MarkedSettings takeMarkedSettings(const std::vector<const app::Setting*>& rows,
                                  const std::vector<app::Setting>& catalogue, const QWidget* page) {
    MarkedSettings m;
    QStringList refused;
    for (const app::Setting* row : rows) {
        QToolButton* mark = markOf(*row, page);
        if (!row->writable() || !mark || !mark->isChecked())
            continue;
        const qsizetype said = m.refusals.size();
        const auto v = fieldValue(*row, page, &m.refusals);
        if (m.refusals.size() > said)
            refused << row->key;
        if (!v)
            continue;
        m.rows.push_back(row);
        m.values[row->key] = *v;
        // What the value is counted by (a size by the kind of probe).
        if (const app::Setting* on = app::findSetting(catalogue, row->dependsOn))
            if (const auto d = fieldValue(*on, page, &m.refusals))
                m.values[on->key] = *d;
    }
    // A value only ever given with its partner waits for it when the
    // partner's text was refused: that refusal says what is wrong.
    std::erase_if(m.rows, [&](const app::Setting* row) {
        const bool waits = !row->partnerRead && refused.contains(row->partner);
        if (waits)
            m.values.erase(row->key);
        return waits;
    });
    return m;
}

app::SettingValues shownSettings(const std::vector<const app::Setting*>& rows,
                                 const QWidget* page) {
    app::SettingValues shown;
    for (const app::Setting* row : rows)
        if (const auto v = fieldValue(*row, page, nullptr))
            shown[row->key] = *v;
    return shown;
}

QString showWrittenSettings(const MarkedSettings& marked,
                            const std::vector<app::NotWritten>& failed, const QWidget* page) {
    auto notWritten = [&](const app::Setting* row) {
        return std::any_of(failed.begin(), failed.end(),
                           [&](const app::NotWritten& n) { return n.row == row; });
    };
    // A mark several rows share stays down while one of them failed.
    for (const app::Setting* row : marked.rows)
        if (QToolButton* mark = markOf(*row, page))
            mark->setChecked(false);
    bool someWritten = false;
    for (const app::Setting* row : marked.rows) {
        if (!notWritten(row)) {
            someWritten = true;
            continue;
        }
        if (QToolButton* mark = markOf(*row, page))
            mark->setChecked(true);
        if (auto* edit = qobject_cast<QLineEdit*>(fieldOf(*row, page)))
            paintBad(edit, true);
    }
    return app::writeResultText(failed, someWritten, false);
}

QWidget* unplacedRowsGroup(const std::vector<const app::Setting*>& rows, QWidget* page) {
    QGroupBox* group = nullptr;
    QGridLayout* grid = nullptr;
    for (const app::Setting* row : rows) {
        if (row->fields.isEmpty() || fieldOf(*row, page))
            continue;
        if (!group) {
            group = new QGroupBox(QStringLiteral("ПРОЧИЕ НАСТРОЙКИ"), page);
            group->setObjectName(QStringLiteral("gbOtherSettings"));
            grid = new QGridLayout(group);
            grid->setColumnStretch(2, 1);
        }
        const int line = grid->rowCount();
        auto* fields = new QHBoxLayout;
        if (row->kind == app::SettingKind::Flag) {
            auto* box = new QCheckBox(row->label, group);
            box->setObjectName(row->fields[0]);
            fields->addWidget(box);
        } else if (row->kind == app::SettingKind::Choice) {
            grid->addWidget(new QLabel(row->caption(), group), line, 0);
            auto* choices = new QButtonGroup(group);
            for (qsizetype i = 0; i < row->fields.size() && i < row->choices.size(); ++i) {
                auto* b = new QRadioButton(row->choices[i], group);
                b->setObjectName(row->fields[i]);
                choices->addButton(b);
                fields->addWidget(b);
            }
        } else {
            grid->addWidget(new QLabel(row->caption(), group), line, 0);
            QLineEdit* edit = valueField(row->fields[0], group, 100);
            edit->setReadOnly(!row->writable());
            if (row->kind == app::SettingKind::Number)
                ReKeyPress(edit, row->min < 0, row->decimals > 0);
            fields->addWidget(edit);
        }
        grid->addLayout(fields, line, 1);
        // A mark several rows share is made once.
        if (!row->mark.isEmpty() && !page->findChild<QToolButton*>(row->mark))
            grid->addWidget(markButton(row->mark, group), line, 3);
    }
    return group;
}

const app::Setting* rowShownIn(const std::vector<app::Setting>& rows, const QWidget* field) {
    for (const app::Setting& row : rows)
        if (row.fields.contains(field->objectName()))
            return &row;
    return nullptr;
}
