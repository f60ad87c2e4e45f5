#include "ui/SensorPropertiesPage.h"

#include "app/Modes.h"
#include "db/SensorRecord.h"
#include "link/Transit.h"
#include "sensor/SensorCatalogue.h"
#include "ui/InputFilters.h"
#include "ui/PageHost.h"
#include "ui/PageWidgets.h"
#include "ui/PlacesTabs.h"
#include "ui/SensorDatabases.h"
#include "ui/SettingWidgets.h"
#include "ui/TBuilderForm.h"
#include "ui/TPForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLineEdit* field(const char* name, QWidget* parent, int width = 80) {
    return valueField(QLatin1String(name), parent, width);
}

QCheckBox* checkBox(const char* name, const QString& text, QWidget* parent) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    return c;
}

// A group box: its fields on the left, the mark on the right.
QGroupBox* group(const QString& title, QToolButton* mark, std::initializer_list<QWidget*> widgets,
                 QWidget* parent) {
    auto* g = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(g);
    auto* column = new QVBoxLayout;
    for (QWidget* w : widgets) {
        w->setParent(g);
        column->addWidget(w, 0, Qt::AlignLeft);
    }
    row->addLayout(column, 1);
    mark->setParent(g);
    row->addWidget(mark, 0, Qt::AlignTop);
    return g;
}

} // namespace

SensorPropertiesPage::SensorPropertiesPage(PageHost& form, QWidget* page,
                                           const std::vector<app::Setting>& catalogue)
    : QObject(page), m_form(form), m_catalogue(catalogue) {
    m_tabs = new QTabWidget(page);
    m_tabs->setObjectName(QStringLiteral("pcProp"));
    m_tabs->addTab(buildSensorTab(), QStringLiteral("СЕНСОР"));
    m_tabs->addTab(buildSectionsTab(), QStringLiteral("СЕКЦИОННЫЕ ПОПРАВКИ"));
    m_tabs->addTab(buildMobileTab(), QStringLiteral("МОБИЛЬНЫЙ ДАТЧИК"));
    auto* thermometers = new QWidget(m_tabs);
    thermometers->setObjectName(QStringLiteral("tsTProp"));
    m_thermometers = new ThermometerTab(form, thermometers);
    m_tabs->addTab(thermometers, QStringLiteral("ТЕРМОМЕТРЫ"));
    auto* densities = new QWidget(m_tabs);
    densities->setObjectName(QStringLiteral("tsDProp"));
    m_densities = new DensityTab(form, densities);
    m_tabs->addTab(densities, QStringLiteral("ПЛОТНОМЕРЫ"));
    // The sensor's own settings no group lays out, on the СЕНСОР tab.
    std::vector<const app::Setting*> own;
    for (const app::Setting& row : m_catalogue)
        if (sensor::isOwnSetting(row))
            own.push_back(&row);
    if (QWidget* others = unplacedRowsGroup(own, m_tabs))
        m_sensorColumn->insertWidget(1, others);
    page->layout()->addWidget(m_tabs);
    m_databases = new SensorDatabases(form, *this, page);
    m_builder = new TBuilderForm(form.config(), form.dialogParent());
    m_builder->apply = [this](const QList<QStringList>& rows, const QString& length) {
        m_thermometers->TakeBuilderGrid(rows);
        setSensorSize(length);
    };
    m_thermometers->setBuilder([this] { m_builder->exec(); });

    m_form.registerGetAction(SensorTag, [this] { return readSensor(); });
    m_form.registerSetAction(SensorTag, [this] { return writeSensor(); });
    m_form.registerGetAction(SectionsTag, [this] { return readSections(); });
    m_form.registerSetAction(SectionsTag, [this] { return writeSections(); });
    m_form.registerGetAction(SegmentsTag, [this] { return readSegments(); });
    m_form.registerSetAction(SegmentsTag, [this] { return writeSegments(); });
    m_form.registerGetAction(CodeUpdateTag, [this] { return readCodeUpdate(); });
    m_form.registerSetAction(CodeUpdateTag, [this] { return writeCodeUpdate(); });
    m_form.addClearSensorFields([this] { clearSensorFields(); });
    // Jumped to, the page shows one tab and reads it.
    m_form.addRequestHandler(app::TagProp, [this](PageRequest request) {
        const bool densities = request == PageRequest::ShowDensityMeters;
        showOnly(densities ? DensitiesTab : ThermometersTab);
        m_form.btGetClick(densities ? int(DensityTab::Tag) : int(ThermometerTab::Tag));
    });
}

void SensorPropertiesPage::showTab(int index) {
    m_tabs->setCurrentIndex(index);
}

void SensorPropertiesPage::showOnly(int index) {
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabVisible(i, i == index);
    showTab(index);
}

void SensorPropertiesPage::showAllTabs() {
    for (int i = 0; i < m_tabs->count(); ++i)
        m_tabs->setTabVisible(i, true);
}

std::uint8_t SensorPropertiesPage::sensor() const {
    return m_form.state().sensorAddress;
}

bool SensorPropertiesPage::linkOpen() const {
    return m_form.link().isOpen();
}

// Building ----------------------------------------------------------------------

QWidget* SensorPropertiesPage::buildSensorTab() {
    auto* tab = new QWidget(m_tabs);
    tab->setObjectName(QStringLiteral("tsSProp"));
    auto* grid = new QGridLayout;

    m_reSSize = field("reSSize", tab);
    ReKeyPress(m_reSSize);
    m_cbNBSize = checkBox("cbNBSize", QStringLiteral("верт."), tab);
    m_cbNBSize->setToolTip(QStringLiteral("Широкий сенсор (старый НБ) ."));
    auto* sizeRow = new QWidget(tab);
    auto* sizeLayout = new QHBoxLayout(sizeRow);
    sizeLayout->setContentsMargins(0, 0, 0, 0);
    sizeLayout->addWidget(m_reSSize);
    sizeLayout->addWidget(new QLabel(QStringLiteral("мм"), sizeRow));
    sizeLayout->addWidget(m_cbNBSize);
    sizeLayout->addStretch(1);
    m_sbSizeEn = markButton(QStringLiteral("sbSizeEn"), tab);
    grid->addWidget(group(QStringLiteral("РАЗМЕР СЕНСОРА УРОВНЯ"), m_sbSizeEn, {sizeRow}, tab), 0,
                    0);

    m_reFnd = field("reFnd", tab);
    ReKeyPress(m_reFnd, true, true);
    m_sbFndEn = markButton(QStringLiteral("sbFndEn"), tab);
    auto* fndPanel = group(QStringLiteral("ПОПРАВКА ПО УРОВНЮ"), m_sbFndEn, {m_reFnd}, tab);
    fndPanel->setObjectName(QStringLiteral("pFnd"));
    grid->addWidget(fndPanel, 0, 1);

    m_rbCombi = new QRadioButton(QStringLiteral("совмещён."), tab);
    m_rbCombi->setObjectName(QStringLiteral("rbDMLCombi"));
    m_rbSepar = new QRadioButton(QStringLiteral("отдельный"), tab);
    m_rbSepar->setObjectName(QStringLiteral("rbDMLSepar"));
    m_rbSepar->setChecked(true);
    m_cbOneDen = checkBox("cbOneDen", QStringLiteral("единственный плотномер"), tab);
    m_sbDChEn = markButton(QStringLiteral("sbDChEn"), tab);
    grid->addWidget(group(QStringLiteral("КАНАЛ ПЛОТНОСТИ"), m_sbDChEn,
                          {m_rbCombi, m_rbSepar, m_cbOneDen}, tab),
                    1, 0);

    m_cbDDC_B2 = checkBox("cbDDC_B2", QStringLiteral("при отказе связи (0хВ2)"), tab);
    m_cbDDC_01 = checkBox("cbDDC_01", QStringLiteral("при 0/1 плотности"), tab);
    m_sbDDCEn = markButton(QStringLiteral("sbDDCEn"), tab);
    grid->addWidget(
        group(QStringLiteral("СБРОС ПЛОТНОМЕРОВ"), m_sbDDCEn, {m_cbDDC_B2, m_cbDDC_01}, tab), 1, 1);

    m_reCrt = field("reCrt", tab);
    ReKeyPress(m_reCrt, false, true);
    m_sbCrtEn = markButton(QStringLiteral("sbCrtEn"), tab);
    grid->addWidget(group(QStringLiteral("КРИТЕРИЙ НАЛИВА"), m_sbCrtEn, {m_reCrt}, tab), 2, 0);

    m_cbRetr = checkBox("cbRetr", QStringLiteral("распространять D и Td"), tab);
    m_sbRetrEn = markButton(QStringLiteral("sbRetrEn"), tab);
    grid->addWidget(group(QStringLiteral("ПОСЛЕ НАЛИВА"), m_sbRetrEn, {m_cbRetr}, tab), 2, 1);

    // The radio buttons sit in one group box but need one group of their own.
    auto* channel = new QButtonGroup(tab);
    channel->addButton(m_rbCombi);
    channel->addButton(m_rbSepar);
    connect(m_rbCombi, &QRadioButton::clicked, this, &SensorPropertiesPage::rbDMLClick);
    connect(m_rbSepar, &QRadioButton::clicked, this, &SensorPropertiesPage::rbDMLClick);
    connect(m_cbOneDen, &QCheckBox::clicked, this, &SensorPropertiesPage::cbOneDenClick);
    connect(m_sbDChEn, &QToolButton::clicked, this, &SensorPropertiesPage::sbDChEnClick);

    m_lBadFlags = new QLabel(sensor::kForbiddenFlags, tab);
    m_lBadFlags->setObjectName(QStringLiteral("lBadFlags"));
    m_lBadFlags->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    m_lBadFlags->hide();

    auto* column = new QVBoxLayout(tab);
    m_sensorColumn = column;
    column->addLayout(grid);
    column->addLayout(getSetButtons("btGetSProp", "BitBtn3", SensorTag, tab, m_lBadFlags));
    column->addStretch(1);
    return tab;
}

QWidget* SensorPropertiesPage::buildSectionsTab() {
    auto* tab = new QWidget(m_tabs);
    tab->setObjectName(QStringLiteral("tsSAdd"));
    auto* grid = new QGridLayout;
    // Section 8, the uppermost, on top, as the sections sit on the sensor.
    for (int i = 7; i >= 0; --i) {
        const int row = 7 - i;
        const QByteArray n = QByteArray::number(i + 1);
        m_reSAdd[i] = field(("reSAdd" + n).constData(), tab, 100);
        m_sbSAdd[i] = markButton(QLatin1String("sbSAdd" + n), tab);
        grid->addWidget(new QLabel(QStringLiteral("№ %1").arg(i + 1), tab), row, 0);
        grid->addWidget(m_reSAdd[i], row, 1);
        grid->addWidget(m_sbSAdd[i], row, 2);
        if (i == 7)
            grid->addWidget(new QLabel(QStringLiteral("верхняя секция"), tab), row, 3);
        if (i == 0)
            grid->addWidget(new QLabel(QStringLiteral("нижняя секция"), tab), row, 3);
    }
    for (int i = 0; i < 8; ++i)
        SAddKeyPress(m_reSAdd[i], i > 0 ? m_reSAdd[i - 1] : nullptr);
    grid->setColumnStretch(4, 1);

    auto* clear = actionButton("btClearSAdd", QStringLiteral("ОЧИСТИТЬ"), 1, tab);
    connect(clear, &QPushButton::clicked, this, &SensorPropertiesPage::clearSections);

    auto* column = new QVBoxLayout(tab);
    column->addLayout(grid);
    column->addLayout(getSetButtons("btGetSAdd", "BitBtn6", SectionsTag, tab, clear));
    column->addStretch(1);
    return tab;
}

QWidget* SensorPropertiesPage::buildMobileTab() {
    auto* tab = new QWidget(m_tabs);
    tab->setObjectName(QStringLiteral("tsMobile"));

    m_reWorkSeg = field("reWorkSeg", tab, 60);
    m_reWorkSeg->setToolTip(QStringLiteral("Количество рабочих сегментов"));
    m_reDelSeg = field("reDelSeg", tab, 60);
    m_reDelSeg->setToolTip(QStringLiteral("Количество сегментов, удалённых сверху"));
    ReKeyPress(m_reWorkSeg);
    ReKeyPress(m_reDelSeg);
    auto* segRow = new QWidget(tab);
    auto* segLayout = new QHBoxLayout(segRow);
    segLayout->setContentsMargins(0, 0, 0, 0);
    segLayout->addWidget(m_reWorkSeg);
    segLayout->addWidget(new QLabel(QStringLiteral("+"), segRow));
    segLayout->addWidget(m_reDelSeg);
    segLayout->addStretch(1);
    m_sbSegCfg = markButton(QStringLiteral("sbSegCfg"), tab);
    auto* segButtons = new QWidget(tab);
    segButtons->setLayout(getSetButtons("btGetSeg", "BitBtn5", SegmentsTag, segButtons));
    segButtons->layout()->setContentsMargins(0, 0, 0, 0);

    m_cbCodUp = checkBox("cbCodUp", QStringLiteral("разрешить обновление"), tab);
    m_sbCodUp = markButton(QStringLiteral("sbCodUp"), tab);
    m_cbCodAlg = checkBox("cbCodAlg", QStringLiteral("разрешить алгоритм"), tab);
    m_reAlgNum = field("reAlgNum", tab, 60);
    ReKeyPress(m_reAlgNum);
    m_sbAlgNum = markButton(QStringLiteral("sbAlgNum"), tab);
    m_stAlgCnt = new QLabel(tab);
    m_stAlgCnt->setObjectName(QStringLiteral("stAlgCnt"));
    m_stAlgCnt->setFixedWidth(50);
    m_stAlgCnt->setFrameShape(QFrame::StyledPanel);
    auto* codes = new QGroupBox(QStringLiteral("ОБНОВЛЕНИЕ КОДОВ"), tab);
    auto* codeGrid = new QGridLayout(codes);
    codeGrid->addWidget(m_cbCodUp, 0, 0, 1, 4);
    codeGrid->addWidget(m_sbCodUp, 0, 4);
    codeGrid->addWidget(m_cbCodAlg, 1, 0, 1, 4);
    codeGrid->addWidget(new QLabel(QStringLiteral("Счётчик"), codes), 2, 0);
    codeGrid->addWidget(m_reAlgNum, 2, 1);
    codeGrid->addWidget(m_stAlgCnt, 2, 2);
    codeGrid->addWidget(m_sbAlgNum, 2, 4);
    codeGrid->setColumnStretch(3, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{m_cbCodUp, m_sbCodUp, m_cbCodAlg, m_reAlgNum,
                                                      m_stAlgCnt, m_sbAlgNum})
        w->setParent(codes);
    codeGrid->addLayout(getSetButtons("btGetCodUp", "BitBtn2", CodeUpdateTag, codes), 3, 0, 1, 5);

    auto* column = new QVBoxLayout(tab);
    m_segments =
        group(QStringLiteral("РАЗМЕР СЕНСОРА УРОВНЯ"), m_sbSegCfg, {segRow, segButtons}, tab);
    m_codes = codes;
    column->addWidget(m_segments);
    column->addWidget(codes);
    column->addStretch(1);
    return tab;
}

QHBoxLayout* SensorPropertiesPage::getSetButtons(const char* getName, const char* setName, int tag,
                                                 QWidget* parent, QWidget* leading) {
    auto* get = actionButton(getName, QStringLiteral("ПОЛУЧИТЬ"), tag, parent);
    auto* set = actionButton(setName, QStringLiteral("УСТАНОВИТЬ"), tag, parent);
    connect(get, &QPushButton::clicked, this, [this, tag] { m_form.btGetClick(tag); });
    connect(set, &QPushButton::clicked, this, [this, tag] { m_form.btSetClick(tag); });
    auto* row = new QHBoxLayout;
    if (leading)
        row->addWidget(leading);
    row->addStretch(1);
    row->addWidget(get);
    row->addWidget(set);
    return row;
}

// Flag rules --------------------------------------------------------------------

void SensorPropertiesPage::rbDMLClick() {
    const bool combined = m_rbCombi->isChecked();
    if (combined)
        m_cbOneDen->setChecked(false);
    m_cbOneDen->setEnabled(!combined);
    m_lBadFlags->hide();
}

void SensorPropertiesPage::cbOneDenClick() {
    m_lBadFlags->hide();
}

void SensorPropertiesPage::sbDChEnClick() {
    QWidget* tab = m_tabs->widget(SensorTab);
    if (m_sbDChEn->isChecked() &&
        sensor::isForbiddenCombination(shownSettings(rowsOn(m_catalogue, tab), tab))) {
        m_lBadFlags->show();
        m_sbDChEn->setChecked(false);
    }
}

// Reads and writes ------------------------------------------------------------------

app::SettingValues SensorPropertiesPage::readRows(QWidget* where) {
    const app::SettingValues values =
        sensor::ReadSensorRows(m_form.link(), sensor(), rowsOn(m_catalogue, where));
    // Every field the read covers shows it: what did not come is shown
    // unread, never what the last sensor (or the last read) left there.
    int missing = 0, asked = 0;
    for (const auto& [key, value] : values) {
        const app::Setting* row = app::findSetting(m_catalogue, key);
        if (!row)
            continue;
        showSetting(*row, value, m_tabs);
        if (row->use != app::SettingUse::Measured) {
            ++asked;
            missing += value.isNull() ? 1 : 0;
        }
    }
    m_form.SetMess(readResult(missing, asked));
    return values;
}

bool SensorPropertiesPage::writeRows(QWidget* where) {
    m_form.SetMess(QString());
    // Every marked value passes its row before the line is touched; the
    // write is the one "sensor N set" makes.
    const MarkedSettings marked =
        takeMarkedSettings(rowsOn(m_catalogue, where), m_catalogue, where);
    if (marked.rows.empty()) {
        m_form.SetMess(marked.refusals.isEmpty() ? app::kNothingToWrite
                                                 : marked.refusals.join(QStringLiteral("; ")));
        return linkOpen();
    }
    // Half of a pair given only together is refused before transit, too.
    if (const auto refused = sensor::refusalOf(marked.values, m_catalogue)) {
        m_form.SetMess(writeResult(marked.refusals, refused->text(false)));
        return linkOpen();
    }
    // The dialog's Break stops the writes not yet made; a Break left from
    // before (a change of mode) does not.
    m_form.progressDialog()->ShowProgress(0);
    const bus::TransitScope transit = m_form.sensorTransit();
    const sensor::SettingsWrite w = sensor::WriteSensorSettings(
        m_form.link(), sensor(), marked.values, *m_form.progressDialog(), m_catalogue);
    m_form.SetMess(
        writeResult(marked.refusals, w.refused ? w.refused->text(false)
                                               : showWrittenSettings(marked, w.failed, where)));
    return linkOpen();
}

// "СЕНСОР" ----------------------------------------------------------------------

bool SensorPropertiesPage::readSensor() {
    m_lBadFlags->hide();
    const app::SettingValues values = readRows(m_tabs->widget(SensorTab));
    m_sensorUnanswered = db::unreadKept(values);
    // What the sensor holds is shown as it is, even when forbidden.
    m_cbOneDen->setEnabled(!m_rbCombi->isChecked() || m_cbOneDen->isChecked());
    if (sensor::isForbiddenCombination(values)) {
        m_lBadFlags->show();
        m_sbDChEn->setChecked(false);
    }
    return linkOpen();
}

bool SensorPropertiesPage::writeSensor() {
    return writeRows(m_tabs->widget(SensorTab));
}

// Section corrections -------------------------------------------------------------

void SensorPropertiesPage::clearSections() {
    for (QLineEdit* e : m_reSAdd) {
        e->clear();
        paintBad(e, false);
    }
}

bool SensorPropertiesPage::readSections() {
    readRows(m_tabs->widget(SectionsTab));
    return linkOpen();
}

bool SensorPropertiesPage::writeSections() {
    return writeRows(m_tabs->widget(SectionsTab));
}

// Mobile sensor ---------------------------------------------------------------------

bool SensorPropertiesPage::readSegments() {
    readRows(m_segments);
    return linkOpen();
}

bool SensorPropertiesPage::writeSegments() {
    return writeRows(m_segments);
}

bool SensorPropertiesPage::readCodeUpdate() {
    readRows(m_codes);
    return linkOpen();
}

bool SensorPropertiesPage::writeCodeUpdate() {
    return writeRows(m_codes);
}

// A change of sensor ------------------------------------------------------------------

void SensorPropertiesPage::clearSensorFields() {
    m_sensorUnanswered.clear();
    m_thermometers->clear();
    m_densities->clear();
    for (QLineEdit* e : {m_reSSize, m_reFnd, m_reCrt, m_reWorkSeg, m_reDelSeg, m_reAlgNum}) {
        e->clear();
        paintBad(e, false);
    }
    clearSections();
    m_stAlgCnt->clear();
    for (QCheckBox* c :
         {m_cbNBSize, m_cbOneDen, m_cbDDC_B2, m_cbDDC_01, m_cbRetr, m_cbCodUp, m_cbCodAlg})
        c->setChecked(false);
    m_cbOneDen->setEnabled(true);
    m_rbSepar->setChecked(true);
    m_lBadFlags->hide();
    for (QToolButton* b : {m_sbSizeEn, m_sbFndEn, m_sbDChEn, m_sbDDCEn, m_sbCrtEn, m_sbRetrEn,
                           m_sbSegCfg, m_sbCodUp, m_sbAlgNum})
        b->setChecked(false);
    for (QToolButton* b : m_sbSAdd)
        b->setChecked(false);
}
