#include "tst_diagram_page.h"

#include "UiWindow.h"
#include "app/Modes.h"
#include "common/CommandLog.h"
#include "common/FullDisk.h"
#include "diagram/DiagramFile.h"
#include "ui/AddressBar.h"
#include "ui/DiagramPage.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

// The diagram page of sensor 3 behind controller 0, after a scan.
struct DiagramWindow : Window {
    explicit DiagramWindow(const char* probe = "segments 2 64\n", StartOptions options = {})
        : Window(qPrintable(QStringLiteral("controller 0 0 4\n") + QString::fromUtf8(probe)), {},
                 options) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miSDgr"), Qt::LeftButton);
        QTest::mouseClick(find<AddressBar>("SnsAdrBar")->button(2), Qt::LeftButton);
        page = form->findChild<DiagramPage*>();
        page->ask = [this](const QString& question) {
            questions << question;
            return answer;
        };
        form->link().setObserver(&log);
    }
    void draw() const { QTest::mouseClick(find<QToolButton>("sbDraw"), Qt::LeftButton); }
    bool drawn(const char* layer) const { return !find<QLabel>(layer)->pixmap().isNull(); }
    DiagramPage* page = nullptr;
    CommandLog log;
    QStringList questions;
    bool answer = true; // to the question before codes are erased
};

} // namespace

void TestDiagramPage::drawOnce() {
    DiagramWindow w;
    w.draw();
    QCOMPARE(w.mess(), QStringLiteral(" ВСЁ СЧИТАНО"));
    QVERIFY(!w.find<QToolButton>("sbDraw")->isChecked());
    for (const char* layer : {"imGrid", "imCode", "imAir", "imFuel"})
        QVERIFY2(w.drawn(layer), layer);
    QVERIFY(w.find<QPushButton>("btSaveDgr")->isEnabled());
    QVERIFY(w.find<QLabel>("stFLvl")->text().endsWith(QStringLiteral("(00)")));
    QVERIFY(w.find<QLabel>("stFSeg")->text().contains(QStringLiteral(" / ")));
    QCOMPARE(w.find<QLabel>("stShkala")->text(), QStringLiteral("1.25"));
    // Transit around the read, the trigger after it.
    QCOMPARE(w.log.sent.first(), QStringLiteral("80:A1"));
    QCOMPARE(w.log.sent.mid(w.log.sent.size() - 2), (QStringList{"02:8A", "80:A5"}));
    QVERIFY(!w.installation->controller(0)->transit);
    QCOMPARE(w.installation->sensor(2)->triggers, 1);
    // A probe with dry gaps above the fuel offers the air codes.
    QCOMPARE(w.find<QPushButton>("btClrAll")->isEnabled(), true);
    QVERIFY(!w.find<QLabel>("lDgrErr")->isVisibleTo(w.form.get()));
}

void TestDiagramPage::failedReadKeepsThePicture() {
    DiagramWindow w;
    w.draw();
    const QImage before = w.find<QLabel>("imCode")->pixmap().toImage();
    w.installation->setSensorFault(2, sim::Fault::Silent);
    w.draw();
    QCOMPARE(w.mess(), QStringLiteral("Датчик не отвечает."));
    QCOMPARE(w.find<QLabel>("imCode")->pixmap().toImage(), before);
    QVERIFY(!w.find<QPushButton>("btSaveDgr")->isEnabled());
    // Another sensor: the picture of this one goes.
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(1), Qt::LeftButton);
    QVERIFY(!w.drawn("imCode"));
    QVERIFY(w.find<QLabel>("stFLvl")->text().isEmpty());
}

void TestDiagramPage::cycleNeverOverlaps() {
    DiagramWindow w;
    int nested = 0;
    int reads = 0;
    // The timer fires while a read runs: it must not start a second one.
    w.form->link().setPump([&] {
        if (w.log.sent.count(QStringLiteral("02:0B")) == 1 && reads == 0) {
            ++reads;
            const int before = w.log.sent.count(QStringLiteral("02:0C"));
            w.page->TmrTimer();
            nested += w.log.sent.count(QStringLiteral("02:0C")) - before;
        }
        QApplication::processEvents();
    });
    QTest::mouseClick(w.find<QCheckBox>("cbDCycle"), Qt::LeftButton);
    QCOMPARE(nested, 0);
    QVERIFY(w.find<QToolButton>("sbDraw")->isChecked());
    QVERIFY(w.form->pollTimer()->isActive());
    // A tick reads again.
    const int sent = w.log.sent.count(QStringLiteral("02:0C"));
    w.page->TmrTimer();
    QCOMPARE(w.log.sent.count(QStringLiteral("02:0C")), sent + 1);
    QVERIFY(w.form->pollTimer()->isActive());
    // Unticking ends the cycle.
    QTest::mouseClick(w.find<QCheckBox>("cbDCycle"), Qt::LeftButton);
    QVERIFY(!w.find<QToolButton>("sbDraw")->isChecked());
    QVERIFY(!w.form->pollTimer()->isActive());
}

void TestDiagramPage::leavingStopsTheCycle() {
    DiagramWindow w;
    QTest::mouseClick(w.find<QCheckBox>("cbDCycle"), Qt::LeftButton);
    QVERIFY(w.form->pollTimer()->isActive());
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QVERIFY(!w.find<QToolButton>("sbDraw")->isChecked());
    QVERIFY(!w.form->pollTimer()->isActive());
    QVERIFY(!w.find<QPushButton>("btSaveDgr")->isEnabled());
    // A tick that was already on its way reads nothing.
    const int sent = w.log.sent.size();
    w.page->TmrTimer();
    QCOMPARE(w.log.sent.size(), sent);
    // Back on the page, the box does not say it cycles.
    QTest::mouseClick(w.find<QToolButton>("miSDgr"), Qt::LeftButton);
    QVERIFY(!w.find<QCheckBox>("cbDCycle")->isChecked());
}

void TestDiagramPage::saveAndOpen() {
    DiagramWindow w;
    w.draw();
    const QString path = w.dir.filePath(QStringLiteral("03.dgr"));
    QVERIFY(w.page->saveTo(path));
    QCOMPARE(QFileInfo(path).size(), 64 + 3 * 64);
    QVERIFY(!w.find<QPushButton>("btSaveDgr")->isEnabled());
    const QImage drawn = w.find<QLabel>("imCode")->pixmap().toImage();
    // Opened again from another page, without the sensor.
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    w.installation->setSensorFault(2, sim::Fault::Silent);
    QVERIFY(w.page->openFrom(path));
    QCOMPARE(w.form->state().currentMode, int(app::TagSDgr));
    QCOMPARE(w.find<QLabel>("imCode")->pixmap().toImage(), drawn);
    QVERIFY(w.mess().contains(QStringLiteral("датчик 3")));
    QVERIFY(!w.find<QPushButton>("btACor")->isEnabled());
    // Something that is no diagram is refused with a reason.
    const QString junk = w.dir.filePath(QStringLiteral("junk.dgr"));
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a diagram");
    f.close();
    QVERIFY(!w.page->openFrom(junk));
    QVERIFY(w.mess().startsWith(QStringLiteral("junk.dgr: не файл диаграммы")));
}

void TestDiagramPage::unwritableFileIsSaid() {
    DiagramWindow w;
    w.draw();
    QVERIFY(!w.page->saveTo(w.dir.filePath(QStringLiteral("missing/x.dgr"))));
    QVERIFY(w.mess().startsWith(QStringLiteral("НЕ ЗАПИСАНО: ")));
    QVERIFY(w.find<QPushButton>("btSaveDgr")->isEnabled());
}

// A pipe or a device is refused at once (the window never waits for a
// writer), and a save on a full disk leaves the old file and says why.
void TestDiagramPage::filesThatCannotBeUsed_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("mess");
    QTest::newRow("open a FIFO") << "fifo"
                                 << "x.dgr: НЕ ФАЙЛ";
    QTest::newRow("open /dev/zero") << "zero"
                                    << "zero: НЕ ФАЙЛ";
    QTest::newRow("save on a full disk") << "full"
                                         << "НЕ ЗАПИСАНО: x.dgr: ";
}

void TestDiagramPage::filesThatCannotBeUsed() {
    QFETCH(QString, kind);
    QFETCH(QString, mess);
    DiagramWindow w;
    w.draw();
    if (kind == QLatin1String("full")) {
        FullDisk disk;
        const QString path = disk.filePath(QStringLiteral("x.dgr"));
        const QByteArray old(3000, 'o');
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
        f.close();
        disk.fill();
        const bool saved = w.page->saveTo(path);
        disk.release();
        QVERIFY(!saved);
        QCOMPARE(w.mess(), mess + app::fileFaultText(disk.expectedFault()));
        QCOMPARE(fileBytes(path), old);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("x.dgr")});
        QVERIFY(w.find<QPushButton>("btSaveDgr")->isEnabled());
        return;
    }
    QString path = QStringLiteral("/dev/zero");
    if (kind == QLatin1String("fifo")) {
        path = w.dir.filePath(QStringLiteral("x.dgr"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    QVERIFY(!w.page->openFrom(path));
    QCOMPARE(w.mess(), mess);
}

void TestDiagramPage::wideDiagramScrolls() {
    DiagramWindow w("segments 2 1000\n");
    w.draw();
    auto* top = w.find<QLabel>("imFuel");
    QCOMPARE(top->width(), 1032);
    QCOMPARE(top->cursor().shape(), Qt::SizeHorCursor);
    QTest::mousePress(top, Qt::LeftButton, {}, QPoint(600, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 100), top->mapToGlobal(QPointF(100, 100)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(top, &move);
    QCOMPARE(w.page->layerLeft(), -196); // no further than the right end
    QCOMPARE(w.find<QLabel>("imGrid")->x(), -196);
    // The pointer goes 300 pixels right of where it was pressed (the layer
    // under it has moved, so its own x is 196 more).
    QMouseEvent back(QEvent::MouseMove, QPointF(1096, 100), top->mapToGlobal(QPointF(1096, 100)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(top, &back);
    QCOMPARE(w.page->layerLeft(), 0); // nor past the left one
    QTest::mouseRelease(top, Qt::LeftButton, {}, QPoint(400, 100));
}

void TestDiagramPage::codeButtons() {
    DiagramWindow w;
    w.draw();
    w.log.sent.clear();
    QTest::mouseClick(w.find<QPushButton>("btClrAir"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ВЫПОЛНЕНО"));
    QCOMPARE(w.log.sent, (QStringList{"80:A1", "02:0C", "02:18", "80:A5"}));
    QCOMPARE(w.installation->sensor(2)->dryCodes.count(char(255)), 64);
    w.installation->setSensorFault(2, sim::Fault::Silent);
    QTest::mouseClick(w.find<QPushButton>("btClrAll"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("НЕ ВЫПОЛНЕНО"));
    QVERIFY(!w.installation->controller(0)->transit);
}

// Erasing asks first; "Нет" leaves the sensor untouched and sends nothing.
void TestDiagramPage::clearingAsksFirst_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::newRow("air") << "btClrAir"
                         << "Стереть коды воздуха датчика 3?";
    QTest::newRow("fuel") << "btClrFuel"
                          << "Стереть коды топлива датчика 3?";
    QTest::newRow("all") << "btClrAll"
                         << "Стереть все коды датчика 3?";
}

void TestDiagramPage::clearingAsksFirst() {
    QFETCH(QString, button);
    QFETCH(QString, question);
    DiagramWindow w;
    w.draw();
    const QByteArray dry = w.installation->sensor(2)->dryCodes;
    const QByteArray wet = w.installation->sensor(2)->wetCodes;
    w.log.sent.clear();
    const QString shown = w.mess();
    w.answer = false;
    QTest::mouseClick(w.form->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(w.questions, QStringList{question});
    QVERIFY(w.log.sent.isEmpty());
    QCOMPARE(w.installation->sensor(2)->dryCodes, dry);
    QCOMPARE(w.installation->sensor(2)->wetCodes, wet);
    QCOMPARE(w.mess(), shown);
    w.answer = true;
    QTest::mouseClick(w.form->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(w.questions.size(), 2);
    QCOMPARE(w.mess(), QStringLiteral("ВЫПОЛНЕНО"));
    QVERIFY(!w.log.sent.isEmpty());
}

// The code buttons ask twice for transit; leaving it is tried three
// times, and a controller that never answered it keeps "ТРАНЗИТ" pressed.
void TestDiagramPage::codeButtonsAndTransit_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("unheard");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<bool>("transitShown");
    QTest::newRow("0xA1 unheard once")
        << 0xA1 << 1 << QStringList{"80:A1", "80:A1", "02:0C", "02:18", "80:A5"} << false;
    QTest::newRow("0xA5 unheard twice")
        << 0xA5 << 2 << QStringList{"80:A1", "02:0C", "02:18", "80:A5", "80:A5", "80:A5"} << false;
    QTest::newRow("0xA5 never heard")
        << 0xA5 << -1 << QStringList{"80:A1", "02:0C", "02:18", "80:A5", "80:A5", "80:A5"} << true;
}

void TestDiagramPage::codeButtonsAndTransit() {
    QFETCH(int, command);
    QFETCH(int, unheard);
    QFETCH(QStringList, sent);
    QFETCH(bool, transitShown);
    DiagramWindow w;
    w.draw();
    w.log.sent.clear();
    w.installation->controller(0)->unheard[command] = unheard;
    QTest::mouseClick(w.find<QPushButton>("btClrAir"), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ВЫПОЛНЕНО"));
    QCOMPARE(w.log.sent, sent);
    QCOMPARE(w.installation->controller(0)->transit, transitShown);
    QCOMPARE(w.find<QToolButton>("sbTrans")->isChecked(), transitShown);
}

void TestDiagramPage::testPanelWithDgr() {
    StartOptions dgr;
    dgr.segmentTest = true;
    DiagramWindow w("segments 2 64\n", dgr);
    QVERIFY(w.find<QWidget>("pDgrTest")->isVisibleTo(w.form.get()));
    w.draw();
    QCOMPARE(w.find<QLabel>("stSensSize")->text(), QStringLiteral("64"));
    QCOMPARE(w.find<QLabel>("stSensSize2")->text(), QStringLiteral("64"));
    QCOMPARE(w.find<QLabel>("stDgrStep")->text(), QStringLiteral("ВСЁ"));
    DiagramWindow plain;
    QVERIFY(!plain.find<QWidget>("pDgrTest")->isVisibleTo(plain.form.get()));
}
