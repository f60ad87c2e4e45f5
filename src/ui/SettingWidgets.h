#pragma once

#include "app/Setting.h"

#include <QJsonValue>
#include <QStringList>

#include <vector>

class QToolButton;
class QWidget;

// A catalogue row on a page: the page finds the field (or a choice's
// buttons) and the mark by the names the row gives, and shows and takes the
// value as the row says, so that a row is shown the same wherever it is.

// The row's mark on page; null for none.
QToolButton* markOf(const app::Setting& row, const QWidget* page);
// Shows value in the row's field: its text with the row's decimals and the
// system's separator, a tick, the choice's button. A value that did not
// come (null) is shown unread: a text field empty and red, no box or
// choice ticked and their texts red, a label "—".
void showSetting(const app::Setting& row, const QJsonValue& value, const QWidget* page);

// The rows of rows whose field sits on page, in the catalogue's order.
std::vector<const app::Setting*> rowsOn(const std::vector<app::Setting>& rows, const QWidget* page);

// The values of the rows whose mark is down, as their rows take them: a
// field's text parsed, a box's tick, the choice whose button is down; with
// them the value each depends on, where page shows it. A text is taken
// trimmed, and put back so; one the row does not take turns its field red
// and its refusal (with what is allowed) goes to refusals; nothing of it is
// sent.
struct MarkedSettings {
    std::vector<const app::Setting*> rows; // marked and taken
    app::SettingValues values;
    QStringList refusals;
};
MarkedSettings takeMarkedSettings(const std::vector<const app::Setting*>& rows,
                                  const std::vector<app::Setting>& catalogue, const QWidget* page);
// The values the fields of rows show, marked or not, as their rows take
// them; a text a row does not take is left out.
app::SettingValues shownSettings(const std::vector<const app::Setting*>& rows, const QWidget* page);
// After a write of marked: the marks whose rows were all written released,
// the fields of the rows not written red. What the status line says of the
// rows not written ("ЗАПИСАНО НЕ ВСЁ. " in front when others were); empty
// when none.
QString showWrittenSettings(const MarkedSettings& marked,
                            const std::vector<app::NotWritten>& failed, const QWidget* page);

// A group box of fields for rows no hand-laid group of page shows, each
// with its caption (label and unit), the key filter its range asks for and
// its mark: a row added to the catalogue is on the page at once, read,
// checked and written as its row says. Null when every row is shown.
QWidget* unplacedRowsGroup(const std::vector<const app::Setting*>& rows, QWidget* page);

// The row field shows; null for none.
const app::Setting* rowShownIn(const std::vector<app::Setting>& rows, const QWidget* field);
