#include "ui/ControllerConfigPage.h"

#include "app/LayoutEdits.h"
#include "app/Modes.h"
#include "controller/ControllerCatalogue.h"
#include "controller/ControllerSettings.h"
#include "controller/ControllerWrite.h"
#include "link/Command.h"
#include "ui/InputFilters.h"
#include "ui/PageHost.h"
#include "ui/PageWidgets.h"
#include "ui/TPForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kIntervalStep = 5;
constexpr int kIntervalStart = 100;

void fillNumbers(QComboBox* c, int count) {
    c->clear();
    for (int n = 1; n <= count; ++n)
        c->addItem(QString::number(n));
    c->setCurrentIndex(-1);
}

QComboBox* numberList(const QString& name, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    fillNumbers(c, controller::kAddressEntries);
    return c;
}

QLineEdit* digitsField(const QString& name, int length, QWidget* parent) {
    QLineEdit* e = valueField(name, parent, 60);
    e->setMaxLength(length);
    ReKeyPress(e);
    return e;
}

// A row of a group: label, control, mark.
void addRow(QGridLayout* grid, const QString& label, QWidget* control, QToolButton* mark) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(label, control->parentWidget()), row, 0);
    grid->addWidget(control, row, 1);
    grid->addWidget(mark, row, 2);
}

} // namespace

ControllerConfigPage::ControllerConfigPage(PageHost& form, QWidget* page)
    : QObject(page), m_form(form) {
    auto* body = new QWidget(page);
    auto* columns = new QHBoxLayout(body);

    auto* interval = new QGroupBox(QStringLiteral("ИНТЕРВАЛ ОПРОСОВ"), body);
    auto* intervalRow = new QHBoxLayout(interval);
    m_interval = new QSlider(Qt::Horizontal, interval);
    m_interval->setObjectName(QStringLiteral("tbInt"));
    // The slider moves in the device's tenths, within the catalogue's range.
    const app::Setting& row = controller::controllerSetting(QStringLiteral("interval"));
    m_interval->setRange(qRound(row.encode(QJsonValue(row.min))),
                         qRound(row.encode(QJsonValue(row.max))));
    m_interval->setSingleStep(kIntervalStep);
    m_interval->setPageStep(kIntervalStep);
    m_interval->setMinimumWidth(150);
    m_intervalText = new QLabel(interval);
    m_intervalText->setObjectName(QStringLiteral("stInt"));
    m_intervalText->setMinimumWidth(36);
    m_intervalText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_markInterval = markButton(QStringLiteral("sbSInt"), interval);
    intervalRow->addWidget(m_interval, 1);
    intervalRow->addWidget(m_intervalText);
    intervalRow->addWidget(new QLabel(QStringLiteral("сек."), interval));
    intervalRow->addWidget(m_markInterval);
    connect(m_interval, &QSlider::valueChanged, this, &ControllerConfigPage::tbIntChange);
    m_interval->setValue(kIntervalStart);
    tbIntChange(kIntervalStart);

    // The controller's own part; the direct-sensor type has none of it.
    m_controllerPart = new QWidget(body);
    m_controllerPart->setObjectName(QStringLiteral("pKipPr"));
    auto* parts = new QVBoxLayout(m_controllerPart);
    parts->setContentsMargins(0, 0, 0, 0);

    m_hostPart = new QWidget(m_controllerPart);
    // The passwords stand under the channels: beside them, and beside the
    // address range, they would not fit a 1024-pixel screen.
    auto* hostParts = new QVBoxLayout(m_hostPart);
    hostParts->setContentsMargins(0, 0, 0, 0);
    auto* channels = new QGroupBox(QStringLiteral("КАНАЛЫ"), m_hostPart);
    auto* channelGrid = new QGridLayout(channels);
    m_mainHost = new QComboBox(channels);
    m_mainHost->setObjectName(QStringLiteral("cbMHost"));
    m_mainHost->addItems(controller::mainChannelNames());
    m_mainHost->setCurrentIndex(-1);
    m_secondHost = new QComboBox(channels);
    m_secondHost->setObjectName(QStringLiteral("cbSHost"));
    m_secondHost->addItems(controller::secondChannelNames());
    m_secondHost->setCurrentIndex(-1);
    m_markMain = markButton(QStringLiteral("sbMChan"), channels);
    m_markSecond = markButton(QStringLiteral("sbSChan"), channels);
    addRow(channelGrid, QStringLiteral("ГЛАВНЫЙ - X1"), m_mainHost, m_markMain);
    addRow(channelGrid, QStringLiteral("X3"), m_secondHost, m_markSecond);
    auto* passwords = new QGroupBox(QStringLiteral("ПАРОЛИ"), m_hostPart);
    auto* passwordGrid = new QGridLayout(passwords);
    m_workingPassword =
        digitsField(QStringLiteral("reWPwd"), controller::kPasswordLength, passwords);
    m_systemPassword =
        digitsField(QStringLiteral("reSPwd"), controller::kPasswordLength, passwords);
    m_markWorking = markButton(QStringLiteral("sbWPwd"), passwords);
    m_markSystem = markButton(QStringLiteral("sbSPwd"), passwords);
    addRow(passwordGrid, QStringLiteral("РАБОЧИЙ"), m_workingPassword, m_markWorking);
    addRow(passwordGrid, QStringLiteral("СИСТЕМНЫЙ"), m_systemPassword, m_markSystem);
    hostParts->addWidget(channels);
    hostParts->addWidget(passwords);
    parts->addWidget(m_hostPart);

    auto* addresses = new QGroupBox(QStringLiteral("КОНФИГУРАЦИЯ  АДРЕСОВ"), m_controllerPart);
    auto* addressGrid = new QGridLayout(addresses);
    m_address = numberList(QStringLiteral("cbKipAdr"), addresses);
    m_firstSensor = digitsField(QStringLiteral("reFAdr"), 3, addresses);
    m_sensorCount = numberList(QStringLiteral("cbSNum"), addresses);
    m_markAddress = markButton(QStringLiteral("sbKAdr"), addresses);
    m_markFirst = markButton(QStringLiteral("sbFAdr"), addresses);
    m_markCount = markButton(QStringLiteral("sbSNum"), addresses);
    addRow(addressGrid, QStringLiteral("АДРЕС КИПа"), m_address, m_markAddress);
    addRow(addressGrid, QStringLiteral("АДРЕС ПЕРВОГО ДАТЧИКА"), m_firstSensor, m_markFirst);
    addRow(addressGrid, QStringLiteral("КОЛИЧЕСТВО ДАТЧИКОВ"), m_sensorCount, m_markCount);
    m_sensorMap = new QCheckBox(QStringLiteral("ИСПОЛЬЗОВАТЬ КАРТУ ДАТЧИКОВ"), addresses);
    m_sensorMap->setObjectName(QStringLiteral("cbSMap"));
    m_sensorMap->setChecked(true);
    m_markMap = markButton(QStringLiteral("sbSMap"), addresses);
    const int mapRow = addressGrid->rowCount();
    addressGrid->addWidget(m_sensorMap, mapRow, 0, 1, 2);
    addressGrid->addWidget(m_markMap, mapRow, 2);
    addressGrid->addWidget(new QLabel(QStringLiteral("ПРИ ОПРОСАХ"), addresses), mapRow + 1, 0);
    parts->addWidget(addresses);
    parts->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(interval);
    auto* get = actionButton("btGetKCfg", QStringLiteral("ПОЛУЧИТЬ"), Tag, body);
    auto* set = actionButton("btSetKCfg", QStringLiteral("УСТАНОВИТЬ"), Tag, body);
    connect(get, &QPushButton::clicked, this, [this] { m_form.btGetClick(Tag); });
    connect(set, &QPushButton::clicked, this, [this] { m_form.btSetClick(Tag); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(get);
    buttons->addWidget(set);
    buttons->addStretch(1);
    left->addLayout(buttons);
    left->addStretch(1);
    columns->addLayout(left);
    columns->addWidget(m_controllerPart);
    columns->addStretch(1);
    page->layout()->addWidget(body);

    m_form.registerGetAction(Tag, [this] { return GetKCfg(); });
    m_form.registerSetAction(Tag, [this] { return SetKCfg(); });
    // Values read from one controller are not shown for another.
    m_form.addClearSensorFields([this] { clearFields(); });
    m_form.addTypeLayoutAction([this] { applyType(); });
    applyType();
    // Each mark with its setting and the field's text as the row reads it.
    const auto text = [](auto* field) { return [field] { return field->text(); }; };
    const auto choice = [](QComboBox* c) { return [c] { return c->currentText(); }; };
    m_fields = {
        {m_markInterval, "interval",
         [this] {
             const app::Setting& row = controller::controllerSetting(QStringLiteral("interval"));
             return row.text(row.decode(m_interval->value()));
         }},
        {m_markAddress, "address", choice(m_address)},
        {m_markFirst, "first-sensor", text(m_firstSensor)},
        {m_markCount, "sensor-count", choice(m_sensorCount)},
        {m_markMap, "sensor-map",
         [this] { return m_sensorMap->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }},
        {m_markSystem, "system-password", text(m_systemPassword)},
        {m_markWorking, "working-password", text(m_workingPassword)},
        {m_markSecond, "second-channel", choice(m_secondHost)},
        {m_markMain, "main-channel", choice(m_mainHost)},
    };
}

void ControllerConfigPage::applyType() {
    const app::ControllerTypeInfo& type = m_form.state().layout.type();
    m_controllerPart->setVisible(!type.directSensors);
    m_hostPart->setVisible(type.hostChannels);
    const int addresses = controller::addressEntries(m_form.state().layout.controllerType);
    if (m_address->count() != addresses)
        fillNumbers(m_address, addresses);
}

void ControllerConfigPage::tbIntChange(int position) {
    m_intervalText->setText(controller::intervalText(position, QLocale().decimalPoint().at(0)));
}

void ControllerConfigPage::clearFields() {
    m_mainHost->setCurrentIndex(-1);
    m_secondHost->setCurrentIndex(-1);
    m_workingPassword->clear();
    m_systemPassword->clear();
    m_address->setCurrentIndex(-1);
    m_firstSensor->clear();
    m_sensorCount->setCurrentIndex(-1);
}

bool ControllerConfigPage::GetKCfg() {
    m_form.progressDialog()->ShowProgress(0);
    const app::WorkingState& s = m_form.state();
    const int type = s.layout.controllerType;
    bus::SerialLink& link = m_form.link();
    clearFields();
    const controller::ControllerSettings c =
        controller::ReadControllerSettings(link, s.selectedControllerAddress, type);
    if (c.interval)
        m_interval->setValue(*c.interval);
    if (c.mainChannel && c.secondChannel) {
        m_mainHost->setCurrentIndex(*c.mainChannel < m_mainHost->count() ? *c.mainChannel : -1);
        m_secondHost->setCurrentIndex(*c.secondChannel < m_secondHost->count() ? *c.secondChannel
                                                                               : -1);
    }
    if (c.workingPassword) {
        m_workingPassword->setText(*c.workingPassword);
        m_systemPassword->setText(*c.systemPassword);
    }
    if (c.index) {
        m_firstSensor->setText(QString::number(*c.firstSensor + 1));
        m_sensorCount->setCurrentIndex(
            *c.sensorCount >= 1 && *c.sensorCount <= 16 ? *c.sensorCount - 1 : -1);
        m_address->setCurrentIndex(*c.index < m_address->count() ? *c.index : -1);
    }
    if (c.sensorMap)
        m_sensorMap->setChecked(*c.sensorMap);
    return link.isOpen();
}

bool ControllerConfigPage::SetKCfg() {
    m_form.SetMess(QString());
    m_form.progressDialog()->ShowProgress(0);
    app::WorkingState& s = m_form.state();
    bus::SerialLink& link = m_form.link();
    const int type = s.layout.controllerType;
    // The marked fields the type has, as their rows read the typed text; a
    // field with nothing the row takes goes as null and keeps its mark.
    app::SettingValues wanted;
    for (const Field& f : m_fields) {
        const app::Setting& row = controller::controllerSetting(QLatin1String(f.key));
        if (!f.mark->isChecked() || !row.existsIn(type))
            continue;
        wanted[row.key] = row.parse(f.text()).value_or(QJsonValue(QJsonValue::Null));
    }
    const controller::SettingsWriteResult r = controller::WriteControllerSettings(
        link, s.selectedControllerAddress, type, wanted, *m_form.progressDialog());
    for (const Field& f : m_fields)
        if (r.took(QLatin1String(f.key)))
            f.mark->setChecked(false);
    // The layout follows what the controller took: its range first, then
    // its move to the new address.
    const int i = s.selectedControllerIndex();
    const auto stored = [&](const char* key) {
        const QString k = QLatin1String(key);
        return qRound(controller::controllerSetting(k).encode(wanted.at(k)));
    };
    if (i >= 0 &&
        (r.took(QStringLiteral("first-sensor")) || r.took(QStringLiteral("sensor-count")))) {
        if (r.took(QStringLiteral("first-sensor")))
            s.layout.ControllerTable[i].firstSensorAddress = stored("first-sensor");
        if (r.took(QStringLiteral("sensor-count")))
            s.layout.ControllerTable[i].sensorCount = stored("sensor-count");
        rebuildLayout();
    }
    if (r.took(QStringLiteral("address")))
        moveSelectedController(stored("address"));
    m_form.SetMess(r.failed.empty() ? QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА")
                                    : app::notWrittenText(r.failed, false));
    return link.isOpen();
}

void ControllerConfigPage::moveSelectedController(int index) {
    app::WorkingState& s = m_form.state();
    const int old = s.selectedControllerIndex();
    if (old >= 0)
        app::moveController(s.layout, old, index);
    s.selectedControllerAddress = static_cast<std::uint8_t>(bus::kControllerBase + index);
    m_form.LayoutEdited();
}

void ControllerConfigPage::rebuildLayout() {
    app::WorkingState& s = m_form.state();
    // The selection stays on the controller being configured while it is
    // in the layout.
    const auto first = app::rebuildLayout(s.layout);
    const int i = s.selectedControllerIndex();
    if (first && (i < 0 || !s.layout.isPresent(i))) {
        s.selectedControllerAddress = static_cast<std::uint8_t>(bus::kControllerBase + *first);
        m_address->setCurrentIndex(*first < m_address->count() ? *first : -1);
    }
    m_form.LayoutEdited();
}
