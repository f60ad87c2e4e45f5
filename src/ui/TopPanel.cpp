#include "ui/TopPanel.h"

#include "ui/PageWidgets.h"
#include "ui/PortLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <map>

TopPanel::TopPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("pTop"));
    setFrameShape(QFrame::StyledPanel);
    m_row = new QHBoxLayout(this);
    m_row->setContentsMargins(6, 4, 6, 4);

    m_row->addWidget(new QLabel(QStringLiteral("Порт:"), this));
    m_port = new PortLabel(QStringLiteral("Port"), this);
    m_row->addWidget(m_port);
    m_row->addSpacing(12);

    m_trans = toolButton(QStringLiteral("sbTrans"), QStringLiteral("ТРАНЗИТ"),
                         QStringLiteral("Транзитный режим КИПа."), true, this);
    auto* norm = toolButton(QStringLiteral("btNorm"), QStringLiteral("НОРМ."),
                            QStringLiteral("Сброс транзита."), false, this);
    connect(m_trans, &QToolButton::clicked, this, &TopPanel::transitToggled);
    connect(norm, &QToolButton::clicked, this, &TopPanel::transitReset);
    m_row->addWidget(m_trans);
    m_row->addWidget(norm);
    m_row->addSpacing(12);

    m_search = toolButton(QStringLiteral("sbKipSrch"), QStringLiteral("ПОИСК"),
                          QStringLiteral("Поиск КИП на линии."), true, this);
    connect(m_search, &QToolButton::clicked, this, &TopPanel::scanClicked);
    m_row->addWidget(m_search);
    auto* interval = toolButton(QStringLiteral("tbInterval"), QStringLiteral("Интервал"),
                                QStringLiteral("Интервал циклического опроса."), false, this);
    connect(interval, &QToolButton::clicked, this, &TopPanel::intervalClicked);
    m_row->addWidget(interval);
    auto* configuration = toolButton(QStringLiteral("tbCfg"), QStringLiteral("Конфигурация"),
                                     QStringLiteral("Конфигурация системы."), false, this);
    connect(configuration, &QToolButton::clicked, this, &TopPanel::configurationClicked);
    m_row->addWidget(configuration);
    m_toolAt = m_row->indexOf(configuration) + 1;
    m_row->addSpacing(12);

    m_kipLabel = new QLabel(this);
    m_kipLabel->setObjectName(QStringLiteral("KipLabel"));
    QFont f = m_kipLabel->font();
    f.setBold(true);
    m_kipLabel->setFont(f);
    m_row->addWidget(m_kipLabel);
    m_row->addStretch(1);
}

void TopPanel::showControllerType(const QString& label) {
    m_kipLabel->setText(label);
}

void TopPanel::addToolButton(QToolButton* button) {
    button->setParent(this);
    m_row->insertWidget(m_toolAt++, button);
}

void TopPanel::addToLineMenu(QMenu* line) const {
    const std::map<QString, QKeySequence> keys{
        {QStringLiteral("sbTrans"), QKeySequence(Qt::Key_F6)},
        {QStringLiteral("btNorm"), QKeySequence(Qt::SHIFT | Qt::Key_F6)},
        {QStringLiteral("sbKipSrch"), QKeySequence(Qt::Key_F5)},
        {QStringLiteral("tbInterval"), QKeySequence(Qt::Key_F7)},
        {QStringLiteral("tbCfg"), QKeySequence(Qt::Key_F8)},
    };
    for (int i = 0; i < m_row->count(); ++i) {
        auto* b = qobject_cast<QToolButton*>(m_row->itemAt(i)->widget());
        if (!b)
            continue;
        if (b->menu()) {
            line->addMenu(b->menu())->setText(b->text());
            continue;
        }
        QAction* a = line->addAction(b->toolTip(), b, &QToolButton::click);
        a->setObjectName(QStringLiteral("mi_") + b->objectName());
        a->setShortcut(keys.count(b->objectName()) ? keys.at(b->objectName()) : QKeySequence());
    }
}
