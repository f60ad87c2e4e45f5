#include "ui/PollLogPanel.h"

#include "polllog/Health.h"
#include "ui/WindowSettings.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace {

constexpr int kHealthRows = 5;
enum ItemRole { RowRole = Qt::UserRole, ColumnRole, SensorRole };

const QString kNotOpened = QStringLiteral("ЖУРНАЛ НЕ ОТКРЫТ: ");
const QString kSwitchTip = QStringLiteral("Каждый опрос ОБЩЕЕ, РАСШИРЕННОЕ и КОНФИГУРАЦИЯ "
                                          "записывается в журнал опроса:\n");

} // namespace

QString PollLogPanel::defaultPath(bool simulated, const QString& configFolder) {
    if (simulated) {
        // The demonstration's log is no site's: in the user's data folder,
        // by a name of its own.
        QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        if (data.isEmpty())
            data = app::writableFolder(QString());
        return QDir(data).filePath(QStringLiteral("orvant2-опрос-симуляция.sqlite"));
    }
    return QDir(app::writableFolder(configFolder)).filePath(QStringLiteral("orvant2-опрос.sqlite"));
}

PollLogPanel::PollLogPanel(const sensor::StatusDecoder& decoder,
                           std::function<void(const QString&)> mess, const QString& configFolder,
                           bool simulated, QWidget* parent)
    : QWidget(parent), m_decoder(decoder), m_mess(std::move(mess)), m_configFolder(configFolder),
      m_defaultPath(defaultPath(simulated, configFolder)), m_simulated(simulated) {
    setObjectName(QStringLiteral("pnPollLog"));
    const PollLogSettings saved = readPollLogSettings(windowSettingsStore(), m_simulated);
    m_path = saved.path.isEmpty() ? m_defaultPath : saved.path;
    m_chooseFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Журнал опроса"), m_path,
                                            QStringLiteral("Журнал опроса (*.sqlite)"), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };

    m_controls = new QWidget(parent);
    auto* row = new QHBoxLayout(m_controls);
    row->setContentsMargins(0, 0, 0, 0);
    QCheckBox* record = addSwitch(m_controls, QStringLiteral("cbLogPolls"));
    auto* file = new QPushButton(QStringLiteral("Журнал…"), m_controls);
    file->setObjectName(QStringLiteral("btLogFile"));
    file->setToolTip(QStringLiteral("Выбрать файл журнала опроса (один на объект)."));
    auto* trends = new QPushButton(QStringLiteral("Графики…"), m_controls);
    trends->setObjectName(QStringLiteral("btTrends"));
    trends->setToolTip(QStringLiteral("Графики величин из журнала опроса."));
    row->addWidget(record);
    row->addWidget(file);
    row->addWidget(trends);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* titles = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Не в норме:"), this);
    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("stLogFile"));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    titles->addWidget(title);
    titles->addStretch(1);
    titles->addWidget(m_file);
    column->addLayout(titles);
    m_health = new QListWidget(this);
    m_health->setObjectName(QStringLiteral("lvHealth"));
    m_health->setMaximumHeight(kHealthRows * m_health->fontMetrics().height() + 8);
    // Five lines where there is room; it gives way to the grid and the
    // buttons on a small page.
    m_health->setMinimumHeight(1);
    // A long line (a sensor with several faults, since when) wraps within
    // the page rather than running past the window's edge; the whole text
    // is its tool tip as well.
    m_health->setWordWrap(true);
    m_health->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_health->setResizeMode(QListView::Adjust);
    m_health->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_health->setToolTip(QStringLiteral("Щелчок открывает режим, который разбирает "
                                        "неисправность, как УТОЧНИТЬ."));
    column->addWidget(m_health);

    connect(file, &QPushButton::clicked, this, &PollLogPanel::chooseFile);
    connect(trends, &QPushButton::clicked, this, &PollLogPanel::trendsRequested);
    connect(m_health, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int column = item->data(ColumnRole).toInt();
        if (column >= 0)
            emit jumpRequested(item->data(SensorRole).toInt(), item->data(RowRole).toInt(), column);
    });
    hide();
    // The window's status line is not there yet: what is wrong with the
    // saved file is kept for the window to say once it has started.
    if (saved.record) {
        m_startProblem = m_saidProblem = openLog();
        showFile();
        show();
    } else if (!saved.path.isEmpty()) {
        // Not recording, but the engineer should hear now, not at the
        // first poll, that the file chosen last time is gone or no file.
        polllog::PollLog probe;
        const QString why = probe.open(m_path, polllog::PollLog::Access::Read);
        const bool madeLater =
            probe.fault() == app::FileFault::Missing && QFileInfo(m_path).absoluteDir().exists();
        if (!why.isEmpty() && !madeLater)
            m_startProblem = m_saidProblem = kNotOpened + why;
        setRecording(false);
    } else {
        setRecording(false);
    }
}

QCheckBox* PollLogPanel::addSwitch(QWidget* parent, const QString& name) {
    auto* box = new QCheckBox(QStringLiteral("Записывать опрос"), parent);
    box->setObjectName(name);
    box->setChecked(!m_switches.empty() && m_switches.front()->isChecked());
    connect(box, &QCheckBox::clicked, this, &PollLogPanel::setRecording);
    m_switches.push_back(box);
    if (m_file)
        showFile();
    return box;
}

bool PollLogPanel::recording() const {
    return m_switches.front()->isChecked() && m_log.isOpen();
}

void PollLogPanel::setRecording(bool on) {
    for (QCheckBox* box : m_switches)
        box->setChecked(on);
    if (!on)
        m_log.close();
    if (on && !m_log.isOpen())
        if (const QString why = openLog(); !why.isEmpty())
            say(why);
    showFile();
    remember();
    // Shown once there is a file in use or a poll to sum up, as the grid.
    if (on)
        show();
}

QString PollLogPanel::openLog() {
    for (QCheckBox* box : m_switches)
        box->setChecked(true);
    // The proposed folder (the user's data folder) may not be there yet.
    if (m_path == m_defaultPath)
        QDir().mkpath(QFileInfo(m_path).absolutePath());
    const QString why = m_log.open(m_path, polllog::PollLog::Access::Record, m_site);
    if (why.isEmpty()) {
        logOpened();
        return {};
    }
    for (QCheckBox* box : m_switches)
        box->setChecked(false);
    return kNotOpened + why;
}

void PollLogPanel::chooseFile() {
    QString path = m_chooseFile();
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".sqlite");
    polllog::PollLog chosen;
    const QString why = chosen.open(path, polllog::PollLog::Access::Record, m_site);
    if (!why.isEmpty()) {
        say(kNotOpened + why);
        return;
    }
    logOpened();
    m_path = path;
    // The new file is taken at once when polls are being recorded.
    if (m_log.isOpen())
        m_log.open(m_path, polllog::PollLog::Access::Record, m_site);
    showFile();
    remember();
}

void PollLogPanel::useSite(const QString& site, const QString& path) {
    // The demonstration's log is no site's.
    const QString demo = m_simulated ? m_path : QString();
    if (m_simulated) {
        m_simulated = false;
        m_defaultPath = defaultPath(false, m_configFolder);
        const QString saved = readPollLogSettings(windowSettingsStore(), false).path;
        m_path = saved.isEmpty() ? m_defaultPath : saved;
    }
    if (!path.isEmpty() && path != demo)
        m_path = path;
    m_site = site;
    m_health->clear();
    if (m_log.isOpen()) {
        m_log.close();
        if (const QString why = openLog(); !why.isEmpty())
            say(why);
    }
    showFile();
    remember();
}

void PollLogPanel::say(const QString& problem) {
    m_saidProblem = problem;
    m_mess(problem);
}

void PollLogPanel::logOpened() {
    // What was said of a log that did not open is past now.
    if (m_saidProblem.isEmpty())
        return;
    m_saidProblem.clear();
    m_mess(QString());
}

void PollLogPanel::showFile() {
    const QString native = QDir::toNativeSeparators(m_path);
    m_file->setText(QStringLiteral("Журнал: ") +
                    m_file->fontMetrics().elidedText(native, Qt::ElideMiddle, 360));
    m_file->setToolTip(native);
    const bool on = m_switches.front()->isChecked();
    m_file->setEnabled(on);
    for (QCheckBox* box : m_switches)
        box->setToolTip(kSwitchTip + native);
}

void PollLogPanel::remember() {
    QSettings store = windowSettingsStore();
    writePollLogSettings(store, {m_switches.front()->isChecked(), m_path}, m_simulated);
}

bool PollLogPanel::record(const std::function<QString(qint64)>& write) {
    if (!recording())
        return false;
    const QString why = write(QDateTime::currentDateTimeUtc().toMSecsSinceEpoch());
    if (!why.isEmpty()) {
        // Not again at every poll: the engineer frees the disk and
        // switches it on again.
        setRecording(false);
        m_mess(QStringLiteral("НЕ ЗАПИСАНО: ") + why);
        return false;
    }
    // The poll went into the write-ahead log; a thread of the log's own
    // copies it into the file, so that the window never waits for the disk.
    // One that failed since is said once.
    if (const QString problem = m_log.checkpointProblem(); !problem.isEmpty())
        m_mess(problem);
    m_log.checkpointInBackground();
    return true;
}

void PollLogPanel::extendedPollDone(const sensor::StatusGrid& thermometers,
                                    const sensor::StatusGrid& densities) {
    record([&](qint64 now) { return m_log.recordExtended(thermometers, densities, now); });
}

void PollLogPanel::overviewPollDone(const sensor::StatusGrid& grid) {
    record([&](qint64 now) { return m_log.recordOverview(grid, now); });
}

void PollLogPanel::pollDone(const sensor::StatusGrid& grid, polllog::PollKind kind) {
    if (record([&](qint64 now) { return m_log.record(grid, kind, now); }))
        emit recorded();
    show();
    m_health->clear();
    const auto items = polllog::healthOf(grid, m_decoder, recording() ? &m_log : nullptr);
    for (const polllog::HealthItem& h : items) {
        QString text = QStringLiteral("%1: %2").arg(h.sensor).arg(h.text);
        if (h.sinceMs)
            text += QStringLiteral(" — ") + polllog::sinceText(h.sinceMs);
        auto* item = new QListWidgetItem(text, m_health);
        item->setData(RowRole, h.row);
        item->setData(ColumnRole, h.column);
        item->setData(SensorRole, h.sensor);
        item->setToolTip(text);
    }
}
