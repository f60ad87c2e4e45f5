#include "ui/ControllerUpdatePage.h"

#include "app/ConfigFile.h"
#include "app/Modes.h"
#include "firmware/ControllerProgramming.h"
#include "ui/FirmwarePageParts.h"
#include "ui/PageProgress.h"
#include "ui/PageHost.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

const char* const kFileKeys[2] = {"MAIN_FILE", "SLAVE_FILE"};

QString named(const char* base, int cpu) {
    return QLatin1String(base) + (cpu ? QStringLiteral("S") : QString());
}

} // namespace

ControllerUpdatePage::ControllerUpdatePage(PageHost& form, QWidget* page)
    : QObject(page), m_form(form) {
    for (int c = 0; c < 2; ++c)
        m_cpu[c].body = buildCpu(static_cast<Cpu>(c), page);
    m_ind = new QProgressBar(page);
    m_ind->setObjectName(QStringLiteral("pbInd"));
    m_ind->hide();
    m_emergency = new QCheckBox(QStringLiteral("Аварийный режим"), page);
    m_emergency->setObjectName(QStringLiteral("cbKipAlrLink"));
    m_emergency->setToolTip(QStringLiteral("Прошивку КИП ни о чём не спрашивать."));
    page->layout()->addWidget(m_emergency);
    page->layout()->addWidget(m_ind);
    m_open = firmwareFileAction(form, app::TagKUD);
    chooseFile = [this] {
        return QFileDialog::getOpenFileName(m_cpu[current()].body, QStringLiteral("Прошивка"),
                                            QString(), QStringLiteral("Файлы прошивки (*.hex)"));
    };
    confirmOtherImage = [this](const QString& warning) {
        return QMessageBox::warning(m_cpu[current()].body, QStringLiteral("ПРОГРАММИРОВАНИЕ"),
                                    warning + QStringLiteral("\nПРОГРАММИРОВАТЬ?"),
                                    QMessageBox::Yes | QMessageBox::No,
                                    QMessageBox::No) == QMessageBox::Yes;
    };
    connect(m_open, &QAction::triggered, this, [this] {
        if (m_form.state().currentMode != app::TagKUD)
            return;
        const QString path = chooseFile();
        if (!path.isEmpty())
            HFOpened(path);
    });
    m_form.addEnterAction(app::TagKUD, [this] { UpDateShow(); });
}

QWidget* ControllerUpdatePage::buildCpu(Cpu cpu, QWidget* parent) {
    auto* body = new QWidget(parent);
    CpuPage& p = m_cpu[cpu];
    auto* column = new QVBoxLayout(body);
    auto* heading = new QLabel(QStringLiteral("ОБНОВЛЕНИЕ МИКРОПРОГРАММЫ  КИП"), body);
    QFont f = heading->font();
    f.setBold(true);
    heading->setFont(f);
    column->addWidget(heading);
    static_cast<FirmwareFields&>(p) =
        buildFirmwareFields(body, column, [cpu](const char* base) { return named(base, cpu); });
    connect(p.link, &QPushButton::clicked, this, &ControllerUpdatePage::btLinkClick);
    connect(p.free, &QPushButton::clicked, this, &ControllerUpdatePage::btFreeClick);
    connect(p.prog, &QPushButton::clicked, this, &ControllerUpdatePage::btProgClick);
    // What the engineer must see before writing.
    auto* guide =
        new QLabel(QStringLiteral("ВАЖНО ! ! !   Обновление через разъём %1   "
                                  "Версия должна содержать строку %2")
                       .arg(cpu == MainCpu ? QStringLiteral(" Х1 ") : QStringLiteral(" Х3 "),
                            cpu == MainCpu ? QStringLiteral(" VQM ") : QStringLiteral(" VQS ")),
                   body);
    guide->setStyleSheet(QStringLiteral("color: #B00000;"));
    column->addWidget(guide);
    column->addStretch(1);
    return body;
}

void ControllerUpdatePage::setTabs(QTabWidget* tabs) {
    m_tabs = tabs;
    // Each CPU page shown loads its own file.
    connect(tabs, &QTabWidget::currentChanged, this, [this] {
        if (m_form.state().currentMode == app::TagKUD)
            UpDateShow();
    });
}

ControllerUpdatePage::Cpu ControllerUpdatePage::current() const {
    return m_tabs && m_tabs->currentIndex() == KeyboardCpu ? KeyboardCpu : MainCpu;
}

std::uint8_t ControllerUpdatePage::bootLoader() const {
    const app::WorkingState& s = m_form.state();
    return firmware::bootLoaderAddress(s.layout.isDirectSensorType(), s.selectedControllerAddress);
}

bool ControllerUpdatePage::load(Cpu cpu) {
    CpuPage& p = m_cpu[cpu];
    p.newVersion->clear();
    p.newDate->clear();
    const firmware::LoadResult r = firmware::LoadControllerFirmware(p.file->text(), m_image);
    if (!r.message.isEmpty())
        m_form.SetMess(r.message);
    if (!r.ok) {
        if (r.fault == firmware::LoadFault::NotSupported)
            p.file->clear();
        // No image of another processor stays in force behind this page.
        m_image = firmware::FirmwareImage{};
        m_imageCpu = -1;
        p.prog->setEnabled(false);
        return false;
    }
    m_imageCpu = cpu;
    p.newVersion->setText(m_image.version);
    p.newDate->setText(m_image.date);
    return true;
}

void ControllerUpdatePage::UpDateShow() {
    m_form.SetMess(QString());
    m_emergency->setChecked(false);
    const app::ConfigEntries entries = m_form.config().read();
    for (int c = 0; c < 2; ++c) {
        const QString path = app::ConfigFile::value(entries, QLatin1String(kFileKeys[c]));
        if (!path.isEmpty())
            m_cpu[c].file->setText(path);
    }
    CpuPage& p = m_cpu[current()];
    p.link->setEnabled(false);
    p.link->setEnabled(!p.file->text().isEmpty() && load(current()));
}

void ControllerUpdatePage::HFOpened(const QString& path) {
    const Cpu cpu = current();
    CpuPage& p = m_cpu[cpu];
    p.file->setText(path);
    const bool ok = load(cpu);
    QString error;
    if (ok && !m_form.config().write({{QLatin1String(kFileKeys[cpu]), path}}, &error))
        m_form.SetMess(QStringLiteral("НЕ ЗАПИСАНО: ") + error);
    p.link->setEnabled(ok);
}

void ControllerUpdatePage::btLinkClick() {
    CpuPage& p = m_cpu[current()];
    m_form.runAction([this, &p] {
        p.deviceVersion->clear();
        p.deviceDate->clear();
        const firmware::LinkResult r =
            firmware::ControllerLink(m_form.link(), m_form.state().selectedControllerAddress,
                                     bootLoader(), m_emergency->isChecked());
        if (r.version)
            p.deviceVersion->setText(*r.version);
        if (r.date)
            p.deviceDate->setText(*r.date);
        m_form.SetMess(r.mess);
        if (r.linked)
            p.prog->setEnabled(true);
        return m_form.link().isOpen();
    });
}

void ControllerUpdatePage::btFreeClick() {
    CpuPage& p = m_cpu[current()];
    m_form.runAction([this, &p] {
        firmware::ReleaseBootLoader(m_form.link(), bootLoader());
        p.prog->setEnabled(false);
        return m_form.link().isOpen();
    });
}

void ControllerUpdatePage::btProgClick() {
    // Nothing is sent without an image in force, and never another
    // processor's image.
    if (!m_image.usable || m_imageCpu != current())
        return;
    // A file made for the other processor is said before anything is sent.
    if (const QString other = firmware::otherProcessorText(m_image, current() == KeyboardCpu);
        !other.isEmpty() && !confirmOtherImage(other)) {
        m_form.SetMess(other);
        return;
    }
    CpuPage& p = m_cpu[current()];
    m_form.runAction([this, &p] {
        m_form.SetMess(QStringLiteral("ПРОГРАММИРОВАНИЕ"));
        firmware::UpdateResult r;
        {
            PageProgress progress(*m_form.progressDialog(), *m_ind);
            r = firmware::UpdateController(m_form.link(), bootLoader(),
                                           m_form.state().selectedControllerAddress, m_image,
                                           progress);
        }
        m_form.SetMess(firmware::describe(r));
        if (!r.restarted)
            return m_form.link().isOpen();
        p.prog->setEnabled(false);
        // What the restarted device says it runs now.
        p.deviceVersion->setText(r.restarted->version.value_or(p.newVersion->text()));
        p.deviceDate->setText(r.restarted->date.value_or(p.newDate->text()));
        return m_form.link().isOpen();
    });
}
