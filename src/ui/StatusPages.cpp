#include "ui/StatusPages.h"

#include "app/FileWriter.h"
#include "app/Modes.h"
#include "sensor/StatusPolls.h"
#include "ui/PageHost.h"
#include "ui/PollLogPanel.h"
#include "ui/TPForm.h"
#include "ui/TrendsDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

namespace {

constexpr int kVisibleRows = 16;
// How often a cycle waiting for the line looks again.
constexpr int kBusyRetryMs = 100;
constexpr int kScrollBarWidth = 18;

enum GetTag { GetGeneral = 0, GetExtended = 1, GetConfig = 4 };

QToolButton* getToggle(const QString& name, int tag, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(QStringLiteral("ПОЛУЧИТЬ"));
    b->setCheckable(true);
    b->setProperty("Tag", tag);
    b->setMinimumWidth(100);
    return b;
}

QPushButton* detailButton(const QString& name, QWidget* parent) {
    auto* b = new QPushButton(QStringLiteral("УТОЧНИТЬ"), parent);
    b->setObjectName(name);
    b->setEnabled(false);
    b->setToolTip(QStringLiteral("Перейти к режиму, который разбирает эту неисправность."));
    return b;
}

// The two characters after "(" in a cell: the value's status code as shown.
std::optional<QString> codeTextIn(const QString& cell) {
    const qsizetype open = cell.indexOf(QLatin1Char('('));
    if (open < 0)
        return std::nullopt;
    return cell.mid(open + 1, 2);
}

// Its value; 0 when there is none or it is not hexadecimal.
int codeIn(const QString& cell) {
    const auto text = codeTextIn(cell);
    bool ok = false;
    const int code = text ? text->toInt(&ok, 16) : 0;
    return ok ? code : 0;
}

} // namespace

StatusPages::StatusPages(PageHost& form, QTimer& pollTimer, bool showMirel, bool simulated)
    : QObject(form.dialogParent()), m_form(form), m_timer(pollTimer), m_showMirel(showMirel),
      m_simulated(simulated) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StatusPages::TmrTimer);
    m_form.registerGetAction(GetGeneral, [this] { return pollGeneral(); });
    m_form.registerGetAction(GetExtended, [this] { return pollExtended(); });
    m_form.registerGetAction(GetConfig, [this] { return pollConfig(); });
    m_form.addPortLostAction([this] { stopCycles(); });
    for (int tag : {app::TagStat, app::TagPStat})
        m_form.addLeaveAction(tag, [this, tag] { leavePage(tag); });
}

QTableWidget* StatusPages::makeGrid(const QString& name, const sensor::StatusGrid& model,
                                    QWidget* parent) {
    auto* t = new QTableWidget(0, model.columns(), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(model.header);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(22);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setAlternatingRowColors(false);
    t->hide();
    return t;
}

void StatusPages::buildGeneralPage(QWidget* page) {
    auto* column = static_cast<QVBoxLayout*>(page->layout());
    auto* row = new QHBoxLayout;
    m_getStat = getToggle(QStringLiteral("sbGetStat"), GetGeneral, page);
    m_cycle = new QCheckBox(QStringLiteral("циклически"), page);
    m_cycle->setObjectName(QStringLiteral("cbCycle"));
    m_mirel = new QCheckBox(QStringLiteral("Mirel"), page);
    m_mirel->setObjectName(QStringLiteral("cbMirel"));
    m_mirel->setToolTip(QStringLiteral("Опрос по отдельным величинам."));
    m_mirel->setVisible(m_showMirel);
    m_detStat = detailButton(QStringLiteral("btDetStat"), page);
    // A log proposed beside the configuration file, where that can be
    // written; on the built-in simulation in the user's data folder.
    m_logPanel = new PollLogPanel(
        m_form.decoder(), [this](const QString& text) { m_form.SetMess(text); },
        QFileInfo(m_form.config().path()).absolutePath(), m_simulated, page);
    for (QWidget* w : std::initializer_list<QWidget*>{m_getStat, m_cycle, m_mirel, m_detStat,
                                                      m_logPanel->controls()})
        row->addWidget(w);
    row->addStretch(1);
    column->addLayout(row);
    m_sgSns = makeGrid(QStringLiteral("sgSns"), m_general, page);
    column->addWidget(m_sgSns, 0, Qt::AlignLeft | Qt::AlignTop);
    column->addWidget(m_logPanel);
    column->addStretch(1);
    connect(m_logPanel, &PollLogPanel::trendsRequested, this, &StatusPages::openTrends);
    connect(m_logPanel, &PollLogPanel::jumpRequested, this, [this](int sensor, int row, int col) {
        m_form.SetMess(QString());
        m_clickedGrid = GeneralGrid;
        m_clickedSensor = sensor - 1;
        m_clickedRow = row;
        m_clickedColumn = col;
        jumpTo(GeneralGrid);
    });

    connect(m_getStat, &QToolButton::clicked, this, [this](bool down) {
        if (down)
            m_form.btGetClick(GetGeneral);
    });
    connect(m_cycle, &QCheckBox::clicked, this, [this] { cbCycleClick(GetGeneral); });
    watchCells(m_sgSns, GeneralGrid);
    connect(m_detStat, &QPushButton::clicked, this, [this] { DetClick(GeneralGrid); });
}

void StatusPages::buildExtendedPage(QWidget* page) {
    auto* column = static_cast<QVBoxLayout*>(page->layout());
    auto* row = new QHBoxLayout;
    m_getLStat = getToggle(QStringLiteral("sbGetLStat"), GetExtended, page);
    m_lCycle = new QCheckBox(QStringLiteral("циклически"), page);
    m_lCycle->setObjectName(QStringLiteral("cbLCycle"));
    m_detPStat = detailButton(QStringLiteral("btDetPStat"), page);
    for (QWidget* w : std::initializer_list<QWidget*>{m_getLStat, m_lCycle, m_detPStat})
        row->addWidget(w);
    // The general page's switch: its polls are recorded too.
    if (m_logPanel)
        row->addWidget(m_logPanel->addSwitch(page, QStringLiteral("cbLogPollsExt")));
    row->addStretch(1);
    column->addLayout(row);
    auto* tabs = new QTabWidget(page);
    tabs->setObjectName(QStringLiteral("pcPStat"));
    auto* thermometers = new QWidget(tabs);
    thermometers->setObjectName(QStringLiteral("tsTStat"));
    auto* densities = new QWidget(tabs);
    densities->setObjectName(QStringLiteral("tsDStat"));
    m_sgTStat = makeGrid(QStringLiteral("sgTStat"), m_thermometers, thermometers);
    m_sgDStat = makeGrid(QStringLiteral("sgDStat"), m_densities, densities);
    for (auto [tab, grid] : {std::pair{thermometers, m_sgTStat}, std::pair{densities, m_sgDStat}}) {
        auto* l = new QVBoxLayout(tab);
        l->addWidget(grid, 0, Qt::AlignLeft | Qt::AlignTop);
        l->addStretch(1);
    }
    tabs->addTab(thermometers, QStringLiteral("ТЕРМОМЕТРЫ"));
    tabs->addTab(densities, QStringLiteral("ПЛОТНОМЕРЫ"));
    column->addWidget(tabs, 1);

    connect(m_getLStat, &QToolButton::clicked, this, [this](bool down) {
        if (down)
            m_form.btGetClick(GetExtended);
    });
    connect(m_lCycle, &QCheckBox::clicked, this, [this] { cbCycleClick(GetExtended); });
    for (QTableWidget* grid : {m_sgTStat, m_sgDStat})
        watchCells(grid, ExtendedGrid);
    connect(m_detPStat, &QPushButton::clicked, this, [this] { DetClick(ExtendedGrid); });
}

void StatusPages::buildConfigPage(QWidget* page) {
    auto* column = static_cast<QVBoxLayout*>(page->layout());
    auto* row = new QHBoxLayout;
    auto* get = new QPushButton(QStringLiteral("ПОЛУЧИТЬ"), page);
    get->setObjectName(QStringLiteral("Button3"));
    get->setProperty("Tag", GetConfig);
    m_detSCfg = detailButton(QStringLiteral("btDetSCfg"), page);
    row->addWidget(get);
    row->addWidget(m_detSCfg);
    if (m_logPanel)
        row->addWidget(m_logPanel->addSwitch(page, QStringLiteral("cbLogPollsCfg")));
    row->addStretch(1);
    column->addLayout(row);
    m_sgCfg = makeGrid(QStringLiteral("sgCFG"), m_config, page);
    column->addWidget(m_sgCfg, 0, Qt::AlignLeft | Qt::AlignTop);
    column->addStretch(1);
    connect(get, &QPushButton::clicked, this, [this] { m_form.btGetClick(GetConfig); });
    watchCells(m_sgCfg, ConfigGrid);
    connect(m_detSCfg, &QPushButton::clicked, this, [this] { DetClick(ConfigGrid); });
}

// Grids ------------------------------------------------------------------------

void StatusPages::watchCells(QTableWidget* table, int gridTag) {
    // A cell reached with the arrow keys is explained as a clicked one; Tab
    // moves on to the next control instead of through the cells.
    table->setTabKeyNavigation(false);
    connect(table, &QTableWidget::cellPressed, this,
            [this, gridTag](int r, int c) { GridMouseDown(gridTag, r, c); });
    connect(table, &QTableWidget::currentCellChanged, this, [this, gridTag](int r, int c) {
        if (r >= 0 && c >= 0)
            GridMouseDown(gridTag, r, c);
    });
}

void StatusPages::showRow(const sensor::StatusGrid& model, QTableWidget* table, int row) {
    for (int c = 0; c < model.columns(); ++c) {
        QTableWidgetItem* item = table->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            table->setItem(row, c, item);
        }
        item->setText(model.rows[row][c]);
    }
}

void StatusPages::show(const sensor::StatusGrid& model, QTableWidget* table) {
    const int rows = static_cast<int>(model.rows.size());
    table->setRowCount(rows);
    for (int r = 0; r < rows; ++r)
        showRow(model, table, r);
    // Columns as wide as what they show, so that the grid fits a small
    // screen; sixteen rows show at once, beyond that the grid scrolls and
    // widens by the scroll bar.
    table->resizeColumnsToContents();
    int width = 2 * table->frameWidth();
    for (int c = 0; c < model.columns(); ++c)
        width += table->columnWidth(c);
    if (rows > kVisibleRows)
        width += kScrollBarWidth;
    const int rowHeight = table->verticalHeader()->defaultSectionSize();
    table->setFixedSize(width, table->horizontalHeader()->height() + kVisibleRows * rowHeight +
                                   2 * table->frameWidth());
    table->setVisible(model.visible);
}

// Polls --------------------------------------------------------------------------

bool StatusPages::pollEnded(const sensor::PollResult& r, quint64 heardBefore,
                            const sensor::StatusGrid& grid) {
    if (r.linkLost || r.stopped)
        return !r.linkLost;
    // A controller or the line that stayed silent is named; else, when no
    // sensor answered at all, say so rather than show an empty grid.
    const bool noneAnswered =
        r.asked > 0 ? r.answered == 0 : m_form.link().charactersReceived() == heardBefore;
    if (!r.silentFronts.empty())
        m_form.SetMess(sensor::pollSummary(r));
    else if (!grid.rows.empty() && noneAnswered)
        m_form.SetMess(QStringLiteral("НЕТ ОТВЕТА"));
    else if (r.asked > 0)
        m_form.SetMess(sensor::pollSummary(r));
    return !r.linkLost;
}

bool StatusPages::pollGeneral() {
    show(m_general, m_sgSns);
    const quint64 heard = m_form.link().charactersReceived();
    const auto r = sensor::PollGeneralStatus(
        m_form.link(), m_form.state().layout, *m_form.progressDialog(), m_general,
        m_mirel->isChecked(), [this](int row) {
            if (m_sgSns->rowCount() != static_cast<int>(m_general.rows.size()))
                show(m_general, m_sgSns);
            m_sgSns->setVisible(m_general.visible);
            showRow(m_general, m_sgSns, row);
        });
    show(m_general, m_sgSns);
    if (m_cycle->isChecked())
        m_timer.start();
    else
        m_getStat->setChecked(false);
    const bool linkKept = pollEnded(r, heard, m_general);
    // Only a whole poll is recorded and summed up.
    if (linkKept && !r.stopped && !m_general.rows.empty())
        m_logPanel->pollDone(m_general,
                             sensor::usesPerValuePoll(m_form.state().layout, m_mirel->isChecked())
                                 ? polllog::PollKind::PerValue
                                 : polllog::PollKind::Combined);
    return linkKept;
}

void StatusPages::openTrends() {
    if (!m_trends) {
        m_trends =
            new TrendsDialog([this] { return m_logPanel->logPath(); }, m_form.dialogParent());
        // Cyclic polling draws on as it records.
        connect(m_logPanel, &PollLogPanel::recorded, m_trends, &TrendsDialog::follow);
    }
    m_trends->show();
    m_trends->raise();
}

bool StatusPages::pollExtended() {
    m_form.SetMess(QString());
    const quint64 heard = m_form.link().charactersReceived();
    const auto r = sensor::PollExtendedStatus(
        m_form.link(), m_form.state().layout, *m_form.progressDialog(), m_thermometers, m_densities,
        [this](int row) {
            if (m_sgTStat->rowCount() != static_cast<int>(m_thermometers.rows.size())) {
                show(m_thermometers, m_sgTStat);
                show(m_densities, m_sgDStat);
            }
            showRow(m_thermometers, m_sgTStat, row);
            showRow(m_densities, m_sgDStat, row);
        });
    show(m_thermometers, m_sgTStat);
    show(m_densities, m_sgDStat);
    if (m_lCycle->isChecked())
        m_timer.start();
    else
        m_getLStat->setChecked(false);
    const bool linkKept = pollEnded(r, heard, m_thermometers);
    // Only a whole poll is recorded.
    if (linkKept && !r.stopped && !m_thermometers.rows.empty())
        m_logPanel->extendedPollDone(m_thermometers, m_densities);
    return linkKept;
}

bool StatusPages::pollConfig() {
    m_form.SetMess(QString());
    const quint64 heard = m_form.link().charactersReceived();
    const auto r = sensor::PollConfigOverview(
        m_form.link(), m_form.state().layout, *m_form.progressDialog(), m_config, [this](int row) {
            if (m_sgCfg->rowCount() != static_cast<int>(m_config.rows.size()))
                show(m_config, m_sgCfg);
            showRow(m_config, m_sgCfg, row);
        });
    show(m_config, m_sgCfg);
    const bool linkKept = pollEnded(r, heard, m_config);
    if (linkKept && !r.stopped && !m_config.rows.empty())
        m_logPanel->overviewPollDone(m_config);
    return linkKept;
}

// Cyclic polling -------------------------------------------------------------

QToolButton* StatusPages::getButton(int tag) const {
    return tag == GetGeneral ? m_getStat : m_getLStat;
}
QCheckBox* StatusPages::cycleBox(int tag) const {
    return tag == GetGeneral ? m_cycle : m_lCycle;
}

void StatusPages::cbCycleClick(int tag) {
    // Ticking starts a first poll at once; unticking only releases the button.
    if (cycleBox(tag)->isChecked()) {
        getButton(tag)->setChecked(true);
        startCycle(tag);
    } else {
        getButton(tag)->setChecked(false);
    }
}

void StatusPages::startCycle(int tag) {
    if (!cycleBox(tag)->isChecked())
        return;
    // Another operation holds the line: the first poll follows once it ends.
    if (m_form.deviceBusy()) {
        QTimer::singleShot(kBusyRetryMs, this, [this, tag] { startCycle(tag); });
        return;
    }
    m_form.btGetClick(tag);
}

void StatusPages::TmrTimer() {
    m_timer.stop();
    if (m_form.deviceBusy()) {
        QTimer::singleShot(kBusyRetryMs, this, &StatusPages::TmrTimer);
        return;
    }
    if (m_cycle->isChecked())
        m_form.btGetClick(GetGeneral);
    if (m_lCycle->isChecked())
        m_form.btGetClick(GetExtended);
    // The interval runs from the end of one poll to the start of the next.
    if (m_cycle->isChecked() || m_lCycle->isChecked())
        m_timer.start();
}

void StatusPages::stopCycles() {
    for (int t : {GetGeneral, GetExtended}) {
        cycleBox(t)->setChecked(false);
        getButton(t)->setChecked(false);
    }
    m_timer.stop();
}

void StatusPages::clearGrids() {
    for (auto [model, table] :
         {std::pair{&m_general, m_sgSns}, std::pair{&m_thermometers, m_sgTStat},
          std::pair{&m_densities, m_sgDStat}, std::pair{&m_config, m_sgCfg}}) {
        model->resize(0);
        table->setRowCount(0);
        table->hide();
    }
    for (QPushButton* b : {m_detStat, m_detPStat, m_detSCfg})
        b->setEnabled(false);
}

void StatusPages::leavePage(int tag) {
    if (tag == app::TagStat && m_cycle->isChecked()) {
        m_cycle->setChecked(false);
        m_getStat->setChecked(false);
        m_timer.stop();
    }
    if (tag == app::TagPStat) {
        // Hiding the extended page ends both cycles.
        for (int t : {GetGeneral, GetExtended}) {
            if (cycleBox(t)->isChecked()) {
                cycleBox(t)->setChecked(false);
                getButton(t)->setChecked(false);
            }
        }
        m_timer.stop();
    }
}

// Cell click and "УТОЧНИТЬ" ------------------------------------------------------

void StatusPages::GridMouseDown(int gridTag, int row, int column) {
    m_form.SetMess(QString());
    m_clickedGrid = gridTag;
    m_clickedColumn = column;
    m_clickedRow = row;
    QTableWidget* table = qobject_cast<QTableWidget*>(sender());
    if (!table)
        table = gridTag == GeneralGrid ? m_sgSns : gridTag == ConfigGrid ? m_sgCfg : m_sgTStat;
    auto textAt = [table](int r, int c) {
        const QTableWidgetItem* item = table->item(r, c);
        return item ? item->text() : QString();
    };
    bool ok = false;
    const int number = textAt(row, 0).toInt(&ok);
    m_clickedSensor = ok ? number - 1 : -1;
    m_clickedCode = 0;
    const QString text = textAt(row, column);
    if (gridTag == GeneralGrid && column == sensor::ColStatus) {
        m_form.SetMess(m_form.decoder().DecodeStatusPair(text));
        return;
    }
    bool decodable = false;
    if (const auto code = codeTextIn(text)) {
        m_clickedCode = codeIn(text);
        m_form.SetMess(m_form.decoder().DecodeCodeText(*code, false));
        decodable = m_clickedSensor >= 0;
    }
    const bool numbered = m_clickedSensor >= 0;
    switch (gridTag) {
    case GeneralGrid:
        m_detStat->setEnabled(
            decodable || (numbered && (column == sensor::ColFuel || column == sensor::ColWater ||
                                       column == sensor::ColMass)));
        break;
    case ExtendedGrid:
        m_detPStat->setEnabled(decodable);
        break;
    default:
        m_detSCfg->setEnabled(
            numbered && (column == sensor::ColThermometers || column == sensor::ColDensityMeters));
        break;
    }
}

void StatusPages::DetClick(int gridTag) {
    m_form.SetMess(QString());
    QPushButton* button = gridTag == GeneralGrid    ? m_detStat
                          : gridTag == ExtendedGrid ? m_detPStat
                                                    : m_detSCfg;
    button->setEnabled(false);
    jumpTo(gridTag);
}

void StatusPages::jumpTo(int gridTag) {
    if (!m_form.SelectSensorByNumber(m_clickedSensor))
        return;
    int target = app::TagProp;
    // On the properties page the jump shows one tab and reads it.
    PageRequest request = PageRequest::ShowThermometers;
    if (gridTag == ConfigGrid && m_clickedColumn == sensor::ColDensityMeters)
        request = PageRequest::ShowDensityMeters;
    if (gridTag == GeneralGrid) {
        switch (m_clickedColumn) {
        case sensor::ColFuel:
        case sensor::ColWater:
            target = app::TagSDgr;
            request = PageRequest::Draw;
            break;
        case sensor::ColTemperature:
            target = app::TagProp;
            break;
        case sensor::ColDensity:
            target = app::TagDens;
            request = PageRequest::FindDensityMeters;
            break;
        case sensor::ColVolume:
            target = app::TagCT;
            break;
        case sensor::ColMass: {
            // The density cell of the row tells where a mass fault comes from.
            const QTableWidgetItem* density = m_sgSns->item(m_clickedRow, sensor::ColDensity);
            const int code = density ? codeIn(density->text()) : 0;
            target = (code & 0x80) ? app::TagDens : app::TagCT;
            request = PageRequest::FindDensityMeters;
            break;
        }
        default:
            return;
        }
    }
    // The calibration page takes no request: it is only shown.
    m_form.jumpTo(target, request);
}
