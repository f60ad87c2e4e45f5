#include "ui/AlarmPage.h"

#include "app/Modes.h"
#include "sensor/SettingText.h"
#include "ui/InputFilters.h"
#include "ui/PageHost.h"
#include "ui/PageWidgets.h"
#include "ui/TPForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kEventNames[controller::kEvents] = {
    "ТОПЛИВО МАХ", "ТОПЛИВО 95% МАХ", "ТОПЛИВО MIN", "ВОДА МАХ", "УТЕЧКА(л)", "РАССЛОЕНИЕ"};
const char* const kEnableNames[controller::kEvents] = {"cbFMax", "cbF95", "cbFMin",
                                                       "cbWMax", "cbVol", "cbSprt"};
// Lamp hints per column: off, on.
const char* const kLampHints[3][2] = {{"Не контролируется", "Контролируется"},
                                      {"Не наступило", "Наступило"},
                                      {"Сигнализация выключена", "Сигнализация включена"}};
const char* const kLampColours[3] = {"#3080E0", "#E0A020", "#E03030"};

QToolButton* toggle(const QString& name, const QString& text, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setCheckable(true);
    b->setFixedSize(28, 24);
    return b;
}

void setLamp(QLabel* lamp, int column, bool on) {
    lamp->setProperty("on", on);
    lamp->setToolTip(QString::fromUtf8(kLampHints[column][on ? 1 : 0]));
    lamp->setStyleSheet(
        QStringLiteral("background-color: %1; border: 1px solid gray; "
                       "border-radius: 7px;")
            .arg(on ? QLatin1String(kLampColours[column]) : QLatin1String("#D0D0D0")));
}

} // namespace

AlarmPage::AlarmPage(PageHost& form, QWidget* page) : QObject(page), m_form(form) {
    auto* tabs = new QTabWidget(page);
    tabs->setObjectName(QStringLiteral("pcAlarm"));
    tabs->addTab(buildConfigTab(tabs), QStringLiteral("КОНФИГУРИРОВАНИЕ"));
    tabs->addTab(buildControlTab(tabs), QStringLiteral("СОСТОЯНИЕ и УПРАВЛЕНИЕ"));
    page->layout()->addWidget(tabs);
    m_form.registerGetAction(Tag, [this] { return read(); });
    m_form.registerSetAction(Tag, [this] { return write(); });
    m_form.addClearSensorFields([this] { clearConfig(); });
    // Which panels show follows the controller type, looked at when shown.
    page->installEventFilter(this);
    applyType();
}

bool AlarmPage::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Show)
        applyType();
    return false;
}

controller::AlarmTarget AlarmPage::target() const {
    const app::WorkingState& s = m_form.state();
    return {s.selectedControllerAddress, s.sensorAddress, s.layout.isDirectSensorType()};
}

void AlarmPage::applyType() {
    const app::ControllerTypeInfo& type = m_form.state().layout.type();
    const app::AlarmOutputs outputs = type.outputs;
    const bool direct = type.directSensors;
    m_relays->setVisible(outputs == app::AlarmOutputs::Relays);
    m_matrixPanel->setVisible(outputs == app::AlarmOutputs::Matrix);
    for (QCheckBox* c : m_enables)
        c->setVisible(!direct);
}

// Building ------------------------------------------------------------------------

QWidget* AlarmPage::buildConfigTab(QWidget* parent) {
    auto* tab = new QWidget(parent);
    tab->setObjectName(QStringLiteral("tsAlarmConfig"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("РЕАКЦИЯ НА СОБЫТИЯ"), tab), 0, 2);
    static const char* const fields[] = {"reFMax", nullptr, "reFMin", "reWMax", "reSVol"};
    for (int k = 0; k < controller::kEvents; ++k) {
        grid->addWidget(new QLabel(QString::fromUtf8(kEventNames[k]), tab), k + 1, 0);
        if (k == 1) {
            m_f95 = new QLabel(tab);
            m_f95->setObjectName(QStringLiteral("stF95"));
            m_f95->setFrameShape(QFrame::StyledPanel);
            m_f95->setFixedWidth(80);
            grid->addWidget(m_f95, k + 1, 1);
        } else if (k < 5) {
            const int i = k == 0 ? 0 : k;
            m_thresholds[i] = valueField(QLatin1String(fields[k]), tab);
            ReKeyPress(m_thresholds[i]);
            grid->addWidget(m_thresholds[i], k + 1, 1);
        }
        m_enables[k] = new QCheckBox(tab);
        m_enables[k]->setObjectName(QLatin1String(kEnableNames[k]));
        m_enables[k]->setToolTip(QStringLiteral("Разрешено/запрещено"));
        grid->addWidget(m_enables[k], k + 1, 2);
    }
    m_thresholds[4]->setToolTip(QStringLiteral("Порог утечки в литрах"));
    m_volume = new QLabel(tab);
    m_volume->setObjectName(QStringLiteral("stSVol"));
    m_volume->setToolTip(QStringLiteral("Объём, в литрах, на момент установки контроля."));
    grid->addWidget(m_volume, 5, 3);
    grid->setColumnStretch(4, 1);

    auto* get = actionButton("Button4", QStringLiteral("ПОЛУЧИТЬ"), Tag, tab);
    auto* set = actionButton("Button6", QStringLiteral("УСТАНОВИТЬ"), Tag, tab);
    connect(get, &QPushButton::clicked, this, [this] { m_form.btGetClick(Tag); });
    connect(set, &QPushButton::clicked, this, [this] { m_form.btSetClick(Tag); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(get);
    buttons->addWidget(set);

    auto* column = new QVBoxLayout(tab);
    column->addLayout(grid);
    column->addLayout(buttons);
    column->addWidget(buildRelays(tab));
    column->addWidget(buildMatrix(tab));
    column->addStretch(1);
    return tab;
}

QWidget* AlarmPage::buildRelays(QWidget* parent) {
    m_relays = new QWidget(parent);
    m_relays->setObjectName(QStringLiteral("pRele"));
    auto* row = new QHBoxLayout(m_relays);
    for (int o = 0; o < 2; ++o) {
        auto* box = new QGroupBox(QStringLiteral("   %1   ").arg(o + 1), m_relays);
        box->setObjectName(QStringLiteral("gbCh%1").arg(o + 1));
        auto* g = new QGridLayout(box);
        auto* group = new QButtonGroup(box);
        for (int r = 0; r < 7; ++r) {
            QToolButton* b =
                toggle(QStringLiteral("sbCh%1%2").arg(o + 1).arg(r + 1), QString(), box);
            b->setToolTip(QStringLiteral("Разрешить выход.Смена режима НЗ/НР"));
            g->addWidget(new QLabel(QString::fromUtf8(kEventNames[std::min(r, 5)]), box), r, 0);
            g->addWidget(b, r, 1);
            group->addButton(b);
            m_rows[o][r] = b;
            m_rowModes[o][r] = static_cast<std::uint8_t>(r | 0x80);
            connect(b, &QToolButton::clicked, this, [this, o, r] { SBAChange(o, r); });
        }
        m_off[o] = toggle(QStringLiteral("sbOffCh%1").arg(o + 1), QStringLiteral("OFF"), box);
        m_off[o]->setFixedWidth(44);
        m_off[o]->setToolTip(QStringLiteral("Запретить выход. Контакты всегда разомкнуты."));
        m_off[o]->setChecked(true);
        group->addButton(m_off[o]);
        g->addWidget(m_off[o], 7, 1);
        connect(m_off[o], &QToolButton::clicked, this, [this, o] { ChanClear(o); });
        row->addWidget(box);
    }
    auto* contacts = new QGroupBox(QStringLiteral("СУХИЕ КОНТАКТЫ :"), m_relays);
    contacts->setObjectName(QStringLiteral("pContrB"));
    auto* cg = new QGridLayout(contacts);
    // Four to a row, each output's contacts in two rows after its number,
    // so that the panel fits a small screen beside the two outputs.
    for (int o = 0; o < 2; ++o) {
        cg->addWidget(new QLabel(QStringLiteral("%1:").arg(o + 1), contacts), 2 * o, 0, 2, 1);
        for (int n = 0; n < 8; ++n) {
            QToolButton* b = toggle(QStringLiteral("sb%1%2").arg(o + 1).arg(n + 1),
                                    QString::number(n + 1), contacts);
            b->setToolTip(
                QStringLiteral("Сухой контакт с этим номером подключить к ВЫХОДУ №%1").arg(o + 1));
            cg->addWidget(b, 2 * o + n / 4, 1 + n % 4);
            m_contacts[o][n] = b;
        }
    }
    auto* contactColumn = new QVBoxLayout;
    contactColumn->addWidget(contacts);
    contactColumn->addWidget(new QLabel(
        QStringLiteral("НЗ - нормально замкнутые\nНР - нормально разомкнутые"), m_relays));
    contactColumn->addStretch(1);
    row->addLayout(contactColumn);
    row->addStretch(1);
    return m_relays;
}

QWidget* AlarmPage::buildMatrix(QWidget* parent) {
    m_matrixPanel = new QGroupBox(QStringLiteral("ВЫХОДЫ КИП-С6"), parent);
    m_matrixPanel->setObjectName(QStringLiteral("pReleS6"));
    auto* column = new QVBoxLayout(m_matrixPanel);
    auto* row = new QHBoxLayout;
    for (int x = 0; x < 4; ++x) {
        auto* out = new QGroupBox(QStringLiteral("X %1").arg(x + 1), m_matrixPanel);
        out->setObjectName(QStringLiteral("pRele%1").arg(x + 1));
        out->setToolTip(QStringLiteral("Канал управления с выходом на Х%1").arg(x + 1));
        auto* g = new QGridLayout(out);
        g->addWidget(new QLabel(QStringLiteral("ДАТЧИКИ"), out), 0, 0, 1, 4);
        for (int e = 0; e < controller::kEvents; ++e)
            for (int s = 0; s < 4; ++s) {
                QToolButton* b = toggle(QStringLiteral("S6_%1_%2_%3").arg(x).arg(e).arg(s),
                                        QString::number(s + 1), out);
                b->setProperty("Tag", (1 << e) * 256 + (1 << s));
                g->addWidget(b, e + 1, s);
                m_matrixButtons[x][e][s] = b;
                connect(b, &QToolButton::clicked, this, [this, x, e, s](bool down) {
                    // S6CfgClick: the masks stay paired; the buttons follow them.
                    controller::applyMatrixButton(m_matrix, x, e, s, down);
                    showMatrix();
                });
            }
        m_outputs[x] = out;
        row->addWidget(out);
    }
    column->addLayout(row);
    m_oldForm = new QLabel(
        QStringLiteral("Версия ПО данного КИП не поддерживает вывод на реле утечки и расслоения."),
        m_matrixPanel);
    m_oldForm->setObjectName(QStringLiteral("lbOldRCfg"));
    m_oldForm->hide();
    auto* get = actionButton("btGetRCfg", QStringLiteral("ПОЛУЧИТЬ"), 0, m_matrixPanel);
    auto* set = actionButton("btSetRCfg", QStringLiteral("УСТАНОВИТЬ"), 15, m_matrixPanel);
    auto* clear = actionButton("btClearRCfg", QStringLiteral("ОЧИСТИТЬ"), 0, m_matrixPanel);
    connect(get, &QPushButton::clicked, this,
            [this] { m_form.runAction([this] { return readMatrix(); }); });
    connect(set, &QPushButton::clicked, this,
            [this] { m_form.runAction([this] { return writeMatrix(); }); });
    connect(clear, &QPushButton::clicked, this, &AlarmPage::clearMatrix);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_oldForm);
    buttons->addStretch(1);
    buttons->addWidget(clear);
    buttons->addWidget(get);
    buttons->addWidget(set);
    column->addLayout(buttons);
    return m_matrixPanel;
}

QWidget* AlarmPage::buildControlTab(QWidget* parent) {
    auto* tab = new QWidget(parent);
    tab->setObjectName(QStringLiteral("tsAlarmControl"));
    auto* grid = new QGridLayout;
    for (int k = 0; k < controller::kEvents; ++k) {
        grid->addWidget(new QLabel(QString::fromUtf8(kEventNames[k]), tab), k, 0);
        for (int j = 0; j < 3; ++j) {
            auto* lamp = new QLabel(tab);
            lamp->setObjectName(QStringLiteral("imAlState%1%2").arg(k).arg(j));
            lamp->setFixedSize(16, 16);
            setLamp(lamp, j, false);
            grid->addWidget(lamp, k, 1 + j);
            m_lamps[k][j] = lamp;
        }
        m_break[k] = new QToolButton(tab);
        m_break[k]->setObjectName(QStringLiteral("sbAlarmBreak%1").arg(k));
        m_break[k]->setText(QStringLiteral("ВЫКЛ."));
        m_break[k]->setProperty("Tag", k);
        m_break[k]->setToolTip(QStringLiteral("Выключить сигнализацию."));
        m_break[k]->setEnabled(false);
        connect(m_break[k], &QToolButton::clicked, this, [this, k] { AlarmBreak(k); });
        grid->addWidget(m_break[k], k, 4);
    }
    grid->setColumnStretch(5, 1);
    auto* get = actionButton("btGetAlarmState", QStringLiteral("ПОЛУЧИТЬ"), 0, tab);
    connect(get, &QPushButton::clicked, this, [this] {
        m_form.runAction([this] {
            m_form.SetMess(readState() ? QStringLiteral("СЧИТАНО")
                                       : QStringLiteral("НЕ ПОЛУЧИЛОСЬ"));
            return m_form.link().isOpen();
        });
    });
    m_ramTest = new QToolButton(tab);
    m_ramTest->setObjectName(QStringLiteral("sbRamTest"));
    m_ramTest->setText(QStringLiteral("ТЕСТ ПАМЯТИ"));
    m_ramTest->setToolTip(QStringLiteral("Тестировать память"));
    m_ramTest->setCheckable(true);
    connect(m_ramTest, &QToolButton::clicked, this, &AlarmPage::sbRamTestClick);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_ramTest);
    buttons->addStretch(1);
    buttons->addWidget(get);
    auto* column = new QVBoxLayout(tab);
    column->addWidget(new QLabel(QStringLiteral("Событие контролируется / активно / сигнализация "
                                                "включена"),
                                 tab));
    column->addLayout(grid);
    column->addLayout(buttons);
    column->addStretch(1);
    return tab;
}

// Direct-type outputs --------------------------------------------------------------

void AlarmPage::SBAChange(int o, int r) {
    m_rowModes[o][r] ^= 0x80;
    m_modes[o] = m_rowModes[o][r];
    for (QToolButton* b : m_rows[o])
        b->setText(QString());
    m_rows[o][r]->setText((m_modes[o] & 0x80) ? QStringLiteral("НЗ") : QStringLiteral("НР"));
    m_rows[o][r]->setChecked(true);
}

void AlarmPage::ChanClear(int o) {
    m_modes[o] = controller::kOutputOff;
    for (int r = 0; r < 7; ++r) {
        m_rowModes[o][r] |= 0x80;
        m_rows[o][r]->setText(QString());
    }
    m_off[o]->setChecked(true);
}

// Read and write ----------------------------------------------------------------------

void AlarmPage::clearConfig() {
    m_loaded = false;
    ChanClear(0);
    ChanClear(1);
    for (QLineEdit* e : m_thresholds)
        if (e) // the 95 % value is a label
            e->clear();
    m_f95->clear();
    m_volume->clear();
    for (QCheckBox* c : m_enables)
        c->setChecked(false);
    for (auto& output : m_contacts)
        for (QToolButton* b : output)
            b->setChecked(false);
}

bool AlarmPage::read() {
    applyType();
    clearConfig();
    const controller::AlarmConfig c = controller::ReadAlarmConfig(m_form.link(), target());
    if (!c.complete)
        return m_form.link().isOpen();
    const std::optional<int> values[] = {c.fuelMax, c.fuel95, c.fuelMin, c.waterMax, c.leak};
    for (int i = 0; i < 5; ++i) {
        const QString text = values[i] ? QString::number(*values[i]) : QString();
        if (i == 1)
            m_f95->setText(text);
        else
            m_thresholds[i]->setText(text);
    }
    if (c.volume)
        m_volume->setText(QString::number(*c.volume));
    if (c.contacts)
        for (int o = 0; o < 2; ++o)
            for (int n = 0; n < 8; ++n)
                m_contacts[o][n]->setChecked(((*c.contacts)[o] >> n) & 1);
    if (c.enables)
        for (int k = 0; k < controller::kEvents; ++k)
            m_enables[k]->setChecked((*c.enables >> k) & 1);
    if (c.modes)
        for (int o = 0; o < 2; ++o) {
            // What the buttons show is what a write sends.
            const std::uint8_t m = (*c.modes)[o];
            const int r = m & 0x7F;
            if (r >= 7)
                continue;
            m_rowModes[o][r] = m;
            m_modes[o] = m;
            m_rows[o][r]->setChecked(true);
            m_rows[o][r]->setText((m & 0x80) ? QStringLiteral("НЗ") : QStringLiteral("НР"));
        }
    // Enables, contacts and modes are written whole: only once they were read.
    m_loaded =
        m_form.state().layout.isDirectSensorType() ? c.modes.has_value() : c.enables.has_value();
    return m_form.link().isOpen();
}

bool AlarmPage::write() {
    m_form.SetMess(QString());
    // Blank enables and outputs would overwrite the sensor's own.
    if (!m_loaded) {
        m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО: СНАЧАЛА ПОЛУЧИТЕ"));
        return true;
    }
    controller::AlarmWrite w;
    auto number = [](QLineEdit* e) -> std::optional<int> {
        const auto v = sensor::parseWhole(e->text());
        return v && *v >= 0 && *v <= 0xFFFF ? v : std::nullopt;
    };
    w.fuelMax = number(m_thresholds[0]);
    w.fuelMin = number(m_thresholds[2]);
    w.waterMax = number(m_thresholds[3]);
    w.leak = number(m_thresholds[4]);
    for (int k = 0; k < controller::kEvents; ++k)
        if (m_enables[k]->isChecked())
            w.enables = static_cast<std::uint8_t>(w.enables | (1 << k));
    for (int o = 0; o < 2; ++o) {
        for (int n = 0; n < 8; ++n)
            if (m_contacts[o][n]->isChecked())
                w.contacts[o] = static_cast<std::uint8_t>(w.contacts[o] | (1 << n));
        w.modes[o] = m_off[o]->isChecked() ? controller::kOutputOff : m_modes[o];
    }
    m_volume->clear();
    m_form.SetMess(QStringLiteral("ЗАПИСЬ"));
    m_form.SetMess(
        controller::alarmWriteText(controller::WriteAlarmConfig(m_form.link(), target(), w)));
    return m_form.link().isOpen();
}

// Output matrix ------------------------------------------------------------------------

void AlarmPage::showMatrix() {
    for (int x = 0; x < 4; ++x) {
        for (int e = 0; e < controller::kEvents; ++e)
            for (int s = 0; s < 4; ++s)
                m_matrixButtons[x][e][s]->setChecked(
                    controller::matrixButtonDown(m_matrix, x, e, s));
        // The old form has no leak and separation rows.
        for (int e = 4; e < controller::kEvents; ++e)
            for (QToolButton* b : m_matrixButtons[x][e])
                b->setEnabled(!m_matrix.oldForm);
        const bool used = m_matrix.events[x] != 0 || m_matrix.sensors[x] != 0;
        m_outputs[x]->setStyleSheet(
            used ? QStringLiteral("QGroupBox#%1 { background-color: #A0E0A0; }")
                       .arg(m_outputs[x]->objectName())
                 : QString());
    }
}

void AlarmPage::clearMatrix() {
    m_matrix.events.fill(0);
    m_matrix.sensors.fill(0);
    showMatrix();
}

bool AlarmPage::readMatrix() {
    m_oldForm->hide();
    clearMatrix();
    const auto m =
        controller::ReadOutputMatrix(m_form.link(), m_form.state().selectedControllerAddress);
    if (!m)
        return m_form.link().isOpen();
    m_matrix = *m;
    m_oldForm->setVisible(m->oldForm);
    showMatrix();
    m_form.SetMess(QStringLiteral("ПОЛУЧИТЕ"));
    return m_form.link().isOpen();
}

bool AlarmPage::writeMatrix() {
    m_oldForm->hide();
    m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО"));
    const std::uint8_t c = m_form.state().selectedControllerAddress;
    const auto form = controller::ReadOutputMatrix(m_form.link(), c);
    if (!form)
        return m_form.link().isOpen();
    m_matrix.oldForm = form->oldForm;
    if (m_matrix.oldForm && !controller::fitsOldForm(m_matrix)) {
        // Never written with leak or separation left out.
        m_oldForm->show();
        showMatrix();
        return m_form.link().isOpen();
    }
    const controller::OutputMatrix out = m_matrix;
    if (const auto taken = controller::WriteOutputMatrix(m_form.link(), c, out))
        m_form.SetMess(*taken == 4 ? QStringLiteral("OK") : QStringLiteral("ЗАПИСАНО НЕ ВСЁ"));
    return m_form.link().isOpen();
}

// State and switch-off ------------------------------------------------------------------

bool AlarmPage::readState() {
    const auto st = controller::ReadAlarmState(m_form.link(), m_form.state().sensorAddress);
    if (!st)
        return false;
    for (int k = 0; k < controller::kEvents; ++k) {
        for (int j = 0; j < 3; ++j) {
            const bool on = ((*st)[j] >> k) & 1;
            if (m_lamps[k][j]->property("on").toBool() != on)
                setLamp(m_lamps[k][j], j, on);
        }
        m_break[k]->setEnabled(((*st)[2] >> k) & 1);
    }
    return true;
}

void AlarmPage::AlarmBreak(int event) {
    m_form.runAction([this, event] {
        const app::WriteOutcome r =
            controller::SwitchOffAlarm(m_form.link(), m_form.state().sensorAddress, event);
        m_form.SetMess(controller::switchOffText(r));
        if (r)
            readState();
        return m_form.link().isOpen();
    });
    m_break[event]->setChecked(false);
}

// Memory test ------------------------------------------------------------------------------

bool AlarmPage::testRunning() const {
    return m_testRunning;
}

// Pressed: the test runs as one workflow, with the wait dialog's Break.
// Released while it runs, or the page left (the mode change asks for the
// break), it stops; the workflow tells the sensor on every way out.
void AlarmPage::sbRamTestClick(bool down) {
    if (!down) {
        if (m_testRunning)
            m_form.state().breakRequested = true;
        m_ramTest->setChecked(m_testRunning);
        return;
    }
    m_ramTest->setChecked(true);
    m_form.runAction([this] {
        m_testRunning = true;
        const controller::MemoryTestResult r = controller::RunMemoryTest(
            m_form.link(), m_form.state().sensorAddress, *m_form.progressDialog());
        m_testRunning = false;
        m_form.SetMess(controller::memoryTestText(r));
        return m_form.link().isOpen();
    });
    m_ramTest->setChecked(false);
}
