#include "ui/SensorUpdatePage.h"

#include "app/ConfigFile.h"
#include "app/Modes.h"
#include "link/Transit.h"
#include "ui/PageProgress.h"
#include "ui/PageHost.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QLatin1String kFileKey("SENS_FILE");
constexpr int kProbeTickMs = 100;
const QString kLinking = QStringLiteral("УСТАНОВЛЕНИЕ СВЯЗИ");

// The controller page's names with the sensor's "S": "stHFile" → "stSHFile".
QString sensorNamed(const char* base) {
    QString name = QLatin1String(base);
    return name.insert(2, QLatin1Char('S'));
}

QLabel* boldLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QPlainTextEdit* memo(const QStringList& lines, QWidget* parent) {
    auto* m = new QPlainTextEdit(lines.join(QLatin1Char('\n')), parent);
    m->setReadOnly(true);
    m->setFrameShape(QFrame::NoFrame);
    m->setMaximumHeight(m->fontMetrics().lineSpacing() * (static_cast<int>(lines.size()) + 1));
    return m;
}

QWidget* helpPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("pSHelp"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setStyleSheet(QStringLiteral("#pSHelp { background-color: #FFFFE1; }"));
    auto* column = new QVBoxLayout(panel);
    auto* heading = boldLabel(QStringLiteral("АВАРИЙНЫЙ РЕЖИМ ОБНОВЛЕНИЯ"), panel);
    heading->setStyleSheet(QStringLiteral("color: #B00000;"));
    column->addWidget(heading);
    column->addWidget(memo(
        {QStringLiteral("Для обновления :"), QStringLiteral(" - выберите датчик;"),
         QStringLiteral(" - выключите питание КИПа;"), QStringLiteral(" - нажмите кнопку LINK;"),
         QStringLiteral(" - в течение 10 секунд включите КИП.")},
        panel));
    column->addWidget(memo(
        {QStringLiteral("Для завершения :"), QStringLiteral("  снимите флажок Аварийный режим.")},
        panel));
    panel->hide();
    return panel;
}

} // namespace

SensorUpdatePage::SensorUpdatePage(PageHost& form, QWidget* page) : QObject(page), m_form(form) {
    auto* column = static_cast<QVBoxLayout*>(page->layout());
    column->addWidget(boldLabel(QStringLiteral("ДАТЧИК"), page));
    column->addWidget(boldLabel(QStringLiteral("ОБНОВЛЕНИЕ МИКРОПРОГРАММЫ"), page));
    m_f = buildFirmwareFields(page, column, sensorNamed);
    connect(m_f.link, &QPushButton::clicked, this, &SensorUpdatePage::btSLinkClick);
    connect(m_f.prog, &QPushButton::clicked, this, &SensorUpdatePage::btSProgClick);
    connect(m_f.free, &QPushButton::clicked, this, &SensorUpdatePage::btSFreeClick);
    m_ind = new QProgressBar(page);
    m_ind->setObjectName(QStringLiteral("pbSInd"));
    m_ind->hide();
    column->addWidget(m_ind);

    auto* flagRow = new QHBoxLayout;
    m_emergency = new QToolButton(page);
    m_emergency->setObjectName(QStringLiteral("sbSnsAlrLink"));
    m_emergency->setText(QStringLiteral("Аварийный режим"));
    m_emergency->setCheckable(true);
    m_emergency->setToolTip(
        QStringLiteral("Флажок в КИП: после включения питания он пропускает связь к датчикам."));
    connect(m_emergency, &QToolButton::clicked, this, &SensorUpdatePage::sbSnsAlrLinkClick);
    m_checkFlag = new QPushButton(QStringLiteral("Проверить режим"), page);
    m_checkFlag->setObjectName(QStringLiteral("btCheckSnsAlr"));
    connect(m_checkFlag, &QPushButton::clicked, this, &SensorUpdatePage::btCheckSnsAlrClick);
    flagRow->addWidget(m_emergency);
    flagRow->addWidget(m_checkFlag);
    flagRow->addStretch(1);
    column->addLayout(flagRow);
    m_help = helpPanel(page);
    column->addWidget(m_help);
    column->addStretch(1);

    chooseFile = [page] {
        return QFileDialog::getOpenFileName(page, QStringLiteral("Прошивка датчика"), QString(),
                                            QStringLiteral("Файлы прошивки (*.hex)"));
    };
    connect(firmwareFileAction(form, app::TagSUD), &QAction::triggered, this, [this] {
        if (m_form.state().currentMode != app::TagSUD)
            return;
        const QString path = chooseFile();
        if (!path.isEmpty())
            HFOpened(path);
    });
    m_form.addEnterAction(app::TagSUD, [this] { ShowSensorUpdatePage(); });
    m_form.addLeaveAction(app::TagSUD, [this] { leave(); });
    m_form.addClearSensorFields([this] {
        stopProbing();
        m_f.deviceVersion->clear();
        m_f.deviceDate->clear();
        // The sensor in its loader is let go before another is worked on.
        if (m_linked)
            m_form.runAction([this] {
                release();
                return m_form.link().isOpen();
            });
    });
    m_form.addTypeLayoutAction([this] {
        // Only these controllers keep the emergency flag.
        const bool flagged = m_form.state().layout.type().emergencyFlag;
        m_emergency->setVisible(flagged);
        m_checkFlag->setVisible(flagged);
        if (!flagged) {
            m_emergency->setChecked(false);
            m_help->hide();
        }
    });
}

firmware::SensorRoute SensorUpdatePage::selectedRoute() const {
    const app::WorkingState& s = m_form.state();
    return {s.sensorAddress, s.selectedControllerAddress,
            !s.layout.isNoControllerType() &&
                s.selectedControllerAddress != app::kNoControllerSelected};
}

bool SensorUpdatePage::load() {
    m_f.newVersion->clear();
    m_f.newDate->clear();
    const firmware::LoadResult r = firmware::LoadSensorFirmware(m_f.file->text(), m_image);
    if (!r.message.isEmpty())
        m_form.SetMess(r.message);
    if (!r.ok) {
        // A file gone or of another kind is not offered again.
        if (r.fault == firmware::LoadFault::Missing ||
            r.fault == firmware::LoadFault::NotSupported)
            m_f.file->clear();
        return false;
    }
    m_f.newVersion->setText(m_image.version);
    m_f.newDate->setText(m_image.date);
    return true;
}

void SensorUpdatePage::ShowSensorUpdatePage() {
    m_form.SetMess(QString());
    if (m_form.config().exists())
        m_f.file->setText(app::ConfigFile::value(m_form.config().read(), kFileKey));
    m_f.link->setEnabled(false);
    m_f.link->setEnabled(!m_f.file->text().isEmpty() && load());
}

void SensorUpdatePage::HFOpened(const QString& path) {
    m_f.file->setText(path);
    const bool ok = load();
    QString error;
    if (ok && !m_form.config().write({{kFileKey, path}}, &error))
        m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО: ") + error);
    m_f.link->setEnabled(ok);
}

void SensorUpdatePage::linked(const firmware::SensorRoute& route) {
    m_linked = route;
    m_ind->hide();
    m_f.prog->setEnabled(true);
    m_form.SetMess(QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
}

void SensorUpdatePage::btSLinkClick() {
    stopProbing();
    if (m_emergency->isChecked()) {
        startEmergencyProbing();
        return;
    }
    m_form.runAction([this] {
        const firmware::SensorRoute route = selectedRoute();
        m_f.deviceVersion->clear();
        m_f.deviceDate->clear();
        const firmware::SensorLinkResult r = firmware::SensorLink(m_form.link(), route);
        if (route.viaTransit)
            m_form.showTransit(r.transitOn);
        if (r.version)
            m_f.deviceVersion->setText(*r.version);
        if (r.date)
            m_f.deviceDate->setText(*r.date);
        if (r.linked)
            linked(route);
        else
            m_form.SetMess(r.mess);
        return m_form.link().isOpen();
    });
}

void SensorUpdatePage::startEmergencyProbing() {
    bool found = false;
    m_form.runAction([this, &found] {
        found = firmware::SensorBootProbe(m_form.link(), selectedRoute().sensor);
        return m_form.link().isOpen();
    });
    if (found) {
        linked(selectedRoute());
        return;
    }
    if (!m_form.link().isOpen())
        return;
    m_form.SetMess(kLinking);
    m_probes = 0;
    m_ind->setRange(0, 10);
    m_ind->setValue(1);
    m_ind->show();
    // The shared timer gets this page's handler and interval.
    QTimer* tmr2 = m_form.secondTimer();
    QObject::disconnect(tmr2, &QTimer::timeout, nullptr, nullptr);
    connect(tmr2, &QTimer::timeout, this, &SensorUpdatePage::probeTick);
    tmr2->setInterval(kProbeTickMs);
    tmr2->start();
}

void SensorUpdatePage::probeTick() {
    QTimer* tmr2 = m_form.secondTimer();
    tmr2->stop();
    bool found = false;
    m_form.runAction([this, &found] {
        m_form.SetMess(kLinking);
        found = firmware::SensorBootProbe(m_form.link(), selectedRoute().sensor);
        return m_form.link().isOpen();
    });
    if (found) {
        linked(selectedRoute());
        return;
    }
    if (!m_form.link().isOpen()) {
        m_ind->hide();
        return;
    }
    if (++m_probes < firmware::kEmergencyProbes) {
        m_form.SetMess(kLinking);
        m_ind->setValue(m_ind->value() + 1);
        tmr2->start();
        return;
    }
    m_ind->hide();
    m_form.SetMess(QStringLiteral("СВЯЗИ НЕТ. ПОПРОБУЙТЕ ПОВТОРИТЬ."));
}

void SensorUpdatePage::stopProbing() {
    QTimer* tmr2 = m_form.secondTimer();
    // Only this page's probing: the timer may serve another page.
    if (QObject::disconnect(tmr2, &QTimer::timeout, this, &SensorUpdatePage::probeTick)) {
        tmr2->stop();
        m_ind->hide();
    }
}

void SensorUpdatePage::btSProgClick() {
    // Nothing is sent without an image in force (a failed load since LINK).
    if (!m_linked || !m_image.usable)
        return;
    m_form.runAction([this] {
        const firmware::SensorRoute route = *m_linked;
        m_form.SetMess(QStringLiteral("ПРОГРАММИРОВАНИЕ"));
        firmware::UpdateResult r;
        {
            PageProgress progress(*m_form.progressDialog(), *m_ind);
            r = firmware::UpdateSensor(m_form.link(), route, m_image, progress);
        }
        m_form.SetMess(firmware::describe(r));
        // A failed PROG leaves the loader linked and transit on for another.
        if (!r.restarted)
            return m_form.link().isOpen();
        if (route.viaTransit)
            m_form.showTransit(false);
        m_linked.reset();
        m_f.prog->setEnabled(false);
        // What the restarted sensor says it runs now.
        m_f.deviceVersion->setText(r.restarted->version.value_or(QString()));
        m_f.deviceDate->setText(r.restarted->date.value_or(QString()));
        return m_form.link().isOpen();
    });
}

void SensorUpdatePage::release() {
    const firmware::SensorRoute route = m_linked.value_or(selectedRoute());
    firmware::ReleaseSensor(m_form.link(), route);
    if (route.viaTransit)
        m_form.showTransit(false);
    m_linked.reset();
    m_f.prog->setEnabled(false);
}

void SensorUpdatePage::btSFreeClick() {
    stopProbing();
    m_form.runAction([this] {
        release();
        return m_form.link().isOpen();
    });
}

void SensorUpdatePage::leave() {
    stopProbing();
    // Leaving runs inside the window's own device frame.
    if (m_linked)
        release();
}

void SensorUpdatePage::showFlag(bool on) {
    m_emergency->setChecked(on);
    m_help->setVisible(on);
}

void SensorUpdatePage::sbSnsAlrLinkClick(bool down) {
    if (m_form.deviceBusy()) {
        m_emergency->setChecked(!down);
        return;
    }
    stopProbing();
    m_form.runAction([this, down] {
        const firmware::FlagResult r = firmware::SetEmergencyFlag(
            m_form.link(), m_form.state().selectedControllerAddress, down);
        m_form.SetMess(r.mess);
        if (r.set)
            showFlag(down);
        else
            m_emergency->setChecked(!down);
        return m_form.link().isOpen();
    });
}

void SensorUpdatePage::btCheckSnsAlrClick() {
    m_form.runAction([this] {
        if (const auto flag = firmware::ReadEmergencyFlag(m_form.link(),
                                                          m_form.state().selectedControllerAddress))
            showFlag(*flag);
        return m_form.link().isOpen();
    });
}
