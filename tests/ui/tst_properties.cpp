#include "tst_properties.h"

#include "app/Modes.h"
#include "ui/AddressBar.h"
#include "ui/Help.h"
#include "ui/PlacesTabs.h"
#include "ui/SensorPropertiesPage.h"
#include "ui/TPForm.h"
#include "ui/UiWindow.h"

#include "common/SensorBench.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorCatalogue.h"
#include "sensor/SensorSettings.h"
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>

#include <QDir>
#include <QVBoxLayout>

#include <QtTest>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kSensor = 2;

// The properties page on sensor 3 (address 2) behind controller 0, transit on.
struct PropertiesWindow : Window {
    explicit PropertiesWindow(const char* scenario = "controller 0 0 4") : Window(scenario) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miSProp"), Qt::LeftButton);
        QTest::mouseClick(find<AddressBar>("SnsAdrBar")->button(kSensor), Qt::LeftButton);
    }
    QLineEdit* edit(const char* name) const { return find<QLineEdit>(name); }
    QToolButton* mark(const char* name) const { return find<QToolButton>(name); }
    void click(const char* name) const {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
    }
    sim::SimSensor& sensor() const { return *installation->sensor(kSensor); }
    void setMarked(const char* field, const char* markName, const QString& text) const {
        edit(field)->setText(text);
        mark(markName)->setChecked(true);
    }
    bool red(const char* field) const { return edit(field)->styleSheet().contains("background"); }
};

} // namespace

void TestPropertiesPage::readAndWriteSensorGroups() {
    PropertiesWindow w;
    QVERIFY(w.find<QToolButton>("sbTrans")->isChecked());
    w.click("btGetSProp");
    QCOMPARE(w.edit("reSSize")->text(), QString::number(w.sensor().length));
    QCOMPARE(w.edit("reFnd")->text(), QStringLiteral("-1.5"));
    QCOMPARE(w.edit("reCrt")->text(), QStringLiteral("3.5"));
    QVERIFY(w.find<QRadioButton>("rbDMLCombi")->isChecked()); // 0x48 has bit 3

    w.setMarked("reSSize", "sbSizeEn", "1000");
    w.setMarked("reFnd", "sbFndEn", "-12.5");
    w.setMarked("reCrt", "sbCrtEn", "12.5");
    w.find<QCheckBox>("cbDDC_B2")->setChecked(true);
    w.mark("sbDDCEn")->setChecked(true);
    w.click("BitBtn3");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    for (const char* m : {"sbSizeEn", "sbFndEn", "sbCrtEn", "sbDDCEn"})
        QVERIFY2(!w.mark(m)->isChecked(), m);
    QCOMPARE(w.sensor().cells[0x91], QByteArray("\x00\x40", 2));
    QCOMPARE(w.sensor().cells[0x90], QByteArray("\xFF\x83", 2));
    QCOMPARE(w.sensor().fillCriterionTenths, 125);
    QCOMPARE(w.sensor().flags, 0x49); // bit 6 kept
    // Transit was held by the page: the write leaves it on.
    QVERIFY(w.installation->controller(0)->transit);
    w.click("btGetSProp");
    QCOMPARE(w.edit("reFnd")->text(), QStringLiteral("-12.5"));
}

// A ПОЛУЧИТЬ that gets part of the sensor shows the rest unread (empty and
// red, no box ticked): never what the last read left in the fields.
void TestPropertiesPage::partReadShowsTheRestUnread_data() {
    QTest::addColumn<QByteArray>("cut");
    QTest::addColumn<QStringList>("unread");
    QTest::addColumn<QString>("mess");
    QTest::newRow("nothing answers")
        << QByteArray("cut 0D 1") << QStringList{"reSSize", "reFnd", "reCrt"}
        << QStringLiteral("НЕТ ОТВЕТА");
    QTest::newRow("flags and criterion unanswered")
        << QByteArray("cut 4F 1") << QStringList{"reCrt"}
        << QStringLiteral("НА ЧАСТЬ ЗАПРОСОВ НЕТ ОТВЕТА");
}

void TestPropertiesPage::partReadShowsTheRestUnread() {
    QFETCH(QByteArray, cut);
    QFETCH(QStringList, unread);
    QFETCH(QString, mess);
    const QByteArray scenario = "controller 0 0 4\n" + cut;
    PropertiesWindow w(scenario.constData());
    w.sensor().flags = 0x4B; // combined channel, both resets
    w.click("btGetSProp");
    QCOMPARE(w.edit("reSSize")->text(), QString::number(w.sensor().length));
    QVERIFY(w.find<QRadioButton>("rbDMLCombi")->isChecked());
    QVERIFY(w.find<QCheckBox>("cbDDC_B2")->isChecked());
    w.click("btGetSProp");
    QCOMPARE(w.mess(), mess);
    for (const QString& name : unread) {
        QVERIFY2(w.edit(qPrintable(name))->text().isEmpty(), qPrintable(name));
        QVERIFY2(w.red(qPrintable(name)), qPrintable(name));
    }
    // The flags did not come: no box and no channel shown as the sensor's.
    for (const char* box : {"cbDDC_B2", "cbDDC_01", "cbRetr", "cbOneDen"})
        QVERIFY2(!w.find<QCheckBox>(box)->isChecked(), box);
    QVERIFY(!w.find<QRadioButton>("rbDMLCombi")->isChecked());
    QVERIFY(!w.find<QRadioButton>("rbDMLSepar")->isChecked());
}

// A row added to the catalogue is on the page with no other change: its
// caption, its mark, its range checked and its write made by its row.
void TestPropertiesPage::aCatalogueRowIsOnThePage() {
    // The page outlives the window whose host it registers with.
    QWidget host;
    host.setLayout(new QVBoxLayout);
    PropertiesWindow w;
    std::vector<app::Setting> rows = sensor::sensorSettings();
    // A second filling criterion, written where the first one is kept.
    static const app::SettingOperation write{
        23, [](bus::SerialLink& l, const app::SettingTarget& t, int, const app::SettingValues& v) {
            return sensor::WriteFillCriterion(
                l, t.address,
                static_cast<int>(std::lround(app::valueOf(v, "test-criterion").toDouble() * 10)));
        }};
    app::Setting row = *app::findSetting(rows, QStringLiteral("filling-criterion"));
    row.key = QStringLiteral("test-criterion");
    row.label = QStringLiteral("Проверочный критерий");
    row.max = 100;
    row.operation = &write;
    row.fields = {QStringLiteral("reTestCrt")};
    row.mark = QStringLiteral("sbTestCrt");
    rows.push_back(row);
    // The page on the test catalogue takes over the window's buttons.
    SensorPropertiesPage page(*w.form, &host, rows);
    auto* field = host.findChild<QLineEdit*>(QStringLiteral("reTestCrt"));
    auto* mark = host.findChild<QToolButton*>(QStringLiteral("sbTestCrt"));
    QVERIFY(field && mark);
    const auto labels = host.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](const QLabel* l) {
        return l->text() == QStringLiteral("Проверочный критерий, мм");
    }));
    // The rows the page lays out itself get no second field.
    QCOMPARE(host.findChildren<QLineEdit*>(QStringLiteral("reCrt")).size(), 1);
    field->setText(QStringLiteral("250"));
    mark->setChecked(true);
    w.form->btSetClick(SensorPropertiesPage::SensorTag);
    QCOMPARE(w.mess(),
             QStringLiteral("Проверочный критерий \"250\": допустимо от 0.0 до 100.0 мм, шаг 0.1"));
    QVERIFY(mark->isChecked());
    field->setText(QStringLiteral("9,5"));
    w.form->btSetClick(SensorPropertiesPage::SensorTag);
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.sensor().fillCriterionTenths, 95);
    QVERIFY(!mark->isChecked());
}

void TestPropertiesPage::badTextIsNeverSent() {
    PropertiesWindow w;
    const QByteArray before = w.sensor().cells[0x90];
    w.setMarked("reFnd", "sbFndEn", "abc");
    w.setMarked("reCrt", "sbCrtEn", "2.5");
    w.click("BitBtn3");
    QCOMPARE(w.mess(), QStringLiteral("Поправка по уровню \"abc\": допустимо от -3276.8 до "
                                      "3276.7 мм, шаг 0.1"));
    QVERIFY(w.red("reFnd"));
    QVERIFY(w.mark("sbFndEn")->isChecked());
    QCOMPARE(w.sensor().cells[0x90], before);
    // The other marked field went through.
    QVERIFY(!w.mark("sbCrtEn")->isChecked());
    QCOMPARE(w.sensor().fillCriterionTenths, 25);
}

void TestPropertiesPage::writeSwitchesTransitItself() {
    PropertiesWindow w;
    // The user lets transit go: the write switches it on and off again, also
    // when the sensor does not answer.
    QTest::mouseClick(w.find<QToolButton>("btNorm"), Qt::LeftButton);
    QVERIFY(!w.installation->controller(0)->transit);
    w.setMarked("reCrt", "sbCrtEn", "7");
    w.click("BitBtn3");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.sensor().fillCriterionTenths, 70);
    QVERIFY(!w.installation->controller(0)->transit);
    w.installation->setSensorFault(kSensor, sim::Fault::Silent);
    w.setMarked("reSAdd2", "sbSAdd2", "0.5");
    w.click("BitBtn6");
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО: НЕТ ОТВЕТА"));
    QVERIFY(w.red("reSAdd2"));
    QVERIFY(!w.installation->controller(0)->transit);
}

void TestPropertiesPage::forbiddenFlagsCannotBeMarked() {
    PropertiesWindow w;
    w.sensor().flags = 0x28;
    w.click("btGetSProp");
    QVERIFY(w.find<QLabel>("lBadFlags")->isVisibleTo(w.form.get()));
    QTest::mouseClick(w.mark("sbDChEn"), Qt::LeftButton);
    QVERIFY(!w.mark("sbDChEn")->isChecked());
    // Choosing the separate channel makes the combination allowed again.
    QTest::mouseClick(w.find<QRadioButton>("rbDMLSepar"), Qt::LeftButton);
    QVERIFY(!w.find<QLabel>("lBadFlags")->isVisibleTo(w.form.get()));
    QTest::mouseClick(w.find<QRadioButton>("rbDMLCombi"), Qt::LeftButton);
    QVERIFY(!w.find<QCheckBox>("cbOneDen")->isChecked());
    QVERIFY(!w.find<QCheckBox>("cbOneDen")->isEnabled());
    QTest::mouseClick(w.mark("sbDChEn"), Qt::LeftButton);
    QVERIFY(w.mark("sbDChEn")->isChecked());
}

void TestPropertiesPage::sectionCorrections() {
    PropertiesWindow w;
    w.click("btGetSAdd");
    QCOMPARE(w.edit("reSAdd1")->text(), QStringLiteral("-0.250"));
    QCOMPARE(w.edit("reSAdd8")->text(), QStringLiteral("0.625"));
    w.setMarked("reSAdd3", "sbSAdd3", " 1.5 ");
    w.setMarked("reSAdd5", "sbSAdd5", "");
    w.click("BitBtn6");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.sensor().sectionCorrections[2], 1.5f);
    QVERIFY(!w.mark("sbSAdd3")->isChecked());
    QCOMPARE(w.edit("reSAdd3")->text(), QStringLiteral("1.5"));
    // The empty field was not sent and keeps its mark.
    QVERIFY(w.mark("sbSAdd5")->isChecked());
    w.setMarked("reSAdd6", "sbSAdd6", "1.2.3");
    w.click("BitBtn6");
    QCOMPARE(w.mess(), QStringLiteral("Секционная поправка № 6 \"1.2.3\": допустимо от -999.999 "
                                      "до 999.999 мм, шаг 0.001"));
    QVERIFY(w.red("reSAdd6"));
    QVERIFY(w.mark("sbSAdd6")->isChecked());
    w.click("btClearSAdd");
    QVERIFY(w.edit("reSAdd1")->text().isEmpty());
}

void TestPropertiesPage::mobileSensor() {
    PropertiesWindow w;
    w.click("btGetSeg");
    QCOMPARE(w.edit("reWorkSeg")->text(), QString::number(w.sensor().workingSegments));
    w.setMarked("reWorkSeg", "sbSegCfg", "150");
    w.edit("reDelSeg")->setText("3");
    w.click("BitBtn5");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.sensor().workingSegments, 150);
    QVERIFY(!w.mark("sbSegCfg")->isChecked());

    w.click("btGetCodUp");
    QCOMPARE(w.edit("reAlgNum")->text(), QStringLiteral("10"));
    QCOMPARE(w.find<QLabel>("stAlgCnt")->text(), QStringLiteral("0"));
    // A counter of 2 is never sent; the code-update byte still is.
    w.setMarked("reAlgNum", "sbAlgNum", "2");
    w.find<QCheckBox>("cbCodAlg")->setChecked(true);
    w.mark("sbCodUp")->setChecked(true);
    w.click("BitBtn2");
    QCOMPARE(w.sensor().counter, 10);
    QVERIFY(w.mark("sbAlgNum")->isChecked());
    QVERIFY(w.red("reAlgNum"));
    QCOMPARE(w.sensor().codeUpdate, 0xC0); // update as read, algorithm ticked
    QVERIFY(!w.mark("sbCodUp")->isChecked());
    w.edit("reAlgNum")->setText("40");
    w.click("BitBtn2");
    QCOMPARE(w.sensor().counter, 40);
    QVERIFY(!w.mark("sbAlgNum")->isChecked());
}

void TestPropertiesPage::tabWritesNeedAnAnswer_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("fields"); // field=text, each with its mark pressed
    QTest::addColumn<QString>("fault");      // silent, echo-only, a scenario's cut, break, or none
    QTest::addColumn<QStringList>("down");   // the marks left down
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArrayList>("writes"); // as the sensor heard them
    auto f = [](int command, const QByteArray& payload) {
        return requestFrame(kSensor, static_cast<std::uint8_t>(command), payload).trimmed();
    };
    const QStringList sections{"reSAdd2=0.5", "reSAdd3=1.5"};
    const QByteArray section2 = f(0x36, QByteArray(1, 2) + floatBytes(0.5f));
    const QByteArray section3 = f(0x36, QByteArray(1, 3) + floatBytes(1.5f));
    const QStringList marks{"sbSAdd2", "sbSAdd3"};
    const QString silent = QStringLiteral("НЕ ЗАПИСАНО: НЕТ ОТВЕТА");
    const QString echo = QStringLiteral("НЕ ЗАПИСАНО: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)");
    const QString written = QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА");
    QTest::newRow("sections") << "BitBtn6" << sections << "none" << QStringList{} << written
                              << QByteArrayList{section2, section3};
    QTest::newRow("sections, silent") << "BitBtn6" << sections << "silent" << marks << silent
                                      << QByteArrayList{section2, section3};
    QTest::newRow("sections, echo only")
        << "BitBtn6" << sections << "echo-only" << marks << echo << QByteArrayList{};
    QTest::newRow("sections, line cut after the first")
        << "BitBtn6" << sections << "cut 36 1" << QStringList{"sbSAdd3"}
        << "ЗАПИСАНО НЕ ВСЁ. " + silent << QByteArrayList{section2, section3};
    QTest::newRow("sections, Break after the first")
        << "BitBtn6" << sections << "break" << QStringList{"sbSAdd3"}
        << QStringLiteral("ЗАПИСАНО НЕ ВСЁ. НЕ ЗАПИСАНО: ПРЕРВАНО") << QByteArrayList{section2};

    const QStringList segments{"reWorkSeg=150", "reDelSeg=3"};
    const QByteArray segmentsFrame = f(0x17, "\x96\x03");
    QTest::newRow("segments") << "BitBtn5" << segments << "none" << QStringList{} << written
                              << QByteArrayList{segmentsFrame};
    QTest::newRow("segments, silent")
        << "BitBtn5" << segments << "silent" << QStringList{"sbSegCfg"} << silent
        << QByteArrayList{segmentsFrame};
    // 0 working segments is what a probe without them tells, never sent.
    QTest::newRow("segments, 0 working")
        << "BitBtn5" << QStringList{"reWorkSeg=0", "reDelSeg=3"} << "none"
        << QStringList{"sbSegCfg"} << "НЕ ЗАПИСАНО: НЕДОПУСТИМОЕ ЗНАЧЕНИЕ" << QByteArrayList{};
    QTest::newRow("segments, echo only") << "BitBtn5" << segments << "echo-only"
                                         << QStringList{"sbSegCfg"} << echo << QByteArrayList{};

    // The counter, then the code-update byte (both boxes unticked).
    const QStringList codes{"reAlgNum=40", "cbCodUp"};
    const QByteArray counter = f(0x19, "\x02\x28");
    const QByteArray codeByte = f(0x19, QByteArray("\x01\x00", 2));
    const QStringList codeMarks{"sbAlgNum", "sbCodUp"};
    QTest::newRow("code update") << "BitBtn2" << codes << "none" << QStringList{} << written
                                 << QByteArrayList{counter, codeByte};
    QTest::newRow("code update, silent") << "BitBtn2" << codes << "silent" << codeMarks << silent
                                         << QByteArrayList{counter, codeByte};
    QTest::newRow("code update, echo only")
        << "BitBtn2" << codes << "echo-only" << codeMarks << echo << QByteArrayList{};
    QTest::newRow("code update, line cut after the counter")
        << "BitBtn2" << codes << "cut 19 1" << QStringList{"sbCodUp"}
        << "ЗАПИСАНО НЕ ВСЁ. " + silent << QByteArrayList{counter, codeByte};
    QTest::newRow("code update, Break after the counter")
        << "BitBtn2" << codes << "break" << QStringList{"sbCodUp"}
        << QStringLiteral("ЗАПИСАНО НЕ ВСЁ. НЕ ЗАПИСАНО: ПРЕРВАНО") << QByteArrayList{counter};
}

// Each write of the sections and mobile tabs on the wire and under line
// faults: what the sensor heard, the marks of what it did not confirm left
// down, and why on the status line, as the СЕНСОР tab and "sensor N set" say
// it; an earlier success on the status line is no answer.
void TestPropertiesPage::tabWritesNeedAnAnswer() {
    QFETCH(QString, button);
    QFETCH(QStringList, fields);
    QFETCH(QString, fault);
    QFETCH(QStringList, down);
    QFETCH(QString, said);
    QFETCH(QByteArrayList, writes);
    // An adapter that echoes from the start: the link learns it as it opens.
    const bool echoOnly = fault == QLatin1String("echo-only");
    const QByteArray scenario =
        (echoOnly ? "echo\n" : "") +
        (fault.startsWith(QLatin1String("cut")) ? fault.toLatin1() + "\n" : QByteArray()) +
        "controller 0 0 4";
    PropertiesWindow w(scenario.constData());
    QStringList marks;
    for (const QString& f : fields) {
        const QString name = f.section(QLatin1Char('='), 0, 0);
        if (auto* edit = w.form->findChild<QLineEdit*>(name))
            edit->setText(f.section(QLatin1Char('='), 1));
        const app::Setting* row = nullptr;
        for (const app::Setting& r : sensor::sensorSettings())
            if (r.fields.contains(name))
                row = &r;
        QVERIFY2(row, qPrintable(name));
        w.mark(qPrintable(row->mark))->setChecked(true);
        marks << row->mark;
    }
    w.form->SetMess(QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    const int before = w.installation->writesSeen().size();
    if (fault == QLatin1String("silent"))
        w.installation->setSensorFault(kSensor, sim::Fault::Silent);
    w.installation->setNoDevices(echoOnly);
    int heard = 0;
    if (fault == QLatin1String("break"))
        w.installation->setWriteHeard([&](const QByteArray&) {
            if (++heard == 1)
                w.form->progressDialog()->findChild<QPushButton*>("btBreak")->click();
        });
    w.click(qPrintable(button));
    w.installation->setWriteHeard({});
    QCOMPARE(w.mess(), said);
    QCOMPARE(w.installation->writesSeen().mid(before), writes);
    for (const QString& m : marks)
        QVERIFY2(w.mark(qPrintable(m))->isChecked() == down.contains(m), qPrintable(m));
}

void TestPropertiesPage::inputFilters_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("correction") << "reFnd"
                                << "-1x2,5"
                                << "-12.5";
    QTest::newRow("criterion without minus") << "reCrt"
                                             << "-3.5"
                                             << "3.5";
    QTest::newRow("size digits only") << "reSSize"
                                      << "1a0.0 0"
                                      << "1000";
    QTest::newRow("section correction, negative") << "reSAdd4"
                                                  << "-0,2x5"
                                                  << "-0.25";
}

void TestPropertiesPage::inputFilters() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    PropertiesWindow w;
    QLineEdit* e = w.edit(field.toLatin1().constData());
    e->clear();
    QTest::keyClicks(e, typed);
    QCOMPARE(e->text(), shown);
    // Editing keys always work.
    QTest::keyClick(e, Qt::Key_Backspace);
    QCOMPARE(e->text(), shown.chopped(1));
}

void TestPropertiesPage::changeOfSensorClearsFields() {
    PropertiesWindow w;
    w.click("btGetSProp");
    w.click("btGetSAdd");
    w.mark("sbFndEn")->setChecked(true);
    QVERIFY(!w.edit("reSSize")->text().isEmpty());
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(1), Qt::LeftButton);
    QVERIFY(w.edit("reSSize")->text().isEmpty());
    QVERIFY(w.edit("reSAdd1")->text().isEmpty());
    QVERIFY(!w.mark("sbFndEn")->isChecked());
}

// F1 shows the page's help in the program's own viewer, no browser needed.
void TestPropertiesPage::helpShowsThePage() {
    PropertiesWindow w;
    w.form->ShowHelp();
    auto* viewer = w.form->findChild<HelpViewer*>(QStringLiteral("HelpViewer"));
    QVERIFY(viewer && viewer->isVisible());
    QVERIFY2(viewer->browser()->source().toString().endsWith(QLatin1String("help/tsProp.html")),
             qPrintable(viewer->browser()->source().toString()));
    QVERIFY(viewer->browser()->toPlainText().contains(QStringLiteral("СЕКЦИОННЫЕ ПОПРАВКИ")));
}

void TestPropertiesPage::thermometersReadEnterWrite() {
    PropertiesWindow w;
    w.click("btGetTProp");
    QCOMPARE(w.edit("reIDT1")->text(), QString::fromLatin1(w.sensor().cells[0x81]));
    QCOMPARE(w.edit("reHT2")->text(), QStringLiteral("1200"));
    QVERIFY(w.edit("reIDT5")->text().isEmpty());
    // Typing needs manual entry; it clears the identifiers.
    QTest::keyClicks(w.edit("reIDT5"), "10AB");
    QVERIFY(w.edit("reIDT5")->text().isEmpty());
    QTest::mouseClick(w.mark("sbHndEnt"), Qt::LeftButton);
    QVERIFY(w.edit("reIDT1")->text().isEmpty());
    QTest::keyClick(w.edit("reIDT5"), Qt::Key_Return);
    QCOMPARE(w.edit("reIDT5")->text(), QStringLiteral("10"));
    QTest::keyClicks(w.edit("reIDT5"), "e8c3a4z0108006");
    QCOMPARE(w.edit("reIDT5")->text(), QStringLiteral("10E8C3A40108006")); // 15: z dropped
    w.mark("sbTID5")->setChecked(true);
    w.setMarked("reHT5", "sbTH5", "0");
    // An identifier that is not whole refuses the write: nothing is sent.
    const int seen = w.installation->requestsSeen();
    w.click("btTermSet");
    QCOMPARE(w.mess(), QStringLiteral("ТЕРМОМЕТР 5 \"10E8C3A40108006\": не 16 символов; допустимо "
                                      "16 символов 0-9 A-F, семейство 10, CRC-8 последним"));
    QVERIFY(w.red("reIDT5"));
    QCOMPARE(w.installation->requestsSeen(), seen);
    QTest::keyClicks(w.edit("reIDT5"), "5");
    w.click("btTermSet");
    // A height of 0 is never sent; the identifier goes.
    QCOMPARE(w.mess(),
             QStringLiteral("Термометр 5: высота \"0\": допустимо от 1 до 65535 мм, шаг 1"));
    QVERIFY(!w.mark("sbTID5")->isChecked() && w.red("reHT5"));
    w.mark("sbTID5")->setChecked(true);
    w.edit("reHT5")->setText("4000");
    w.click("btTermSet");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.sensor().cells[0x85], QByteArray("10E8C3A401080065"));
    QCOMPARE(w.sensor().cells[5], QByteArray("\x0F\xA0", 2));
    QVERIFY(!w.mark("sbTID5")->isChecked() && !w.mark("sbTH5")->isChecked());
}

// A height for a place without an identifier is refused before the line;
// a sensor that takes no write is "НЕ ЗАПИСАНО" with its cause, as on the
// СЕНСОР tab, never "ЗАПИСАНО НЕ ВСЁ".
void TestPropertiesPage::placeWritesSayWhy() {
    PropertiesWindow w;
    w.click("btGetTProp");
    w.click("btGetDProp");
    QVERIFY(w.edit("reIDT5")->text().isEmpty());
    QVERIFY(w.edit("reIDD3")->text().isEmpty());
    const int seen = w.installation->requestsSeen();
    w.setMarked("reHT5", "sbTH5", "500");
    w.click("btTermSet");
    QCOMPARE(w.mess(), QStringLiteral("ТЕРМОМЕТР 5: у места нет идентификатора"));
    QVERIFY(w.mark("sbTH5")->isChecked());
    w.setMarked("reADD3", "sbDAD3", "0.5");
    w.click("BitBtn4");
    QCOMPARE(w.mess(), QStringLiteral("ПЛОТНОМЕР 3: у места нет идентификатора"));
    QVERIFY(w.mark("sbDAD3")->isChecked());
    QCOMPARE(w.installation->requestsSeen(), seen);
    w.mark("sbTH5")->setChecked(false);
    w.mark("sbDAD3")->setChecked(false);
    w.installation->setSensorFault(kSensor, sim::Fault::IgnoresWrites);
    w.setMarked("reHT2", "sbTH2", "1300");
    w.click("btTermSet");
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО: НЕТ ОТВЕТА"));
    QVERIFY(w.mark("sbTH2")->isChecked());
    w.setMarked("reHD1", "sbDH1", "750");
    w.click("BitBtn4");
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО: НЕТ ОТВЕТА"));
    QVERIFY(w.mark("sbDH1")->isChecked());
}

// A sensor that answers the start of the search but its result too late
// has found nothing known: the page says so, not "0 found".
void TestPropertiesPage::lateSearchResultIsNoResult() {
    PropertiesWindow w;
    w.installation->setSensorFault(kSensor, sim::Fault::Late);
    w.click("Button29");
    QCOMPARE(w.mess(), QStringLiteral("ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА С РЕЗУЛЬТАТОМ"));
    QVERIFY(w.edit("reIDT1")->text().isEmpty());
}

void TestPropertiesPage::thermometerSearchAndReorder() {
    PropertiesWindow w;
    w.sensor().badSearchCode = 3;
    w.click("Button29");
    QCOMPARE(w.mess(), QStringLiteral("НАЙДЕНО ТЕРМОМЕТРОВ : 4"));
    QCOMPARE(w.edit("reIDT3")->text(), QString::fromLatin1(w.sensor().cells[0x84]));
    QVERIFY(w.edit("reIDT4")->text().isEmpty());
    QVERIFY(!w.installation->controller(0)->transit || w.find<QToolButton>("sbTrans")->isChecked());

    w.click("btGetTProp");
    auto* up = w.find<QPushButton>("bbTUp");
    auto* down = w.find<QPushButton>("bbTDwn");
    const QString third = w.edit("reIDT3")->text();
    const QString fourth = w.edit("reIDT4")->text();
    QTest::mouseClick(w.edit("reIDT4"), Qt::LeftButton);
    // The top identifier cannot go higher, it can go lower.
    QVERIFY(!up->isEnabled());
    QVERIFY(down->isEnabled());
    QTest::mouseClick(down, Qt::LeftButton);
    QCOMPARE(w.edit("reIDT3")->text(), fourth);
    QCOMPARE(w.edit("reIDT4")->text(), third);
    QCOMPARE(w.edit("reHT3")->text(), QStringLiteral("2100")); // heights stay
    QVERIFY(w.edit("reIDT3")->styleSheet().contains(QLatin1String("#A6CAF0")));
    QVERIFY(up->isEnabled());
    QTest::mouseClick(w.edit("reIDT1"), Qt::LeftButton);
    QVERIFY(!down->isEnabled());
    // A second click gives the selection up.
    QTest::mouseClick(w.edit("reIDT1"), Qt::LeftButton);
    QVERIFY(!down->isEnabled() && !up->isEnabled());
}

void TestPropertiesPage::builderHandOver() {
    PropertiesWindow w;
    auto* tab = w.find<QWidget>("tsTProp")->findChild<ThermometerTab*>();
    QVERIFY(tab);
    tab->TakeBuilderGrid({{"", "500", "10E8C3A401080065", "", "", "", "V"},
                          {"", "900", "10E8C3A401080065", "", "", "", ""},
                          {"", "1500", "28E8C3A401080094", "", "", "", "V"},
                          {"", "2100", "10000000000000FB", "", "", "", "V"}});
    // Last row first; only thermometers marked "V".
    QCOMPARE(w.edit("reIDT1")->text(), QStringLiteral("10000000000000FB"));
    QCOMPARE(w.edit("reHT1")->text(), QStringLiteral("2100"));
    QCOMPARE(w.edit("reIDT2")->text(), QStringLiteral("10E8C3A401080065"));
    QVERIFY(w.mark("sbTID2")->isChecked() && w.mark("sbTH2")->isChecked());
    QVERIFY(w.edit("reIDT3")->text().isEmpty());
}

// An identifier that is not one is refused whichever way it reached the
// page: pasted, from the section builder, from a database; the line hears
// nothing and the status line names the place, the text and the rule.
void TestPropertiesPage::identifierRefusedBeforeAnyFrame_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("mess");
    const QString injection = QStringLiteral("10AB@014F010032*");
    QTest::newRow("pasted") << "pasted" << injection << "reIDT3"
                            << "ТЕРМОМЕТР 3 \"10AB@014F010032*\": не шестнадцатеричные символы";
    QTest::newRow("pasted, CRC") << "pasted"
                                 << "108CE7E95A3AAA38"
                                 << "reIDT3"
                                 << "ТЕРМОМЕТР 3 \"108CE7E95A3AAA38\": CRC не совпадает";
    QTest::newRow("builder") << "builder" << injection << "reIDT1"
                             << "ТЕРМОМЕТР 1 \"10AB@014F010032*\": не шестнадцатеричные символы";
    QTest::newRow("database") << "database" << injection << "reIDT2"
                              << "ТЕРМОМЕТР 2 \"10AB@014F010032*\": не шестнадцатеричные символы";
    QTest::newRow("density meter") << "density"
                                   << "4453705400001234"
                                   << "reIDD1"
                                   << "ПЛОТНОМЕР 1 \"4453705400001234\": CRC не совпадает";
    QTest::newRow("density meter, injection") << "density"
                                              << "4453705400@4*"
                                              << "reIDD1"
                                              << "ПЛОТНОМЕР 1 \"4453705400@4*\": не 16 символов";
}

void TestPropertiesPage::identifierRefusedBeforeAnyFrame() {
    QFETCH(QString, way);
    QFETCH(QString, id);
    QFETCH(QString, field);
    QFETCH(QString, mess);
    PropertiesWindow w;
    auto* tab = w.find<QWidget>("tsTProp")->findChild<ThermometerTab*>();
    QVERIFY(tab);
    // A good place beside it is not written either.
    w.setMarked("reHT4", "sbTH4", "2500");
    const QByteArray cells = w.sensor().cells[0x83] + w.sensor().cells[0x81];
    const int seen = w.installation->requestsSeen();
    if (way == QLatin1String("pasted")) {
        w.setMarked("reIDT3", "sbTID3", id);
        w.setMarked("reHT3", "sbTH3", "1500");
    } else if (way == QLatin1String("builder")) {
        tab->TakeBuilderGrid({{"", "1500", id, "", "", "", "V"}});
        w.setMarked("reHT4", "sbTH4", "2500");
    } else if (way == QLatin1String("database")) {
        tab->setPlace(1, id, QStringLiteral("1500"), true);
    } else {
        w.setMarked("reIDD1", "sbDID1", id);
        w.setMarked("reHD1", "sbDH1", "700");
    }
    w.click(way == QLatin1String("density") ? "BitBtn4" : "btTermSet");
    QVERIFY2(w.mess().startsWith(mess), qPrintable(w.mess()));
    QVERIFY(w.red(field.toLatin1().constData()));
    QCOMPARE(w.installation->requestsSeen(), seen);
    QCOMPARE(w.sensor().cells[0x83] + w.sensor().cells[0x81], cells);
}

void TestPropertiesPage::densityMeters() {
    PropertiesWindow w;
    QTest::mouseClick(w.find<QToolButton>("btNorm"), Qt::LeftButton);
    w.click("btGetDProp");
    QVERIFY(w.edit("reIDD1")->text().startsWith(QStringLiteral("4453705400")));
    QCOMPARE(w.edit("reADD2")->text(), QStringLiteral("1.0"));
    QVERIFY(w.edit("reIDD3")->text().isEmpty());
    // Entry of an identifier: Enter on empty gives the prefix, 12 completes.
    QLineEdit* id = w.edit("reIDD3");
    QTest::keyClick(id, Qt::Key_Return);
    QCOMPARE(id->text(), QStringLiteral("4453705400"));
    id->clear();
    QTest::keyClicks(id, "1g2");
    QCOMPARE(id->text(), QStringLiteral("12"));
    QTest::keyClick(id, Qt::Key_Return);
    QCOMPARE(id->text(), sensor::completeDensityId(QStringLiteral("44537054000012")));
    // A correction that is no number stops nothing else.
    w.setMarked("reHD1", "sbDH1", "750");
    w.setMarked("reADD1", "sbDAD1", "1.2.3");
    w.setMarked("reADD2", "sbDAD2", "-0,5");
    w.click("BitBtn4");
    QCOMPARE(w.mess(), QStringLiteral("Плотномер 1: поправка \"1.2.3\": допустимо от -999.9 до "
                                      "999.9, шаг 0.1"));
    QVERIFY(w.red("reADD1"));
    QVERIFY(w.mark("sbDAD1")->isChecked());
    QCOMPARE(w.sensor().cells[0x09], QByteArray("\x02\xEE", 2));
    QCOMPARE(w.sensor().densityCorrections[1], -0.5f);
    QVERIFY(!w.mark("sbDAD2")->isChecked());
    QVERIFY(!w.installation->controller(0)->transit);
}

void TestPropertiesPage::densityKeyFilter_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("height digits") << "reHD2"
                                   << "1a2-3"
                                   << "123";
    QTest::newRow("correction") << "reADD2"
                                << "-1x,5"
                                << "-1.5";
    QTest::newRow("identifier upper case, 16 at most") << "reIDD2"
                                                       << "4453705400001234ff"
                                                       << "4453705400001234";
}

void TestPropertiesPage::densityKeyFilter() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    PropertiesWindow w;
    QLineEdit* e = w.edit(field.toLatin1().constData());
    QTest::keyClicks(e, typed);
    QCOMPARE(e->text(), shown);
    QTest::keyClick(e, Qt::Key_Backspace);
    QCOMPARE(e->text(), shown.chopped(1));
}

// Installed, the help pages are found under share/orvant2.
void TestPropertiesPage::helpOfAnInstallation() {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("usr/bin")));
    QDir().mkpath(dir.filePath(QStringLiteral("usr/share/orvant2/help")));
    putFile(dir, "usr/share/orvant2/help/tsProp.html", "<p>x</p>");
    putFile(dir, "usr/share/orvant2/help/index.html", "<p>i</p>");
    const QString bin = dir.filePath(QStringLiteral("usr/bin"));
    QCOMPARE(helpFileFor(bin, QStringLiteral("tsProp")),
             QDir(dir.filePath(QStringLiteral("usr/share/orvant2/help"))).canonicalPath() +
                 QStringLiteral("/tsProp.html"));
    QVERIFY(helpFileFor(bin, QStringLiteral("tsNone")).endsWith(QLatin1String("/index.html")));
}
