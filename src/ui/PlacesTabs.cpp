#include "ui/PlacesTabs.h"

#include "app/Setting.h"
#include "db/SensorRecord.h"
#include "link/Transit.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SettingText.h"
#include "ui/PageHost.h"
#include "ui/PageWidgets.h"
#include "ui/TPForm.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString kWritten = QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА");

bool isEditingKey(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home ||
           key == Qt::Key_End || key == Qt::Key_Tab || key == Qt::Key_Backtab ||
           key == Qt::Key_Delete;
}

// Ctrl+A, Ctrl+C and the like are the field's own, never typed characters.
bool isShortcut(const QKeyEvent* key) {
    return key->modifiers() & Qt::ControlModifier;
}

// An upper-case hex digit for a typed one, or nothing.
std::optional<QChar> hexDigit(const QString& text) {
    if (text.size() != 1)
        return std::nullopt;
    const QChar c = text[0].toUpper();
    if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
        (c >= QLatin1Char('A') && c <= QLatin1Char('F')))
        return c;
    return std::nullopt;
}

QLabel* header(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

} // namespace

// Thermometers -------------------------------------------------------------------

ThermometerTab::ThermometerTab(PageHost& form, QWidget* tab) : QObject(tab), m_form(form) {
    auto* grid = new QGridLayout;
    grid->addWidget(header(QStringLiteral("высота"), tab), 0, 1, 1, 2);
    grid->addWidget(header(QStringLiteral("идентификатор"), tab), 0, 3, 1, 2);
    // Thermometer 1 at the bottom, as on the sensor.
    for (int i = 0; i < sensor::kPlaces; ++i) {
        const int row = sensor::kPlaces - i;
        const QString n = QString::number(i + 1);
        m_height[i] = valueField(QStringLiteral("reHT") + n, tab, 70);
        m_heightMark[i] = markButton(QStringLiteral("sbTH") + n, tab);
        m_id[i] = valueField(QStringLiteral("reIDT") + n, tab, 170);
        m_id[i]->setReadOnly(true);
        m_id[i]->installEventFilter(this);
        m_height[i]->installEventFilter(this);
        paintField(m_id[i], kInfoColour);
        m_idMark[i] = markButton(QStringLiteral("sbTID") + n, tab);
        grid->addWidget(new QLabel(QStringLiteral("№ ") + n, tab), row, 0);
        grid->addWidget(m_height[i], row, 1);
        grid->addWidget(m_heightMark[i], row, 2);
        grid->addWidget(m_id[i], row, 3);
        grid->addWidget(m_idMark[i], row, 4);
    }
    m_up = actionButton("bbTUp", QStringLiteral("▲"), 1, tab);
    m_up->setToolTip(QStringLiteral("Переместить термометр\r\nвверх."));
    m_down = actionButton("bbTDwn", QStringLiteral("▼"), 0, tab);
    m_down->setToolTip(QStringLiteral("Переместить термометр\r\nвниз."));
    m_up->setFixedWidth(40);
    m_down->setFixedWidth(40);
    auto* moves = new QVBoxLayout;
    moves->addStretch(1);
    moves->addWidget(m_up);
    moves->addWidget(m_down);
    moves->addStretch(1);
    grid->addLayout(moves, 1, 5, sensor::kPlaces, 1);
    grid->setColumnStretch(6, 1);
    connect(m_up, &QPushButton::clicked, this, [this] { btTMove(true); });
    connect(m_down, &QPushButton::clicked, this, [this] { btTMove(false); });

    auto* get = actionButton("btGetTProp", QStringLiteral("ПОЛУЧИТЬ"), Tag, tab);
    auto* set = actionButton("btTermSet", QStringLiteral("УСТАНОВИТЬ"), Tag, tab);
    m_set = set;
    auto* searchButton = actionButton("Button29", QStringLiteral("ПОИСК"), 0, tab);
    m_handEntry = new QToolButton(tab);
    m_handEntry->setObjectName(QStringLiteral("sbHndEnt"));
    m_handEntry->setText(QStringLiteral("РУЧНОЙ ВВОД"));
    m_handEntry->setCheckable(true);
    auto* clearButton = actionButton("btTClear", QStringLiteral("ОЧИСТИТЬ"), 0, tab);
    m_builder = actionButton("btTBuilder", QStringLiteral("СОБРАТЬ"), 0, tab);
    m_fromFile = actionButton("Button28", QStringLiteral("ИЗ ФАЙЛА"), 0, tab);
    // Without the sensor databases there is nothing to assemble or load.
    m_builder->setEnabled(false);
    m_fromFile->setEnabled(false);
    connect(get, &QPushButton::clicked, this, [this] { m_form.btGetClick(Tag); });
    connect(set, &QPushButton::clicked, this, [this] { m_form.btSetClick(Tag); });
    // The search runs in the frame of the reads: busy cursor, errors caught.
    m_form.registerGetAction(kSearchTag, [this] { return search(); });
    connect(searchButton, &QPushButton::clicked, this, [this] { m_form.btGetClick(kSearchTag); });
    connect(m_handEntry, &QToolButton::toggled, this, &ThermometerTab::HndEntClick);
    connect(clearButton, &QPushButton::clicked, this, &ThermometerTab::clear);
    connect(m_builder, &QPushButton::clicked, this, [this] {
        m_handEntry->setChecked(false);
        if (m_openBuilder)
            m_openBuilder();
    });
    connect(m_fromFile, &QPushButton::clicked, this, [this] {
        m_handEntry->setChecked(false);
        if (m_openFromFile)
            m_openFromFile();
    });
    auto* buttons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{searchButton, m_handEntry, clearButton,
                                                      m_builder, m_fromFile})
        buttons->addWidget(w);
    buttons->addStretch(1);
    buttons->addWidget(get);
    buttons->addWidget(set);

    auto* column = new QVBoxLayout(tab);
    column->addLayout(grid);
    column->addLayout(buttons);
    column->addStretch(1);
    updateMoveButtons();
    m_form.registerGetAction(Tag, [this] { return read(); });
    m_form.registerSetAction(Tag, [this] { return write(); });
}

void ThermometerTab::setFactoryLookup(std::function<void(const QStringList&)> lookup) {
    m_factoryLookup = std::move(lookup);
}
void ThermometerTab::setBuilder(std::function<void()> open) {
    m_openBuilder = std::move(open);
    m_builder->setEnabled(static_cast<bool>(m_openBuilder));
}
void ThermometerTab::setFromFile(std::function<void()> open) {
    m_openFromFile = std::move(open);
    m_fromFile->setEnabled(static_cast<bool>(m_openFromFile));
}

void ThermometerTab::paintId(int index, const char* colour) {
    paintField(m_id[index], colour ? colour : (m_handEntry->isChecked() ? nullptr : kInfoColour));
}

void ThermometerTab::clear() {
    m_unread.clear();
    for (int i = 0; i < sensor::kPlaces; ++i) {
        m_height[i]->clear();
        m_id[i]->clear();
        paintField(m_height[i], nullptr);
        paintId(i, nullptr);
        m_heightMark[i]->setChecked(false);
        m_idMark[i]->setChecked(false);
    }
    select(-1);
}

bool ThermometerTab::read() {
    clear();
    const bus::TransitScope transit = m_form.sensorTransit();
    m_form.SetMess(QString());
    const sensor::Places places =
        sensor::ReadThermometers(m_form.link(), m_form.state().sensorAddress);
    int missing = 0;
    m_unread = db::unreadPlaces(places, sensor::PlaceKind::Thermometer, db::kThermometerFields);
    for (int i = 0; i < sensor::kPlaces; ++i) {
        m_id[i]->setText(places[i].id);
        if (places[i].height)
            m_height[i]->setText(QString::number(*places[i].height));
        // A place the sensor did not answer for is unread, not empty.
        if (!places[i].answered) {
            paintId(i, kBadColour);
            paintField(m_height[i], kBadColour);
            ++missing;
        }
    }
    m_form.SetMess(readResult(missing, sensor::kPlaces));
    return m_form.link().isOpen();
}

bool ThermometerTab::write() {
    m_form.SetMess(QString());
    auto& link = m_form.link();
    using sensor::PlaceField;
    using sensor::PlaceKind;
    // Every marked value passes its row before the line is touched; an
    // identifier that is not one refuses the whole write.
    QStringList refusals;
    app::SettingValues values;
    std::vector<MarkedField> marked;
    for (int i = 0; i < sensor::kPlaces; ++i) {
        const app::Setting& row =
            *sensor::placeSetting(PlaceKind::Thermometer, i + 1, PlaceField::Id);
        QStringList idRefusal;
        const auto id = takeMarkedValue(row, m_idMark[i], m_id[i], idRefusal,
                                        QStringLiteral("ТЕРМОМЕТР %1").arg(i + 1));
        if (!idRefusal.isEmpty()) {
            m_form.SetMess(idRefusal.join(QStringLiteral("; ")));
            return link.isOpen();
        }
        if (id) {
            values[row.key] = *id;
            marked.push_back({&row, m_id[i], m_idMark[i], kInfoColour});
        }
    }
    for (int i = 0; i < sensor::kPlaces; ++i) {
        const app::Setting& row =
            *sensor::placeSetting(PlaceKind::Thermometer, i + 1, PlaceField::Height);
        const auto height = takeMarkedValue(row, m_heightMark[i], m_height[i], refusals);
        if (!height)
            continue;
        // A height for a place without an identifier belongs to nothing:
        // the place would stay empty.
        if (m_id[i]->text().trimmed().isEmpty()) {
            paintField(m_height[i], kBadColour);
            refusals << QStringLiteral("ТЕРМОМЕТР %1: %2").arg(i + 1).arg(app::kNoPlaceId);
            continue;
        }
        values[row.key] = *height;
        marked.push_back({&row, m_height[i], m_heightMark[i], nullptr});
    }
    if (values.empty()) {
        m_form.SetMess(refusals.isEmpty() ? app::kNothingToWrite
                                          : refusals.join(QStringLiteral("; ")));
        return link.isOpen();
    }
    // The dialog's Break stops the writes not yet made; a Break left from
    // before (a change of mode) does not.
    m_form.progressDialog()->ShowProgress(0);
    const bus::TransitScope transit = m_form.sensorTransit();
    const auto failed =
        sensor::WritePlaces(link, m_form.state().sensorAddress, values, *m_form.progressDialog());
    m_form.SetMess(writeResult(refusals, showWritten(marked, failed)));
    return link.isOpen();
}

bool ThermometerTab::search() {
    clear();
    sensor::SearchResult r;
    {
        const bus::TransitScope transit = m_form.sensorTransit();
        r = sensor::SearchThermometers(m_form.link(), m_form.state().sensorAddress);
    }
    for (int i = 0; i < r.ids.size(); ++i)
        m_id[i]->setText(r.ids[i]);
    m_form.SetMess(sensor::searchText(r));
    if (r.found > 0 && m_factoryLookup)
        m_factoryLookup(r.ids);
    return m_form.link().isOpen();
}

void ThermometerTab::HndEntClick(bool down) {
    for (int i = 0; i < sensor::kPlaces; ++i) {
        if (down)
            m_id[i]->clear();
        m_id[i]->setReadOnly(!down);
        paintId(i, nullptr);
    }
    select(-1);
}

QString ThermometerTab::identifier(int k) const {
    return m_id[k]->text();
}

QString ThermometerTab::height(int k) const {
    return m_height[k]->text();
}

QStringList ThermometerTab::identifiers() const {
    QStringList ids;
    for (const QLineEdit* e : m_id)
        ids << e->text();
    return ids;
}

void ThermometerTab::setPlace(int k, const QString& id, const QString& height,
                              std::optional<bool> marks) {
    m_id[k]->setText(id);
    m_height[k]->setText(height);
    if (marks) {
        m_idMark[k]->setChecked(*marks);
        m_heightMark[k]->setChecked(*marks);
    }
}

void ThermometerTab::TakeBuilderGrid(const QList<QStringList>& rows) {
    clear();
    const auto places = sensor::builderPlaces(rows);
    for (std::size_t k = 0; k < places.size(); ++k) {
        m_id[k]->setText(places[k].first);
        m_height[k]->setText(places[k].second.trimmed());
        m_idMark[k]->setChecked(true);
        m_heightMark[k]->setChecked(true);
    }
}

// Reordering ------------------------------------------------------------------------

void ThermometerTab::select(int index) {
    m_selected = index;
    for (int i = 0; i < sensor::kPlaces; ++i)
        paintId(i, i == index ? kSelectedColour : nullptr);
    updateMoveButtons();
}

void ThermometerTab::updateMoveButtons() {
    const int k = m_selected;
    m_down->setEnabled(k > 0);
    m_up->setEnabled(k >= 0 && k < sensor::kPlaces - 1 && !m_id[k + 1]->text().isEmpty());
}

void ThermometerTab::btTMove(bool up) {
    const int k = m_selected;
    const int to = up ? k + 1 : k - 1;
    if (k < 0 || to < 0 || to >= sensor::kPlaces || (up && m_id[to]->text().isEmpty()))
        return;
    // Identifiers move to another mounting place; heights stay.
    const QString text = m_id[k]->text();
    m_id[k]->setText(m_id[to]->text());
    m_id[to]->setText(text);
    select(to);
}

// Keys and clicks -------------------------------------------------------------------

bool ThermometerTab::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const int index = static_cast<int>(std::find(m_id.begin(), m_id.end(), edit) - m_id.begin());
    if (index < sensor::kPlaces) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            !edit->text().isEmpty() && !m_handEntry->isChecked()) {
            select(m_selected == index ? -1 : index);
            return false;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            return !isShortcut(key) && TmpKeyPress(edit, key->key(), key->text());
        }
        return false;
    }
    // Height fields take digits, and the decimal marks too: a dropped mark
    // would turn 12.5 into 125, where the catalogue refuses it with its step.
    if (event->type() == QEvent::KeyPress && edit) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isEditingKey(key->key()) || key->key() == Qt::Key_Backspace || isShortcut(key))
            return false;
        const QString t = key->text();
        return !(t.size() == 1 &&
                 (t[0].isDigit() || t[0] == QLatin1Char('.') || t[0] == QLatin1Char(',')));
    }
    return false;
}

bool ThermometerTab::TmpKeyPress(QLineEdit* edit, int key, const QString& text) {
    // Identifiers are typed only in manual entry.
    if (!m_handEntry->isChecked())
        return true;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (edit->text().isEmpty())
            edit->setText(sensor::kThermometerFamily);
        return true;
    }
    if (key == Qt::Key_Backspace || isEditingKey(key))
        return false;
    const auto digit = hexDigit(text);
    if (digit && edit->text().size() - edit->selectedText().size() < sensor::kIdLength)
        edit->insert(QString(*digit));
    return true;
}

// Density meters --------------------------------------------------------------------

DensityTab::DensityTab(PageHost& form, QWidget* tab) : QObject(tab), m_form(form) {
    static const char* const names[3][2] = {
        {"reHD", "sbDH"}, {"reIDD", "sbDID"}, {"reADD", "sbDAD"}};
    static const int widths[3] = {70, 170, 70};
    auto* grid = new QGridLayout;
    grid->addWidget(header(QStringLiteral("высота"), tab), 0, 1, 1, 2);
    grid->addWidget(header(QStringLiteral("идентификатор"), tab), 0, 3, 1, 2);
    grid->addWidget(header(QStringLiteral("попр."), tab), 0, 5, 1, 2);
    for (int n = 0; n < sensor::kPlaces; ++n) {
        const int row = sensor::kPlaces - n;
        grid->addWidget(new QLabel(QStringLiteral("№ %1").arg(n + 1), tab), row, 0);
        for (int c = 0; c < 3; ++c) {
            const QString number = QString::number(n + 1);
            QLineEdit* e = valueField(QLatin1String(names[c][0]) + number, tab, widths[c]);
            e->setProperty("Tag", 8 * c + n);
            e->installEventFilter(this);
            m_fields[c][n] = e;
            m_marks[c][n] = markButton(QLatin1String(names[c][1]) + number, tab);
            grid->addWidget(e, row, 1 + 2 * c);
            grid->addWidget(m_marks[c][n], row, 2 + 2 * c);
        }
    }
    grid->setColumnStretch(7, 1);
    auto* get = actionButton("btGetDProp", QStringLiteral("ПОЛУЧИТЬ"), Tag, tab);
    auto* set = actionButton("BitBtn4", QStringLiteral("УСТАНОВИТЬ"), Tag, tab);
    auto* clearButton = actionButton("Button27", QStringLiteral("ОЧИСТИТЬ"), 0, tab);
    connect(get, &QPushButton::clicked, this, [this] { m_form.btGetClick(Tag); });
    connect(set, &QPushButton::clicked, this, [this] { m_form.btSetClick(Tag); });
    connect(clearButton, &QPushButton::clicked, this, &DensityTab::clear);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clearButton);
    buttons->addStretch(1);
    buttons->addWidget(get);
    buttons->addWidget(set);
    auto* column = new QVBoxLayout(tab);
    column->addLayout(grid);
    column->addLayout(buttons);
    column->addStretch(1);
    m_form.registerGetAction(Tag, [this] { return read(); });
    m_form.registerSetAction(Tag, [this] { return write(); });
}

void DensityTab::clear() {
    m_unread.clear();
    for (const auto& column : m_fields)
        for (QLineEdit* e : column) {
            e->clear();
            paintField(e, nullptr);
        }
}

QString DensityTab::identifier(int n) const {
    return field(1, n)->text();
}

QString DensityTab::height(int n) const {
    return field(0, n)->text();
}

void DensityTab::clearMeter(int n) {
    for (int c = 0; c < 3; ++c) {
        field(c, n)->clear();
        paintField(field(c, n), nullptr);
        m_marks[c][n]->setChecked(false);
    }
}

bool DensityTab::read() {
    clear();
    m_form.SetMess(QString());
    const bus::TransitScope transit = m_form.sensorTransit();
    const sensor::Places places =
        sensor::ReadDensityMeters(m_form.link(), m_form.state().sensorAddress);
    int missing = 0;
    m_unread = db::unreadPlaces(places, sensor::PlaceKind::DensityMeter, db::kMeterFields);
    for (int n = 0; n < sensor::kPlaces; ++n) {
        field(1, n)->setText(places[n].id);
        if (places[n].height)
            field(0, n)->setText(QString::number(*places[n].height));
        if (places[n].correction)
            field(2, n)->setText(sensor::decimalText(*places[n].correction, 1));
        // A place the sensor did not answer for is unread, not empty.
        if (!places[n].answered) {
            for (int c = 0; c < 3; ++c)
                paintField(field(c, n), kBadColour);
            ++missing;
        }
    }
    m_form.SetMess(readResult(missing, sensor::kPlaces));
    return m_form.link().isOpen();
}

bool DensityTab::write() {
    m_form.SetMess(QString());
    auto& link = m_form.link();
    using sensor::PlaceField;
    using sensor::PlaceKind;
    // Column by column as the tab shows them: height, identifier, correction.
    static const PlaceField columns[3] = {PlaceField::Height, PlaceField::Id,
                                          PlaceField::Correction};
    for (int n = 0; n < sensor::kPlaces; ++n)
        field(1, n)->setText(field(1, n)->text().trimmed());
    // An identifier that is not one refuses the whole write; heights and
    // corrections pass their rows, and a refused one stops nothing else.
    QStringList refusals;
    app::SettingValues values;
    std::vector<MarkedField> marked;
    for (int n = 0; n < sensor::kPlaces; ++n) {
        const app::Setting& row =
            *sensor::placeSetting(PlaceKind::DensityMeter, n + 1, PlaceField::Id);
        QStringList idRefusal;
        const auto id = takeMarkedValue(row, m_marks[1][n], field(1, n), idRefusal,
                                        QStringLiteral("ПЛОТНОМЕР %1").arg(n + 1));
        if (!idRefusal.isEmpty()) {
            m_form.SetMess(idRefusal.join(QStringLiteral("; ")));
            return link.isOpen();
        }
        if (id) {
            values[row.key] = *id;
            marked.push_back({&row, field(1, n), m_marks[1][n], nullptr});
        }
    }
    for (int n = 0; n < sensor::kPlaces; ++n) {
        bool withoutId = false;
        for (int c : {0, 2}) {
            const app::Setting& row =
                *sensor::placeSetting(PlaceKind::DensityMeter, n + 1, columns[c]);
            const auto v = takeMarkedValue(row, m_marks[c][n], field(c, n), refusals);
            if (!v)
                continue;
            // A height or correction for a place without an identifier
            // belongs to nothing: the place would stay empty.
            if (field(1, n)->text().isEmpty()) {
                paintField(field(c, n), kBadColour);
                withoutId = true;
                continue;
            }
            values[row.key] = *v;
            marked.push_back({&row, field(c, n), m_marks[c][n], nullptr});
        }
        if (withoutId)
            refusals << QStringLiteral("ПЛОТНОМЕР %1: %2").arg(n + 1).arg(app::kNoPlaceId);
    }
    if (values.empty()) {
        m_form.SetMess(refusals.isEmpty() ? app::kNothingToWrite
                                          : refusals.join(QStringLiteral("; ")));
        return link.isOpen();
    }
    // The dialog's Break stops the writes not yet made; a Break left from
    // before (a change of mode) does not.
    m_form.progressDialog()->ShowProgress(0);
    const bus::TransitScope transit = m_form.sensorTransit();
    const auto failed =
        sensor::WritePlaces(link, m_form.state().sensorAddress, values, *m_form.progressDialog());
    m_form.SetMess(writeResult(refusals, showWritten(marked, failed)));
    return link.isOpen();
}

bool DensityTab::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit || event->type() != QEvent::KeyPress)
        return false;
    const int tag = edit->property("Tag").toInt();
    const auto* key = static_cast<QKeyEvent*>(event);
    return !isShortcut(key) && DenKeyPress(tag / 8, tag % 8, key->key(), key->text());
}

void DensityTab::moveDown(int column, int meter) {
    // Down through the first three meters, then to the top of the next column.
    if (meter > 0)
        field(column, meter - 1)->setFocus();
    else if (column < 2)
        field(column + 1, 2)->setFocus();
}

bool DensityTab::DenKeyPress(int column, int meter, int key, const QString& text) {
    QLineEdit* e = field(column, meter);
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (isEditingKey(key))
        return false;
    if (column == 1) {
        if (enter) {
            if (e->text().isEmpty()) {
                e->setText(sensor::kDensityPrefix);
                e->end(false);
                return true;
            }
            e->setText(sensor::densityIdOnEnter(e->text()));
            moveDown(column, meter);
            return true;
        }
        if (key == Qt::Key_Backspace)
            return false;
        const auto digit = hexDigit(text);
        if (digit && e->text().size() - e->selectedText().size() < sensor::kIdLength)
            e->insert(QString(*digit));
        return true;
    }
    if (enter) {
        moveDown(column, meter);
        return true;
    }
    if (key == Qt::Key_Backspace)
        return false;
    if (text.size() != 1)
        return true;
    const QChar c = text[0];
    if (c.isDigit() && c.unicode() < 128)
        return false;
    if (column == 2 && c == QLatin1Char('-'))
        return false;
    if (column == 2 && (c == QLatin1Char(',') || c == QLatin1Char('.'))) {
        e->insert(QLocale().decimalPoint());
        return true;
    }
    return true;
}
