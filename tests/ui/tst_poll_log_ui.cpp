#include "tst_poll_log_ui.h"

#include "UiWindow.h"
#include "app/Modes.h"
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
#include <QTableWidget>
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
        w.form->ScanForControllers();
    QTest::mouseClick(w.find<QToolButton>("sbGetStat"), Qt::LeftButton);
}

// Points to this file and switches recording on, as the engineer does.
void recordTo(Window& w, const QString& path) {
    w.find<PollLogPanel>("pnPollLog")->setChooseFile([path] { return path; });
    QTest::mouseClick(w.find<QPushButton>("btLogFile"), Qt::LeftButton);
    QTest::mouseClick(w.find<QCheckBox>("cbLogPolls"), Qt::LeftButton);
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
    trends->selectSensors({1, 6});
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
}
