#include "tst_databases_ui.h"

#include "UiWindow.h"
#include "app/FileWriter.h"
#include "common/FullDisk.h"
#include "db/SensorDatabase.h"
#include "db/UserDatabase.h"
#include "sim/OneWire.h"
#include "ui/AddressBar.h"
#include "ui/SensorDatabases.h"
#include "ui/SensorPropertiesPage.h"
#include "ui/TBuilderForm.h"
#include "ui/TDBase.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

// The properties page on the sensor at that address, every dialog answered
// by the test.
struct DatabaseWindow : Window {
    explicit DatabaseWindow(int address = 2, const QString& config = {},
                            const char* scenario = "controller 0 0 4")
        : Window(scenario, config) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miSProp"), Qt::LeftButton);
        QTest::mouseClick(find<AddressBar>("SnsAdrBar")->button(address), Qt::LeftButton);
        page = form->findChild<SensorPropertiesPage*>();
        databases = page->databases();
        databases->dialogs.warning = [this](const QString& t) { warnings << t; };
        databases->dialogs.locked = [this] { warnings << QStringLiteral("locked"); };
        databases->dialogs.confirmOverwrite = [this] { return ++overwriteAsked, overwrite; };
        databases->dialogs.askAddress = [this](int) { return typedAddress; };
    }
    QLineEdit* edit(const char* name) const { return find<QLineEdit>(name); }
    bool marked(const char* name) const { return find<QToolButton>(name)->isChecked(); }
    SensorPropertiesPage* page = nullptr;
    SensorDatabases* databases = nullptr;
    QStringList warnings;
    bool overwrite = false;
    int overwriteAsked = 0;
    std::optional<int> typedAddress;
};

QString factoryTable(const QString& path, const QList<QList<QByteArray>>& records) {
    db::DbfTable t(path);
    t.AddField("N_DU", 'C', 5, 0);
    t.AddField("L_SENS", 'C', 5, 0);
    for (int k = 1; k <= 8; ++k) {
        t.AddField(db::numbered("ID_T", k), 'C', 16, 0);
        t.AddField(db::numbered("H_T", k), 'C', 5, 0);
    }
    for (const auto& r : records) {
        const int i = t.AppendBlank();
        t.SetField("N_DU", r[0]);
        t.SetField("L_SENS", "3300");
        for (int k = 1; k < r.size(); ++k) {
            t.SetField(db::numbered("ID_T", k), r[k]);
            t.SetField(db::numbered("H_T", k), QByteArray::number(250 * k));
        }
        t.WriteRecord(i);
    }
    return path;
}

// The identifier the simulated sensor at that address has at place i.
QByteArray simId(int address, int i) {
    return sim::oneWireId(0x10, static_cast<std::uint32_t>(address * 16 + i + 1));
}

} // namespace

void TestDatabasesUi::userMenuOnThePropertiesPageOnly() {
    DatabaseWindow w;
    auto* menu = w.find<QMenu>("miUserBase");
    QVERIFY(menu->isEnabled());
    QTest::mouseClick(w.find<QToolButton>("miSensStat"), Qt::LeftButton);
    QVERIFY(!menu->isEnabled());
    QVERIFY(w.find<QToolButton>("tbDBase"));
    QVERIFY(w.find<QPushButton>("btTBuilder")->isEnabled());
    QVERIFY(w.find<QPushButton>("Button28")->isEnabled());
}

void TestDatabasesUi::changeFactoryBase() {
    DatabaseWindow w;
    const QString user = w.dir.filePath(QStringLiteral("user.dbf"));
    QVERIFY(db::CreateUserBase(user));
    const QString junk = putFile(w.dir, "junk.dbf", "junk");
    QString chosen = junk;
    w.databases->dialogs.chooseFactory = [&] { return chosen; };
    w.databases->DBFileClick();
    QCOMPARE(w.warnings, QStringList{"Неподходящая структура файла."});
    QCOMPARE(w.databases->factoryBase(), QString());
    // "Сменить" takes a user file: only the start-up scan keeps them out.
    chosen = user;
    w.databases->DBFileClick();
    QCOMPARE(w.databases->factoryBase(), user);
    QCOMPARE(w.find<QLabel>("stDBFile")->text(), user);
    QCOMPARE(w.form->findChild<QAction*>(QStringLiteral("miCurFBase"))->text(),
             QStringLiteral("Текущая база ") + user);
}

void TestDatabasesUi::thermometersFromANameplateNumber() {
    DatabaseWindow w;
    // No factory database beside the program: the panel says so, and so
    // does its OK, which fills nothing.
    QCOMPARE(w.databases->factoryBase(), QString());
    w.find<QPushButton>("Button28")->click();
    QCOMPARE(w.mess(), db::kNoFactoryBase);
    w.form->SetMess(QString());
    w.edit("reSelNum")->setText(QStringLiteral("007"));
    w.find<QPushButton>("btSelNum")->click();
    QCOMPARE(w.mess(), db::kNoFactoryBase);
    QVERIFY(w.edit("reIDT1")->text().isEmpty());
    const QString f = factoryTable(w.dir.filePath(QStringLiteral("f.dbf")),
                                   {{"007", simId(1, 0), "28FFFFFFFFFFFF01", simId(1, 1)}});
    w.databases->dialogs.chooseFactory = [&] { return f; };
    w.databases->DBFileClick();
    w.find<QPushButton>("Button28")->click();
    QVERIFY(!w.find<QWidget>("pSelNum")->isHidden());
    w.edit("reSelNum")->setText(QStringLiteral("007"));
    w.find<QPushButton>("btSelNum")->click();
    QVERIFY(w.find<QWidget>("pSelNum")->isHidden());
    // The identifier not starting with "10" is skipped; the next moves down.
    QCOMPARE(w.edit("reIDT1")->text(), QString::fromLatin1(simId(1, 0)));
    QCOMPARE(w.edit("reHT1")->text(), QStringLiteral("250"));
    QCOMPARE(w.edit("reIDT2")->text(), QString::fromLatin1(simId(1, 1)));
    QCOMPARE(w.edit("reHT2")->text(), QStringLiteral("750"));
    QVERIFY(w.marked("sbTID2") && w.marked("sbTH2"));
    QVERIFY(w.edit("reIDT3")->text().isEmpty());
    QCOMPARE(w.edit("reSSize")->text(), QStringLiteral("3300"));
    // "7" is not "007": said, and the places stay as they were.
    w.edit("reSelNum")->setText(QStringLiteral("7"));
    w.find<QPushButton>("btSelNum")->click();
    QCOMPARE(w.mess(), QStringLiteral("НОМЕР 7 НЕ НАЙДЕН В БАЗЕ"));
    QCOMPARE(w.edit("reIDT1")->text(), QString::fromLatin1(simId(1, 0)));
    QCOMPARE(w.edit("reHT2")->text(), QStringLiteral("750"));
    QVERIFY(w.marked("sbTID1"));
    QCOMPARE(w.edit("reSSize")->text(), QStringLiteral("3300"));
}

void TestDatabasesUi::searchCheckedAgainstTheFactory_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("applied");
    // The sensor at address 2 has four thermometers, the one at 0 two.
    QTest::newRow("four found, applied") << 2 << true;
    QTest::newRow("two found, nothing changes") << 0 << false;
}

void TestDatabasesUi::searchCheckedAgainstTheFactory() {
    QFETCH(int, address);
    QFETCH(bool, applied);
    DatabaseWindow w(address);
    const int count = w.installation->sensor(address)->thermometerCount;
    // The factory lists them in another order, with their heights.
    QList<QByteArray> record{"31"};
    for (int i = count - 1; i >= 0; --i)
        record << simId(address, i);
    const QString f = factoryTable(w.dir.filePath(QStringLiteral("f.dbf")), {record});
    w.databases->dialogs.chooseFactory = [&] { return f; };
    w.databases->DBFileClick();
    QStringList shown;
    w.databases->dialogs.confirmFactory = [&](TDBase& d) {
        shown = d.identifierLines();
        return true;
    };
    w.find<QPushButton>("Button29")->click();
    QCOMPARE(shown.size(), count);
    // The highest thermometer of the record at the top.
    QCOMPARE(shown.first(), QString::fromLatin1(simId(address, 0)));
    const QString first = w.edit("reIDT1")->text();
    QCOMPARE(first, QString::fromLatin1(applied ? simId(address, count - 1) : simId(address, 0)));
    QCOMPARE(w.edit("reHT1")->text(), applied ? QStringLiteral("250") : QString());
}

void TestDatabasesUi::saveAndLoadAUserFile() {
    DatabaseWindow w(3);
    const QString path = w.dir.filePath(QStringLiteral("user.dbf"));
    w.databases->dialogs.chooseSave = [&] { return path; };
    w.databases->dialogs.chooseLoad = [&] { return path; };
    w.find<QPushButton>("btGetSProp")->click();
    w.find<QPushButton>("btGetTProp")->click();
    w.find<QCheckBox>("cbDDC_01")->setChecked(true);
    w.databases->SaveUserDBF();
    QCOMPARE(w.mess(), QStringLiteral("СВОЙСТВА СОХРАНЕНЫ"));
    const QByteArray saved = fileBytes(path);
    // The same address again: asked, and No keeps the file as it was.
    w.edit("reSSize")->setText(QStringLiteral("1234"));
    w.databases->SaveUserDBF();
    QCOMPARE(w.overwriteAsked, 1);
    QCOMPARE(fileBytes(path), saved);
    // Loaded into the page of another sensor, marked for writing.
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(1), Qt::LeftButton);
    w.typedAddress = 3;
    w.databases->loadUserFile();
    QCOMPARE(w.mess(), QStringLiteral("СВОЙСТВА СЧИТАНЫ"));
    QCOMPARE(w.edit("reSSize")->text(), QString::number(w.installation->sensor(3)->length));
    QCOMPARE(w.edit("reFnd")->text(), QStringLiteral("-1.5"));
    QVERIFY(w.marked("sbFndEn") && w.marked("sbCrtEn") && w.marked("sbDDCEn"));
    QVERIFY(w.find<QCheckBox>("cbDDC_01")->isChecked());
    QCOMPARE(w.edit("reIDT1")->text(), QString::fromLatin1(simId(3, 0)));
    QVERIFY(w.marked("sbTID1") && w.marked("sbTH1"));
    // Address 5 typed is S_ADR 4: not in the file.
    w.typedAddress = 4;
    w.databases->loadUserFile();
    QCOMPARE(w.mess(), QStringLiteral("ТАКОГО АДРЕСА НЕТ В БАЗЕ"));
    QVERIFY(w.edit("reSSize")->text().isEmpty());
}

// Загрузить marks what "db-load" writes, and УСТАНОВИТЬ writes it the same
// way: a record with a value the catalogue refuses is refused whole, a
// sensor that takes nothing is said so with the cause.
void TestDatabasesUi::loadedRecordIsWrittenAsDbLoadWritesIt_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("mess"); // after each УСТАНОВИТЬ
    QTest::newRow("confirmed") << "" << "ЗАПИСЬ ЗАВЕРШЕНА";
    QTest::newRow("silent") << "silent" << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА";
    QTest::newRow("echo only") << "echo-only" << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
    QTest::newRow("refused record") << "refused" << "thermometer.1.id \"10AB@014F010032*\"";
}

void TestDatabasesUi::loadedRecordIsWrittenAsDbLoadWritesIt() {
    QFETCH(QString, line);
    QFETCH(QString, mess);
    DatabaseWindow w(1);
    const QString path = w.dir.filePath(QStringLiteral("user.dbf"));
    QVERIFY(db::CreateUserBase(path));
    const QByteArray id = line == QLatin1String("refused") ? "10AB@014F010032*" : "10E8C3A401080065";
    {
        db::DbfTable t(path);
        const int i = t.AppendBlank();
        t.SetField("S_ADR", "1");
        t.SetField("ID_T1", id);
        t.SetField("H_T1", "1500");
        t.SetField("S_ADD", "-7.5");
        t.SetField("UP_CRIT", "4");
        t.SetField("RST_B2", "1");
        QVERIFY(t.WriteRecord(i));
    }
    w.databases->dialogs.chooseLoad = [&] { return path; };
    w.typedAddress = 1; // S_ADR, as the address dialog gives it
    w.databases->loadUserFile();
    if (line == QLatin1String("refused")) {
        QVERIFY2(w.mess().startsWith(mess), qPrintable(w.mess()));
        QVERIFY(!w.marked("sbTID1") && !w.marked("sbFndEn"));
        return;
    }
    QCOMPARE(w.mess(), QStringLiteral("СВОЙСТВА СЧИТАНЫ"));
    for (const char* m : {"sbTID1", "sbTH1", "sbFndEn", "sbCrtEn", "sbDDCEn"})
        QVERIFY2(w.marked(m), m);
    sim::SimSensor& s = *w.installation->sensor(1);
    // Echo only: the adapter's copy of each request and nobody behind it.
    w.installation->setEcho(line == QLatin1String("echo-only"));
    w.installation->setNoDevices(line == QLatin1String("echo-only"));
    if (line == QLatin1String("silent"))
        w.installation->setSensorFault(1, sim::Fault::Silent);
    w.find<QPushButton>("btTermSet")->click();
    QVERIFY2(w.mess().startsWith(mess), qPrintable(w.mess()));
    w.find<QPushButton>("BitBtn3")->click();
    QVERIFY2(w.mess().startsWith(mess), qPrintable(w.mess()));
    if (!line.isEmpty()) {
        // Nothing taken: every mark stays down for the next try.
        for (const char* m : {"sbTID1", "sbTH1", "sbFndEn", "sbCrtEn", "sbDDCEn"})
            QVERIFY2(w.marked(m), m);
        return;
    }
    QCOMPARE(s.cells[0x81], id);
    QCOMPARE(s.cells[1], QByteArray("\x05\xDC", 2));
    QCOMPARE(s.cells[0x90], QByteArray("\xFF\xB5", 2));
    QCOMPARE(s.fillCriterionTenths, 40);
    QCOMPARE(s.flags & 0x03, 0x01);
}

// A save that cannot be done names the file and the reason; while another
// save holds the file the window keeps running, and the file stays as it
// was. A name without extension is saved as NAME.dbf.
void TestDatabasesUi::saveFailuresAreSaid_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("full disk") << "full";
    QTest::newRow("another save holds the file") << "busy";
    QTest::newRow("name without extension") << "name";
    QTest::newRow("sensor read in part") << "part";
}

void TestDatabasesUi::saveFailuresAreSaid() {
    QFETCH(QString, kind);
    // "part": the line dies at the second flags read, the first sensor's
    // page being read whole.
    DatabaseWindow w(
        3, {}, kind == QLatin1String("part") ? "controller 0 0 4\ncut 4F 1" : "controller 0 0 4");
    FullDisk disk;
    const QString path = disk.filePath(QStringLiteral("user.dbf"));
    w.databases->dialogs.chooseSave = [&] { return path; };
    w.find<QPushButton>("btGetSProp")->click();
    w.databases->SaveUserDBF();
    QCOMPARE(w.mess(), QStringLiteral("СВОЙСТВА СОХРАНЕНЫ"));
    const QByteArray saved = fileBytes(path);
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(1), Qt::LeftButton);
    w.find<QPushButton>("btGetSProp")->click();
    if (kind == QLatin1String("name")) {
        w.databases->dialogs.chooseSave = [&] { return disk.filePath(QStringLiteral("other")); };
        w.databases->SaveUserDBF();
        QCOMPARE(w.mess(), QStringLiteral("СВОЙСТВА СОХРАНЕНЫ"));
        QCOMPARE(disk.files(), (QStringList{"other.dbf", "user.dbf"}));
        return;
    }
    if (kind == QLatin1String("part")) {
        // The page shows the size and correction of sensor 2 only: nothing
        // of it is saved, and the keys without an answer are named.
        w.databases->SaveUserDBF();
        QCOMPARE(w.mess(), QStringLiteral("датчик 2: НЕ СОХРАНЕНО, нет ответа: reset-on-link-loss, "
                                          "reset-on-density-0-1, propagate-after-filling, "
                                          "density-channel, filling-criterion"));
        QCOMPARE(fileBytes(path), saved);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("user.dbf")});
        return;
    }
    QString reason;
    if (kind == QLatin1String("full")) {
        disk.fill();
        w.databases->SaveUserDBF();
        disk.release();
        reason = app::fileFaultText(disk.expectedFault());
    } else {
        QLockFile other(path + QStringLiteral(".lock"));
        QVERIFY(other.tryLock());
        bool ticked = false;
        QTimer::singleShot(10, [&] { ticked = true; });
        w.databases->SaveUserDBF();
        QVERIFY(ticked);
        reason = QStringLiteral("ФАЙЛ ЗАНЯТ");
    }
    QCOMPARE(w.mess(), QStringLiteral("СБОЙ СОХРАНЕНИЯ: %1: %2").arg(path, reason));
    QCOMPARE(fileBytes(path), saved);
    QCOMPARE(disk.files(), QStringList{QStringLiteral("user.dbf")});
}

void TestDatabasesUi::builderHandsOverThermometersAndLength() {
    QTemporaryDir files;
    const QString sections = files.filePath(QStringLiteral("sections.dbf"));
    {
        db::DbfTable t(sections);
        for (const char* name : {"N_SENS", "L_SENS"})
            t.AddField(name, 'C', 5, 0);
        for (int k = 1; k <= 2; ++k) {
            t.AddField(db::numbered("ID_T", k), 'C', 16, 0);
            t.AddField(db::numbered("H_T", k), 'C', 5, 0);
        }
        for (const auto& [n, l, a, b] :
             {std::tuple<QByteArray, QByteArray, QByteArray, QByteArray>{"1", "1000", "100", "600"},
              {"2", "2000", "150", "900"}}) {
            const int i = t.AppendBlank();
            t.SetField("N_SENS", n);
            t.SetField("L_SENS", l);
            t.SetField("ID_T1", simId(9, n.toInt() * 2));
            t.SetField("H_T1", a);
            t.SetField("ID_T2", simId(9, n.toInt() * 2 + 1));
            t.SetField("H_T2", b);
            t.WriteRecord(i);
        }
    }
    DatabaseWindow w(2, QStringLiteral("UnderFuel=400\nTermNum=3\n"));
    TBuilderForm* b = w.page->builder();
    QCOMPARE(b->status(), QStringLiteral("ОПРЕДЕЛИТЕ БАЗУ ДАННЫХ"));
    b->chooseDatabase = [&] { return sections; };
    b->sbSrcFNameClick();
    QVERIFY(w.configText().contains(QStringLiteral("SecDBName=") + sections));
    auto* number = b->findChild<QLineEdit*>(QStringLiteral("reSecNum"));
    for (const char* n : {"1", "2"}) {
        number->setText(QLatin1String(n));
        b->btAddClick();
    }
    // Four used, three allowed.
    QVERIFY(!b->findChild<QLabel*>(QStringLiteral("lTEn"))->isHidden());
    QVERIFY(!b->findChild<QPushButton*>(QStringLiteral("btUse"))->isEnabled());
    b->cellClicked(0, db::SectionBuilder::Used);
    QVERIFY(b->findChild<QPushButton*>(QStringLiteral("btUse"))->isEnabled());
    auto* bottom = b->findChild<QToolButton*>(QStringLiteral("sbUnderFuel"));
    bottom->click();
    QCOMPARE(bottom->text(), QStringLiteral("ЕСТЬ"));
    QCOMPARE(b->findChild<QLabel*>(QStringLiteral("stSnsSize"))->text(), QStringLiteral("3400"));
    bottom->click();
    QCOMPARE(bottom->text(), QStringLiteral("HET"));
    bottom->click();
    b->btUseClick();
    // Bottom up: section 1's two, then section 2's lower one.
    QCOMPARE(w.edit("reIDT1")->text(), QString::fromLatin1(simId(9, 2)));
    QCOMPARE(w.edit("reHT1")->text(), QStringLiteral("500"));
    QCOMPARE(w.edit("reIDT3")->text(), QString::fromLatin1(simId(9, 4)));
    QCOMPARE(w.edit("reHT3")->text(), QStringLiteral("1550"));
    QVERIFY(w.edit("reIDT4")->text().isEmpty());
    QVERIFY(w.marked("sbTID3") && w.marked("sbTH3"));
    QCOMPARE(w.edit("reSSize")->text(), QStringLiteral("3400"));
    // The builder starts empty again.
    QCOMPARE(b->builder().sections(), 0);
}
