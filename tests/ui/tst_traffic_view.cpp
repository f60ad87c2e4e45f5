#include "tst_traffic_view.h"

#include "UiWindow.h"

#include "app/FileWriter.h"
#include "common/FullDisk.h"
#include "ui/TrafficView.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

void TestTrafficView::trafficViewShowsTheLine() {
    Window w("controller 0 0 4");
    w.form->show();
    auto* view = w.find<TrafficView>("dkTraffic");
    QVERIFY(!view->isVisible());
    w.form->layoutActions().scan();
    QCOMPARE(view->text(), QString()); // hidden, it hears nothing
    w.form->findChild<QAction*>(QStringLiteral("miTraffic"))->trigger();
    QTRY_VERIFY(view->isVisible());
    w.form->layoutActions().scan();
    QVERIFY2(view->text().contains(QStringLiteral("> КИП 1  ReadVersion  | @800100")),
             qPrintable(view->text().left(200)));
    QVERIFY(view->text().contains(QStringLiteral("< КИП 1  ReadVersion  данные")));
    QVERIFY(view->text().contains(QStringLiteral("*<0D>")));
    // One line per reply, each request named.
    QVERIFY(view->text().contains(
        QStringLiteral("< КИП 1  AddressRange  данные 3 байт: 80 00 04  | @800A0380000436*\n")));
    QVERIFY(view->text().contains(QStringLiteral("  AddressRange")));

    // It follows the end, also after a resize, until the user scrolls up.
    auto* log = view->findChild<QPlainTextEdit*>(QStringLiteral("meTraffic"));
    QScrollBar* bar = log->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    view->resize(view->width(), view->height() / 2);
    w.form->layoutActions().scan();
    QTRY_COMPARE(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QTRY_VERIFY(!view->following());
    w.form->layoutActions().scan();
    QCOMPARE(bar->value(), 0);
    auto* below = view->findChild<QPushButton*>(QStringLiteral("btNewBelow"));
    QVERIFY(below->isVisible());
    QTest::mouseClick(below, Qt::LeftButton);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(view->following());

    // Paused, lines are held and shown when the pause ends.
    const QString before = view->text();
    view->setPaused(true);
    w.form->layoutActions().scan();
    QCOMPARE(view->text(), before);
    view->setPaused(false);
    QVERIFY(view->text().size() > before.size());
    // The export holds exactly the lines shown. They carry the passwords:
    // the file is its owner's only, also when it replaces one readable by
    // all.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.txt"));
    putFile(dir, "line.txt", "older export\n");
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                               QFile::ReadOther);
    QVERIFY(view->exportTo(path));
    QCOMPARE(QString::fromUtf8(fileBytes(path)), view->text() + QLatin1Char('\n'));
    QCOMPARE(QFile(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
    // On a full disk the old export stays and the reason is said.
    FullDisk disk;
    const QString full = disk.filePath(QStringLiteral("line.txt"));
    QVERIFY(QFile::copy(path, full));
    disk.fill();
    QString error;
    const bool exported = view->exportTo(full, &error);
    disk.release();
    QVERIFY(!exported);
    QCOMPARE(error, full + QStringLiteral(": ") + app::fileFaultText(disk.expectedFault()));
    QCOMPARE(fileBytes(full), fileBytes(path));
    QCOMPARE(disk.files(), QStringList{QStringLiteral("line.txt")});
}
