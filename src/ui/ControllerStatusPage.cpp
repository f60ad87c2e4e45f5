#include "ui/ControllerStatusPage.h"

#include "sensor/SensorPlaces.h"
#include "ui/PageHost.h"
#include "ui/TPForm.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

using controller::Processor;

QLabel* heading(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel* field(const QString& name, QWidget* parent, int minWidth) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(minWidth);
    l->setMinimumHeight(22);
    l->setStyleSheet(QStringLiteral("background-color: white;"));
    return l;
}

void setLamp(QLabel* lamp, bool on) {
    lamp->setProperty("on", on);
    lamp->setFrameShadow(on ? QFrame::Sunken : QFrame::Raised);
    lamp->setStyleSheet(on ? QStringLiteral("background-color: #30C030; color: white;")
                           : QString());
}

} // namespace

ControllerStatusPage::ControllerStatusPage(PageHost& form, QWidget* page)
    : QObject(page), m_form(form) {
    m_mainBody = buildMain(page);
    m_keyboardBody = buildKeyboard(page);
    for (QWidget* w :
         {static_cast<QWidget*>(m_mainDump), m_mainPanel, m_keyboardPanel,
          static_cast<QWidget*>(m_keyboardDump), static_cast<QWidget*>(m_thermometerId)})
        w->installEventFilter(this);
}

QWidget* ControllerStatusPage::buildMain(QWidget* parent) {
    auto* body = new QWidget(parent);
    auto* column = new QVBoxLayout(body);
    m_mainPanel = new QFrame(body);
    m_mainPanel->setObjectName(QStringLiteral("pKStat"));
    m_mainPanel->setToolTip(QStringLiteral("Щёлкните, чтобы прочитать состояние."));
    auto* panel = new QVBoxLayout(m_mainPanel);
    panel->addWidget(heading(QStringLiteral("ЦЕНТРАЛЬНЫЙ CPU"), m_mainPanel));
    m_mainDump = field(QStringLiteral("stKipStat"), m_mainPanel, 320);
    panel->addWidget(m_mainDump);
    auto* counts = new QHBoxLayout;
    counts->addWidget(new QLabel(QStringLiteral("ДАТЧИКОВ : "), m_mainPanel));
    m_sensors = new QLabel(m_mainPanel);
    m_sensors->setObjectName(QStringLiteral("lbSens"));
    m_sensors->setMinimumWidth(30);
    counts->addWidget(m_sensors);
    counts->addSpacing(20);
    m_mode = new QLabel(m_mainPanel);
    m_mode->setObjectName(QStringLiteral("lbMod"));
    counts->addWidget(m_mode, 1);
    panel->addLayout(counts);
    panel->addWidget(lampRows(Processor::Main, m_mainPanel));
    column->addWidget(m_mainPanel);

    auto* tid = new QHBoxLayout;
    tid->addWidget(new QLabel(QStringLiteral("T ID :"), body));
    m_thermometer = new QComboBox(body);
    m_thermometer->setObjectName(QStringLiteral("cbTID"));
    for (int n = 1; n <= 8; ++n)
        m_thermometer->addItem(QString::number(n));
    tid->addWidget(m_thermometer);
    m_thermometerId = field(QStringLiteral("stTID_T"), body, 160);
    m_thermometerId->setToolTip(QStringLiteral("Щёлкните, чтобы прочитать идентификатор."));
    tid->addWidget(m_thermometerId);
    tid->addStretch(1);
    column->addLayout(tid);
    column->addStretch(1);
    return body;
}

QWidget* ControllerStatusPage::buildKeyboard(QWidget* parent) {
    auto* body = new QWidget(parent);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    m_keyboardPanel = new QFrame(body);
    m_keyboardPanel->setObjectName(QStringLiteral("Panel1"));
    auto* panel = new QVBoxLayout(m_keyboardPanel);
    panel->addWidget(heading(QStringLiteral("KBD / LCD  CPU"), m_keyboardPanel));
    m_keyboardDump = field(QStringLiteral("stSKipStat"), m_keyboardPanel, 320);
    m_keyboardDump->setToolTip(QStringLiteral("Щёлкните, чтобы прочитать состояние."));
    panel->addWidget(m_keyboardDump);
    panel->addWidget(lampRows(Processor::Keyboard, m_keyboardPanel));
    column->addWidget(m_keyboardPanel);
    column->addStretch(1);
    return body;
}

QWidget* ControllerStatusPage::lampRows(Processor p, QWidget* parent) {
    auto* rows = new QWidget(parent);
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(2);
    std::map<QString, int> rowOf;
    std::map<QString, QHBoxLayout*> lines;
    for (const controller::LampRow& r : controller::lampRows(p)) {
        const QString name = QLatin1String(r.name);
        if (!lines.count(name)) {
            auto* strip = new QWidget(rows);
            strip->setObjectName(name);
            auto* line = new QHBoxLayout(strip);
            line->setContentsMargins(0, 0, 0, 0);
            line->setSpacing(1);
            lines[name] = line;
            const int row = static_cast<int>(rowOf.size());
            rowOf[name] = row;
            grid->addWidget(strip, row, 0, Qt::AlignLeft);
        }
        for (const char* label : r.labels) {
            auto* lamp = new QLabel(QLatin1String(label), rows);
            lamp->setFrameShape(QFrame::Panel);
            lamp->setAlignment(Qt::AlignCenter);
            lamp->setFixedSize(r.lowBitFirst ? 30 : 58, 22);
            setLamp(lamp, false);
            lines[name]->addWidget(lamp);
            m_lamps[name].push_back(lamp);
        }
    }
    return rows;
}

bool ControllerStatusPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    if (watched == m_keyboardDump)
        stSKipStatClick();
    else if (watched == m_thermometerId)
        stTID_TClick();
    else
        stKipStatClick();
    return true;
}

void ControllerStatusPage::showLamps(Processor p, const QByteArray& reply) {
    std::map<QString, int> filled;
    for (const controller::LampRow& r : controller::lampRows(p)) {
        const QString name = QLatin1String(r.name);
        std::vector<QLabel*>& lamps = m_lamps[name];
        for (int i = 0; i < 8; ++i)
            setLamp(lamps[filled[name] + i], controller::lampLit(reply, r, i));
        filled[name] += 8;
    }
}

void ControllerStatusPage::stKipStatClick() {
    m_mainDump->clear();
    m_mode->clear();
    m_sensors->clear();
    showLamps(Processor::Main, {});
    m_form.runAction([this] {
        const app::WorkingState& s = m_form.state();
        m_form.progressDialog()->ShowProgress(0);
        const auto r = controller::ReadMainStatus(m_form.link(), s.selectedControllerAddress,
                                                  *m_form.progressDialog());
        if (r && !r->bytes.isEmpty()) {
            const controller::StatusText t = controller::statusText(Processor::Main, r->bytes);
            m_mainDump->setText(t.dump);
            m_sensors->setText(t.sensors);
            m_mode->setText(t.mode);
            showLamps(Processor::Main, r->bytes);
        }
        return m_form.link().isOpen();
    });
}

void ControllerStatusPage::stSKipStatClick() {
    m_keyboardDump->clear();
    showLamps(Processor::Keyboard, {});
    m_form.runAction([this] {
        const auto r =
            controller::ReadKeyboardStatus(m_form.link(), m_form.state().selectedControllerAddress);
        if (r) {
            m_keyboardDump->setText(controller::statusText(Processor::Keyboard, r->bytes).dump);
            showLamps(Processor::Keyboard, r->bytes);
        }
        return m_form.link().isOpen();
    });
}

void ControllerStatusPage::stTID_TClick() {
    m_thermometerId->clear();
    m_form.runAction([this] {
        const auto id = sensor::ReadControllerThermometerId(
            m_form.link(), m_form.state().selectedControllerAddress,
            m_thermometer->currentIndex() + 1);
        if (id)
            m_thermometerId->setText(*id);
        return m_form.link().isOpen();
    });
}

std::vector<bool> ControllerStatusPage::lamps(const QString& row) const {
    std::vector<bool> on;
    const auto it = m_lamps.find(row);
    if (it != m_lamps.end())
        for (const QLabel* l : it->second)
            on.push_back(l->property("on").toBool());
    return on;
}
