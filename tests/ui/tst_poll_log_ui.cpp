#include "tst_poll_log_ui.h"

#include "UiWindow.h"
#include "app/Modes.h"
#include "common/FullDisk.h"
#include "polllog/PollLog.h"
#include "ui/PollLogPanel.h"
#include "ui/StatusPages.h"
#include "ui/TrendsDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QThread>
#include <QToolButton>
#include <QtTest>

#include <cmath>

namespace {

const char* const kLine = "controller 0 0 8\n";
const QString kLayout = QStringLiteral("KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,8\n");

void poll(Window& w) {
    // Shown, so that the page is laid out as the engineer sees it.
    if (!w.form->isVisible()) {
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    }
    if (w.form->state().layout.controllersFound == 0)
        w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("sbGetStat"), Qt::LeftButton);
}

// Points to this file and switches recording on, as the engineer does.
void recordTo(Window& w, const QString& path) {
    w.find<PollLogPanel>("pnPollLog")->setChooseFile([path] { return path; });
    QTest::mouseClick(w.find<QPushButton>("btLogFile"), Qt::LeftButton);
    QTest::mouseClick(w.find<QCheckBox>("cbLogPolls"), Qt::LeftButton);
}

// The grid's cells as shown.
std::vector<QStringList> cellsOf(const QTableWidget* grid) {
    std::vector<QStringList> rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows.push_back(cells);
    }
    return rows;
}

// The log holds what the cell shows: its number and code, or nothing for
// an empty cell.
bool sameValue(const QString& cell, const std::optional<polllog::Value>& v) {
    if (cell.isEmpty() || !v)
        return cell.isEmpty() && !v;
    const QStringList parts = cell.split(QLatin1Char(' '));
    return parts[0].toDouble() == v->value &&
           parts[1] == QStringLiteral("(%1)").arg(v->code, 2, 16, QLatin1Char('0')).toUpper();
}

// The trends' reading on its thread has come back and is drawn.
bool waitForTrends(TrendsDialog* trends) {
    return QTest::qWaitFor([trends] { return !trends->loading(); }, 10000);
}

QListWidgetItem* healthLine(Window& w, int sensor) {
    auto* list = w.find<QListWidget>("lvHealth");
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().startsWith(QString::number(sensor) + QLatin1Char(':')))
            return list->item(i);
    return nullptr;
}

} // namespace

void TestPollLogUi::pollsRecordedAsShownAndSwitchRemembered() {
    QTemporaryDir settings;
    QTemporaryDir files;
    const QString path = files.filePath(QStringLiteral("site.sqlite"));
    std::vector<std::vector<QStringList>> shown;
    {
        Window w(kLine, kLayout, {}, settings.path());
        recordTo(w, path);
        QVERIFY(w.find<QCheckBox>("cbLogPolls")->isChecked());
        QVERIFY(w.find<QLabel>("stLogFile")->toolTip().endsWith(QStringLiteral("site.sqlite")));
        for (int n = 0; n < 3; ++n) {
            poll(w);
            const auto* grid = w.find<QTableWidget>("sgSns");
            std::vector<QStringList> rows;
            for (int r = 0; r < grid->rowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < grid->columnCount(); ++c)
                    cells << grid->item(r, c)->text();
                rows.push_back(cells);
            }
            shown.push_back(rows);
        }
    }
    polllog::PollLog log;
    QCOMPARE(log.open(path), QString());
    QCOMPARE(log.pollCount(), 3);
    std::vector<polllog::LoggedRow> logged;
    log.forEachRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                   [&](const polllog::LoggedRow& r) { logged.push_back(r); });
    QCOMPARE(logged.size(), std::size_t(3 * 8));
    std::size_t i = 0;
    for (const auto& rows : shown)
        for (const QStringList& cells : rows) {
            const polllog::SensorRow& row = logged[i++].row;
            QCOMPARE(QString::number(row.sensor), cells[0]);
            for (int q = 0; q < polllog::kQuantities; ++q) {
                const QStringList parts = cells[2 + q].split(QLatin1Char(' '));
                QCOMPARE(row.values[std::size_t(q)]->value, parts[0].toDouble());
                QCOMPARE(QStringLiteral("(%1)").arg(row.values[std::size_t(q)]->code, 2, 16,
                                                    QLatin1Char('0')),
                         parts[1].toLower());
            }
        }

    // The next window starts recording into the same file.
    Window again(kLine, kLayout, {}, settings.path());
    QVERIFY(again.find<QCheckBox>("cbLogPolls")->isChecked());
    poll(again);
    QCOMPARE(again.find<PollLogPanel>("pnPollLog")->log().pollCount(), 4);
    // Switched off, polls are shown and not recorded.
    QTest::mouseClick(again.find<QCheckBox>("cbLogPolls"), Qt::LeftButton);
    poll(again);
    QCOMPARE(log.pollCount(), 4);
}

void TestPollLogUi::healthLineJumpsAsDetailWould_data() {
    QTest::addColumn<int>("sensor");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::newRow("bare segments: the diagram")
        << 6 << "СМОТРИТЕ УРОВЕНЬ; Топливо: ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ" << int(app::TagSDgr);
    QTest::newRow("thermometer: the properties")
        << 4 << "СМОТРИТЕ ТЕМПЕРАТУРУ" << int(app::TagProp);
    QTest::newRow("density meter: the density page")
        << 8
        << "СМОТРИТЕ ПЛОТНОСТЬ; Плотн.: НЕТ ПРИСУТСТВИЯ; Объём: НЕТ ТАБЛИЦЫ; Масса: НЕТ ТАБЛИЦЫ"
        << int(app::TagDens);
}

void TestPollLogUi::healthLineJumpsAsDetailWould() {
    QFETCH(int, sensor);
    QFETCH(QString, text);
    QFETCH(int, mode);
    Window w(kLine, kLayout);
    recordTo(w, w.dir.filePath(QStringLiteral("site.sqlite")));
    poll(w);
    QCOMPARE(w.find<QListWidget>("lvHealth")->count(), 3);
    QListWidgetItem* line = healthLine(w, sensor);
    QVERIFY(line);
    QVERIFY2(line->text().startsWith(QStringLiteral("%1: %2 — с ").arg(sensor).arg(text)),
             qPrintable(line->text()));
    auto* list = w.find<QListWidget>("lvHealth");
    emit list->itemClicked(line);
    QCOMPARE(w.form->state().currentMode, mode);
    QCOMPARE(int(w.form->state().sensorAddress), sensor - 1);
}

void TestPollLogUi::trendsFollowPollsWithGaps() {
    Window w(kLine, kLayout);
    const QString path = w.dir.filePath(QStringLiteral("site.sqlite"));
    recordTo(w, path);
    poll(w);
    w.find<QAction>("miTrends")->trigger();
    auto* trends = w.form->findChild<TrendsDialog*>(QStringLiteral("dlgTrends"));
    QVERIFY(trends && trends->isVisible());
    // Read on a thread of its own: the window goes on meanwhile.
    QVERIFY(trends->loading());
    QVERIFY(waitForTrends(trends));
    QVERIFY(trends->readThread() != QThread::currentThreadId());
    trends->selectSensors({1, 6});
    QVERIFY(trends->loading());
    QVERIFY(waitForTrends(trends));
    auto pointsOf = [&](int sensor) {
        for (const auto& [s, points] : trends->drawn())
            if (s == sensor)
                return points;
        return std::vector<polllog::Point>();
    };
    QCOMPARE(pointsOf(1).size(), std::size_t(1));
    // The cyclic poll goes on: the chart follows it.
    poll(w);
    poll(w);
    QVERIFY(waitForTrends(trends));
    QCOMPARE(pointsOf(1).size(), std::size_t(3));
    for (const polllog::Point& p : pointsOf(1))
        QVERIFY(!std::isnan(p.value) && p.value > 0);
    // Sensor 6 reports its fuel level with a fault code: gaps, not zeros.
    QCOMPARE(pointsOf(6).size(), std::size_t(3));
    for (const polllog::Point& p : pointsOf(6))
        QVERIFY(std::isnan(p.value));

    const QString png = w.dir.filePath(QStringLiteral("trend.png"));
    QCOMPARE(trends->savePng(png), QStringLiteral("ЗАПИСАНО: trend.png"));
    QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 400);
}

// The chart saved to a disk with no room: the engineer is told, and nothing
// is left there.
void TestPollLogUi::trendPngOnAFullDisk() {
    Window w(kLine, kLayout);
    recordTo(w, w.dir.filePath(QStringLiteral("site.sqlite")));
    poll(w);
    w.find<QAction>("miTrends")->trigger();
    auto* trends = w.form->findChild<TrendsDialog*>(QStringLiteral("dlgTrends"));
    QVERIFY(waitForTrends(trends));
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString png = disk.filePath(QStringLiteral("trend.png"));
    trends->setChooseFile([png] { return png; });
    disk.fill();
    QTest::mouseClick(trends->findChild<QPushButton*>(QStringLiteral("btSavePng")),
                      Qt::LeftButton);
    disk.release();
    QCOMPARE(trends->findChild<QLabel*>(QStringLiteral("stTrends"))->text(),
             QStringLiteral("НЕ ЗАПИСАНО: ") + png + QStringLiteral(": ") +
                 app::fileFaultText(disk.expectedFault()));
    QCOMPARE(disk.files(), QStringList());
    // With room again it is written.
    QTest::mouseClick(trends->findChild<QPushButton*>(QStringLiteral("btSavePng")),
                      Qt::LeftButton);
    QCOMPARE(trends->findChild<QLabel*>(QStringLiteral("stTrends"))->text(),
             QStringLiteral("ЗАПИСАНО: trend.png"));
    QVERIFY(!QImage(png).isNull());
}

void TestPollLogUi::unusableLogRefused() {
    Window w(kLine, kLayout);
    const QString path = putFile(w.dir, "notes.sqlite", "KIP1=0,8\n");
    w.find<PollLogPanel>("pnPollLog")->setChooseFile([path] { return path; });
    QTest::mouseClick(w.find<QPushButton>("btLogFile"), Qt::LeftButton);
    QVERIFY(w.mess().startsWith(QStringLiteral("ЖУРНАЛ НЕ ОТКРЫТ: ")));
    QVERIFY(w.mess().endsWith(QStringLiteral("notes.sqlite: НЕ ЖУРНАЛ ОПРОСА")));
    // The file in use stays the one before.
    QVERIFY(!w.find<QLabel>("stLogFile")->toolTip().endsWith(QStringLiteral("notes.sqlite")));
    QVERIFY(!w.find<QCheckBox>("cbLogPolls")->isChecked());
    // The grid and the summary still work.
    poll(w);
    QCOMPARE(w.find<QListWidget>("lvHealth")->count(), 3);
    QCOMPARE(QFileInfo(path).size(), qint64(9));
    // Refused again, then a good log chosen: the complaint leaves the
    // status line.
    QTest::mouseClick(w.find<QPushButton>("btLogFile"), Qt::LeftButton);
    QVERIFY(w.mess().startsWith(QStringLiteral("ЖУРНАЛ НЕ ОТКРЫТ: ")));
    const QString good = w.dir.filePath(QStringLiteral("site.sqlite"));
    w.find<PollLogPanel>("pnPollLog")->setChooseFile([good] { return good; });
    QTest::mouseClick(w.find<QPushButton>("btLogFile"), Qt::LeftButton);
    QCOMPARE(w.mess(), QString());
    QVERIFY(w.find<QLabel>("stLogFile")->toolTip().endsWith(QStringLiteral("site.sqlite")));
}

// The extended status and the configuration overview are recorded too, by
// the same switch, shown on their pages as well.
void TestPollLogUi::extendedAndOverviewPollsRecorded() {
    Window w(kLine, kLayout);
    const QString path = w.dir.filePath(QStringLiteral("site.sqlite"));
    recordTo(w, path);
    QVERIFY(w.find<QCheckBox>("cbLogPollsExt")->isChecked());
    QVERIFY(w.find<QCheckBox>("cbLogPollsCfg")->isChecked());
    poll(w);
    w.form->ModeClicked(app::TagPStat);
    QTest::mouseClick(w.find<QToolButton>("sbGetLStat"), Qt::LeftButton);
    const auto thermometers = cellsOf(w.find<QTableWidget>("sgTStat"));
    const auto densities = cellsOf(w.find<QTableWidget>("sgDStat"));
    w.form->ModeClicked(app::TagCfg);
    QTest::mouseClick(w.find<QPushButton>("Button3"), Qt::LeftButton);
    const auto overview = cellsOf(w.find<QTableWidget>("sgCFG"));
    QCOMPARE(thermometers.size(), std::size_t(8));
    QCOMPARE(overview.size(), std::size_t(8));

    const polllog::PollLog& log = w.find<PollLogPanel>("pnPollLog")->log();
    QCOMPARE(log.pollCount(polllog::Page::General), 1);
    QCOMPARE(log.pollCount(polllog::Page::Extended), 1);
    QCOMPARE(log.pollCount(polllog::Page::Overview), 1);
    std::size_t r = 0;
    int values = 0;
    QVERIFY(log.forEachExtendedRow(0, std::numeric_limits<qint64>::max(), std::nullopt,
                                   [&](const polllog::LoggedExtendedRow& row) {
                                       QCOMPARE(QString::number(row.row.sensor),
                                                thermometers[r][0]);
                                       for (int n = 0; n < polllog::kChannels; ++n) {
                                           const auto i = static_cast<std::size_t>(n);
                                           QVERIFY(sameValue(thermometers[r][n + 1],
                                                             row.row.thermometers[i]));
                                           QVERIFY(sameValue(densities[r][n + 1],
                                                             row.row.densities[i]));
                                           values += row.row.thermometers[i] ? 1 : 0;
                                       }
                                       ++r;
                                   }));
    QCOMPARE(r, thermometers.size());
    QVERIFY(values > 0);
    r = 0;
    QVERIFY(log.forEachOverviewRow(
        0, std::numeric_limits<qint64>::max(), std::nullopt,
        [&](const polllog::LoggedOverviewRow& row) {
            const QStringList& cells = overview[r++];
            QCOMPARE(QString::number(row.row.sensor), cells[0]);
            QCOMPARE(row.row.version, cells[sensor::ColVersion]);
            auto text = [](const std::optional<int>& n) {
                return n ? QString::number(*n) : QString();
            };
            QCOMPARE(text(row.row.height), cells[sensor::ColHeight]);
            QCOMPARE(text(row.row.thermometers), cells[sensor::ColThermometers]);
            QCOMPARE(text(row.row.densityMeters), cells[sensor::ColDensityMeters]);
        }));
    QCOMPARE(r, overview.size());

    // Unticked on one page, it is off on all: polls are no longer recorded.
    QTest::mouseClick(w.find<QCheckBox>("cbLogPollsCfg"), Qt::LeftButton);
    QVERIFY(!w.find<QCheckBox>("cbLogPolls")->isChecked());
    QVERIFY(!w.find<QCheckBox>("cbLogPollsExt")->isChecked());
    QTest::mouseClick(w.find<QPushButton>("Button3"), Qt::LeftButton);
    polllog::PollLog reopened;
    QCOMPARE(reopened.open(path), QString());
    QCOMPARE(reopened.pollCount(), 3);
}

// On the built-in simulation the log is proposed in the user's data folder
// (not beside the program), remembered apart from a site's, and the folder
// is made when recording starts.
void TestPollLogUi::simulationLogInTheDataFolder() {
    QStandardPaths::setTestModeEnabled(true);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir(data).removeRecursively();
    QTemporaryDir settings;
    {
        Window w(kLine, kLayout, {}, settings.path());
        auto* panel = w.find<PollLogPanel>("pnPollLog");
        QCOMPARE(panel->logPath(),
                 QDir(data).filePath(QStringLiteral("orvant2-опрос-симуляция.sqlite")));
        QVERIFY(!panel->logPath().startsWith(QCoreApplication::applicationDirPath()));
        QTest::mouseClick(w.find<QCheckBox>("cbLogPolls"), Qt::LeftButton);
        QVERIFY(w.find<QCheckBox>("cbLogPolls")->isChecked());
        poll(w);
        QCOMPARE(panel->log().pollCount(), 1);
        QVERIFY(QFileInfo(panel->logPath()).isFile());
    }
    // A window on a real line keeps its own switch and file: beside its
    // configuration, off.
    {
        Window real(nullptr, kLayout, {}, settings.path());
        auto* panel = real.find<PollLogPanel>("pnPollLog");
        QCOMPARE(panel->logPath(), real.dir.filePath(QStringLiteral("orvant2-опрос.sqlite")));
        QVERIFY(!real.find<QCheckBox>("cbLogPolls")->isChecked());
    }
    // The next simulation records on into its own.
    {
        Window again(kLine, kLayout, {}, settings.path());
        QVERIFY(again.find<QCheckBox>("cbLogPolls")->isChecked());
    }
    QDir(data).removeRecursively();
    QStandardPaths::setTestModeEnabled(false);
}

// The summary's lines stay within a window of 1024 x 768: a long one wraps
// within the list (never a sideways scroll bar), and its whole text is
// also its tool tip.
void TestPollLogUi::healthLinesFitA1024Window() {
    Window w(kLine, kLayout);
    recordTo(w, w.dir.filePath(QStringLiteral("site.sqlite")));
    w.form->resize(1024, 768);
    poll(w);
    QCoreApplication::processEvents();
    auto* list = w.find<QListWidget>("lvHealth");
    QCOMPARE(list->count(), 3);
    const QRect inWindow(list->mapTo(w.form.get(), QPoint(0, 0)), list->size());
    QVERIFY2(inWindow.right() < w.form->width(),
             qPrintable(QStringLiteral("list ends at %1").arg(inWindow.right())));
    QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
    const int width = list->viewport()->width();
    bool wrapped = false;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        QCOMPARE(item->toolTip(), item->text());
        const QRect at = list->visualItemRect(item);
        QVERIFY2(at.right() < width, qPrintable(item->text()));
        // Tall enough for the text wrapped at the list's width.
        const QRect needs = list->fontMetrics().boundingRect(
            QRect(0, 0, at.width(), 10000), Qt::TextWordWrap, item->text());
        QVERIFY2(needs.height() <= at.height(),
                 qPrintable(QStringLiteral("%1: %2 of %3 px high")
                                .arg(item->text())
                                .arg(at.height())
                                .arg(needs.height())));
        wrapped = wrapped || list->fontMetrics().horizontalAdvance(item->text()) > width;
    }
    // The longest line (sensor 8, four faults and since when) does not fit
    // on one line of the list.
    QVERIFY(wrapped);
}
