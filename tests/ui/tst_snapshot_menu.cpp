#include "tst_snapshot_menu.h"

#include "UiWindow.h"
#include "common/FullDisk.h"
#include "ui/SnapshotMenu.h"

#include <QAction>
#include <QToolButton>
#include <QtTest>

void TestSnapshotMenu::snapshotCompareRestoreReport() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    auto* menu = w.form->findChild<SnapshotMenu*>();
    QVERIFY(menu);
    QVERIFY(w.form->findChild<QAction*>(QStringLiteral("miSnapshot")));
    QString saveAs;
    QStringList opens;
    QStringList confirmed, shown;
    menu->dialogs.saveFile = [&](const QString&, const QString&) { return saveAs; };
    menu->dialogs.openFile = [&](const QString&) { return opens.takeFirst(); };
    menu->dialogs.scope = [] { return std::optional<int>(0); };
    menu->dialogs.confirm = [&](const QString&, const QStringList& lines) {
        confirmed += lines;
        return true;
    };
    menu->dialogs.showDifferences = [&](const QStringList& lines) { shown = lines; };
    menu->dialogs.showLines = [&](const QString&, const QStringList& lines) { shown = lines; };
    const QString first = w.dir.filePath(QStringLiteral("first.json"));
    const QString second = w.dir.filePath(QStringLiteral("second.json"));

    saveAs = first;
    menu->TakeSnapshot();
    QCOMPARE(w.mess(), QStringLiteral("СНИМОК СОХРАНЁН: КИП 1, ДАТЧИКОВ 4"));
    w.installation->controller(0)->interval = 70;
    saveAs = second;
    menu->TakeSnapshot();
    QVERIFY(!w.find<QToolButton>("sbTrans")->isChecked());

    opens = {first, second};
    menu->CompareSnapshots();
    QCOMPARE(w.mess(), QStringLiteral("РАЗЛИЧИЙ: 1"));
    // The page's label and unit, the values as the page shows them.
    QCOMPARE(shown, QStringList{"КИП 1: Интервал опросов, с: 10.0 → 7.0"});

    opens = {first};
    menu->RestoreFromSnapshot();
    QCOMPARE(w.mess(), QStringLiteral("ВОССТАНОВЛЕНО"));
    QCOMPARE(confirmed, QStringList{"КИП 1: Интервал опросов, с: 7.0 → 10.0"});
    QCOMPARE(w.installation->controller(0)->interval, 100);
    QVERIFY(!w.installation->controller(0)->transit);

    // A file that is no snapshot is refused on the status line.
    opens = {putFile(w.dir, "junk.json", "[]")};
    menu->Report();
    QVERIFY(w.mess().startsWith(QStringLiteral("НЕ СНИМОК: ")));
    opens = {first};
    saveAs = w.dir.filePath(QStringLiteral("report.html"));
    menu->Report();
    QCOMPARE(w.mess(), QStringLiteral("ОТЧЁТ ЗАПИСАН"));
    QVERIFY(fileBytes(saveAs).contains("Датчик 4"));
}

// The restore of one sensor the snapshot does not have is refused as the
// CLI refuses it, before anything is asked on the line.
void TestSnapshotMenu::restoreOfASensorNotInTheSnapshot() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    auto* menu = w.form->findChild<SnapshotMenu*>();
    QVERIFY(menu);
    const QString path = w.dir.filePath(QStringLiteral("s.json"));
    menu->dialogs.saveFile = [&](const QString&, const QString&) { return path; };
    menu->TakeSnapshot();
    QString error;
    auto s = snapshot::readSnapshot(path, &error);
    QVERIFY2(s, qPrintable(error));
    std::erase_if(s->sensors, [](const snapshot::Device& d) { return d.number == 2; });
    QVERIFY(snapshot::writeSnapshot(path, *s, &error));
    w.form->state().sensorAddress = 1;
    menu->dialogs.openFile = [&](const QString&) { return path; };
    menu->dialogs.scope = [] { return std::optional<int>(1); };
    menu->dialogs.confirm = [](const QString&, const QStringList&) { return true; };
    const int seen = w.installation->requestsSeen();
    menu->RestoreFromSnapshot();
    QCOMPARE(w.mess(), QStringLiteral("НЕ ВОССТАНОВЛЕНО: датчика 2 нет в ") + path);
    QCOMPARE(w.installation->requestsSeen(), seen);
}

// A snapshot on a disk where it cannot be written is refused before the
// walk over the line, with the reason on the status line.
void TestSnapshotMenu::snapshotOnAFullDisk() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    auto* menu = w.form->findChild<SnapshotMenu*>();
    QVERIFY(menu);
    FullDisk disk;
    QVERIFY(disk.isValid());
    const QString path = disk.filePath(QStringLiteral("s.json"));
    menu->dialogs.saveFile = [&](const QString&, const QString&) { return path; };
    disk.fill();
    const int before = w.installation->requestsSeen();
    menu->TakeSnapshot();
    disk.release();
    QCOMPARE(
        w.mess(),
        QStringLiteral("НЕ ЗАПИСАНО: %1: %2").arg(path, app::fileFaultText(disk.expectedFault())));
    QCOMPARE(w.installation->requestsSeen(), before);
    QVERIFY(!QFile::exists(path));
    menu->TakeSnapshot();
    QCOMPARE(w.mess(), QStringLiteral("СНИМОК СОХРАНЁН: КИП 1, ДАТЧИКОВ 4"));
}

// What answered nothing is not recorded as a snapshot: an echo-only line
// writes no file; a silent controller is named beside the counts, and so,
// when its first sensor is silent too, is that its sensors were left
// unasked; so is a device that answered only part of what it was asked.
void TestSnapshotMenu::snapshotOfSilence_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("written");
    const QString echo = QStringLiteral(" НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ЕГО ДАТЧИКИ ДАЛЬШЕ "
                                        "НЕ ОПРАШИВАЛИСЬ");
    QTest::newRow("echo-only") << "echo-only\ncontroller 0 0 4\ncontroller 1 4 4"
                               << "СНИМОК НЕ СДЕЛАН: НИ ОДНО УСТРОЙСТВО НЕ ОТВЕТИЛО; КИП 1" + echo +
                                      "; КИП 2" + echo
                               << false;
    // Silent itself, it still answers for its sensors; their alarm set-up,
    // which it holds, does not come.
    QString relayed;
    for (int n = 5; n <= 8; ++n)
        relayed += QStringLiteral("%1датчик %2 (12 из 76 без ответа)")
                       .arg(n == 5 ? QString() : QStringLiteral(", "))
                       .arg(n);
    QTest::newRow("one controller silent")
        << "controller 0 0 4\ncontroller 1 4 4 fault=silent"
        << "СНИМОК СОХРАНЁН: КИП 2, ДАТЧИКОВ 8; НЕТ ОТВЕТА: КИП 2; НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ: " +
               relayed
        << true;
    // Sensors 3 and 4 are controller 2's, not controller 1's as the
    // layout has it: only what a controller passes without transit came.
    QTest::newRow("sensors behind another controller")
        << "controller 0 0 2\ncontroller 1 2 6"
        << "СНИМОК СОХРАНЁН: КИП 2, ДАТЧИКОВ 8; НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ: датчик 3 (74 из 76 без "
           "ответа), датчик 4 (74 из 76 без ответа)"
        << true;
    QTest::newRow("one controller silent with its sensors")
        << "controller 0 0 4\ncontroller 1 4 4 fault=silent\nsensor 4 fault=silent\n"
           "sensor 5 fault=silent\nsensor 6 fault=silent\nsensor 7 fault=silent"
        << "СНИМОК СОХРАНЁН: КИП 2, ДАТЧИКОВ 8; НЕТ ОТВЕТА: КИП 2, датчик 5; КИП 2 НЕ ОТВЕЧАЕТ: "
           "ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ"
        << true;
}

void TestSnapshotMenu::snapshotOfSilence() {
    QFETCH(QString, scenario);
    QFETCH(QString, said);
    QFETCH(bool, written);
    Window w(qPrintable(scenario), QStringLiteral("KIP_TYP=1\nKIP_NUM=2,3\nKIP1=0,4\nKIP2=4,4\n"));
    auto* menu = w.form->findChild<SnapshotMenu*>();
    QVERIFY(menu);
    const QString path = w.dir.filePath(QStringLiteral("s.json"));
    menu->dialogs.saveFile = [&](const QString&, const QString&) { return path; };
    menu->TakeSnapshot();
    QCOMPARE(w.mess(), said);
    QCOMPARE(QFile::exists(path), written);
}
