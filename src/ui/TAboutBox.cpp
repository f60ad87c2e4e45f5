#include "ui/TAboutBox.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString TAboutBox::versionText() {
    return QStringLiteral(ORVANT_VERSION " " ORVANT_BUILD_DATE);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TAboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    auto* name = new QLabel(QStringLiteral("ORVANT II"), this);
    QFont f = name->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    name->setFont(f);
    auto* version = new QLabel(QStringLiteral("Версия " ORVANT_VERSION), this);
    version->setObjectName(QStringLiteral("Version"));
    auto* date = new QLabel(QStringLiteral("Сборка " ORVANT_BUILD_DATE), this);
    date->setObjectName(QStringLiteral("BuildDate"));
    auto* what = new QLabel(QStringLiteral("Сервисная программа систем измерения уровня топлива:\n"
                                           "КИП, датчики уровня, термометры и плотномеры."),
                            this);
    m_config = new QLabel(this);
    m_config->setObjectName(QStringLiteral("ConfigPath"));
    m_config->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_port = new QLabel(this);
    m_port->setObjectName(QStringLiteral("PortDetails"));
    m_port->setAlignment(Qt::AlignHCenter);
    m_port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(name), static_cast<QWidget*>(version),
                       static_cast<QWidget*>(date), static_cast<QWidget*>(what),
                       static_cast<QWidget*>(m_config), static_cast<QWidget*>(m_port)})
        layout->addWidget(w, 0, Qt::AlignHCenter);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

int TAboutBox::exec() {
    m_config->setText(QStringLiteral("Файл конфигурации: ") +
                      (m_configPath ? m_configPath() : QString()));
    m_port->setText(m_portDetails ? m_portDetails() : QString());
    return QDialog::exec();
}
