#include "tst_calibration_outcomes.h"

#include "common/CommandLog.h"
#include "common/SimHarness.h"
#include "common/TestFiles.h"
#include "sim/SimulatedLine.h"
#include "ui/AddressBar.h"
#include "ui/CalibrationPage.h"
#include "ui/LayoutActions.h"
#include "ui/StartOptions.h"
#include "ui/TMForm.h"
#include "ui/TPForm.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

// The window on the calibration page of a simulated installation, with the
// line at hand so that the adapter can be pulled.
struct TablesWindow {
    explicit TablesWindow(const char* scenario, const QString& configText = {}) {
        installation = std::make_shared<sim::Installation>(scenarioFrom(scenario));
        const QString config = putFile(dir, "orvant2.cfg", configText.toUtf8());
        StartOptions options;
        options.simulate = true;
        bus::PortOpener opener = [this](const QString& name, bus::PortOpenError&)
            -> std::unique_ptr<bus::PortDevice> {
            const sim::Cpu cpu = name == sim::SimulatedLine::kKeyboardPortName ? sim::Cpu::Keyboard
                                                                                : sim::Cpu::Main;
            auto l = std::make_unique<sim::SimulatedLine>(installation, true, true, cpu);
            if (cpu == sim::Cpu::Main)
                line = l.get();
            return l;
        };
        form = std::make_unique<TMForm>(options, app::ConfigFile(config), opener);
        form->setErrorBox([](const QString&, const QString&) {});
        form->Start();
        form->layoutActions().scan();
        form->findChild<QToolButton*>(QStringLiteral("miCT"))->click();
        page = form->findChild<CalibrationPage*>();
        form->link().setObserver(&log);
    }
    ~TablesWindow() { form->link().setObserver(nullptr); }
    // A table file of rows 0..rows-1 assigned to the row and applied.
    void assign(int row, int rows) {
        QByteArray text;
        for (int r = 0; r < rows; ++r)
            text += QStringLiteral("%1=\t%2.0000\t\t0.0010\r\n").arg(r).arg(r).toLatin1();
        page->assignFile(row, putFile(dir, "a.vlm", text));
        click("btTank");
    }
    void click(const char* name) const {
        form->findChild<QAbstractButton*>(QLatin1String(name))->click();
    }
    int sent(const char* command) const {
        return static_cast<int>(
            log.sent.count(QStringLiteral("80:") + QLatin1String(command)));
    }
    QString fileCell(int row) const {
        return form->findChild<QLineEdit*>(QStringLiteral("F%1").arg(row + 1))->text();
    }

    QTemporaryDir dir;
    std::shared_ptr<sim::Installation> installation;
    sim::SimulatedLine* line = nullptr;
    std::unique_ptr<TMForm> form;
    CalibrationPage* page = nullptr;
    CommandLog log;
};

} // namespace

// The adapter pulled while the second block of three awaits its answer:
// the status line names the block after the window has said the line was
// lost, and the tank keeps its file.
void TestCalibrationOutcomes::lineLostNamesTheBlock() {
    TablesWindow w("controller 0 0 4\n");
    w.assign(0, 60); // 360 bytes: three blocks
    w.form->link().setPump([&] {
        if (w.sent("52") == 2)
            w.line->unplug();
    });
    w.click("btCTProg");
    w.form->link().setPump({});
    QVERIFY(!w.form->link().isOpen());
    QCOMPARE(w.form->statusText(),
             QStringLiteral("№1: ОБРЫВ СВЯЗИ НА БЛОКЕ 2 ИЗ 3; ПРОБЛЕМЫ СО СВЯЗЬЮ."));
    QCOMPARE(w.fileCell(0), QStringLiteral("a.vlm"));
}

// Break pressed after two blocks: the block reached is named, the
// allocation table is not written.
void TestCalibrationOutcomes::breakNamesTheBlock() {
    TablesWindow w("controller 0 0 4\n");
    w.assign(0, 60);
    auto* breakButton =
        w.form->progressDialog()->findChild<QPushButton*>(QStringLiteral("btBreak"));
    QVERIFY(breakButton);
    w.form->link().setPump([&] {
        if (w.sent("52") == 2)
            breakButton->click();
    });
    w.click("btCTProg");
    w.form->link().setPump({});
    QCOMPARE(w.form->statusText(), QStringLiteral("№1: ПРЕРВАНО НА БЛОКЕ 3 ИЗ 3"));
    QCOMPARE(w.sent("52"), 2);
    QCOMPARE(w.sent("70"), 0);
    QVERIFY(!w.installation->controller(0)->service);
    QCOMPARE(w.fileCell(0), QStringLiteral("a.vlm"));
}

// Without the read-back the table is recorded, and said to be unconfirmed.
void TestCalibrationOutcomes::unverifiedWriteSaysSo() {
    TablesWindow w("controller 0 0 4\n");
    w.assign(0, 30);
    w.form->findChild<QCheckBox*>(QStringLiteral("cbVerify"))->setChecked(false);
    w.click("btCTProg");
    QCOMPARE(w.form->statusText(),
             QStringLiteral("№1: ЗАПИСАНО, страница 0 (НЕ СВЕРЕНО); ТАБЛИЦА РАЗМЕЩЕНИЯ ЗАПИСАНА"));
    QCOMPARE(w.sent("53"), 0);
    QVERIFY(w.fileCell(0).isEmpty());
}

// The single-table device that grants no service mode is said not to have
// answered, as on a multi-table controller.
void TestCalibrationOutcomes::unansweredSingleTableDeviceSaysSo() {
    TablesWindow w("type 2\nsensors 4 2\n", QStringLiteral("KIP_TYP=2\nKIP_B=4,2\n"));
    w.form->findChild<AddressBar*>(QStringLiteral("SnsAdrBar"))->button(5)->click();
    w.assign(0, 30);
    w.installation->setControllerFault(5, sim::Fault::Silent);
    w.click("btCTProg");
    QCOMPARE(w.form->statusText(),
             QStringLiteral("№6: НЕ ЗАПИСАНО; КИП не ответил. Попробуйте повторить."));
    QCOMPARE(w.fileCell(0), QStringLiteral("a.vlm"));
}
