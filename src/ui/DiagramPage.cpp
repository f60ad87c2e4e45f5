#include "ui/DiagramPage.h"

#include "app/Modes.h"
#include "diagram/DiagramDrawing.h"
#include "diagram/DiagramFile.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "ui/PageHost.h"
#include "ui/TPForm.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using diagram::CodeAction;
using diagram::CodeKind;

constexpr int kBusyRetryMs = 200;
const char* const kLayerNames[3] = {"imCode", "imAir", "imFuel"};

struct CodeButton {
    const char* name;
    const char* text;
    const char* hint;
    CodeAction action;
    const char* erased; // what a clearing button erases, asked first
};
constexpr CodeButton kCodeButtons[] = {
    {"btClrAir", "ВОЗДУХ", "Очистить коды воздуха.", CodeAction::ClearAir, "коды воздуха"},
    {"btClrFuel", "ТОПЛИВО", "Очистить коды топлива.", CodeAction::ClearFuel, "коды топлива"},
    {"btClrAll", "ВСЁ", "Очистить все коды.", CodeAction::ClearAll, "все коды"},
    {"btACor", "ВОЗДУХ", "Рассчитать коды воздуха.", CodeAction::ComputeAir, nullptr},
    {"btFCor", "ТОПЛИВО", "Рассчитать коды топлива.", CodeAction::ComputeFuel, nullptr},
    {"btCCor", "ПРОГНОЗ", "Рассчитать прогноз кодов\nтоплива и воздуха.", CodeAction::Forecast,
     nullptr},
};
constexpr int kFirstCorrection = 3;

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(90);
    l->setStyleSheet(QStringLiteral("background-color: #FFFFE1;"));
    return l;
}

} // namespace

DiagramPage::DiagramPage(PageHost& form, QWidget* page, bool segmentTest)
    : QObject(page), m_form(form) {
    ask = [page](const QString& question) {
        return QMessageBox::question(page, QStringLiteral("Очистить коды"), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    auto* column = static_cast<QVBoxLayout*>(page->layout());
    column->addWidget(buildButtons(page));
    // Wider than a small screen's page: the diagram scrolls within its own
    // frame, the page around it stays put.
    auto* viewScroll = new QScrollArea(page);
    viewScroll->setObjectName(QStringLiteral("saGraf"));
    viewScroll->setWidget(buildView(viewScroll));
    viewScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewScroll->setMaximumWidth(diagram::kVisibleWidth + 2 * viewScroll->frameWidth());
    viewScroll->setFixedHeight(diagram::kVisibleHeight + 2 * viewScroll->frameWidth() +
                               viewScroll->horizontalScrollBar()->sizeHint().height());
    viewScroll->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    column->addWidget(viewScroll);
    column->addWidget(buildFields(page));
    m_test = new QFrame(page);
    m_test->setObjectName(QStringLiteral("pDgrTest"));
    auto* test = new QHBoxLayout(m_test);
    test->addWidget(new QLabel(QStringLiteral("СЕГМЕНТОВ"), m_test));
    m_segments = valueLabel("stSensSize", m_test);
    m_codesRead = valueLabel("stSensSize2", m_test);
    m_step = valueLabel("stDgrStep", m_test);
    for (QLabel* l : {m_segments, m_codesRead, m_step})
        test->addWidget(l);
    test->addStretch(1);
    m_test->setVisible(segmentTest);
    column->addWidget(m_test);
    column->addStretch(1);

    connect(m_form.pollTimer(), &QTimer::timeout, this, &DiagramPage::TmrTimer);
    m_form.addLeaveAction(app::TagSDgr, [this] { leave(); });
    m_form.addPortLostAction([this] { stopCycle(); });
    m_form.addRequestHandler(app::TagSDgr, [this](PageRequest) { pressDraw(); });
    // A diagram on screen belongs to the sensor it was read from.
    m_form.addClearSensorFields([this] { forgetSensor(); });
    resizeLayers();
}

QWidget* DiagramPage::buildButtons(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* rows = new QVBoxLayout(row);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* line = new QHBoxLayout;
    auto* codes = new QHBoxLayout;
    rows->addLayout(line);
    rows->addLayout(codes);
    m_draw = new QToolButton(row);
    m_draw->setObjectName(QStringLiteral("sbDraw"));
    m_draw->setText(QStringLiteral("ГРАФИК"));
    m_draw->setCheckable(true);
    m_draw->setMinimumWidth(90);
    connect(m_draw, &QToolButton::clicked, this, &DiagramPage::sbDrawClick);
    m_cycle = new QCheckBox(QStringLiteral("Циклически"), row);
    m_cycle->setObjectName(QStringLiteral("cbDCycle"));
    connect(m_cycle, &QCheckBox::clicked, this, &DiagramPage::cbDCycleClick);
    m_references = new QCheckBox(QStringLiteral("Сухие/мокрые коды"), row);
    m_references->setObjectName(QStringLiteral("cbShowDWcode"));
    m_references->setToolTip(QStringLiteral("Отображать или нет сухие/мокрые коды."));
    m_references->setChecked(true);
    m_save = new QPushButton(QStringLiteral("СОХРАНИТЬ В ФАЙЛЕ"), row);
    m_save->setObjectName(QStringLiteral("btSaveDgr"));
    m_save->setEnabled(false);
    connect(m_save, &QPushButton::clicked, this, &DiagramPage::SaveDiagramFile);
    line->addWidget(m_draw);
    line->addWidget(m_cycle);
    line->addWidget(m_references);
    line->addWidget(m_save);
    line->addStretch(1);
    auto* clear = new QGroupBox(QStringLiteral("Очистить коды"), row);
    auto* compute = new QGroupBox(QStringLiteral("Рассчитать коды"), row);
    auto* clearRow = new QHBoxLayout(clear);
    auto* computeRow = new QHBoxLayout(compute);
    for (int i = 0; i < static_cast<int>(m_codeButtons.size()); ++i) {
        const CodeButton& c = kCodeButtons[i];
        QWidget* box = i < kFirstCorrection ? static_cast<QWidget*>(clear) : compute;
        auto* b = new QPushButton(QString::fromUtf8(c.text), box);
        b->setObjectName(QLatin1String(c.name));
        b->setToolTip(QString::fromUtf8(c.hint));
        b->setEnabled(i < kFirstCorrection);
        connect(b, &QPushButton::clicked, this, [this, &c] {
            // The sensor's reference codes cannot be had back once erased.
            if (c.erased && !ask(QStringLiteral("Стереть %1 датчика %2?")
                                     .arg(QString::fromUtf8(c.erased))
                                     .arg(m_form.state().sensorAddress + 1)))
                return;
            ClearOrComputeCodes(c.action);
        });
        (i < kFirstCorrection ? clearRow : computeRow)->addWidget(b);
        m_codeButtons[i] = b;
    }
    codes->addWidget(clear);
    codes->addWidget(compute);
    m_error = new QLabel(QStringLiteral(" * "), row);
    m_error->setObjectName(QStringLiteral("lDgrErr"));
    m_error->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    m_error->setToolTip(QStringLiteral("Сегмент уровня за пределами сенсора."));
    m_error->hide();
    codes->addWidget(m_error);
    codes->addStretch(1);
    return row;
}

QWidget* DiagramPage::buildView(QWidget* parent) {
    m_view = new QFrame(parent);
    m_view->setObjectName(QStringLiteral("pGraf"));
    m_view->setFixedSize(diagram::kVisibleWidth, diagram::kVisibleHeight);
    m_grid = new QLabel(m_view);
    m_grid->setObjectName(QStringLiteral("imGrid"));
    for (int i = 0; i < 3; ++i) {
        m_layers[i] = new QLabel(m_view);
        m_layers[i]->setObjectName(QLatin1String(kLayerNames[i]));
        m_layers[i]->setAttribute(Qt::WA_TranslucentBackground);
    }
    // The top layer takes the mouse for scrolling a wide diagram.
    m_layers[2]->installEventFilter(this);
    m_layers[2]->setMouseTracking(false);
    return m_view;
}

QWidget* DiagramPage::buildFields(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("уровень(мм)"), box), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("сегмент"), box), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("шкала"), box), 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("шум"), box), 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("дельта"), box), 0, 6);
    grid->addWidget(new QLabel(QStringLiteral("ТОПЛИВО"), box), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("ВОДА"), box), 2, 0);
    m_fuelLevel = valueLabel("stFLvl", box);
    m_waterLevel = valueLabel("stWLvl", box);
    m_fuelSegment = valueLabel("stFSeg", box);
    m_waterSegment = valueLabel("stWSeg", box);
    m_scale = valueLabel("stShkala", box);
    m_noise = valueLabel("stShum", box);
    m_delta = valueLabel("stDlt", box);
    grid->addWidget(m_fuelLevel, 1, 1);
    grid->addWidget(m_waterLevel, 2, 1);
    grid->addWidget(m_fuelSegment, 1, 2);
    grid->addWidget(m_waterSegment, 2, 2);
    grid->setColumnMinimumWidth(3, 20);
    grid->addWidget(m_scale, 1, 4);
    grid->addWidget(m_noise, 1, 5);
    grid->addWidget(m_delta, 1, 6);
    grid->setColumnStretch(7, 1);
    return box;
}

// Drawing -----------------------------------------------------------------------

void DiagramPage::resizeLayers() {
    const int n = m_diagram.segments;
    const int width = diagram::layerWidthFor(n);
    m_wide = n > diagram::kVisibleWidth;
    const QSize size(width, diagram::kVisibleHeight);
    m_grid->setGeometry(QRect(QPoint(0, 0), size));
    for (QLabel* l : m_layers) {
        l->setGeometry(QRect(QPoint(0, 0), size));
        l->setPixmap(QPixmap());
    }
    m_layers[2]->setCursor(m_wide ? Qt::SizeHorCursor : Qt::CrossCursor);
    const auto g = diagram::geometryFor(n, size);
    m_grid->setPixmap(QPixmap::fromImage(
        diagram::DrawDiagramGrid(g, m_diagram.segmentType, m_diagram.codesPerBlock)));
    m_drawnSegments = n;
}

void DiagramPage::drawLayer(CodeKind kind) {
    const QSize size = m_grid->size();
    const auto g = diagram::geometryFor(m_diagram.segments, size);
    m_layers[static_cast<int>(kind)]->setPixmap(QPixmap::fromImage(
        diagram::keyedOut(diagram::DrawCodeLayer(kind, m_diagram.codes(kind), g))));
}

int DiagramPage::layerLeft() const {
    return m_grid->x();
}

bool DiagramPage::eventFilter(QObject*, QEvent* event) {
    const QEvent::Type type = event->type();
    if (!m_wide || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
                    type != QEvent::MouseButtonRelease))
        return false;
    // In the view's coordinates: the layers move under the pointer.
    const int pointer =
        static_cast<int>(static_cast<QMouseEvent*>(event)->position().x()) + m_grid->x();
    if (type == QEvent::MouseButtonPress) {
        m_dragging = true;
        m_dragStart = pointer;
        m_leftAtStart = m_grid->x();
    } else if (type == QEvent::MouseMove && m_dragging) {
        const int left = diagram::draggedLeft(pointer, m_dragStart, m_leftAtStart,
                                              {diagram::kVisibleWidth - m_grid->width(), 0});
        for (QLabel* l : {m_grid, m_layers[0], m_layers[1], m_layers[2]})
            l->move(left, 0);
    } else if (type == QEvent::MouseButtonRelease) {
        m_dragging = false;
    }
    return true;
}

// Reading -------------------------------------------------------------------------

void DiagramPage::sbDrawClick(bool checked) {
    m_form.SetMess(QString());
    if (!checked) {
        m_form.pollTimer()->stop();
        return;
    }
    if (m_form.deviceBusy()) {
        m_draw->setChecked(false);
        return;
    }
    m_form.runAction([this] { return read(); });
    if (m_cycle->isChecked() && m_draw->isChecked())
        m_form.pollTimer()->start();
    else
        m_draw->setChecked(false);
}

void DiagramPage::pressDraw() {
    m_draw->setChecked(true);
    sbDrawClick(true);
}

bool DiagramPage::read() {
    m_form.progressDialog()->ShowProgress(0);
    const std::uint8_t sensor = m_form.state().sensorAddress;
    m_codesRead->clear();
    m_step->clear();
    m_error->hide();
    for (int i = kFirstCorrection; i < static_cast<int>(m_codeButtons.size()); ++i)
        m_codeButtons[i]->setEnabled(false);
    // What is saved is what was read whole, never a read broken off.
    m_save->setEnabled(false);
    diagram::ReadResult r;
    {
        auto transit = m_form.sensorTransit();
        r = diagram::ReadSegmentDiagram(m_form.link(), sensor, m_references->isChecked(),
                                        *m_form.progressDialog(), m_diagram,
                                        [this](const QString& step) { m_step->setText(step); });
        diagram::StartNextMeasurement(m_form.link(), sensor);
    }
    m_step->setText(r.step);
    if (r.stopped)
        return true;
    if (!r.mess.isEmpty())
        m_form.SetMess(r.mess);
    if (!r.drawn)
        return m_form.link().isOpen();
    if (m_diagram.segments != m_drawnSegments)
        resizeLayers();
    m_codesRead->setText(QString::number(r.codesRead));
    if (r.sensorLayer)
        drawLayer(CodeKind::Sensor);
    if (r.dryLayer)
        drawLayer(CodeKind::Dry);
    if (r.wetLayer)
        drawLayer(CodeKind::Wet);
    showFields();
    m_save->setEnabled(true);
    enableCorrections();
    return m_form.link().isOpen();
}

void DiagramPage::showFields() {
    clearFields();
    const diagram::Diagram& d = m_diagram;
    if (!d.parametersRead)
        return;
    m_segments->setText(QString::number(d.segments));
    m_fuelLevel->setText(diagram::levelText(d.fuelLevel));
    m_waterLevel->setText(diagram::levelText(d.waterLevel));
    m_fuelSegment->setText(diagram::segmentText(d.fuelSegment(), d.segments));
    m_waterSegment->setText(diagram::segmentText(d.waterSegment(), d.segments));
    m_scale->setText(QString::number(d.scale(), 'f', 2));
    m_noise->setText(QString::number(d.noise(), 'f', 3));
    m_delta->setText(QString::number(d.delta(), 'f', 3));
}

void DiagramPage::clearFields() {
    for (QLabel* l : {m_segments, m_fuelLevel, m_waterLevel, m_fuelSegment, m_waterSegment, m_scale,
                      m_noise, m_delta})
        l->clear();
}

void DiagramPage::forgetSensor() {
    clearFields();
    for (QLabel* l : m_layers)
        l->setPixmap(QPixmap());
    for (int i = kFirstCorrection; i < static_cast<int>(m_codeButtons.size()); ++i)
        m_codeButtons[i]->setEnabled(false);
    m_error->hide();
    m_save->setEnabled(false);
}

void DiagramPage::enableCorrections() {
    const diagram::CorrectionButtons b = diagram::correctionButtons(m_diagram);
    m_error->setVisible(b.sizeError);
    m_codeButtons[3]->setEnabled(b.air);
    m_codeButtons[4]->setEnabled(b.fuel);
    m_codeButtons[5]->setEnabled(b.forecast);
}

void DiagramPage::cbDCycleClick(bool checked) {
    if (checked) {
        if (!m_draw->isChecked()) {
            m_draw->setChecked(true);
            sbDrawClick(true);
        }
        return;
    }
    m_draw->setChecked(false);
    m_form.pollTimer()->stop();
}

void DiagramPage::TmrTimer() {
    if (m_form.state().currentMode != app::TagSDgr || !m_draw->isChecked() || !m_cycle->isChecked())
        return;
    // Never a second read while one runs: looked at again shortly.
    if (m_form.deviceBusy()) {
        QTimer::singleShot(kBusyRetryMs, this, &DiagramPage::TmrTimer);
        return;
    }
    sbDrawClick(true);
}

void DiagramPage::stopCycle() {
    m_cycle->setChecked(false);
    m_draw->setChecked(false);
    m_form.pollTimer()->stop();
}

void DiagramPage::leave() {
    stopCycle();
    m_save->setEnabled(false);
}

// Files and code buttons -------------------------------------------------------------

void DiagramPage::SaveDiagramFile() {
    const QString proposed =
        diagram::proposedFileName(m_diagram.sensorAddress, QDateTime::currentDateTime());
    const QString path =
        QFileDialog::getSaveFileName(m_view, QStringLiteral("Сохранить диаграмму"), proposed,
                                     QStringLiteral("Файлы диаграмм (*.dgr)"));
    if (path.isEmpty())
        return;
    saveTo(QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".dgr") : path);
}

bool DiagramPage::saveTo(const QString& path) {
    QString error;
    if (!diagram::SaveDiagramFile(path, m_diagram, QDateTime::currentDateTime(), &error)) {
        m_form.SetMess(
            QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(QFileInfo(path).fileName(), error));
        return false;
    }
    m_save->setEnabled(false);
    m_form.SetMess(QStringLiteral("ЗАПИСАНО: ") + QFileInfo(path).fileName());
    return true;
}

void DiagramPage::OpenDiagramFile() {
    const QString path =
        QFileDialog::getOpenFileName(m_view, QStringLiteral("Открыть диаграмму"), QString(),
                                     QStringLiteral("Файлы диаграмм (*.dgr)"));
    if (!path.isEmpty())
        openFrom(path);
}

bool DiagramPage::openFrom(const QString& path) {
    QString error;
    const auto d = diagram::ReadDiagramFile(path, &error);
    if (!d) {
        m_form.SetMess(QFileInfo(path).fileName() + QStringLiteral(": ") + error);
        return false;
    }
    if (m_form.state().currentMode != app::TagSDgr)
        m_form.ModeClicked(app::TagSDgr);
    showDiagram(*d);
    m_form.SetMess(
        QStringLiteral("%1 — датчик %2, %3")
            .arg(QFileInfo(path).fileName())
            .arg(d->sensorAddress + 1)
            .arg(diagram::fromOleDate(d->savedAt).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))));
    return true;
}

void DiagramPage::showDiagram(const diagram::Diagram& d) {
    m_diagram = d;
    resizeLayers();
    for (CodeKind kind : {CodeKind::Sensor, CodeKind::Dry, CodeKind::Wet})
        drawLayer(kind);
    showFields();
    m_codesRead->setText(QString::number(d.segments));
    // The code buttons work on a sensor, not on a file.
    for (int i = kFirstCorrection; i < static_cast<int>(m_codeButtons.size()); ++i)
        m_codeButtons[i]->setEnabled(false);
    m_error->setVisible(diagram::correctionButtons(d).sizeError);
    m_save->setEnabled(false);
}

void DiagramPage::ClearOrComputeCodes(CodeAction action) {
    m_form.runAction([this, action] {
        m_form.progressDialog()->ShowProgress(0);
        bool done = false;
        {
            // The code buttons ask for transit twice before giving up.
            auto transit = m_form.sensorTransit(2);
            done =
                diagram::ClearOrComputeCodes(m_form.link(), m_form.state().sensorAddress, action);
        }
        m_form.SetMess(done ? diagram::kDone : diagram::kNotDone);
        return m_form.link().isOpen();
    });
}
