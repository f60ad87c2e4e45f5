#include "tst_controller_pages.h"

#include "UiWindow.h"
#include "app/Modes.h"
#include "common/CommandLog.h"
#include "common/SensorBench.h"
#include "link/FrameCodec.h"
#include "ui/AddressBar.h"
#include "ui/ControllerStatusPage.h"
#include "ui/TCVForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

// The window on one of the controller pages, after a scan.
struct ControllerWindow : Window {
    ControllerWindow(const char* scenario, const char* mode, const QString& config = {})
        : Window(scenario, config) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>(mode), Qt::LeftButton);
        page = form->findChild<QWidget*>(
            QLatin1String(QLatin1String(mode) == QLatin1String("miKStat") ? "tsKStat" : "tsKCfg"));
        form->link().setObserver(&log);
    }
    template <typename T> T* on(const char* name) const {
        return page->findChild<T*>(QLatin1String(name));
    }
    void click(const char* name) const {
        QTest::mouseClick(on<QAbstractButton>(name), Qt::LeftButton);
    }
    void clickLabel(const char* name) const {
        QTest::mouseClick(on<QWidget>(name), Qt::LeftButton);
    }
    QWidget* page = nullptr;
    CommandLog log;
};

StartOptions withStatusPage() {
    StartOptions o;
    o.controllerStatus = true;
    return o;
}

struct StatusWindow : Window {
    explicit StatusWindow(const char* scenario) : Window(scenario, {}, withStatusPage()) {
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miKStat"), Qt::LeftButton);
        page = form->findChild<ControllerStatusPage*>();
        form->link().setObserver(&log);
    }
    void clickLabel(const char* name) const {
        QTest::mouseClick(find<QWidget>(name), Qt::LeftButton);
    }
    QStringList lit(const char* row) const {
        QStringList out;
        const auto lamps = page->lamps(QLatin1String(row));
        for (std::size_t i = 0; i < lamps.size(); ++i)
            if (lamps[i])
                out << QString::number(i);
        return out;
    }
    ControllerStatusPage* page = nullptr;
    CommandLog log;
};

} // namespace

void TestControllerPages::getShowsTheController() {
    ControllerWindow w("type 0\ncontroller 0 0 4\ncontroller 3 4 8", "miKipKfg");
    w.installation->controller(0)->interval = 105;
    w.click("btGetKCfg");
    QCOMPARE(w.log.sent, (QStringList{"80:03", "80:09", "80:08", "80:0A", "80:0B"}));
    QCOMPARE(w.on<QSlider>("tbInt")->value(), 105);
    QCOMPARE(w.on<QLabel>("stInt")->text(), QLocale().toString(10.5));
    QCOMPARE(w.on<QComboBox>("cbMHost")->currentText(), QStringLiteral("RS485"));
    QCOMPARE(w.on<QComboBox>("cbSHost")->currentText(), QStringLiteral("RS232"));
    QCOMPARE(w.on<QLineEdit>("reWPwd")->text(), QStringLiteral("1111"));
    QCOMPARE(w.on<QLineEdit>("reSPwd")->text(), QStringLiteral("2580"));
    QCOMPARE(w.on<QComboBox>("cbKipAdr")->currentText(), QStringLiteral("1"));
    QCOMPARE(w.on<QLineEdit>("reFAdr")->text(), QStringLiteral("1"));
    QCOMPARE(w.on<QComboBox>("cbSNum")->currentText(), QStringLiteral("4"));
    QVERIFY(w.on<QCheckBox>("cbSMap")->isChecked());
    // Another controller: nothing of the first one stays on the page.
    QTest::mouseClick(w.find<AddressBar>("KipAdrBar")->button(3), Qt::LeftButton);
    QVERIFY(w.on<QLineEdit>("reWPwd")->text().isEmpty());
    QCOMPARE(w.on<QComboBox>("cbKipAdr")->currentIndex(), -1);
    w.click("btGetKCfg");
    QCOMPARE(w.on<QComboBox>("cbKipAdr")->currentText(), QStringLiteral("4"));
    QCOMPARE(w.on<QLineEdit>("reFAdr")->text(), QStringLiteral("5"));
    QCOMPARE(w.on<QComboBox>("cbSNum")->currentText(), QStringLiteral("8"));
}

void TestControllerPages::addressWriteMovesTheEntry() {
    ControllerWindow w("controller 0 0 4", "miKipKfg");
    w.click("btGetKCfg");
    w.on<QComboBox>("cbKipAdr")->setCurrentIndex(3);
    w.click("sbKAdr");
    w.click("btSetKCfg");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QVERIFY(!w.on<QToolButton>("sbKAdr")->isChecked());
    const app::WorkingState& s = w.form->state();
    QCOMPARE(s.selectedControllerAddress, 0x83);
    QCOMPARE(s.layout.ControllerTable[3].sensorCount, 4);
    QCOMPARE(s.layout.ControllerTable[0].sensorCount, 0);
    QCOMPARE(s.layout.selectedControllers, quint32(1u << 3));
    auto* bar = w.find<AddressBar>("KipAdrBar");
    QVERIFY(!bar->button(0)->isEnabled());
    QVERIFY(bar->button(3)->isEnabled() && bar->button(3)->isChecked());
    // The controller answers at its new address from now on.
    w.click("btGetKCfg");
    QCOMPARE(w.log.sent.last(), QStringLiteral("83:0B"));
    QCOMPARE(w.on<QComboBox>("cbKipAdr")->currentText(), QStringLiteral("4"));
}

// The page writes through the one workflow "controller K set" uses: the own
// address last, so that the range still goes to the controller where it
// was; the layout follows both.
void TestControllerPages::addressWrittenLast() {
    ControllerWindow w("controller 0 0 4", "miKipKfg");
    w.click("btGetKCfg");
    w.log.frames.clear();
    w.on<QComboBox>("cbKipAdr")->setCurrentIndex(3);
    w.click("sbKAdr");
    w.on<QLineEdit>("reFAdr")->setText(QStringLiteral("9"));
    w.click("sbFAdr");
    w.click("btSetKCfg");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.log.frames, (QByteArrayList{requestFrame(0x80, 0x0A, QByteArray("\x02\x08", 2)),
                                           requestFrame(0x80, 0x0A, QByteArray("\x01\x03", 2))}));
    QVERIFY(!w.on<QToolButton>("sbKAdr")->isChecked());
    QVERIFY(!w.on<QToolButton>("sbFAdr")->isChecked());
    const app::WorkingState& s = w.form->state();
    QCOMPARE(s.selectedControllerAddress, 0x83);
    QCOMPARE(s.layout.ControllerTable[3].firstSensorAddress, 8);
    QCOMPARE(s.layout.ControllerTable[3].sensorCount, 4);
    QCOMPARE(w.installation->controller(3)->first, 8);
}

void TestControllerPages::rangeWriteRebuildsTheLayout() {
    ControllerWindow w("controller 0 0 4", "miKipKfg");
    w.on<QLineEdit>("reFAdr")->setText(QStringLiteral("9"));
    w.click("sbFAdr");
    w.on<QComboBox>("cbSNum")->setCurrentIndex(5);
    w.click("sbSNum");
    w.click("btSetKCfg");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.log.frames, (QByteArrayList{requestFrame(0x80, 0x0A, QByteArray("\x02\x08", 2)),
                                           requestFrame(0x80, 0x0A, QByteArray("\x03\x06", 2))}));
    const app::ControllerLayout& l = w.form->state().layout;
    QCOMPARE(l.ControllerTable[0].firstSensorAddress, 8);
    QCOMPARE(l.ControllerTable[0].sensorCount, 6);
    QCOMPARE(l.lowestSensorAddress, 8);
    QCOMPARE(l.sensorAddressEnd, 14);
}

// A С6 line has 32 controller addresses: one past 16 is shown and can be
// moved further, its entry with it.
void TestControllerPages::addressPastSixteen() {
    ControllerWindow w("type 3\ncontroller 19 0 4", "miKipKfg", QStringLiteral("KIP_TYP=3\n"));
    auto* address = w.on<QComboBox>("cbKipAdr");
    QCOMPARE(address->count(), 32);
    w.click("btGetKCfg");
    QCOMPARE(address->currentText(), QStringLiteral("20"));
    address->setCurrentIndex(24);
    w.click("sbKAdr");
    w.click("btSetKCfg");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.log.frames.last(), requestFrame(0x93, 0x0A, QByteArray("\x01\x18", 2)));
    QCOMPARE(w.installation->controller(24)->index, 24);
    const app::WorkingState& s = w.form->state();
    QCOMPARE(s.selectedControllerAddress, 0x98);
    QCOMPARE(s.layout.ControllerTable[24].sensorCount, 4);
    QVERIFY(w.find<AddressBar>("KipAdrBar")->button(24)->isChecked());
    // Types scanned over eight addresses keep the sixteen entries.
    w.form->findChild<TCVForm*>()->cbKipBClick(1);
    QCOMPARE(address->count(), 16);
}

// A rebuilt layout never sends the rest of the press to another controller.
void TestControllerPages::rangeWriteStaysOnItsController() {
    ControllerWindow w("controller 0 0 4\ncontroller 2 4 4", "miKipKfg");
    QTest::mouseClick(w.find<AddressBar>("KipAdrBar")->button(2), Qt::LeftButton);
    w.on<QLineEdit>("reFAdr")->setText(QStringLiteral("9"));
    w.click("sbFAdr");
    w.on<QComboBox>("cbSNum")->setCurrentIndex(5);
    w.click("sbSNum");
    w.on<QCheckBox>("cbSMap")->setChecked(false);
    w.click("sbSMap");
    w.click("btSetKCfg");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    // The map is read, changed in its one bit and written.
    QCOMPARE(w.log.sent, (QStringList{"82:0A", "82:0A", "82:0B", "82:0B"}));
    QCOMPARE(int(w.form->state().selectedControllerAddress), 0x82);
    QCOMPARE(w.installation->controller(2)->count, 6);
    QCOMPARE(w.installation->controller(0)->count, 4);
    QVERIFY(w.find<AddressBar>("KipAdrBar")->button(2)->isChecked());
}

void TestControllerPages::directTypeExchangesTheIntervalOnly() {
    ControllerWindow w("type 2\nsensors 4 2", "miKipKfg", QStringLiteral("KIP_TYP=2\nKIP_B=4,2\n"));
    QVERIFY(!w.on<QWidget>("pKipPr")->isVisibleTo(w.page));
    QTest::mouseClick(w.find<AddressBar>("SnsAdrBar")->button(5), Qt::LeftButton);
    w.on<QSlider>("tbInt")->setValue(40);
    for (const char* mark : {"sbSInt", "sbKAdr", "sbSMap"})
        w.on<QToolButton>(mark)->setChecked(true);
    w.click("btSetKCfg");
    QCOMPARE(w.log.sent, QStringList{"85:03"});
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.installation->controller(5)->interval, 40);
    w.log.sent.clear();
    w.click("btGetKCfg");
    QCOMPARE(w.log.sent, QStringList{"85:03"});
}

void TestControllerPages::shortPasswordKeepsItsMark() {
    ControllerWindow w("type 1\ncontroller 0 0 4", "miKipKfg");
    QTest::keyClicks(w.on<QLineEdit>("reWPwd"), QStringLiteral("12a3"));
    QCOMPARE(w.on<QLineEdit>("reWPwd")->text(), QStringLiteral("123"));
    QTest::keyClicks(w.on<QLineEdit>("reSPwd"), QStringLiteral("456789"));
    w.click("sbWPwd");
    w.click("sbSPwd");
    w.click("btSetKCfg");
    QVERIFY(w.on<QToolButton>("sbWPwd")->isChecked());
    QVERIFY(!w.on<QToolButton>("sbSPwd")->isChecked());
    QCOMPARE(w.installation->controller(0)->systemPassword, QByteArray("4567"));
    QCOMPARE(w.installation->controller(0)->workingPassword, QByteArray("1111"));
    QCOMPARE(w.log.sent, QStringList{"80:08"});
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО: НЕДОПУСТИМОЕ ЗНАЧЕНИЕ"));
}

void TestControllerPages::unconfirmedWriteSaysSo() {
    ControllerWindow w("type 1\ncontroller 0 0 4", "miKipKfg");
    w.on<QCheckBox>("cbSMap")->setChecked(false);
    w.click("sbSMap");
    w.click("sbSInt");
    w.installation->setControllerFault(0, sim::Fault::Silent);
    w.click("btSetKCfg");
    // The cause, as the CLI says it.
    QCOMPARE(w.mess(), QStringLiteral("НЕ ЗАПИСАНО: НЕТ ОТВЕТА"));
    QVERIFY(w.on<QToolButton>("sbSMap")->isChecked());
    QVERIFY(w.on<QToolButton>("sbSInt")->isChecked());
    // The next write sends the marked items again.
    w.installation->setControllerFault(0, sim::Fault::None);
    w.click("btSetKCfg");
    QCOMPARE(w.mess(), QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА"));
    QCOMPARE(w.installation->controller(0)->option, 0x04);
}

void TestControllerPages::dialogCaptionsPerType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("offered");
    QTest::newRow("N5") << 0 << "1 x 16"
                        << "Используется КИП-Н5"
                        << "КИП-Н5" << true;
    QTest::newRow("N6") << 1 << "1 x 12"
                        << "Используется КИП-Н6"
                        << "КИП-Н6" << true;
    QTest::newRow("C5 keeps it") << 2 << "1 x 4"
                                 << "Используется КИП-С5"
                                 << "КИП-С5" << true;
    QTest::newRow("C6") << 3 << "1 x 4"
                        << "Используется КИП-С6"
                        << "КИП-С6" << true;
    // Known to the type table, not offered in the dialog.
    QTest::newRow("C7") << 4 << "1 x 2"
                        << "Используется КИП-С7"
                        << "КИП-С7" << false;
    QTest::newRow("none keeps it") << 5 << "1 x 4"
                                   << "КИП не используется"
                                   << "Без КИП" << true;
}

void TestControllerPages::dialogCaptionsPerType() {
    QFETCH(int, type);
    QFETCH(QString, caption);
    QFETCH(QString, label);
    QFETCH(QString, choice);
    QFETCH(bool, offered);
    Window w("controller 0 0 4");
    auto* dialog = w.form->findChild<TCVForm*>();
    dialog->show();
    // The choices are the type table's rows, one each.
    QCOMPARE(dialog->findChildren<QRadioButton*>().size(), app::kControllerTypes);
    auto* button = dialog->findChild<QRadioButton*>(app::controllerType(type).choice);
    QVERIFY(button);
    QCOMPARE(button->text(), choice);
    QCOMPARE(button->isVisible(), offered);
    dialog->cbKipBClick(type == 4 ? 4 : 3);
    dialog->cbKipBClick(type);
    QCOMPARE(dialog->findChild<QPushButton*>("btDefCfg")->text(), caption);
    QCOMPARE(w.find<QLabel>("KipLabel")->text(), label);
    QCOMPARE(dialog->findChild<QWidget*>("pGrid")->isVisible(), type != 2 && type != 5);
    QCOMPARE(dialog->findChild<QWidget*>("pNoKip")->isVisible(), type == 5);
    // The radio button keeps the layout; the default button applies the type's.
    QTest::mouseClick(dialog->findChild<QPushButton*>("btDefCfg"), Qt::LeftButton);
    QCOMPARE(w.form->state().layout.ControllerTable[0].sensorCount, app::defaultSensorCount(type));
    dialog->reject();
}

void TestControllerPages::dialogScanFillsTheList() {
    Window w("controller 0 0 4\ncontroller 2 8 4");
    auto* dialog = w.form->findChild<TCVForm*>();
    dialog->show();
    auto* get = dialog->findChild<QToolButton*>("sbGet");
    QTest::mouseClick(get, Qt::LeftButton);
    QVERIFY(!get->isChecked());
    auto* list = dialog->findChild<QTreeWidget*>("lvCfg");
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("3"));
    QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("9"));
    QCOMPARE(list->topLevelItem(1)->text(4), QStringLiteral("12"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("btSave"), Qt::LeftButton);
    QVERIFY(w.configText().contains(QStringLiteral("KIP3=8,4")));
    // Reloading after an edit gives the saved layout back.
    w.form->state().layout.ControllerTable[2].sensorCount = 1;
    QTest::mouseClick(dialog->findChild<QPushButton*>("btLoad"), Qt::LeftButton);
    QCOMPARE(w.form->state().layout.ControllerTable[2].sensorCount, 4);
    dialog->reject();
}

void TestControllerPages::dialogDirectRange() {
    Window w("type 2\nsensors 4 2", QStringLiteral("KIP_TYP=2\n"));
    auto* dialog = w.form->findChild<TCVForm*>();
    dialog->show();
    QVERIFY(dialog->findChild<QWidget*>("pRange")->isVisible());
    auto* first = dialog->findChild<QLineEdit*>("reFAdr");
    auto* last = dialog->findChild<QLineEdit*>("reLAdr");
    first->setText(QStringLiteral("7"));
    last->setText(QStringLiteral("5"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("btSave"), Qt::LeftButton);
    QVERIFY(dialog->isVisible()); // refused: the range ends before it starts
    last->setText(QStringLiteral("9"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("btSave"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QVERIFY(w.configText().contains(QStringLiteral("KIP_B=6,3")));
    QCOMPARE(w.form->state().layout.sensorAddressEnd, 9);
}

void TestControllerPages::dialogWithoutController() {
    Window w("controller 0 0 4", {}, withStatusPage());
    QTest::mouseClick(w.find<QToolButton>("miKipKfg"), Qt::LeftButton);
    w.form->state().sensorAddress = 3;
    auto* dialog = w.form->findChild<TCVForm*>();
    dialog->show();
    dialog->findChild<QRadioButton*>("rbNoKip")->click();
    QVERIFY(dialog->findChild<QWidget*>("pNoKip")->isVisible());
    QTest::mouseClick(dialog->findChild<QPushButton*>("btNorm"), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    const app::ControllerLayout& l = w.form->state().layout;
    QCOMPARE(l.ControllerTable[0].firstSensorAddress, 3);
    QCOMPARE(l.ControllerTable[0].sensorCount, 1);
    // A controller page makes no sense without a controller.
    QCOMPARE(w.form->state().currentMode, int(app::TagStat));
}

void TestControllerPages::statusLampsAndMode() {
    StatusWindow w("controller 0 0 4");
    w.clickLabel("stKipStat");
    QCOMPARE(w.log.sent, QStringList{"80:7C"});
    QCOMPARE(w.find<QLabel>("lbSens")->text(), QStringLiteral("4"));
    QCOMPARE(w.lit("sbSens"), (QStringList{"0", "1", "2", "3"}));
    // FLSH off, SUP on.
    QCOMPARE(w.lit("sbGlob"), QStringList{"7"});
    // The dump as the CLI prints it: one function makes both.
    QCOMPARE(w.find<QLabel>("stKipStat")->text(), QStringLiteral("04 00 0F 01 81 0C 00 12 00 41"));
    QCOMPARE(w.find<QLabel>("lbMod")->text(), QStringLiteral("00 ЗАПРОС  СТАТУСА"));
    w.clickLabel("stKipStat");
    QCOMPARE(w.find<QLabel>("lbMod")->text(), QStringLiteral("03 ПОЛУЧЕНИЕ  КОНФИГУРАЦИИ"));
}

void TestControllerPages::statusFallbackKeepsSelection() {
    StatusWindow w("controller 0 0 4\ncontroller 3 4 8");
    w.installation->setControllerFault(0, sim::Fault::Silent);
    w.clickLabel("stKipStat");
    QCOMPARE(w.find<QLabel>("lbSens")->text(), QStringLiteral("8"));
    QCOMPARE(w.form->state().selectedControllerAddress, 0x80);
    QCOMPARE(w.log.sent.last(), QStringLiteral("83:7C"));
    QVERIFY(w.mess().isEmpty());
}

void TestControllerPages::statusSilentLeavesNoStaleLamps() {
    StatusWindow w("controller 0 0 4");
    w.clickLabel("stKipStat");
    QVERIFY(!w.lit("sbGlob").isEmpty());
    // Nobody answers the next read: nothing of the last one stays.
    w.installation->setControllerFault(0, sim::Fault::Silent);
    w.clickLabel("stKipStat");
    QCOMPARE(w.log.sent.size(), 1 + 1 + 15);
    QVERIFY(w.lit("sbGlob").isEmpty());
    QVERIFY(w.lit("sbSens").isEmpty());
    QVERIFY(w.find<QLabel>("lbMod")->text().isEmpty());
    QVERIFY(w.find<QLabel>("lbSens")->text().isEmpty());
    QVERIFY(w.find<QLabel>("stKipStat")->text().isEmpty());
}

void TestControllerPages::keyboardStatusWhereThatProcessorIs_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("status");
    QTest::addColumn<bool>("update");
    QTest::newRow("Н5") << 0 << true << true;
    QTest::newRow("Н6") << 1 << true << false;
    QTest::newRow("С5") << 2 << true << false;
    QTest::newRow("С6") << 3 << true << false;
    QTest::newRow("С7") << 4 << true << true;
    QTest::newRow("none") << 5 << false << false;
}

// The status sub-page follows the processor; only its programming is limited
// to the types where it has a port of its own.
void TestControllerPages::keyboardStatusWhereThatProcessorIs() {
    QFETCH(int, type);
    QFETCH(bool, status);
    QFETCH(bool, update);
    const QString scenario = type == 2 ? QStringLiteral("type 2\nsensors 0 4")
                                       : QStringLiteral("type %1\ncontroller 0 0 4").arg(type);
    Window w(scenario.toUtf8().constData(), QStringLiteral("KIP_TYP=%1\n").arg(type),
             withStatusPage());
    w.form->layoutActions().scan();
    QCOMPARE(w.find<QTabWidget>("pcSrvStat")->isTabVisible(1), status);
    QCOMPARE(w.find<QTabWidget>("pcKipUp")->isTabVisible(1), update);
    if (!status)
        return;
    QTest::mouseClick(w.find<QToolButton>("miKStat"), Qt::LeftButton);
    w.find<QTabWidget>("pcSrvStat")->setCurrentIndex(1);
    // The cable goes to the keyboard/display processor's port.
    w.form->TogglePort();
    w.form->TogglePort();
    QTest::mouseClick(w.find<QWidget>("stSKipStat"), Qt::LeftButton);
    QCOMPARE(
        w.find<QLabel>("stSKipStat")->text().split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 6);
}

void TestControllerPages::keyboardStatusOnItsPort() {
    StatusWindow w("type 0\ncontroller 0 0 4");
    auto* tabs = w.find<QTabWidget>("pcSrvStat");
    tabs->setCurrentIndex(1);
    QCOMPARE(w.form->state().portRole, int(app::SlaveRole));
    // The cable goes to the keyboard/display processor's port.
    QCOMPARE(w.find<QLabel>("Port21")->text(), QStringLiteral("SIM-KBD"));
    w.form->TogglePort();
    w.form->TogglePort();
    w.clickLabel("stSKipStat");
    QCOMPARE(
        w.find<QLabel>("stSKipStat")->text().split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 6);
    QCOMPARE(w.lit("sbWCh"), (QStringList{"0", "1", "2", "3"}));
    QCOMPARE(w.lit("sbSGlob"), QStringList{"3"}); // STS
    // The main sub-page's values are left alone.
    QVERIFY(w.find<QLabel>("lbSens")->text().isEmpty());
    tabs->setCurrentIndex(0);
    QCOMPARE(w.form->state().portRole, int(app::MainRole));
}

void TestControllerPages::thermometerIdentifier() {
    StatusWindow w("controller 0 0 4");
    w.find<QComboBox>("cbTID")->setCurrentIndex(2);
    w.clickLabel("stTID_T");
    QCOMPARE(w.log.frames, QByteArrayList{requestFrame(0x80, 0x0F, QByteArray("\x03", 1))});
    QCOMPARE(w.find<QLabel>("stTID_T")->text().size(), 16);
    QVERIFY(w.find<QLabel>("stTID_T")->text().startsWith(QStringLiteral("10")));
}
