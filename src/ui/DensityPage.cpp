#include "ui/DensityPage.h"

#include "app/Modes.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SettingText.h"
#include "ui/PageHost.h"
#include "ui/PageWidgets.h"
#include "ui/TPForm.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kCycleTickMs = 500;
constexpr int kCycleTicks = 20; // a reading every 10 s
constexpr int kPanelHeight = 260;
constexpr int kPanelWidth = 56;

// Value fields of the selected meter: name, caption, and what reads it.
struct ValueRow {
    const char* name;
    const char* caption;
};
constexpr ValueRow kRows[] = {
    {"stRev", "Версия"},         {"stDStat", "Статус"},      {"stADC1", "ADC1"},
    {"stADC2", "ADC2"},          {"stDisp1", "Disp1"},       {"stDisp2", "Disp2"},
    {"stBaseTemp", "Баз.Темп."}, {"stBaseDens", "BaseDens"}, {"stBaseDltDens", "BaseDltD"},
    {"stDens", "Dens"},          {"stCorrDens", "CorrDens"}, {"stTemp", "Температ."},
};

QString caption(int meter) {
    if (meter == 1)
        return QStringLiteral("№ 1 - НИЖНИЙ");
    if (meter == density::kMeters)
        return QStringLiteral("№ 8 - ВЕРХНИЙ");
    return QStringLiteral("№ %1").arg(meter);
}

} // namespace

// Position panel ------------------------------------------------------------------

MeterPositionPanel::MeterPositionPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pDPos"));
    setFixedSize(kPanelWidth, kPanelHeight);
}

void MeterPositionPanel::setPositions(const density::Positions& positions) {
    m_positions = positions;
    setVisible(positions.shown);
    update();
}

int MeterPositionPanel::lampY(int meter) const {
    // Meter 1 at the bottom, meter 8 at the top.
    return height() - 16 - meter * (height() - 32) / (density::kMeters - 1);
}

void MeterPositionPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(Qt::gray);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const int bottom = height() - 2;
    // Default marks when nothing reaches a meter: a little fuel, less water.
    const int fuelTop = m_positions.fuelUpTo ? lampY(*m_positions.fuelUpTo) - 8 : bottom - 30;
    const int waterTop = m_positions.waterUpTo ? lampY(*m_positions.waterUpTo) + 8 : bottom - 20;
    p.fillRect(QRect(QPoint(6, fuelTop), QPoint(width() / 2 - 2, bottom)),
               QColor(0xE0, 0xA0, 0x20));
    p.fillRect(QRect(QPoint(width() / 2 + 2, waterTop), QPoint(width() - 7, bottom)),
               QColor(0x30, 0x80, 0xE0));
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < density::kMeters; ++i) {
        if (!m_positions.lamps[i])
            continue;
        p.setBrush(QColor(0x20, 0xC0, 0x20));
        p.setPen(Qt::black);
        p.drawEllipse(QPoint(width() / 2, lampY(i)), 6, 6);
    }
}

// Page ------------------------------------------------------------------------------

DensityPage::DensityPage(PageHost& form, QWidget* page) : QObject(page), m_form(form) {
    auto* row = new QHBoxLayout;
    row->addWidget(buildMeterPanels(page), 0, Qt::AlignTop);
    m_positions = new MeterPositionPanel(page);
    m_positions->hide();
    row->addWidget(m_positions, 0, Qt::AlignTop);
    row->addWidget(buildValues(page), 1, Qt::AlignTop);
    static_cast<QVBoxLayout*>(page->layout())->addLayout(row);
    page->layout()->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
    m_form.addClearSensorFields([this] { clearSensorFields(); });
    m_form.addLeaveAction(app::TagDens, [this] { pCnvClick(false); });
    // Jumped to, the page starts by finding the sensor's meters.
    m_form.addRequestHandler(app::TagDens, [this](PageRequest) { GetDensNum(); });
    select(m_form.state().selectedDensityMeter);
}

QWidget* DensityPage::buildMeterPanels(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    for (int n = density::kMeters; n >= 1; --n) {
        auto* panel = new QFrame(box);
        panel->setObjectName(QStringLiteral("pDen%1").arg(n));
        panel->setProperty("Tag", n);
        panel->setFrameShape(QFrame::Panel);
        panel->setMinimumWidth(260);
        auto* inner = new QVBoxLayout(panel);
        inner->setContentsMargins(4, 2, 4, 2);
        inner->setSpacing(1);
        auto* title = new QLabel(caption(n), panel);
        QFont f = title->font();
        f.setBold(true);
        title->setFont(f);
        m_ids[n - 1] = new QLabel(panel);
        m_ids[n - 1]->setObjectName(QStringLiteral("lDI%1").arg(n));
        m_statuses[n - 1] = new QLabel(panel);
        m_statuses[n - 1]->setObjectName(QStringLiteral("lDE%1").arg(n));
        m_statuses[n - 1]->setWordWrap(true);
        auto* head = new QHBoxLayout;
        head->addWidget(title);
        head->addStretch(1);
        head->addWidget(m_ids[n - 1]);
        inner->addLayout(head);
        inner->addWidget(m_statuses[n - 1]);
        for (QWidget* w :
             std::initializer_list<QWidget*>{panel, title, m_ids[n - 1], m_statuses[n - 1]})
            w->installEventFilter(this);
        m_panels[n - 1] = panel;
        column->addWidget(panel);
    }
    return box;
}

QWidget* DensityPage::buildValues(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    int r = 0;
    for (const ValueRow& v : kRows) {
        auto* field = new QLabel(box);
        field->setObjectName(QLatin1String(v.name));
        field->setFrameShape(QFrame::StyledPanel);
        field->setMinimumWidth(110);
        field->setAutoFillBackground(true);
        m_fields[QLatin1String(v.name)] = field;
        auto* get = new QPushButton(QStringLiteral("GET"), box);
        get->setObjectName(QStringLiteral("btGet_") + QLatin1String(v.name));
        get->setFixedWidth(56);
        grid->addWidget(new QLabel(QString::fromUtf8(v.caption), box), r, 0);
        grid->addWidget(field, r, 1);
        grid->addWidget(get, r, 2);
        const QString name = QLatin1String(v.name);
        connect(get, &QPushButton::clicked, this, [this, name] {
            const std::uint8_t s = m_form.state().sensorAddress;
            auto& link = m_form.link();
            const int m = meter();
            std::function<density::Field()> read;
            using density::Parameter;
            static const std::map<QString, Parameter> params = {
                {QStringLiteral("stADC1"), Parameter::Adc1},
                {QStringLiteral("stADC2"), Parameter::Adc2},
                {QStringLiteral("stDisp1"), Parameter::Disp1},
                {QStringLiteral("stDisp2"), Parameter::Disp2},
                {QStringLiteral("stBaseTemp"), Parameter::BaseTemperature},
                {QStringLiteral("stBaseDens"), Parameter::BaseDensity},
                {QStringLiteral("stBaseDltDens"), Parameter::BaseDensityDifference},
                {QStringLiteral("stDens"), Parameter::Density}};
            if (name == QLatin1String("stRev"))
                read = [&link, s, m] { return density::ReadVersion(link, s, m); };
            else if (name == QLatin1String("stDStat"))
                read = [&link, s, m] { return density::ReadStatus(link, s, m); };
            else if (name == QLatin1String("stCorrDens"))
                read = [&link, s, m] { return density::ReadCorrectedDensity(link, s, m); };
            else if (name == QLatin1String("stTemp"))
                read = [&link, s, m] { return density::ReadTemperature(link, s, m); };
            else
                read = [&link, s, m, p = params.at(name)] {
                    return density::ReadParameter(link, s, m, p);
                };
            readOne(m_fields[name], read);
        });
        ++r;
    }
    m_correction = valueField(QStringLiteral("reDAdd"), box, 110);
    m_correction->setToolTip(QStringLiteral("Значение : ЦЕЛОЕ.ДЕСЯТЫЕ"));
    auto* getCorrection = new QPushButton(QStringLiteral("GET"), box);
    getCorrection->setObjectName(QStringLiteral("btGetDAdd"));
    auto* setCorrection = new QPushButton(QStringLiteral("SET"), box);
    setCorrection->setObjectName(QStringLiteral("btSetDAdd"));
    getCorrection->setFixedWidth(56);
    setCorrection->setFixedWidth(56);
    grid->addWidget(new QLabel(QStringLiteral("Поправка по плотности"), box), r, 0);
    grid->addWidget(m_correction, r, 1);
    auto* correctionButtons = new QHBoxLayout;
    correctionButtons->addWidget(getCorrection);
    correctionButtons->addWidget(setCorrection);
    grid->addLayout(correctionButtons, r, 2);
    connect(getCorrection, &QPushButton::clicked, this,
            [this] { m_form.runAction([this] { return readCorrection(); }); });
    connect(setCorrection, &QPushButton::clicked, this,
            [this] { m_form.runAction([this] { return writeCorrection(); }); });
    ++r;

    m_memo = new QPlainTextEdit(box);
    m_memo->setObjectName(QStringLiteral("mDen"));
    m_memo->setReadOnly(true);
    m_memo->setFixedHeight(80);
    m_memo->installEventFilter(this);
    grid->addWidget(m_memo, r++, 0, 1, 3);

    auto* find = actionButton("sbGetDens", QStringLiteral("ЗАПРОСИТЬ"), 0, box);
    m_all = actionButton("btDAll", QStringLiteral("ЗАПРОСИТЬ ВСЁ"), 0, box);
    m_all->setToolTip(QStringLiteral("Получить все параметры"));
    m_initialise = actionButton("btDIni", QStringLiteral("ИНИЦИ."), 0, box);
    m_initialise->setToolTip(QStringLiteral("Инициализировать плотномер"));
    m_initialise->hide();
    auto* change = actionButton("btDenChange", QStringLiteral("ИЗМЕНИТЬ"), 0, box);
    m_convert = new QToolButton(box);
    m_convert->setObjectName(QStringLiteral("pCnv"));
    m_convert->setText(QStringLiteral("КОНВЕР."));
    m_convert->setToolTip(QStringLiteral("Циклическое\nконвертирование"));
    m_convert->setCheckable(true);
    m_progress = new QProgressBar(box);
    m_progress->setObjectName(QStringLiteral("PInd"));
    m_progress->setRange(0, kCycleTicks);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(80);
    m_progress->hide();
    connect(find, &QPushButton::clicked, this, &DensityPage::GetDensNum);
    connect(m_all, &QPushButton::clicked, this, &DensityPage::btDAllClick);
    connect(m_initialise, &QPushButton::clicked, this,
            [this] { m_form.runAction([this] { return initialise(); }); });
    connect(change, &QPushButton::clicked, this,
            [this] { m_form.jumpTo(app::TagProp, PageRequest::ShowDensityMeters); });
    connect(m_convert, &QToolButton::clicked, this, &DensityPage::pCnvClick);
    auto* buttons = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{find, m_all, m_initialise, change, m_convert, m_progress})
        buttons->addWidget(w);
    buttons->addStretch(1);
    grid->addLayout(buttons, r, 0, 1, 3);
    grid->setColumnStretch(3, 1);
    return box;
}

int DensityPage::meter() const {
    return m_form.state().selectedDensityMeter;
}

bool DensityPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_memo && event->type() == QEvent::FocusIn) {
        // The memo is only read: its focus goes on to "ЗАПРОСИТЬ ВСЁ".
        QTimer::singleShot(0, m_all, qOverload<>(&QWidget::setFocus));
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        for (QWidget* w = qobject_cast<QWidget*>(watched); w; w = w->parentWidget())
            if (const int n = w->property("Tag").toInt();
                n >= 1 && w->objectName().startsWith("pDen")) {
                select(n);
                break;
            }
    }
    return false;
}

// Selection ------------------------------------------------------------------------

void DensityPage::select(int n) {
    if (n < 1 || n > density::kMeters || n == m_shown)
        return;
    m_shown = n;
    m_form.state().selectedDensityMeter = n;
    for (int i = 0; i < density::kMeters; ++i) {
        const bool chosen = i == n - 1;
        auto* panel = static_cast<QFrame*>(m_panels[i]);
        panel->setFrameShadow(chosen ? QFrame::Sunken : QFrame::Raised);
        panel->setStyleSheet(chosen ? QStringLiteral("QFrame#%1 { background-color: %2; }")
                                          .arg(panel->objectName(), QLatin1String(kInfoColour))
                                    : QString());
        m_statuses[i]->setVisible(chosen);
    }
    clearValues();
    showInitialise(m_uninitialised[n - 1]);
}

void DensityPage::clearValues() {
    for (auto& [name, field] : m_fields) {
        field->clear();
        field->setStyleSheet(QString());
    }
    m_correction->clear();
    paintField(m_correction, nullptr);
    m_memo->clear();
}

void DensityPage::clearSensorFields() {
    clearValues();
    for (int i = 0; i < density::kMeters; ++i) {
        m_ids[i]->clear();
        setStatus(i, {}, false);
    }
    m_positions->setPositions({});
    showInitialise(false);
}

void DensityPage::setStatus(int index, const QString& text, bool uninitialised) {
    m_statuses[index]->setText(text);
    m_uninitialised[index] = uninitialised;
}

void DensityPage::showInitialise(bool shown) {
    m_initialise->setVisible(shown);
    if (shown)
        m_initialise->setFocus();
}

void DensityPage::show(QLabel* field, const density::Field& value) {
    field->setText(value.text);
    field->setStyleSheet(
        value.bad ? QStringLiteral("background-color: %1;").arg(QLatin1String(kBadColour))
                  : QString());
}

void DensityPage::readOne(QLabel* field, const std::function<density::Field()>& read) {
    m_form.runAction([this, field, read] {
        field->clear();
        field->setStyleSheet(QString());
        show(field, read());
        return m_form.link().isOpen();
    });
}

// Finding the meters -----------------------------------------------------------------

void DensityPage::GetDensNum() {
    m_form.runAction([this] {
        for (int i = 0; i < density::kMeters; ++i) {
            m_ids[i]->clear();
            setStatus(i, {}, false);
        }
        m_positions->setPositions({});
        density::MeterSearch r;
        {
            const bus::TransitScope transit = m_form.sensorTransit();
            r = density::FindDensityMeters(m_form.link(), m_form.state().sensorAddress,
                                           *m_form.progressDialog());
        }
        const sensor::StatusDecoder& decoder = m_form.decoder();
        for (int i = 0; i < density::kMeters; ++i) {
            m_ids[i]->setText(r.meters[i].id);
            if (const auto status = r.meters[i].status)
                setStatus(i, decoder.DecodeCode(*status, false),
                          *status == density::kUninitialisedStatus);
        }
        const auto& chosen = r.meters[meter() - 1];
        showInitialise(chosen.status && *chosen.status == density::kUninitialisedStatus);
        m_positions->setPositions(density::meterPositions(r));
        // An unanswered search found nothing: say so, not an empty sensor.
        if (const QString failed = density::searchFailureText(r); !failed.isEmpty())
            m_form.SetMess(failed);
        return m_form.link().isOpen();
    });
}

// Reading everything ---------------------------------------------------------------

void DensityPage::btDAllClick() {
    m_form.runAction([this] { return readAll(); });
}

bool DensityPage::readAll() {
    // A cycle tick never starts a second reading while one runs.
    if (m_reading)
        return true;
    m_reading = true;
    clearValues();
    const std::optional<std::uint8_t> transit =
        m_form.writeNeedsTransit()
            ? std::optional<std::uint8_t>(m_form.state().selectedControllerAddress)
            : std::nullopt;
    const density::AllValues a = density::ReadAll(m_form.link(), m_form.state().sensorAddress,
                                                  meter(), m_form.decoder(), transit);
    show(m_fields[QStringLiteral("stDStat")], a.status);
    if (a.complete) {
        const std::pair<const char*, const density::Field*> shown[] = {
            {"stRev", &a.version},
            {"stADC1", &a.adc1},
            {"stDisp1", &a.disp1},
            {"stADC2", &a.adc2},
            {"stDisp2", &a.disp2},
            {"stBaseDens", &a.baseDensity},
            {"stDens", &a.density},
            {"stBaseDltDens", &a.baseDensityDifference},
            {"stCorrDens", &a.correctedDensity},
            {"stBaseTemp", &a.baseTemperature},
            {"stTemp", &a.temperature}};
        for (const auto& [name, value] : shown)
            show(m_fields[QLatin1String(name)], *value);
        m_correction->setText(a.correction.text);
        paintBad(m_correction, a.correction.bad);
    }
    m_memo->setPlainText(a.memo.join(QLatin1Char('\n')));
    if (!a.memo.isEmpty())
        setStatus(meter() - 1, a.memo.first(), a.uninitialised);
    if (a.uninitialised) {
        m_form.SetMess(density::kNotInitialised);
        showInitialise(true);
    }
    m_reading = false;
    return m_form.link().isOpen();
}

// Correction and initialisation -------------------------------------------------------

bool DensityPage::readCorrection() {
    m_correction->clear();
    paintField(m_correction, nullptr);
    density::Correction c;
    {
        const bus::TransitScope transit = m_form.sensorTransit();
        c = density::ReadCorrection(m_form.link(), m_form.state().sensorAddress, meter());
    }
    if (c.value)
        m_correction->setText(sensor::decimalText(*c.value, 1));
    else
        paintBad(m_correction, true);
    if (c.uninitialised) {
        m_form.SetMess(density::kNotInitialised);
        setStatus(meter() - 1, density::kNotInitialised, true);
        showInitialise(true);
    }
    return m_form.link().isOpen();
}

bool DensityPage::writeCorrection() {
    m_form.SetMess(QString());
    m_correction->setText(m_correction->text().trimmed());
    if (m_correction->text().isEmpty()) {
        m_form.SetMess(app::kNothingToWrite);
        return true;
    }
    // The meter's correction row says what the meter takes; anything else
    // is refused before the line is touched.
    const app::Setting& row =
        *sensor::placeSetting(sensor::PlaceKind::DensityMeter, meter(), sensor::PlaceField::Correction);
    const auto x = row.parse(m_correction->text());
    if (!x || !x->isDouble()) {
        paintBad(m_correction, true);
        m_form.SetMess(row.refusal(m_correction->text(), row.label));
        return true;
    }
    // The write is the row's, as the ПЛОТНОМЕРЫ tab and the CLI make it.
    bool ok = false;
    {
        m_form.progressDialog()->ShowProgress(0);
        const bus::TransitScope transit = m_form.sensorTransit();
        ok = sensor::WritePlaces(m_form.link(), m_form.state().sensorAddress, {{row.key, *x}},
                                 *m_form.progressDialog())
                 .empty();
    }
    paintBad(m_correction, !ok);
    m_form.SetMess(ok ? QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА") : QStringLiteral("НЕ ЗАПИСАНО"));
    return m_form.link().isOpen();
}

bool DensityPage::initialise() {
    m_form.SetMess(QString());
    if (!density::InitialiseMeter(m_form.link(), m_form.state().sensorAddress, meter())) {
        m_form.SetMess(QStringLiteral("СБОЙ ИНИЦИАЛИЗАЦИИ"));
        return m_form.link().isOpen();
    }
    m_form.SetMess(QStringLiteral("ПОПРАВКА ЗАПИСАНА. ОЖИДАНИЕ ЗАВЕРШЕНИЯ."));
    // The results follow from the conversion cycle.
    if (!cycleRunning()) {
        m_convert->setChecked(true);
        QTimer::singleShot(0, this, [this] { startCycle(true); });
    }
    return m_form.link().isOpen();
}

// Conversion cycle -----------------------------------------------------------------

bool DensityPage::cycleRunning() const {
    return m_convert->isChecked() && m_form.secondTimer()->isActive();
}

void DensityPage::startConversion(bool quiet) {
    const bool here = m_form.state().currentMode == app::TagDens;
    const auto start = [this, here] {
        density::StartConversion(m_form.link(), m_form.state().sensorAddress, meter(), !here);
        return m_form.link().isOpen();
    };
    if (quiet)
        m_form.runTimedAction(start);
    else
        m_form.runAction(start);
}

void DensityPage::pCnvClick(bool on) {
    if (on) {
        startCycle(false);
        return;
    }
    m_convert->setChecked(false);
    m_form.secondTimer()->stop();
    m_progress->hide();
}

void DensityPage::startCycle(bool quiet) {
    QTimer* tmr2 = m_form.secondTimer();
    m_convert->setChecked(true);
    startConversion(quiet);
    m_progress->setValue(0);
    m_progress->show();
    // The shared timer gets this page's handler and interval.
    QObject::disconnect(tmr2, &QTimer::timeout, nullptr, nullptr);
    connect(tmr2, &QTimer::timeout, this, &DensityPage::SecondTimer);
    tmr2->setInterval(kCycleTickMs);
    tmr2->start();
}

void DensityPage::SecondTimer() {
    if (!m_convert->isChecked())
        return;
    m_progress->setValue(std::min(m_progress->value() + 1, kCycleTicks));
    if (m_progress->value() < kCycleTicks)
        return;
    // Busy with another operation: try again at the next tick.
    if (m_form.deviceBusy() || m_reading)
        return;
    m_progress->setValue(0);
    // A tick never clears the status line: only the engineer's actions do.
    m_form.runTimedAction([this] { return readAll(); });
    if (m_convert->isChecked())
        startConversion(true);
}
