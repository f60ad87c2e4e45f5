#include "tst_calibration_page.h"

#include "UiWindow.h"
#include "app/FileWriter.h"
#include "caltable/TableFile.h"
#include "common/CommandLog.h"
#include "common/FullDisk.h"
#include "ui/AddressBar.h"
#include "ui/CalibrationPage.h"
#include "ui/TEForm.h"

#include "caltable/TablePreview.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

// A table file of rows 0..n-1 in the dir.
QString tableFile(const QTemporaryDir& dir, const char* name, int rows, int step = 1000) {
    QByteArray text = ";\r\n;  table\r\n;\r\n";
    for (int r = 0; r < rows; ++r)
        text += QStringLiteral("%1=\t%2.%3\t\t0.0012\r\n")
                    .arg(r)
                    .arg(r * step / 10000)
                    .arg(r * step % 10000, 4, 10, QLatin1Char('0'))
                    .toLatin1();
    return putFile(dir, name, text);
}

struct CalibrationWindow : Window {
    explicit CalibrationWindow(const char* scenario = "controller 0 0 4\n",
                               const QString& config = {})
        : Window(scenario, config) {
        form->layoutActions().scan();
        form->link().setObserver(&log);
        QTest::mouseClick(find<QToolButton>("miCT"), Qt::LeftButton);
        page = form->findChild<CalibrationPage*>();
        page->readFolder = dir.path();
        page->ask = [this](const QString&, const QString& text) {
            asked << text;
            return int(QMessageBox::Yes);
        };
        page->inform = [this](const QString& text) { asked << text; };
    }
    void click(const char* name) const {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
    }
    // A file chosen for a row and applied, as the dialog and ПРИМЕНИТЬ do.
    void assign(int row, const QString& path) const {
        page->assignFile(row, path);
        if (find<QPushButton>("btTank")->isEnabled())
            click("btTank");
    }
    QString text(const char* name) const {
        return find<QWidget>(name)->property("text").toString();
    }
    sim::SimController& c() const { return *installation->controller(0); }
    CalibrationPage* page = nullptr;
    CommandLog log;
    QStringList asked;
};

} // namespace

void TestCalibrationPage::enteringReadsTheAllocationTable() {
    CalibrationWindow w;
    QCOMPARE(w.log.sent, (QStringList{"80:78", "80:7A"}));
    QCOMPARE(w.mess(), QStringLiteral("КАЛИБРОВОЧНЫХ ТАБЛИЦ НЕТ"));
    QCOMPARE(w.text("lPgSz"), QStringLiteral("Размер страницы : 264 байт"));
    // One row a sensor of the controller.
    QVERIFY(w.find<QPushButton>("T4")->isVisibleTo(w.form.get()));
    QVERIFY(!w.find<QPushButton>("T5")->isVisibleTo(w.form.get()));
    // An entry of size 0xFFFF is no table.
    w.c().allocation = QByteArray(64, '\0');
    w.c().allocation.replace(0, 8, QByteArray("\x00\x01\xFF\xFF\x00\x02\x01\x08", 8));
    w.click("btRdAT");
    QVERIFY(w.text("E1").isEmpty());
    QCOMPARE(w.text("S2"), QStringLiteral("2"));
    QCOMPARE(w.text("E2"), QStringLiteral("264 / 1"));
    QCOMPARE(w.text("H2"), QStringLiteral("43"));
    QCOMPARE(w.mess(), QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ СЧИТАНА"));
}

void TestCalibrationPage::sharedFileWrittenOnceAndRecorded() {
    CalibrationWindow w;
    const QString file = tableFile(w.dir, "a.vlm", 60);
    w.assign(1, file);
    QCOMPARE(w.mess(), QStringLiteral("ФАЙЛ ДЛЯ РЕЗЕРВУАРА №2 УСТАНОВЛЕН"));
    QCOMPARE(w.text("F2"), QStringLiteral("a.vlm"));
    QCOMPARE(w.text("E2"), QStringLiteral("360 / 2"));
    w.assign(3, file); // the same name: the same file and place
    QCOMPARE(w.text("S4"), w.text("S2"));
    QVERIFY(w.find<QPushButton>("btCTProg")->isEnabled());
    w.log.sent.clear();
    w.click("btCTProg");
    QCOMPARE(w.mess(), QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
    QCOMPARE(w.log.sent.count(QStringLiteral("80:52")), 4); // 3 blocks and the close
    // The whole tables are recorded once the service mode has ended.
    QCOMPARE(w.log.sent.mid(w.log.sent.size() - 2), (QStringList{"80:A5", "80:70"}));
    QCOMPARE(w.c().allocation.mid(4, 4), QByteArray("\x00\x00\x01\x68", 4));
    QCOMPARE(w.c().allocation.mid(12, 4), QByteArray("\x00\x00\x01\x68", 4));
    QVERIFY(w.text("F2").isEmpty());
    QVERIFY(!w.find<QPushButton>("btCTProg")->isEnabled());
}

void TestCalibrationPage::readBackCatchesAWrongByte() {
    CalibrationWindow w;
    w.assign(0, tableFile(w.dir, "a.vlm", 30));
    w.assign(2, tableFile(w.dir, "b.vlm", 20));
    w.c().corruptNextTableAt = 5;
    w.click("btCTProg");
    // The tank is named, and the allocation table with tank 3 is stored.
    QCOMPARE(w.mess(), QStringLiteral("№1: ОШИБКА СВЕРКИ; ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
    // Tank 1 keeps its file for another try; tank 3 is recorded.
    QCOMPARE(w.text("F1"), QStringLiteral("a.vlm"));
    QCOMPARE(w.c().allocation.mid(2, 2), QByteArray(2, '\0'));
    QCOMPARE(w.c().allocation.mid(8, 4), QByteArray("\x00\x01\x00\x78", 4));
    QVERIFY(w.find<QPushButton>("btCTProg")->isEnabled());
}

void TestCalibrationPage::tablesReadIntoFiles() {
    CalibrationWindow w;
    w.assign(0, tableFile(w.dir, "a.vlm", 30));
    w.assign(1, tableFile(w.dir, "b.vlm", 50, 500));
    w.click("btCTProg");
    w.click("btRdAT");
    w.click("T1");
    w.click("T2");
    QVERIFY(w.find<QPushButton>("btCTRead")->isEnabled());
    w.click("btCTRead");
    QCOMPARE(w.mess(), QStringLiteral("Tank_ 2.vlm  ГОТОВО"));
    QVERIFY(QFileInfo::exists(w.dir.filePath(QStringLiteral("Tank_ 1.vlm"))));
    // The last table read is on the preview.
    QCOMPARE(w.text("stSSize"), QStringLiteral("49"));
    QVERIFY(!w.find<QLabel>("Scr")->pixmap().isNull());
    QVERIFY(w.page->tableLines().at(1).contains(QStringLiteral("№ 2")));
    QByteArray a;
    QByteArray b;
    QString status;
    QVERIFY(caltable::ConvertTableFile(w.dir.filePath(QStringLiteral("b.vlm")), a, status));
    QVERIFY(caltable::ConvertTableFile(w.dir.filePath(QStringLiteral("Tank_ 2.vlm")), b, status));
    QCOMPARE(b, a);
    QVERIFY(!w.find<QPushButton>("btCTRead")->isEnabled());
}

// Writing and reading each end the controller's service mode with three
// tries; when none is heard the status line says so after the result.
void TestCalibrationPage::serviceLeftOnIsSaid_data() {
    QTest::addColumn<bool>("reading");
    QTest::addColumn<QString>("said");
    QTest::newRow("writing")
        << false << "ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА; КИП 1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ";
    QTest::newRow("reading") << true
                             << "Tank_ 1.vlm  ГОТОВО; КИП 1, ВОЗМОЖНО, ОСТАЛСЯ В СЕРВИСНОМ РЕЖИМЕ";
}

void TestCalibrationPage::serviceLeftOnIsSaid() {
    QFETCH(bool, reading);
    QFETCH(QString, said);
    CalibrationWindow w;
    w.assign(0, tableFile(w.dir, "a.vlm", 30));
    if (reading) {
        w.click("btCTProg");
        w.click("btRdAT");
        w.click("T1");
    }
    w.c().unheard[0xA5] = -1;
    w.log.sent.clear();
    w.click(reading ? "btCTRead" : "btCTProg");
    QCOMPARE(w.mess(), said);
    QCOMPARE(w.log.sent.count(QStringLiteral("80:A5")), 3);
}

// An installed program's folder cannot be written: the tables read go to
// the user's own folder, and the status line says where.
void TestCalibrationPage::tablesReadBesideAReadOnlyProgram() {
    FullDisk readOnly(true);
    if (!readOnly.mounted())
        QSKIP("a read-only file system needs root");
    CalibrationWindow w;
    w.assign(0, tableFile(w.dir, "a.vlm", 30));
    w.click("btCTProg");
    w.click("btRdAT");
    w.click("T1");
    w.page->readFolder = readOnly.path();
    const QString folder = app::writableFolder(readOnly.path());
    QVERIFY(folder != readOnly.path());
    const QString table = QDir(folder).filePath(QStringLiteral("Tank_ 1.vlm"));
    QFile::remove(table);
    w.click("btCTRead");
    const QByteArray written = fileBytes(table);
    QFile::remove(table);
    QCOMPARE(w.mess(), QDir::toNativeSeparators(table) + QStringLiteral("  ГОТОВО"));
    QVERIFY(written.startsWith(";"));
    QCOMPARE(readOnly.files(), QStringList());
}

// A FIFO or a device given as a table is refused at once, and nothing is
// programmed.
void TestCalibrationPage::pipeOrDeviceAsTable_data() {
    QTest::addColumn<bool>("fifo");
    QTest::newRow("FIFO") << true;
    QTest::newRow("/dev/zero") << false;
}

void TestCalibrationPage::pipeOrDeviceAsTable() {
    QFETCH(bool, fifo);
    CalibrationWindow w;
    QString path = QStringLiteral("/dev/zero");
    if (fifo) {
        path = w.dir.filePath(QStringLiteral("t.vlm"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    w.assign(0, path);
    const QByteArray allocation = w.c().allocation;
    w.click("btCTProg");
    QCOMPARE(w.mess(), QFileInfo(path).fileName() + QStringLiteral(": НЕ ФАЙЛ"));
    QCOMPARE(w.c().allocation, allocation);
}

void TestCalibrationPage::exchangeThenStore() {
    CalibrationWindow w;
    w.assign(0, tableFile(w.dir, "a.vlm", 30));
    w.assign(1, tableFile(w.dir, "b.vlm", 20));
    w.click("btCTProg");
    const QByteArray flash = w.c().flash;
    w.click("T1");
    w.click("T2");
    w.click("btExch");
    QCOMPARE(w.mess(), QStringLiteral("ОБМЕНЯНО"));
    QVERIFY(w.find<QPushButton>("btSaveAT")->isEnabled());
    w.click("btSaveAT");
    QCOMPARE(w.mess(), QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
    QCOMPARE(w.c().allocation.mid(0, 4), QByteArray("\x00\x01\x00\x78", 4));
    QCOMPARE(w.c().allocation.mid(4, 4), QByteArray("\x00\x00\x00\xB4", 4));
    QCOMPARE(w.c().flash, flash); // no data moved
    // Now tank 1's table is shared by nobody: no new file over it.
    w.page->AssignTableFile(0);
    QCOMPARE(w.asked.last(),
             QStringLiteral("Ссылка на таблицу единственная.\nНАЗНАЧЕНИЕ НЕВОЗМОЖНО."));
}

void TestCalibrationPage::clearing() {
    CalibrationWindow w;
    w.assign(0, tableFile(w.dir, "a.vlm", 30));
    w.click("btCTProg");
    w.click("CTDel");
    QCOMPARE(w.mess(), QStringLiteral("ТАБЛИЦА ПУСТАЯ"));
    QCOMPARE(w.c().allocation, QByteArray(64, '\0'));
    QVERIFY(w.text("S1").isEmpty());
    w.installation->setControllerFault(0, sim::Fault::Silent);
    w.click("CTDel");
    QCOMPARE(w.mess(), QStringLiteral("СБОЙ УДАЛЕНИЯ ТАБЛИЦЫ"));
}

void TestCalibrationPage::singleTableDevice() {
    CalibrationWindow w("type 2\nsensors 4 2\n", QStringLiteral("KIP_TYP=2\nKIP_B=4,2\n"));
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(5), Qt::LeftButton);
    QCOMPARE(w.find<QPushButton>("T1")->text(), QStringLiteral("6"));
    QCOMPARE(w.text("lPgSz"), QStringLiteral("Размер страницы : 256 байт"));
    w.assign(0, tableFile(w.dir, "a.vlm", 40));
    QCOMPARE(w.text("E1"), QStringLiteral("240"));
    w.log.frames.clear();
    w.click("btCTProg");
    QCOMPARE(w.mess(), QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
    QCOMPARE(w.installation->controller(5)->allocation, QByteArray("\x00\x00\x00\xF0", 4));
    w.click("T1");
    QDir::setCurrent(w.dir.path());
    w.click("btCTRead");
    QCOMPARE(w.mess(), QStringLiteral("Tank_ 6R.vlm  ГОТОВО"));
}

void TestCalibrationPage::singleTableTooLargeIsRefused() {
    CalibrationWindow w("type 2\nsensors 4 2\n", QStringLiteral("KIP_TYP=2\nKIP_B=4,2\n"));
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(5), Qt::LeftButton);
    w.assign(0, tableFile(w.dir, "big.vlm", 641)); // 3846 bytes
    w.log.sent.clear();
    w.click("btCTProg");
    QCOMPARE(w.mess(), QStringLiteral("№6: ТАБЛИЦА 3846 БАЙТ, БОЛЬШЕ 3840"));
    QVERIFY(w.log.sent.isEmpty());
    QCOMPARE(w.text("F1"), QStringLiteral("big.vlm"));
}

void TestCalibrationPage::editedTableIsWhatIsWritten_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("text");
    QTest::newRow("saved first") << int(QMessageBox::Yes) << "ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА";
    QTest::newRow("not saved") << int(QMessageBox::No)
                               << "НЕ ЗАПИСАНО: ТАБЛИЦА ИЗМЕНЕНА, НО НЕ СОХРАНЕНА";
}

// An edit accepted in the editor is what the preview shows: it is saved to
// its file before the file is written, or nothing is written.
void TestCalibrationPage::editedTableIsWhatIsWritten() {
    QFETCH(int, answer);
    QFETCH(QString, text);
    CalibrationWindow w;
    const QString file = tableFile(w.dir, "a.vlm", 30);
    w.assign(0, file);
    w.page->ask = [&](const QString&, const QString& question) {
        w.asked << question;
        return answer;
    };
    // The editor on row 0, its volume changed and accepted.
    QTimer::singleShot(0, [&] {
        auto* editor = w.form->findChild<TEForm*>();
        auto* volume = editor->findChild<QLineEdit*>("reVE");
        volume->setText(QStringLiteral("0.4321"));
        QTest::keyClick(volume, Qt::Key_Return);
        QTest::mouseClick(editor->findChild<QPushButton*>("btOk"), Qt::LeftButton);
    });
    w.page->previewClicked(caltable::kPreviewSize - 1);
    QVERIFY(w.page->tableLines().join('\n').contains(QStringLiteral("0.4321")));
    w.log.sent.clear();
    w.click("btCTProg");
    QCOMPARE(w.mess(), text);
    QCOMPARE(w.asked.size(), 1);
    const bool saved = answer == QMessageBox::Yes;
    QCOMPARE(fileBytes(file).contains("0.4321"), saved);
    QCOMPARE(w.log.sent.contains(QStringLiteral("80:52")), saved);
}

void TestCalibrationPage::editorAroundARow() {
    QStringList lines{";", "0=\t0.0000\t\t0.0010"};
    for (int r = 1; r < 10; ++r)
        lines << QStringLiteral("%1=\t%2.0000\t\t0.0010").arg(r).arg(r);
    TEForm e;
    e.setUp(&lines, 1, caltable::EditorMode::EditRow, 5);
    QCOMPARE(e.findChild<QLabel*>("stC0")->text(), QStringLiteral("3"));
    QCOMPARE(e.findChild<QLabel*>("stSE")->text(), QStringLiteral("5"));
    QCOMPARE(e.findChild<QLabel*>("stC4")->text(), QStringLiteral("7"));
    QCOMPARE(e.findChild<QLineEdit*>("reVE")->text(), QStringLiteral("5.0000"));
    for (int r = 0; r < 5; ++r)
        QCOMPARE(e.findChild<QLabel*>(QStringLiteral("stS%1").arg(r))->text(),
                 QLocale().toString(0.1, 'f', 4).replace(QLocale().decimalPoint(), "."));
    QVERIFY(!e.findChild<QPushButton*>("btOk")->isEnabled());
}

void TestCalibrationPage::editorAtRowZero() {
    QStringList lines{"0=\t0.0000\t\t0.0010", "1=\t1.0000\t\t0.0010"};
    TEForm e;
    e.setUp(&lines, 0, caltable::EditorMode::EditRow, 0);
    QVERIFY(e.findChild<QLabel*>("stC0")->text().isEmpty());
    QVERIFY(e.findChild<QLabel*>("stC1")->text().isEmpty());
    QVERIFY(!e.findChild<QToolButton*>("bbPrev")->isEnabled());
    QVERIFY(e.findChild<QToolButton*>("bbNext")->isEnabled());
}

void TestCalibrationPage::editorAddsRowZero() {
    QStringList lines{";", "1=\t0.5\t\t0.05", "2=\t1.0\t\t0.05"};
    TEForm e;
    e.setUp(&lines, 1, caltable::EditorMode::AddRowZero, 0);
    QCOMPARE(e.findChild<QLineEdit*>("reDE")->text(), QStringLiteral("0.0500"));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], QStringLiteral("0\t0\t0.0500"));
    QCOMPARE(e.findChild<QLabel*>("Mess")->text(), QStringLiteral("Добавлена строка № 0"));
    QVERIFY(e.findChild<QPushButton*>("btOk")->isEnabled());
    e.reject(); // the row stays
    QCOMPARE(lines.size(), 4);
}

void TestCalibrationPage::editorRewritesOnlyTheTypedLine() {
    const QStringList file{"0=  0.0000   0.0010", "1= 1,0000 0,0010", "2=  2.0000 0.0010"};
    QStringList lines = file;
    TEForm e;
    e.setUp(&lines, 0, caltable::EditorMode::EditRow, 1);
    // Enter on a row nobody typed in, and moving on, leave the lines alone.
    QTest::keyClick(e.findChild<QLineEdit*>("reVE"), Qt::Key_Return);
    QVERIFY(e.findChild<QPushButton*>("btOk")->isEnabled());
    e.bbNextClick();
    e.bbPrevClick();
    e.bbPrevClick();
    QCOMPARE(lines, file);
    QCOMPARE(e.currentLine(), 0);
    // A typed value rewrites its line only, number and "=" kept.
    e.bbNextClick();
    auto* volume = e.findChild<QLineEdit*>("reVE");
    volume->selectAll();
    QTest::keyClicks(volume, QStringLiteral("1,5000"));
    QTest::keyClick(volume, Qt::Key_Return);
    e.bbNextClick();
    QCOMPARE(lines[0], file[0]);
    QCOMPARE(lines[1], QStringLiteral("1=\t1,5000\t0,0010"));
    QCOMPARE(lines[2], file[2]);
}

void TestCalibrationPage::editorOnAMissingRowSaysWhy_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("said");
    QTest::newRow("past the end") << QStringList{"0= 0.0 0.1", "1= 0.1 0.1"} << 4
                                  << QStringLiteral("В ТАБЛИЦЕ НЕТ СТРОКИ № 4");
    QTest::newRow("not three numbers") << QStringList{"0= 0.0 0.1", "1= 0.1"} << 1
                                       << QStringLiteral("СТРОКА НЕ ИЗ ТРЁХ ЧИСЕЛ: 1= 0.1");
}

void TestCalibrationPage::editorOnAMissingRowSaysWhy() {
    QFETCH(QStringList, lines);
    QFETCH(int, row);
    QFETCH(QString, said);
    TEForm e;
    e.setUp(&lines, 0, caltable::EditorMode::EditRow, row);
    QCOMPARE(e.findChild<QLabel*>("Mess")->text(), said);
}
