#include "ui/TBuilderForm.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QLatin1String kDatabaseKey("SecDBName");

QPushButton* button(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel* total(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(70);
    return l;
}

} // namespace

TBuilderForm::TBuilderForm(app::ConfigFile config, QWidget* parent)
    : QDialog(parent), m_config(std::move(config)) {
    setObjectName(QStringLiteral("TBuilderForm"));
    setWindowTitle(QStringLiteral("Сборка секций"));
    m_grid = new QTableWidget(0, db::SectionBuilder::Columns, this);
    m_grid->setObjectName(QStringLiteral("sgDat"));
    m_grid->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("TH"),
                                       QStringLiteral("TID"), QStringLiteral("THs"),
                                       QStringLiteral("№sec"), QStringLiteral("L sns"),
                                       QStringLiteral("V"), QStringLiteral("L tr")});
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setColumnWidth(db::SectionBuilder::Id, 150);
    for (int c : {0, 1, 3, 4, 5, 6, 7})
        m_grid->setColumnWidth(c, 52);
    connect(m_grid, &QTableWidget::cellClicked, this, &TBuilderForm::cellClicked);

    m_source = new QLabel(this);
    m_source->setObjectName(QStringLiteral("stSrcFName"));
    m_source->setFrameShape(QFrame::Panel);
    m_source->setFrameShadow(QFrame::Sunken);
    auto* choose = new QToolButton(this);
    choose->setObjectName(QStringLiteral("sbSrcFName"));
    choose->setText(QStringLiteral("..."));
    choose->setToolTip(QStringLiteral("Найти файл - источник"));
    connect(choose, &QToolButton::clicked, this, &TBuilderForm::sbSrcFNameClick);

    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("reSecNum"));
    m_number->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]*")), m_number));
    m_number->setMaximumWidth(90);
    m_add = button("btAdd", QStringLiteral("ДОБАВИТЬ"), this);
    m_add->setEnabled(false);
    connect(m_number, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_add->setEnabled(!t.trimmed().isEmpty()); });
    connect(m_number, &QLineEdit::returnPressed, this, [this] {
        if (m_add->isEnabled())
            btAddClick();
        m_number->selectAll();
    });
    connect(m_add, &QPushButton::clicked, this, &TBuilderForm::btAddClick);

    m_bottom = new QToolButton(this);
    m_bottom->setObjectName(QStringLiteral("sbUnderFuel"));
    m_bottom->setCheckable(true);
    m_bottom->setText(QStringLiteral("НЕТ"));
    m_bottom->setToolTip(QStringLiteral("Дополнительная секция (50см) снизу датчика."));
    connect(m_bottom, &QToolButton::clicked, this, &TBuilderForm::sbUnderFuelClick);

    m_delete = button("btDel", QStringLiteral("УДАЛИТЬ"), this);
    m_up = button("bbUp", QStringLiteral("Переместить ВВЕРХ"), this);
    m_down = button("bbDwn", QStringLiteral("Переместить ВНИЗ"), this);
    auto* clear = button("btClear", QStringLiteral("ОЧИСТИТЬ"), this);
    clear->setToolTip(QStringLiteral("Очистить таблицу"));
    m_use = button("btUse", QStringLiteral("ПРИМЕНИТЬ"), this);
    connect(m_delete, &QPushButton::clicked, this, &TBuilderForm::btDelClick);
    connect(m_up, &QPushButton::clicked, this, [this] { moveBlock(true); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveBlock(false); });
    connect(clear, &QPushButton::clicked, this, &TBuilderForm::btClearClick);
    connect(m_use, &QPushButton::clicked, this, &TBuilderForm::btUseClick);

    m_length = total("stSnsSize", this);
    m_tube = total("stTLng", this);
    m_warning = new QLabel(QStringLiteral("Количество используемых термометров превышает "
                                          "допустимое. Проверьте колонку \"V\"."),
                           this);
    m_warning->setObjectName(QStringLiteral("lTEn"));
    m_warning->setStyleSheet(QStringLiteral("color: red;"));
    m_warning->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Mess"));

    auto* side = new QGridLayout;
    int r = 0;
    side->addWidget(new QLabel(QStringLiteral("Номер секции :"), this), r, 0);
    side->addWidget(m_number, r, 1);
    side->addWidget(m_add, ++r, 1);
    side->addWidget(new QLabel(QStringLiteral("(Номер выбит на трубе сенсора)"), this), ++r, 0, 1,
                    2);
    side->addWidget(new QLabel(QStringLiteral("Наличие подтоварника :"), this), ++r, 0);
    side->addWidget(m_bottom, r, 1);
    side->addWidget(m_delete, ++r, 0, 1, 2);
    side->addWidget(m_up, ++r, 0, 1, 2);
    side->addWidget(m_down, ++r, 0, 1, 2);
    side->addWidget(clear, ++r, 0, 1, 2);
    side->addWidget(new QLabel(QStringLiteral("Длина"), this), ++r, 0, 1, 2);
    side->addWidget(new QLabel(QStringLiteral("сенсора :"), this), ++r, 0);
    side->addWidget(m_length, r, 1);
    side->addWidget(new QLabel(QStringLiteral("трубы :"), this), ++r, 0);
    side->addWidget(m_tube, r, 1);
    side->addWidget(m_warning, ++r, 0, 1, 2);
    side->addWidget(m_use, ++r, 0, 1, 2);
    side->setRowStretch(++r, 1);
    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(new QLabel(QStringLiteral("База секций :"), this));
    sourceRow->addWidget(m_source, 1);
    sourceRow->addWidget(choose);
    auto* body = new QHBoxLayout;
    body->addWidget(m_grid, 1);
    body->addLayout(side);
    auto* column = new QVBoxLayout(this);
    column->addLayout(sourceRow);
    column->addLayout(body, 1);
    column->addWidget(m_status);
    resize(900, 520);

    const app::ConfigEntries entries = m_config.read();
    m_database = app::ConfigFile::value(entries, kDatabaseKey);
    m_builder.configure(app::ConfigFile::value(entries, QStringLiteral("UnderFuel")),
                        app::ConfigFile::value(entries, QStringLiteral("TermNum")));
    if (!m_database.isEmpty() && QFileInfo(m_database).isFile())
        m_source->setText(m_database);
    else
        setStatus(QStringLiteral("ОПРЕДЕЛИТЕ БАЗУ ДАННЫХ"));
    chooseDatabase = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("База секций"), QString(),
                                            QStringLiteral("Файлы .DBF (*.dbf)"), nullptr,
                                            QFileDialog::ReadOnly);
    };
    refresh();
}

QString TBuilderForm::status() const {
    return m_status->text();
}

void TBuilderForm::setStatus(const QString& text) {
    m_status->setText(text);
}

void TBuilderForm::refresh() {
    const QList<QStringList>& rows = m_builder.rows();
    m_grid->setRowCount(static_cast<int>(rows.size()));
    const auto block = m_builder.block();
    for (int r = 0; r < rows.size(); ++r) {
        const bool selected = block && r >= block->first && r <= block->second;
        for (int c = 0; c < db::SectionBuilder::Columns; ++c) {
            auto* item = m_grid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                m_grid->setItem(r, c, item);
            }
            item->setText(rows[r].value(c));
            item->setBackground(selected && c >= 1 && c <= 5 ? QColor(0xA6, 0xCA, 0xF0) : QBrush());
        }
    }
    m_length->setText(m_builder.sensorLength());
    m_tube->setText(m_builder.tubeLength());
    m_warning->setVisible(m_builder.overLimit());
    m_use->setEnabled(m_builder.canApply());
    m_delete->setEnabled(block.has_value());
    m_up->setEnabled(m_builder.canMoveUp());
    m_down->setEnabled(m_builder.canMoveDown());
}

void TBuilderForm::sbSrcFNameClick() {
    const QString path = chooseDatabase();
    if (path.isEmpty())
        return;
    m_database = path;
    m_source->setText(path);
    setStatus(QString());
    if (!m_config.write({{kDatabaseKey, path}}))
        setStatus(QStringLiteral("НЕ ЗАПИСАНО: ") + m_config.path());
    m_number->setFocus();
}

void TBuilderForm::btAddClick() {
    setStatus(QString());
    m_number->setText(m_number->text().trimmed());
    setStatus(m_builder.add(m_database, m_number->text()));
    refresh();
    m_number->setFocus();
    m_add->setEnabled(false);
}

void TBuilderForm::sbUnderFuelClick(bool down) {
    // "HET" in Latin capitals, as the field tools have always shown it.
    m_bottom->setText(down ? QStringLiteral("ЕСТЬ") : QStringLiteral("HET"));
    m_builder.setBottom(down);
    refresh();
}

void TBuilderForm::cellClicked(int row, int column) {
    if (column == db::SectionBuilder::Used)
        m_builder.toggleUse(row);
    else if (column == db::SectionBuilder::Section)
        m_builder.clickSection(row);
    refresh();
}

void TBuilderForm::btDelClick() {
    m_builder.deleteBlock();
    refresh();
}

void TBuilderForm::moveBlock(bool up) {
    if (up)
        m_builder.moveUp();
    else
        m_builder.moveDown();
    refresh();
}

void TBuilderForm::btClearClick() {
    m_builder.clear();
    refresh();
    m_number->setFocus();
}

void TBuilderForm::btUseClick() {
    if (!m_builder.canApply())
        return;
    if (apply)
        apply(m_builder.rows(), m_builder.sensorLength());
    btClearClick();
    accept();
}
