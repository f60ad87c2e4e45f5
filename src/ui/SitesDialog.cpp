#include "ui/SitesDialog.h"

#include "polllog/Health.h"
#include "polllog/PollLog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { ColName, ColLine, ColLast, ColNotNormal, ColAnswered, Columns };

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

SitesDialog::SitesDialog(QString sitesPath, QWidget* parent)
    : QDialog(parent), m_sitesPath(std::move(sitesPath)) {
    setObjectName(QStringLiteral("TSitesForm"));
    setWindowTitle(QStringLiteral("Объекты"));
    auto* layout = new QVBoxLayout(this);
    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("stSitesFile"));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_file);
    auto* logRow = new QHBoxLayout;
    auto* logLabel = new QLabel(QStringLiteral("&Журнал:"), this);
    m_log = new QLineEdit(this);
    m_log->setObjectName(QStringLiteral("reSitesLog"));
    m_log->setPlaceholderText(QStringLiteral("файл журнала или postgresql://USER@HOST:PORT/DB"));
    logLabel->setBuddy(m_log);
    auto* read = new QPushButton(QStringLiteral("&Обновить"), this);
    read->setObjectName(QStringLiteral("btSitesRefresh"));
    read->setAutoDefault(false);
    logRow->addWidget(logLabel);
    logRow->addWidget(m_log, 1);
    logRow->addWidget(read);
    layout->addLayout(logRow);
    m_table = new QTableWidget(0, Columns, this);
    m_table->setObjectName(QStringLiteral("sgSites"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Объект"), QStringLiteral("Линия"), QStringLiteral("Последний опрос"),
         QStringLiteral("Не в норме"), QStringLiteral("Линия ответила")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setTabKeyNavigation(false);
    layout->addWidget(m_table, 1);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("stSitesProblem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(m_problem);
    auto* buttons = new QDialogButtonBox(this);
    m_go = buttons->addButton(QStringLiteral("&Перейти"), QDialogButtonBox::AcceptRole);
    m_go->setObjectName(QStringLiteral("btGoSite"));
    m_go->setDefault(true);
    buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SitesDialog::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &SitesDialog::choose);
    connect(read, &QPushButton::clicked, this, [this] { refresh(m_log->text().trimmed()); });
    // Enter in the log field reads that log; it never goes to a site.
    m_log->installEventFilter(this);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_go->setEnabled(!m_table->selectedItems().isEmpty()); });
    // Within a 1024x768 screen, with room for the window's frame.
    resize(760, 420);
}

bool SitesDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_log && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            refresh(m_log->text().trimmed());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString SitesDialog::logPath() const {
    return m_log->text().trimmed();
}

void SitesDialog::refresh(const QString& logPath) {
    m_log->setText(logPath);
    m_file->setText(QStringLiteral("Файл объектов: ") + QDir::toNativeSeparators(m_sitesPath));
    QStringList problems;
    QString error;
    const auto file = sites::loadSites(m_sitesPath, &error);
    m_sites = file ? file->sites : std::vector<sites::Site>{};
    if (!file)
        problems << error;
    // What the log says of each site; the lines themselves are not touched.
    std::map<QString, polllog::SiteState> states;
    if (!logPath.isEmpty()) {
        polllog::PollLog log;
        if (const QString why = log.open(logPath, polllog::PollLog::Access::Read); !why.isEmpty())
            problems << why;
        for (const polllog::SiteState& s : log.siteStates())
            states[s.site] = s;
    }
    m_table->setRowCount(static_cast<int>(m_sites.size()));
    for (int r = 0; r < static_cast<int>(m_sites.size()); ++r) {
        const sites::Site& site = m_sites[static_cast<std::size_t>(r)];
        m_table->setItem(r, ColName, cell(site.name));
        m_table->setItem(r, ColLine, cell(site.line));
        const auto it = states.find(site.name);
        const polllog::SiteState* s = it == states.end() ? nullptr : &it->second;
        const bool polled = s && s->lastPollMs;
        m_table->setItem(r, ColLast,
                         cell(polled ? QDateTime::fromMSecsSinceEpoch(*s->lastPollMs)
                                           .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                                     : QStringLiteral("—")));
        QTableWidgetItem* bad = cell(polled ? QString::number(s->notNormal) : QString());
        if (polled && s->notNormal > 0)
            bad->setForeground(QColor(0xb0, 0, 0));
        m_table->setItem(r, ColNotNormal, bad);
        QString answered;
        if (polled)
            answered = s->answered
                           ? QStringLiteral("да")
                           : QStringLiteral("нет связи ") + polllog::sinceText(s->silentSinceMs);
        QTableWidgetItem* line = cell(answered);
        if (polled && !s->answered)
            line->setForeground(QColor(0xb0, 0, 0));
        m_table->setItem(r, ColAnswered, line);
    }
    m_table->resizeColumnsToContents();
    m_problem->setText(problems.join(QLatin1Char('\n')));
    m_problem->setVisible(!problems.isEmpty());
    if (!m_sites.empty() && m_table->selectedItems().isEmpty())
        m_table->selectRow(0);
    m_go->setEnabled(!m_table->selectedItems().isEmpty());
    m_table->setFocus();
}

void SitesDialog::choose() {
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_sites.size()))
        return;
    emit siteChosen(m_sites[static_cast<std::size_t>(row)]);
    accept();
}
