#include "tst_properties.h"

#include "app/Modes.h"
#include "ui/AddressBar.h"
#include "ui/Help.h"
#include "ui/UiWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int kSensor = 2;

// The properties page on sensor 3 (address 2) behind controller 0, transit on.
struct PropertiesWindow : Window {
    PropertiesWindow() : Window("controller 0 0 4") {
        form->ScanForControllers();
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

void TestPropertiesPage::badTextIsNeverSent() {
    PropertiesWindow w;
    const QByteArray before = w.sensor().cells[0x90];
    w.setMarked("reFnd", "sbFndEn", "abc");
    w.setMarked("reCrt", "sbCrtEn", "2.5");
    w.click("BitBtn3");
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО"));
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
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСАНО НЕ ВСЁ"));
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
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСАНО НЕ ВСЁ"));
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
    QTest::newRow("section correction") << "reSAdd4"
                                        << "0,2-5"
                                        << "0.25";
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
