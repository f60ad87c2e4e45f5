#include "tst_page_faults.h"
#include "HexFile.h"
#include "UiWindow.h"

#include "common/FaultMatrix.h"
#include "common/FullDisk.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/LineRecording.h"
#include "ui/AddressBar.h"
#include "ui/CalibrationPage.h"
#include "ui/ControllerUpdatePage.h"
#include "ui/PageWidgets.h"
#include "ui/SensorUpdatePage.h"
#include "ui/WriteControls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace {

// The window after a scan, with the page's fields and buttons at hand.
struct FaultWindow : Window {
    FaultWindow(const QString& scenario, const QString& configText, bool tcp = false,
                bool readOnly = false)
        : Window(qPrintable(scenario), configText, options(readOnly), {},
                 tcp ? Transport::Tcp : Transport::Direct) {
        form->layoutActions().scan();
    }
    static StartOptions options(bool readOnly) {
        StartOptions o;
        o.readOnly = readOnly;
        return o;
    }
    template <typename T> T* find(const QString& name) const { return form->findChild<T*>(name); }
    void click(const QString& name) const { find<QAbstractButton>(name)->click(); }
    void mark(const QString& name) const { find<QAbstractButton>(name)->setChecked(true); }
    void setText(const char* name, const QString& text) const {
        find<QLineEdit>(QLatin1String(name))->setText(text);
    }
};

// One write button of a page: where it is, what is done before the fault
// (reads, fields, marks), and what it says when the write was confirmed.
struct PageWrite {
    QString scenario;
    QString config;
    QString mode;
    int sensorButton = -1;
    bool onController = false; // the fault is the controller's, else sensor 2's
    std::function<void(FaultWindow&)> prepare;
    QString button;
    QStringList marks; // left down by a write that was not confirmed
    QStringList successes;
    // Pressed once the line is sound again, before the checks: what lets a
    // boot loader go after a write that stopped short.
    QString release = {};
    // Whether a device that ignores its writes is tried too; by default the
    // sensor's writes are.
    std::optional<bool> ignoredWrites = {};
    // How late a late answer comes: beyond every retry of the write, which
    // would rightly take it (a sensor's block is tried five times).
    int lateMs = faultmatrix::kLateMs;
};

const QString kWritten = QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА");

// A firmware file chosen on the controller's or the sensor's update page.
void chooseControllerFirmware(FaultWindow& w) {
    w.form->findChild<ControllerUpdatePage*>()->HFOpened(hexFile(w.dir, "kip.hex"));
}
void chooseSensorFirmware(FaultWindow& w) {
    w.form->findChild<SensorUpdatePage*>()->HFOpened(
        hexFile(w.dir, "dut.hex", true, "REV DUT 3.60"));
}

// Tables of 30 and 20 rows written on a sound line, for the writes that
// change the allocation table afterwards.
void programTwoTables(FaultWindow& w) {
    auto* page = w.form->findChild<CalibrationPage*>();
    for (int row : {0, 1}) {
        QByteArray text;
        for (int r = 0; r < 30 - 10 * row; ++r)
            text += QStringLiteral("%1=\t%2.0000\t\t0.0010\r\n").arg(r).arg(r).toLatin1();
        page->assignFile(row, putFile(w.dir, row ? "b.vlm" : "a.vlm", text));
        w.click("btTank");
    }
    w.click("btCTProg");
    QCOMPARE(w.form->statusText(), QStringLiteral("ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
}

// The sensor pages hold transit themselves; released, the write switches it.
void releaseTransit(FaultWindow& w) {
    if (w.find<QToolButton>(QStringLiteral("sbTrans"))->isChecked())
        w.click(QStringLiteral("sbTrans"));
}

const std::map<QString, PageWrite>& pageWrites() {
    static const std::map<QString, PageWrite> writes = {
        {"alarm settings",
         {"controller 0 0 4",
          "",
          "miAlarm",
          2,
          true,
          [](FaultWindow& w) {
              w.click("Button4");
              w.setText("reFMax", "1500");
          },
          "Button6",
          {},
          {kWritten}}},
        {"alarm switch-off",
         {"controller 0 0 4",
          "",
          "miAlarm",
          2,
          false,
          [](FaultWindow& w) { w.click("btGetAlarmState"); },
          "sbAlarmBreak0",
          {},
          {"ВЫКЛЮЧЕНО"}}},
        {"alarm outputs",
         {"type 3\ncontroller 0 0 4",
          "KIP_TYP=3\n",
          "miAlarm",
          1,
          true,
          [](FaultWindow& w) { w.click("S6_1_0_0"); },
          "btSetRCfg",
          {},
          {"OK"}}},
        {"sensor settings",
         {"controller 0 0 4",
          "",
          "miSProp",
          2,
          false,
          [](FaultWindow& w) {
              releaseTransit(w);
              w.setText("reSSize", "1000");
              w.mark("sbSizeEn");
          },
          "BitBtn3",
          {"sbSizeEn"},
          {kWritten}}},
        {"segments",
         {"controller 0 0 4",
          "",
          "miSProp",
          2,
          false,
          [](FaultWindow& w) {
              // Held by the page: these writes do not switch it themselves.
              w.setText("reWorkSeg", "150");
              w.setText("reDelSeg", "3");
              w.mark("sbSegCfg");
          },
          "BitBtn5",
          {"sbSegCfg"},
          {kWritten}}},
        {"code update",
         {"controller 0 0 4",
          "",
          "miSProp",
          2,
          false,
          [](FaultWindow& w) {
              w.setText("reAlgNum", "40");
              w.mark("sbAlgNum");
              w.mark("sbCodUp");
          },
          "BitBtn2",
          {"sbAlgNum", "sbCodUp"},
          {kWritten}}},
        {"controller settings",
         {"controller 0 0 4",
          "",
          "miKipKfg",
          -1,
          true,
          [](FaultWindow& w) { w.mark("sbSInt"); },
          "btSetKCfg",
          {"sbSInt"},
          {kWritten}}},
        {"controller channels",
         {"controller 0 0 4",
          "",
          "miKipKfg",
          -1,
          true,
          [](FaultWindow& w) {
              w.find<QComboBox>(QStringLiteral("cbMHost"))->setCurrentIndex(2);
              w.find<QComboBox>(QStringLiteral("cbSHost"))->setCurrentIndex(1);
              w.mark("sbMChan");
              w.mark("sbSChan");
          },
          "btSetKCfg",
          {"sbMChan", "sbSChan"},
          {kWritten}}},
        {"controller passwords",
         {"controller 0 0 4",
          "",
          "miKipKfg",
          -1,
          true,
          [](FaultWindow& w) {
              w.setText("reWPwd", "4321");
              w.setText("reSPwd", "9876");
              w.mark("sbWPwd");
              w.mark("sbSPwd");
          },
          "btSetKCfg",
          {"sbWPwd", "sbSPwd"},
          {kWritten}}},
        {"controller addresses",
         {"controller 0 0 4",
          "",
          "miKipKfg",
          -1,
          true,
          [](FaultWindow& w) {
              // Its own address again: the link finds it where it was.
              w.find<QComboBox>(QStringLiteral("cbKipAdr"))->setCurrentIndex(0);
              w.setText("reFAdr", "2");
              w.find<QComboBox>(QStringLiteral("cbSNum"))->setCurrentIndex(2);
              w.mark("sbKAdr");
              w.mark("sbFAdr");
              w.mark("sbSNum");
          },
          "btSetKCfg",
          {"sbKAdr", "sbFAdr", "sbSNum"},
          {kWritten}}},
        {"controller sensor map",
         {"controller 0 0 4",
          "",
          "miKipKfg",
          -1,
          true,
          [](FaultWindow& w) {
              w.find<QCheckBox>(QStringLiteral("cbSMap"))->setChecked(false);
              w.mark("sbSMap");
          },
          "btSetKCfg",
          {"sbSMap"},
          {kWritten}}},
        {"section corrections",
         {"controller 0 0 4",
          "",
          "miSProp",
          2,
          false,
          [](FaultWindow& w) {
              releaseTransit(w);
              w.setText("reSAdd1", "1.5");
              w.mark("sbSAdd1");
          },
          "BitBtn6",
          {"sbSAdd1"},
          {kWritten}}},
        {"thermometers",
         {"controller 0 0 4",
          "",
          "miSProp",
          2,
          false,
          [](FaultWindow& w) {
              releaseTransit(w);
              w.click("btGetTProp"); // a height goes only to a place with an identifier
              w.setText("reHT1", "1500");
              w.mark("sbTH1");
          },
          "btTermSet",
          {"sbTH1"},
          {kWritten}}},
        {"density meters",
         {"controller 0 0 4",
          "",
          "miSProp",
          2,
          false,
          [](FaultWindow& w) {
              releaseTransit(w);
              w.click("btGetDProp"); // a height goes only to a place with an identifier
              w.setText("reHD1", "700");
              w.mark("sbDH1");
              w.setText("reADD1", "1.5");
              w.mark("sbDAD1");
          },
          "BitBtn4",
          {"sbDH1", "sbDAD1"},
          {kWritten}}},
        {"density correction",
         {"controller 0 0 4",
          "",
          "miDens",
          2,
          false,
          [](FaultWindow& w) {
              releaseTransit(w);
              w.setText("reDAdd", "1.5");
          },
          "btSetDAdd",
          {},
          {kWritten}}},
        {"density initialisation",
         {"controller 0 0 4",
          "",
          "miDens",
          2,
          false,
          [](FaultWindow&) {},
          "btDIni",
          {},
          {"ПОПРАВКА ЗАПИСАНА. ОЖИДАНИЕ ЗАВЕРШЕНИЯ."}}},
        {"calibration tables",
         {"controller 0 0 4",
          "",
          "miCT",
          -1,
          true,
          [](FaultWindow& w) {
              QByteArray text;
              for (int r = 0; r < 30; ++r)
                  text += QStringLiteral("%1=\t%2.0000\t\t0.0010\r\n").arg(r).arg(r).toLatin1();
              auto* page = w.form->findChild<CalibrationPage*>();
              page->assignFile(0, putFile(w.dir, "a.vlm", text));
              w.click("btTank");
          },
          "btCTProg",
          {},
          {"ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"}}},
    };
    return writes;
}

// The writes through boot loaders, of the allocation table and of a sensor's
// address: a test function of their own, so that CTest runs it beside the
// first.
const std::map<QString, PageWrite>& loaderAndTableWrites() {
    static const std::map<QString, PageWrite> writes = {
        {"controller link",
         {"controller 0 0 4",
          "",
          "miKipUd",
          -1,
          true,
          chooseControllerFirmware,
          "btLink",
          {},
          {"СВЯЗЬ УСТАНОВЛЕНА"},
          "btFree",
          false}},
        {"controller program",
         {"controller 0 0 4",
          "",
          "miKipUd",
          -1,
          true,
          [](FaultWindow& w) {
              chooseControllerFirmware(w);
              w.click("btLink");
          },
          "btProg",
          {},
          {"ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"},
          "btFree",
          true}},
        {"sensor link",
         {"controller 0 0 4",
          "",
          "MyMenuItem6",
          2,
          false,
          chooseSensorFirmware,
          "btSLink",
          {},
          {"СВЯЗЬ УСТАНОВЛЕНА"},
          "btSFree",
          false}},
        {"sensor program",
         {"controller 0 0 4",
          "",
          "MyMenuItem6",
          2,
          false,
          [](FaultWindow& w) {
              chooseSensorFirmware(w);
              w.click("btSLink");
          },
          "btSProg",
          {},
          {"ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"},
          "btSFree",
          true,
          5 * faultmatrix::kLateMs}},
        {"allocation table",
         {"controller 0 0 4",
          "",
          "miCT",
          -1,
          true,
          [](FaultWindow& w) {
              programTwoTables(w);
              w.click("T1");
              w.click("T2");
              w.click("btExch");
          },
          "btSaveAT",
          {},
          {"ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"},
          "",
          true}},
        {"allocation table cleared",
         {"controller 0 0 4",
          "",
          "miCT",
          -1,
          true,
          programTwoTables,
          "CTDel",
          {},
          {"ТАБЛИЦА ПУСТАЯ"},
          "",
          true}},
        // The only sensor of a line without controllers given address 6.
        {"sensor address",
         {"type 5\nsensors 2 1",
          "KIP_TYP=5\n",
          "",
          -1,
          false,
          [](FaultWindow& w) { w.form->state().sensorAddress = 6; },
          "sbSetSensAddr",
          {},
          {"Адрес установлен"}}},
    };
    return writes;
}

} // namespace

namespace {

// overTcp: each row again through a loopback TCP connection.
void addWriteRows(const std::map<QString, PageWrite>& writes, bool overTcp) {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("tcp");
    for (const bool tcp : {false, true}) {
        if (tcp && !overTcp)
            break;
        for (const auto& [name, write] : writes) {
            QStringList faults = faultmatrix::faultNames();
            // A sensor that answers its reads and ignores its writes: a
            // write taken for done on silence shows.
            if (write.ignoredWrites.value_or(!write.onController))
                faults << QStringLiteral("ignores-writes");
            for (const QString& fault : faults)
                QTest::newRow(qPrintable(name + QLatin1Char(' ') + fault + (tcp ? " tcp" : "")))
                    << name << fault << tcp;
        }
    }
}

// Each write button pressed on its real page under each fault of the line:
// no success is said, its marks stay down, transit is what the ТРАНЗИТ
// button shows, the service mode is ended, and the link answers afterwards.
// Noise before a sound frame and an echoing adapter are no faults: there
// the write is confirmed.
void runWrite(const std::map<QString, PageWrite>& writes) {
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(bool, tcp);
    const PageWrite& op = writes.at(operation);
    const bool echo = fault == QLatin1String(faultmatrix::kEcho) ||
                      fault == QLatin1String(faultmatrix::kEchoOnly);
    // The adapter echoes from the start: the link learns it as it opens.
    FaultWindow w(QStringLiteral("late %1\n%2").arg(op.lateMs).arg(echo ? "echo\n" : "") +
                      op.scenario,
                  op.config, tcp);
    if (!op.mode.isEmpty())
        w.click(op.mode);
    if (op.sensorButton >= 0)
        w.find<AddressBar>(QStringLiteral("SnsAdrBar"))->button(op.sensorButton)->click();
    op.prepare(w);
    const bool unplug = fault == QLatin1String(faultmatrix::kUnplug);
    const bool harmless = faultmatrix::harmless(fault);
    int pumps = 0;
    if (unplug) {
        w.form->link().setPump([&] {
            if (++pumps == 2)
                w.unplug();
        });
    } else if (echo) {
        w.installation->setNoDevices(fault == QLatin1String(faultmatrix::kEchoOnly));
    } else if (op.onController)
        w.installation->setControllerFault(0, *sim::faultFromName(fault));
    else
        w.installation->setSensorFault(faultmatrix::kSensor, *sim::faultFromName(fault));
    w.click(op.button);
    w.form->link().setPump({});
    const QString said = w.form->statusText();
    QVERIFY2(harmless == op.successes.contains(said), qPrintable(said));
    for (const QString& m : op.marks)
        QVERIFY2(w.find<QAbstractButton>(m)->isChecked() != harmless, qPrintable(m));
    if (unplug) {
        QVERIFY(pumps >= 2);
        QVERIFY(!w.form->link().isOpen());
        return;
    }
    w.installation->setControllerFault(0, sim::Fault::None);
    w.installation->setSensorFault(faultmatrix::kSensor, sim::Fault::None);
    w.installation->setNoDevices(false);
    w.form->link().Idle(op.lateMs + 500);
    if (!op.release.isEmpty())
        w.click(op.release);
    if (!w.installation->controller(0)) {
        // Without controllers: the sensor answers where it now is.
        int at = -1;
        for (int a = 0; a < 128 && at < 0; ++a)
            if (w.installation->sensor(a))
                at = a;
        QVERIFY(at >= 0);
        w.installation->setSensorFault(at, sim::Fault::None);
        QVERIFY(bus::AskSensor(w.form->link(), static_cast<std::uint8_t>(at), bus::sns::ReadStatus,
                               bus::Form::Read) >= 1);
        return;
    }
    const sim::SimController& c = *w.installation->controller(0);
    const bool shown = w.find<QToolButton>(QStringLiteral("sbTrans"))->isChecked();
    // A controller that never answered may have entered transit: ТРАНЗИТ
    // stays down for it; one that answered is shown as it is.
    if (fault == QLatin1String(faultmatrix::kEchoOnly))
        QVERIFY(!c.transit || shown);
    else
        QCOMPARE(c.transit, shown);
    QVERIFY(!c.service);
    QVERIFY(!c.inBootLoader[0]);
    QVERIFY(bus::AskController(w.form->link(), 0x80, bus::ctl::ReadVersion, bus::Form::Read) >= 1);
}

} // namespace

void TestPageFaults::writeButtonsUnderLineFaults_data() {
    addWriteRows(pageWrites(), true);
}

void TestPageFaults::writeButtonsUnderLineFaults() {
    runWrite(pageWrites());
}

void TestPageFaults::loaderAndTableWritesUnderLineFaults_data() {
    // The line through TCP is tried with the writes above; these are about
    // the pages' own outcomes.
    addWriteRows(loaderAndTableWrites(), false);
}

void TestPageFaults::loaderAndTableWritesUnderLineFaults() {
    runWrite(loaderAndTableWrites());
}

void TestPageFaults::propertiesSayWhyNotWritten_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("said");
    // The same reason "orvant2-cli sensor N set" gives (tst_cli's
    // sensorSettingsFailures), from the same result and text.
    QTest::newRow("echo-only") << QString::fromLatin1(faultmatrix::kEchoOnly)
                               << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)";
    QTest::newRow("silent") << "silent"
                            << "НЕ ЗАПИСАНО: НЕТ ОТВЕТА";
    QTest::newRow("checksum") << "checksum"
                              << "НЕ ЗАПИСАНО: ОТВЕТ НЕ РАЗОБРАН";
}

// УСТАНОВИТЬ on the properties page says why nothing was written, as the
// CLI does; the marks stay down on what was not.
void TestPageFaults::propertiesSayWhyNotWritten() {
    QFETCH(QString, fault);
    QFETCH(QString, said);
    const bool echoOnly = fault == QLatin1String(faultmatrix::kEchoOnly);
    FaultWindow w(QStringLiteral("late %1\n%2controller 0 0 4")
                      .arg(faultmatrix::kLateMs)
                      .arg(echoOnly ? "echo\n" : ""),
                  QString());
    w.click(QStringLiteral("miSProp"));
    w.find<AddressBar>(QStringLiteral("SnsAdrBar"))->button(faultmatrix::kSensor)->click();
    releaseTransit(w);
    w.setText("reSSize", QStringLiteral("1000"));
    w.mark(QStringLiteral("sbSizeEn"));
    w.setText("reCrt", QStringLiteral("2.5"));
    w.mark(QStringLiteral("sbCrtEn"));
    if (echoOnly)
        w.installation->setNoDevices(true);
    else
        w.installation->setSensorFault(faultmatrix::kSensor, *sim::faultFromName(fault));
    w.click(QStringLiteral("BitBtn3"));
    QCOMPARE(w.form->statusText(), said);
    QVERIFY(w.find<QAbstractButton>(QStringLiteral("sbSizeEn"))->isChecked());
    QVERIFY(w.find<QAbstractButton>(QStringLiteral("sbCrtEn"))->isChecked());
}

namespace {

// A write whose values the device's fields cannot hold, or with nothing
// to write: what is done before the button, and what the status line says.
struct Refusal {
    QString mode;
    std::function<void(FaultWindow&)> prepare;
    QString button;
    QString said;
    QString red; // the field shown refused; empty for none
};

const QString kHuge(40, QLatin1Char('9'));
// A size is whole segments as the sensor tells them.
const QString kSizes =
    QStringLiteral("допустимо от 15 до 65531 мм, шаг сегмента 15.625 мм (широкого сенсора 31.25 "
                   "мм), дробная часть отбрасывается: 15, 31, 46, 62, … 1000, 1015, …");

const std::map<QString, Refusal>& refusals() {
    static const std::map<QString, Refusal> rows = {
        {"level correction, 40 digits",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reFnd", kHuge);
              w.mark("sbFndEn");
          },
          "BitBtn3",
          QStringLiteral("Поправка по уровню \"%1\": допустимо от -3276.8 до 3276.7 мм, шаг 0.1")
              .arg(kHuge),
          "reFnd"}},
        {"size under a segment",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reSSize", "16");
              w.mark("sbSizeEn");
          },
          "BitBtn3", QStringLiteral("Размер сенсора уровня \"16\": ") + kSizes, "reSSize"}},
        {"size between segments",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reSSize", "1010");
              w.mark("sbSizeEn");
          },
          "BitBtn3", QStringLiteral("Размер сенсора уровня \"1010\": ") + kSizes, "reSSize"}},
        {"section, 40 digits",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reSAdd4", kHuge);
              w.mark("sbSAdd4");
          },
          "BitBtn6",
          QStringLiteral("Секционная поправка № 4 \"%1\": допустимо от -999.999 до 999.999 мм, "
                         "шаг 0.001")
              .arg(kHuge),
          "reSAdd4"}},
        {"section, a fourth decimal",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reSAdd2", "1,2345");
              w.mark("sbSAdd2");
          },
          "BitBtn6",
          "Секционная поправка № 2 \"1,2345\": допустимо от -999.999 до 999.999 мм, шаг 0.001",
          "reSAdd2"}},
        {"density meter correction, 40 digits",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reADD1", kHuge);
              w.mark("sbDAD1");
          },
          "BitBtn4",
          QStringLiteral("Плотномер 1: поправка \"%1\": допустимо от -999.9 до 999.9, шаг 0.1")
              .arg(kHuge),
          "reADD1"}},
        {"thermometer height 0",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reHT3", "0");
              w.mark("sbTH3");
          },
          "btTermSet", "Термометр 3: высота \"0\": допустимо от 1 до 65535 мм, шаг 1", "reHT3"}},
        {"thermometer height with decimals",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reHT3", "12.5");
              w.mark("sbTH3");
          },
          "btTermSet", "Термометр 3: высота \"12.5\": допустимо от 1 до 65535 мм, шаг 1", "reHT3"}},
        {"density page correction, 40 digits",
         {"miDens", [](FaultWindow& w) { w.setText("reDAdd", kHuge); }, "btSetDAdd",
          QStringLiteral("Плотномер 1: поправка \"%1\": допустимо от -999.9 до 999.9, шаг 0.1")
              .arg(kHuge),
          "reDAdd"}},
        {"density page correction, hundredths",
         {"miDens", [](FaultWindow& w) { w.setText("reDAdd", "1.25"); }, "btSetDAdd",
          "Плотномер 1: поправка \"1.25\": допустимо от -999.9 до 999.9, шаг 0.1", "reDAdd"}},
        {"counter under 3",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reAlgNum", "2");
              w.mark("sbAlgNum");
          },
          "BitBtn2", "Счётчик \"2\": допустимо от 3 до 254, шаг 1", "reAlgNum"}},
        {"segments past a byte",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reWorkSeg", "300");
              w.setText("reDelSeg", "3");
              w.mark("sbSegCfg");
          },
          "BitBtn5", "Рабочие сегменты \"300\": допустимо от 0 до 255, шаг 1", "reWorkSeg"}},
        // The two counts go together: the sensor's is no stand-in for one left out.
        {"segments, one of the two",
         {"miSProp",
          [](FaultWindow& w) {
              w.setText("reWorkSeg", "150");
              w.mark("sbSegCfg");
          },
          "BitBtn5", "Рабочие сегменты и Сегменты, удалённые сверху задаются вместе", ""}},
        {"sensor, nothing marked",
         {"miSProp", [](FaultWindow&) {}, "BitBtn3", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
        {"sections, nothing marked",
         {"miSProp", [](FaultWindow&) {}, "BitBtn6", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
        {"code update, nothing marked",
         {"miSProp", [](FaultWindow&) {}, "BitBtn2", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
        {"segments, nothing marked",
         {"miSProp", [](FaultWindow&) {}, "BitBtn5", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
        {"thermometers, nothing marked",
         {"miSProp", [](FaultWindow&) {}, "btTermSet", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
        {"density meters, nothing marked",
         {"miSProp", [](FaultWindow&) {}, "BitBtn4", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
        {"density page, empty correction",
         {"miDens", [](FaultWindow&) {}, "btSetDAdd", "НЕЧЕГО ЗАПИСЫВАТЬ", ""}},
    };
    return rows;
}

} // namespace

void TestPageFaults::refusedValuesNeverReachTheLine_data() {
    QTest::addColumn<QString>("name");
    for (const auto& [name, r] : refusals())
        QTest::newRow(qPrintable(name)) << name;
}

// A value the device's field cannot hold, or a write with nothing marked,
// sends nothing at all, not even the transit pair: the status line says
// what is allowed (or that there is nothing to write) and the field turns
// red.
void TestPageFaults::refusedValuesNeverReachTheLine() {
    QFETCH(QString, name);
    const Refusal& r = refusals().at(name);
    FaultWindow w(QStringLiteral("controller 0 0 4"), QString());
    w.click(r.mode);
    w.find<AddressBar>(QStringLiteral("SnsAdrBar"))->button(faultmatrix::kSensor)->click();
    // Released, a write would switch transit itself: nothing must go out.
    releaseTransit(w);
    r.prepare(w);
    const int seen = w.installation->requestsSeen();
    w.click(r.button);
    QCOMPARE(w.form->statusText(), r.said);
    QCOMPARE(w.installation->requestsSeen(), seen);
    if (!r.red.isEmpty())
        QVERIFY(w.find<QLineEdit>(r.red)->styleSheet().contains(QLatin1String(kBadColour)));
}

void TestPageFaults::silentReadIsShownUnread_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::newRow("sensor") << "btGetSProp"
                            << "reSSize";
    QTest::newRow("sections") << "btGetSAdd"
                              << "reSAdd1";
    QTest::newRow("segments") << "btGetSeg"
                              << "reWorkSeg";
    QTest::newRow("code update") << "btGetCodUp"
                                 << "reAlgNum";
    QTest::newRow("thermometers") << "btGetTProp"
                                  << "reHT1";
    QTest::newRow("density meters") << "btGetDProp"
                                    << "reHD1";
}

// A read the sensor never answered says so and shows its fields unread,
// never as empty values of the sensor's own.
void TestPageFaults::silentReadIsShownUnread() {
    QFETCH(QString, button);
    QFETCH(QString, field);
    FaultWindow w(QStringLiteral("controller 0 0 4"), QString());
    w.click(QStringLiteral("miSProp"));
    w.find<AddressBar>(QStringLiteral("SnsAdrBar"))->button(faultmatrix::kSensor)->click();
    w.installation->setSensorFault(faultmatrix::kSensor, sim::Fault::Silent);
    w.click(button);
    QCOMPARE(w.form->statusText(), QStringLiteral("НЕТ ОТВЕТА"));
    QVERIFY(w.find<QLineEdit>(field)->styleSheet().contains(QLatin1String(kBadColour)));
}

void TestPageFaults::writeButtonsReadOnly_data() {
    QTest::addColumn<QString>("operation");
    for (const auto& [name, write] : pageWrites())
        QTest::newRow(qPrintable(name)) << name;
}

// Read-only from the start: each write button of each page is disabled and
// says why; pressed all the same (its click sent as a press would), it ends
// with the refusal, and the devices hear no writing request. Transit and
// the service mode are left as they were found.
void TestPageFaults::writeButtonsReadOnly() {
    QFETCH(QString, operation);
    const PageWrite& op = pageWrites().at(operation);
    FaultWindow w(op.scenario, op.config, false, true);
    w.click(op.mode);
    if (op.sensorButton >= 0)
        w.find<AddressBar>(QStringLiteral("SnsAdrBar"))->button(op.sensorButton)->click();
    op.prepare(w);
    auto* button = w.find<QAbstractButton>(op.button);
    QVERIFY(!button->isEnabled());
    QCOMPARE(button->toolTip(), WriteControls::kWhy);
    QVERIFY(QMetaObject::invokeMethod(button, "clicked", Qt::DirectConnection, Q_ARG(bool, true)));
    QCOMPARE(w.form->statusText(), bus::kReadOnlyRefusal);
    QVERIFY2(w.installation->writesSeen().isEmpty(),
             w.installation->writesSeen().join(' ').constData());
    const sim::SimController& c = *w.installation->controller(0);
    QCOMPARE(c.transit, w.find<QToolButton>(QStringLiteral("sbTrans"))->isChecked());
    QVERIFY(!c.service);
}

// Every write control of the window, on every page: disabled with the
// reason while read-only is on, as its page left it once it is off again;
// the title and the status bar say it; the Линия menu's choice is kept for
// the next start.
void TestPageFaults::everyWriteControlReadOnly() {
    const QStringList expected = {
        "BitBtn2", "BitBtn3",      "BitBtn4",      "BitBtn5",       "BitBtn6",   "btTermSet",
        "Button6", "btSetRCfg",    "btClearRCfg",  "sbAlarmBreak0", "btSetKCfg", "btSetDAdd",
        "btDIni",  "btClrAir",     "btClrFuel",    "btClrAll",      "btACor",    "btFCor",
        "btCCor",  "btCTProg",     "btSaveAT",     "CTDel",         "btLink",    "btProg",
        "btFree",  "btLinkS",      "btProgS",      "btFreeS",       "btSLink",   "btSProg",
        "btSFree", "cbKipAlrLink", "sbSnsAlrLink", "sbSetSensAddr", "miRestore"};
    QTemporaryDir settings;
    const QString folder = settings.path();
    QMap<QString, bool> enabledBefore;
    {
        Window w("controller 0 0 4", {}, {}, folder);
        const QList<QObject*> all = w.form->findChildren<QObject*>();
        for (QObject* o : all)
            if (WriteControls::writes(o->objectName()))
                enabledBefore[o->objectName()] = o->property("enabled").toBool();
        for (const QString& name : expected)
            QVERIFY2(enabledBefore.contains(name), qPrintable(name));
        QVERIFY(!w.form->windowTitle().contains(bus::kReadOnlyMark));
        w.find<QAction>("miReadOnly")->trigger();
        QVERIFY(w.form->windowTitle().contains(bus::kReadOnlyMark));
        QVERIFY(w.find<QLabel>("stReadOnly")->isVisibleTo(w.form.get()));
        QCOMPARE(w.find<QLabel>("stReadOnly")->text(), bus::kReadOnlyMark);
        for (QObject* o : all)
            if (WriteControls::writes(o->objectName())) {
                QVERIFY2(!o->property("enabled").toBool(), qPrintable(o->objectName()));
                QCOMPARE(o->property("toolTip").toString(), WriteControls::kWhy);
            }
        // A page that enables a button by its own logic does not undo it.
        auto* set = w.find<QPushButton>("Button6");
        set->setEnabled(true);
        QVERIFY(!set->isEnabled());
        // Pressed all the same, with the line found (reading goes on): the
        // sensor address, a boot loader, the sensor's codes.
        w.form->layoutActions().scan();
        QVERIFY(w.form->link().isOpen());
        for (const char* name : {"sbSetSensAddr", "btLink", "btACor"}) {
            w.form->SetMess(QString());
            QVERIFY(QMetaObject::invokeMethod(w.find<QAbstractButton>(name), "clicked",
                                              Qt::DirectConnection, Q_ARG(bool, true)));
            QVERIFY2(w.form->statusText() == bus::kReadOnlyRefusal,
                     qPrintable(QLatin1String(name) + QStringLiteral(": ") + w.form->statusText()));
        }
        QVERIFY(w.installation->writesSeen().isEmpty());
    }
    {
        // Remembered: the next window starts read-only.
        Window w("controller 0 0 4", {}, {}, folder);
        QVERIFY(w.form->link().readOnly());
        QVERIFY(w.find<QAction>("miReadOnly")->isChecked());
        QVERIFY(!w.find<QPushButton>("btSetKCfg")->isEnabled());
        w.find<QAction>("miReadOnly")->trigger();
        QVERIFY(!w.form->link().readOnly());
        QVERIFY(!w.form->windowTitle().contains(bus::kReadOnlyMark));
        for (QObject* o : w.form->findChildren<QObject*>())
            if (WriteControls::writes(o->objectName()))
                QVERIFY2(o->property("enabled").toBool() == enabledBefore.value(o->objectName()),
                         qPrintable(o->objectName()));
        QVERIFY(w.find<QPushButton>("btSetKCfg")->toolTip() != WriteControls::kWhy);
    }
}

// Линия → Записывать обмен…: the line from the moment it is checked until it
// is unchecked, in a private file the simulator can replay; a file that
// cannot be written is said and nothing is recorded.
void TestPageFaults::exchangeRecordedFromTheWindow() {
    Window w("controller 0 0 4");
    const QString path = w.dir.filePath(QStringLiteral("site"));
    w.form->setRecordFileChooser([&] { return path; });
    QAction* record = w.find<QAction>("miRecord");
    const int before = w.installation->requestsSeen();
    record->trigger();
    QVERIFY(record->isChecked());
    QCOMPARE(w.form->statusText(), QStringLiteral("ЗАПИСЬ ОБМЕНА: ") + path + ".rec");
    w.form->layoutActions().scan();
    record->trigger();
    QVERIFY(!record->isChecked());
    QCOMPARE(w.form->statusText(),
             QStringLiteral("ЗАПИСЬ ОБМЕНА СОХРАНЕНА В ") + path + QStringLiteral(".rec"));
    // Private: owner read and write, nothing for the group or others.
    const QFile::Permissions mode = QFile::permissions(path + ".rec");
    QVERIFY(mode.testFlags(QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(!(mode & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                      QFile::WriteOther | QFile::ExeOther | QFile::ExeOwner)));
    QString error;
    const auto recording = bus::parseRecording(fileBytes(path + ".rec"), &error);
    QVERIFY2(recording, qPrintable(error));
    QCOMPARE(recording->port, QStringLiteral("SIM"));
    int sent = 0;
    for (const bus::RecordLine& l : recording->lines)
        sent += l.kind == QLatin1String(">");
    QVERIFY(sent > 0);
    QCOMPARE(sent, w.installation->requestsSeen() - before);

    FullDisk disk;
    QVERIFY(disk.isValid());
    disk.fill();
    w.form->setRecordFileChooser([&] { return disk.filePath(QStringLiteral("full.rec")); });
    record->trigger();
    QVERIFY(!record->isChecked());
    QVERIFY2(w.form->statusText().startsWith(QStringLiteral("ЗАПИСЬ ОБМЕНА НЕ НАЧАТА: ")),
             qPrintable(w.form->statusText()));
    QVERIFY(!QFileInfo::exists(disk.filePath(QStringLiteral("full.rec"))));
}
