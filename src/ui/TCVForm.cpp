#include "ui/TCVForm.h"

#include "app/LayoutEdits.h"
#include "ui/InputFilters.h"
#include "ui/LayoutActions.h"
#include "ui/PageHost.h"
#include "ui/TPForm.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRowHeightGuess = 22;

QTreeWidget* layoutList(const QString& name, const QStringList& columns, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(columns);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    return list;
}

QLineEdit* rangeField(const QString& name, QWidget* parent) {
    auto* e = new QLineEdit(QStringLiteral("1"), parent);
    e->setObjectName(name);
    e->setFixedWidth(60);
    e->setMaxLength(3);
    ReKeyPress(e);
    return e;
}

} // namespace

TCVForm::TCVForm(PageHost& host, LayoutActions& layout)
    : QDialog(host.dialogParent()), m_form(host), m_layout(layout) {
    setObjectName(QStringLiteral("TCVForm"));
    setWindowTitle(QStringLiteral("Конфигурация системы"));
    setModal(true);
    auto* column = new QVBoxLayout(this);

    auto* types = new QGroupBox(QStringLiteral("Система на основе "), this);
    types->setObjectName(QStringLiteral("rgKipType"));
    auto* typeRow = new QHBoxLayout(types);
    auto* group = new QButtonGroup(this);
    // One choice per row of the type table.
    for (int t = 0; t < app::kControllerTypes; ++t) {
        const app::ControllerTypeInfo& info = app::controllerType(t);
        auto* b = new QRadioButton(app::controllerTypeChoice(t), types);
        b->setObjectName(QLatin1String(info.choice));
        b->setProperty("Tag", t);
        if (!info.offered)
            b->hide();
        group->addButton(b, t);
        typeRow->addWidget(b);
        m_types[t] = b;
        connect(b, &QRadioButton::clicked, this, [this, t] { cbKipBClick(t); });
    }
    m_types[0]->setChecked(true);
    column->addWidget(types);

    m_range = new QWidget(this);
    m_range->setObjectName(QStringLiteral("pRange"));
    auto* rangeRow = new QHBoxLayout(m_range);
    rangeRow->setContentsMargins(0, 0, 0, 0);
    m_first = rangeField(QStringLiteral("reFAdr"), m_range);
    m_last = rangeField(QStringLiteral("reLAdr"), m_range);
    rangeRow->addWidget(new QLabel(QStringLiteral("Адрес первого датчика "), m_range));
    rangeRow->addWidget(m_first);
    rangeRow->addSpacing(16);
    rangeRow->addWidget(new QLabel(QStringLiteral("Адрес последнего датчика "), m_range));
    rangeRow->addWidget(m_last);
    rangeRow->addStretch(1);
    column->addWidget(m_range);

    m_grid = new QWidget(this);
    m_grid->setObjectName(QStringLiteral("pGrid"));
    auto* gridColumn = new QVBoxLayout(m_grid);
    gridColumn->setContentsMargins(0, 0, 0, 0);
    m_lists = new QStackedWidget(m_grid);
    m_list = layoutList(QStringLiteral("lvCfg"),
                        {QStringLiteral("№"), QStringLiteral("Адрес КИПа"),
                         QStringLiteral("Датчики: Количество"), QStringLiteral("Первый адрес"),
                         QStringLiteral("Конечный адрес")},
                        m_lists);
    m_listS7 = layoutList(QStringLiteral("lvCfgS7"),
                          {QStringLiteral("№"), QStringLiteral("Адрес КИПа"),
                           QStringLiteral("Адреса датчиков: Первый канал"),
                           QStringLiteral("Второй канал")},
                          m_lists);
    m_lists->addWidget(m_list);
    m_lists->addWidget(m_listS7);
    gridColumn->addWidget(m_lists);
    column->addWidget(m_grid, 1);

    m_noKip = new QLabel(QStringLiteral("Доступ только к одному датчику."), this);
    m_noKip->setObjectName(QStringLiteral("pNoKip"));
    m_noKip->setAlignment(Qt::AlignCenter);
    m_noKip->setFrameShape(QFrame::StyledPanel);
    m_noKip->setMinimumHeight(60);
    column->addWidget(m_noKip);

    auto* buttons = new QHBoxLayout;
    m_get = new QToolButton(this);
    m_get->setObjectName(QStringLiteral("sbGet"));
    m_get->setText(QStringLiteral("ОПРЕДЕЛИТЬ"));
    m_get->setToolTip(QStringLiteral("Найти КИП на линии."));
    m_get->setCheckable(true);
    m_get->setMinimumWidth(100);
    connect(m_get, &QToolButton::clicked, this, &TCVForm::sbGetClick);
    m_default = new QPushButton(app::defaultLayoutCaption(0), this);
    m_default->setObjectName(QStringLiteral("btDefCfg"));
    m_default->setProperty("Tag", int(DefaultTag));
    m_default->setToolTip(QStringLiteral("Конфигурация по умолчанию."));
    auto* save = new QPushButton(QStringLiteral("СОХРАНИТЬ"), this);
    save->setObjectName(QStringLiteral("btSave"));
    save->setProperty("Tag", int(SaveTag));
    auto* load = new QPushButton(QStringLiteral("ЗАГРУЗИТЬ"), this);
    load->setObjectName(QStringLiteral("btLoad"));
    load->setProperty("Tag", int(LoadTag));
    auto* close = new QPushButton(QStringLiteral("ЗАКРЫТЬ"), this);
    close->setObjectName(QStringLiteral("btNorm"));
    close->setDefault(true);
    for (QPushButton* b : {m_default, save, load})
        connect(b, &QPushButton::clicked, this,
                [this, b] { btDefCfgClick(b->property("Tag").toInt()); });
    connect(close, &QPushButton::clicked, this, &TCVForm::reject);
    buttons->addWidget(m_get);
    buttons->addWidget(m_default);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(load);
    buttons->addWidget(close);
    column->addLayout(buttons);

    resize(560, 360);
    // Only the height follows the user; the width stays as made.
    setFixedWidth(width());
}

void TCVForm::showEvent(QShowEvent* event) {
    ShowForm();
    QDialog::showEvent(event);
}

void TCVForm::ShowForm() {
    const app::ControllerLayout& l = m_form.state().layout;
    const int type = l.controllerType;
    if (type >= 0 && type < static_cast<int>(m_types.size()))
        m_types[type]->setChecked(true);
    const QString caption = app::defaultLayoutCaption(type);
    if (!caption.isEmpty())
        m_default->setText(caption);
    const app::ControllerEntry& c0 = l.ControllerTable[0];
    m_first->setText(QString::number(c0.firstSensorAddress + 1));
    m_last->setText(QString::number(c0.firstSensorAddress + c0.sensorCount));
    showPanels();
}

void TCVForm::showPanels() {
    const app::ControllerTypeInfo& type = m_form.state().layout.type();
    const bool listed = type.controller && !type.directSensors;
    m_grid->setVisible(listed);
    m_noKip->setVisible(!type.controller);
    m_range->setVisible(type.directSensors);
    if (listed)
        fillList();
}

void TCVForm::fillList() {
    const app::ControllerLayout& l = m_form.state().layout;
    QTreeWidget* list = l.type().channelPairs ? m_listS7 : m_list;
    m_lists->setCurrentWidget(list);
    list->clear();
    for (const QStringList& row : app::layoutRows(l))
        list->addTopLevelItem(new QTreeWidgetItem(row));
}

void TCVForm::cbKipBClick(int type) {
    const QString caption = app::defaultLayoutCaption(type);
    if (!caption.isEmpty())
        m_default->setText(caption);
    m_layout.setType(type);
    showPanels();
}

void TCVForm::btDefCfgClick(int tag) {
    app::ControllerLayout& l = m_form.state().layout;
    bool accepted = false;
    if (tag == SaveTag && l.isDirectSensorType()) {
        if (!app::setDirectRange(l, m_first->text(), m_last->text()))
            return;
        accepted = true;
    }
    m_layout.run(tag, l.controllerType);
    if (tag == LoadTag || tag == DefaultTag)
        ShowForm();
    else
        showPanels();
    if (accepted)
        accept();
}

void TCVForm::sbGetClick(bool down) {
    if (!down)
        return;
    m_layout.scan(m_get);
    m_get->setChecked(false);
    showPanels();
    fitHeight();
}

void TCVForm::fitHeight() {
    const int rows = m_list->topLevelItemCount() + m_listS7->topLevelItemCount();
    const int wanted = sizeHint().height() + rows * kRowHeightGuess;
    const QRect screen = this->screen()->availableGeometry();
    const int h = std::min(std::max(wanted, height()), screen.height());
    resize(width(), h);
    move(x(), screen.top() + (screen.height() - h) / 2);
}

void TCVForm::reject() {
    CloseForm();
    QDialog::reject();
}

void TCVForm::CloseForm() {
    // A scan still running is stopped; the dialog closes once it has ended.
    if (m_form.progressDialog()->isVisible()) {
        m_form.state().breakRequested = true;
        m_get->setChecked(false);
    }
    app::WorkingState& s = m_form.state();
    if (s.layout.isDirectSensorType())
        app::setDirectRange(s.layout, m_first->text(), m_last->text());
    else if (s.layout.isNoControllerType())
        app::setSingleSensor(s.layout, s.sensorAddress);
    m_layout.run(LayoutActions::AfterViewClosed);
}
