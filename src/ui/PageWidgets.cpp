#include "ui/PageWidgets.h"

#include "app/Setting.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

QToolButton* markButton(const QString& name, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setCheckable(true);
    b->setText(QStringLiteral("✓"));
    b->setToolTip(QStringLiteral("Отметить для записи."));
    b->setFixedSize(24, 24);
    return b;
}

QLineEdit* valueField(const QString& name, QWidget* parent, int width) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setFixedWidth(width);
    return e;
}

QPushButton* actionButton(const char* name, const QString& text, int tag, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setProperty("Tag", tag);
    return b;
}

void paintField(QLineEdit* edit, const char* colour) {
    edit->setStyleSheet(colour ? QStringLiteral("background-color: %1;").arg(QLatin1String(colour))
                               : QString());
}

void paintBad(QLineEdit* edit, bool bad) {
    paintField(edit, bad ? kBadColour : nullptr);
}

QToolButton* toolButton(const QString& name, const QString& text, const QString& hint,
                        bool checkable, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(hint);
    b->setCheckable(checkable);
    b->setMinimumWidth(84);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

QString readResult(int missing, int asked) {
    if (missing == 0)
        return {};
    return missing == asked ? QStringLiteral("НЕТ ОТВЕТА")
                            : QStringLiteral("НА ЧАСТЬ ЗАПРОСОВ НЕТ ОТВЕТА");
}

QString writeResult(const QStringList& refusals, const QString& notWritten) {
    QStringList said = refusals;
    if (!notWritten.isEmpty())
        said << notWritten;
    return said.isEmpty() ? QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА") : said.join(QStringLiteral("; "));
}

std::optional<QJsonValue> takeMarkedValue(const app::Setting& row, QToolButton* mark,
                                          QLineEdit* edit, QStringList& refusals,
                                          const QString& name) {
    const QString text = edit->text().trimmed();
    if (!mark->isChecked() || text.isEmpty())
        return std::nullopt;
    const auto value = row.parse(text);
    if (!value) {
        paintBad(edit, true);
        refusals << row.refusal(text, name.isEmpty() ? row.label : name);
    }
    return value;
}

std::optional<double> takeMarked(const app::Setting& row, QToolButton* mark, QLineEdit* edit,
                                 QStringList& refusals) {
    const auto value = takeMarkedValue(row, mark, edit, refusals);
    if (!value)
        return std::nullopt;
    paintBad(edit, false);
    return row.encode(*value);
}

QString showWritten(const std::vector<MarkedField>& marked,
                    const std::vector<app::NotWritten>& failed) {
    for (const MarkedField& f : marked) {
        const bool done = std::none_of(failed.begin(), failed.end(),
                                       [&](const app::NotWritten& n) { return n.row == f.row; });
        paintField(f.edit, done ? f.goodColour : kBadColour);
        if (done)
            f.mark->setChecked(false);
    }
    return app::writeResultText(failed, failed.size() < marked.size(), false);
}
