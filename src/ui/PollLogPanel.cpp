#include "ui/PollLogPanel.h"

#include "polllog/Health.h"
#include "ui/WindowSettings.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kHealthRows = 5;
enum ItemRole { RowRole = Qt::UserRole, ColumnRole, SensorRole };

} // namespace

PollLogPanel::PollLogPanel(const sensor::StatusDecoder& decoder,
                           std::function<void(const QString&)> mess, QString defaultFolder,
                           QWidget* parent)
    : QWidget(parent), m_decoder(decoder), m_mess(std::move(mess)) {
    setObjectName(QStringLiteral("pnPollLog"));
    const PollLogSettings saved = readPollLogSettings(windowSettingsStore());
    m_path = saved.path.isEmpty()
                 ? QDir(defaultFolder).filePath(QStringLiteral("orvant2-опрос.sqlite"))
                 : saved.path;
    m_chooseFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Журнал опроса"), m_path,
                                            QStringLiteral("Журнал опроса (*.sqlite)"), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };

    m_controls = new QWidget(parent);
    auto* row = new QHBoxLayout(m_controls);
    row->setContentsMargins(0, 0, 0, 0);
    m_record = new QCheckBox(QStringLiteral("Записывать опрос"), m_controls);
    m_record->setObjectName(QStringLiteral("cbLogPolls"));
    m_record->setToolTip(QStringLiteral("Каждый опрос ОБЩЕЕ записывается в журнал опроса."));
    auto* file = new QPushButton(QStringLiteral("Журнал…"), m_controls);
    file->setObjectName(QStringLiteral("btLogFile"));
    file->setToolTip(QStringLiteral("Выбрать файл журнала опроса (один на объект)."));
    auto* trends = new QPushButton(QStringLiteral("Графики…"), m_controls);
    trends->setObjectName(QStringLiteral("btTrends"));
    trends->setToolTip(QStringLiteral("Графики величин из журнала опроса."));
    row->addWidget(m_record);
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
    m_health->setToolTip(QStringLiteral("Щелчок открывает режим, который разбирает "
                                        "неисправность, как УТОЧНИТЬ."));
    column->addWidget(m_health);

    connect(m_record, &QCheckBox::clicked, this, &PollLogPanel::setRecording);
    connect(file, &QPushButton::clicked, this, &PollLogPanel::chooseFile);
    connect(trends, &QPushButton::clicked, this, &PollLogPanel::trendsRequested);
    connect(m_health, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int column = item->data(ColumnRole).toInt();
        if (column >= 0)
            emit jumpRequested(item->data(SensorRole).toInt(), item->data(RowRole).toInt(), column);
    });
    hide();
    setRecording(saved.record);
}

void PollLogPanel::setRecording(bool on) {
    m_record->setChecked(on);
    if (!on)
        m_log.close();
    if (on && !m_log.isOpen()) {
        const QString why = m_log.open(m_path);
        if (!why.isEmpty()) {
            m_record->setChecked(false);
            m_mess(QStringLiteral("ЖУРНАЛ НЕ ОТКРЫТ: ") + why);
        }
    }
    showFile();
    remember();
    // Shown once there is a file in use or a poll to sum up, as the grid.
    if (on)
        show();
}

void PollLogPanel::chooseFile() {
    QString path = m_chooseFile();
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".sqlite");
    polllog::PollLog chosen;
    const QString why = chosen.open(path);
    if (!why.isEmpty()) {
        m_mess(QStringLiteral("ЖУРНАЛ НЕ ОТКРЫТ: ") + why);
        return;
    }
    m_path = path;
    // The new file is taken at once when polls are being recorded.
    if (m_log.isOpen())
        m_log.open(m_path);
    showFile();
    remember();
}

void PollLogPanel::showFile() {
    const QString native = QDir::toNativeSeparators(m_path);
    m_file->setText(QStringLiteral("Журнал: ") +
                    m_file->fontMetrics().elidedText(native, Qt::ElideMiddle, 360));
    m_file->setToolTip(native);
    m_file->setEnabled(m_record->isChecked());
}

void PollLogPanel::remember() {
    QSettings store = windowSettingsStore();
    writePollLogSettings(store, {m_record->isChecked(), m_path});
}

void PollLogPanel::pollDone(const sensor::StatusGrid& grid, polllog::PollKind kind) {
    const bool recording = m_record->isChecked() && m_log.isOpen();
    if (recording) {
        const QString why =
            m_log.record(grid, kind, QDateTime::currentDateTimeUtc().toMSecsSinceEpoch());
        if (why.isEmpty()) {
            emit recorded();
        } else {
            // Not again at every poll: the engineer frees the disk and
            // switches it on again.
            setRecording(false);
            m_mess(QStringLiteral("НЕ ЗАПИСАНО: ") + why);
        }
    }
    show();
    m_health->clear();
    const auto items = polllog::healthOf(grid, m_decoder, m_record->isChecked() ? &m_log : nullptr);
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
