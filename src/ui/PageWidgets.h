#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace app {
struct Setting;
struct NotWritten;
}

class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

// The small parts the device pages are made of.

// A mark button: pressed = write this field (hint "Отметить для записи.").
QToolButton* markButton(const QString& name, QWidget* parent);
// A text button of the window's top row and address panels.
QToolButton* toolButton(const QString& name, const QString& text, const QString& hint,
                        bool checkable, QWidget* parent);
QLineEdit* valueField(const QString& name, QWidget* parent, int width = 80);
QPushButton* actionButton(const char* name, const QString& text, int tag, QWidget* parent);
// A field whose text could not be used or whose write failed turns red.
void paintBad(QLineEdit* edit, bool bad);
// Window or info background, or a colour given as "#RRGGBB".
void paintField(QLineEdit* edit, const char* colour);
inline constexpr const char* kInfoColour = "#FFFFE1";
inline constexpr const char* kSelectedColour = "#A6CAF0"; // sky blue
inline constexpr const char* kBadColour = "#FF8080";

// The status line after a read: empty when every value came, "НЕТ ОТВЕТА"
// when none did, "НА ЧАСТЬ ЗАПРОСОВ НЕТ ОТВЕТА" between.
QString readResult(int missing, int asked);
// The status line after a write of marked fields: the refusals (values
// never sent) first, then what the device did not take; "ЗАПИСЬ
// ЗАВЕРШЕНА" when neither.
QString writeResult(const QStringList& refusals, const QString& notWritten);
// A marked field's text as its catalogue row takes it, as the device's
// number. A refused text turns the field red, its refusal (with what is
// allowed) goes to refusals, and nothing of it is sent. Nothing for a
// field not marked or empty.
std::optional<double> takeMarked(const app::Setting& row, QToolButton* mark, QLineEdit* edit,
                                 QStringList& refusals);
// The same, as the value the catalogue keeps (an identifier's text, a
// number in its unit); name in place of the row's label in the refusal.
std::optional<QJsonValue> takeMarkedValue(const app::Setting& row, QToolButton* mark,
                                          QLineEdit* edit, QStringList& refusals,
                                          const QString& name = {});

// A marked field as a write sends it: its row, the field and its mark, and
// the colour the field returns to once written (null: the window's).
struct MarkedField {
    const app::Setting* row = nullptr;
    QLineEdit* edit = nullptr;
    QToolButton* mark = nullptr;
    const char* goodColour = nullptr;
};
// After a write of marked: the fields written get their colour back and
// their marks released, those not written turn red and keep theirs. What
// the status line says of the rows not written; empty when none.
QString showWritten(const std::vector<MarkedField>& marked,
                    const std::vector<app::NotWritten>& failed);
