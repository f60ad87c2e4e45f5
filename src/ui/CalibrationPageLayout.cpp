#include "ui/CalibrationPage.h"

#include "caltable/TablePreview.h"
#include "ui/InputFilters.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

// The calibration page's widgets and what each is wired to.

namespace {

using caltable::kTanks;

QPushButton* button(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel* cell(const QString& name, QWidget* parent, int width) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setFixedWidth(width);
    return l;
}


} // namespace

QWidget* CalibrationPage::buildPreview(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("pTank"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    m_leftColumn = column;
    m_preview = new QLabel(panel);
    m_preview->setObjectName(QStringLiteral("Scr"));
    m_preview->setFixedSize(caltable::kPreviewSize, caltable::kPreviewSize);
    m_preview->setFrameShape(QFrame::Panel);
    m_preview->setMouseTracking(true);
    m_preview->installEventFilter(this);
    m_preview->setCursor(Qt::CrossCursor);
    m_preview->setToolTip(QStringLiteral("Щелчок открывает строку в редакторе."));
    column->addWidget(m_preview);
    auto* heights = new QHBoxLayout;
    heights->addWidget(new QLabel(QStringLiteral("ВЫСОТА РЕЗЕРВУАРА :"), panel));
    m_height = new QLabel(panel);
    m_height->setObjectName(QStringLiteral("stSSize"));
    heights->addWidget(m_height);
    heights->addWidget(new QLabel(QStringLiteral("см"), panel));
    heights->addStretch(1);
    heights->addWidget(new QLabel(QStringLiteral("УРОВЕНЬ :"), panel));
    m_level = new QLabel(panel);
    m_level->setObjectName(QStringLiteral("stLvl"));
    m_level->setMinimumWidth(40);
    heights->addWidget(m_level);
    heights->addWidget(new QLabel(QStringLiteral("см"), panel));
    column->addLayout(heights);
    auto* buttons = new QHBoxLayout;
    m_apply = button("btTank", QStringLiteral("ПРИМЕНИТЬ"), panel);
    m_apply->setToolTip(QStringLiteral("Применить эту таблицу"));
    m_reject = button("btRBad", QStringLiteral("ОТМЕНИТЬ"), panel);
    m_reject->setToolTip(QStringLiteral("Отменить  эту таблицу"));
    m_store = button("btStor", QStringLiteral("СОХРАНИТЬ"), panel);
    m_apply->setEnabled(false);
    m_store->setEnabled(false);
    connect(m_apply, &QPushButton::clicked, this, [this] { btTankClick(true); });
    connect(m_reject, &QPushButton::clicked, this, [this] { btTankClick(false); });
    connect(m_store, &QPushButton::clicked, this, &CalibrationPage::btStorClick);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_reject);
    buttons->addWidget(m_store);
    column->addLayout(buttons);
    column->addStretch(1);
    return panel;
}

QWidget* CalibrationPage::buildRows(QWidget* parent) {
    auto* panel = new QWidget(parent);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(0);
    const char* heads[] = {"№", "Файл таблицы", "Стр.", "Размер", "Выс."};
    for (int c = 0; c < 5; ++c)
        grid->addWidget(new QLabel(QString::fromUtf8(heads[c]), panel), 0, c);
    for (int i = 0; i < kTanks; ++i) {
        m_tank[i] = button("", QString::number(i + 1), panel);
        m_tank[i]->setObjectName(QStringLiteral("T%1").arg(i + 1));
        m_tank[i]->setFixedWidth(40);
        connect(m_tank[i], &QPushButton::clicked, this, [this, i] { SelectTankRow(i); });
        m_file[i] = new QLineEdit(panel);
        m_file[i]->setObjectName(QStringLiteral("F%1").arg(i + 1));
        m_file[i]->setReadOnly(true);
        m_file[i]->setToolTip(QStringLiteral("Файл с таблицей - выбрать?"));
        m_file[i]->setMinimumWidth(96);
        m_file[i]->installEventFilter(this);
        m_cells[i][0] = cell(QStringLiteral("S%1").arg(i + 1), panel, 50);
        m_cells[i][1] = cell(QStringLiteral("E%1").arg(i + 1), panel, 72);
        m_cells[i][2] = cell(QStringLiteral("H%1").arg(i + 1), panel, 50);
        grid->addWidget(m_tank[i], i + 1, 0);
        grid->addWidget(m_file[i], i + 1, 1);
        for (int c = 0; c < 3; ++c)
            grid->addWidget(m_cells[i][c], i + 1, c + 2);
    }
    column->addLayout(grid);
    m_pageSize = new QLabel(panel);
    m_pageSize->setObjectName(QStringLiteral("lPgSz"));
    m_pageSize->hide();
    column->addWidget(m_pageSize);
    m_ind = new QProgressBar(panel);
    m_ind->setObjectName(QStringLiteral("Ind"));
    m_ind->hide();
    column->addWidget(m_ind);

    auto* allocation = new QGroupBox(QStringLiteral("ОГЛАВЛЕНИЕ (ТАБЛИЦА РАЗМЕЩЕНИЯ)"), panel);
    auto* allocationRow = new QHBoxLayout(allocation);
    m_readAT = button("btRdAT", QStringLiteral("СЧИТАТЬ"), allocation);
    m_saveAT = button("btSaveAT", QStringLiteral("ЗАПИСАТЬ"), allocation);
    m_clear = button("CTDel", QStringLiteral("ОЧИСТИТЬ"), allocation);
    m_saveAT->setEnabled(false);
    for (QPushButton* b : {m_readAT, m_saveAT, m_clear})
        allocationRow->addWidget(b);
    connect(m_readAT, &QPushButton::clicked, this, &CalibrationPage::LoadAllocationTable);
    connect(m_saveAT, &QPushButton::clicked, this, &CalibrationPage::btSaveATClick);
    connect(m_clear, &QPushButton::clicked, this, &CalibrationPage::CTDelClick);
    // The allocation table and the row moves stand under the preview, so the
    // page fits the window's height.
    m_leftColumn->insertWidget(m_leftColumn->count() - 1, allocation);

    auto* tables = new QGroupBox(QStringLiteral("КАЛИБРОВОЧНЫЕ ТАБЛИЦЫ"), panel);
    auto* tablesColumn = new QVBoxLayout(tables);
    tablesColumn->setContentsMargins(6, 6, 6, 6);
    auto* tablesRow = new QHBoxLayout;
    m_program = button("btCTProg", QStringLiteral("ЗАПИСАТЬ"), tables);
    m_readTables = button("btCTRead", QStringLiteral("СЧИТАТЬ"), tables);
    m_verify = new QCheckBox(QStringLiteral("Сверять после записи"), tables);
    m_verify->setObjectName(QStringLiteral("cbVerify"));
    m_verify->setToolTip(QStringLiteral("Записанные таблицы читаются из КИП и сравниваются."));
    m_verify->setChecked(true);
    tablesRow->addWidget(m_program);
    tablesRow->addWidget(m_readTables);
    tablesRow->addStretch(1);
    tablesColumn->addLayout(tablesRow);
    // On a row of its own: beside the buttons the page is wider than a
    // small screen.
    tablesColumn->addWidget(m_verify);
    auto* shiftRow = new QHBoxLayout;
    m_shift = new QCheckBox(QStringLiteral("При записи сместить начало на"), tables);
    m_shift->setObjectName(QStringLiteral("cbTabShift"));
    m_shiftPages = new QLineEdit(tables);
    m_shiftPages->setObjectName(QStringLiteral("reTabShift"));
    m_shiftPages->setFixedWidth(40);
    ReKeyPress(m_shiftPages);
    shiftRow->addWidget(m_shift);
    shiftRow->addWidget(m_shiftPages);
    shiftRow->addWidget(new QLabel(QStringLiteral("страниц"), tables));
    shiftRow->addStretch(1);
    tablesColumn->addLayout(shiftRow);
    connect(m_program, &QPushButton::clicked, this, &CalibrationPage::btCTProgClick);
    connect(m_readTables, &QPushButton::clicked, this, &CalibrationPage::btCTReadClick);
    column->addWidget(tables);

    auto* movesBox = new QWidget(panel);
    auto* moves = new QHBoxLayout(movesBox);
    moves->setContentsMargins(0, 0, 0, 0);
    m_exchange = button("btExch", QStringLiteral("ОБМЕНЯТЬ"), movesBox);
    m_duplicate = button("btMul", QStringLiteral("ДУБЛИРОВАТЬ"), movesBox);
    m_cancelFile = button("btClrEntr", QStringLiteral("ОТМЕНИТЬ"), movesBox);
    for (QPushButton* b : {m_exchange, m_duplicate, m_cancelFile})
        moves->addWidget(b);
    moves->addStretch(1);
    connect(m_exchange, &QPushButton::clicked, this, &CalibrationPage::btExchClick);
    connect(m_duplicate, &QPushButton::clicked, this, &CalibrationPage::btMulClick);
    connect(m_cancelFile, &QPushButton::clicked, this, &CalibrationPage::btClrEntrClick);
    m_leftColumn->insertWidget(m_leftColumn->count() - 1, movesBox);
    column->addStretch(1);
    return panel;
}
