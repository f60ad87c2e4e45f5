#include "tst_keyboard.h"

#include "app/Modes.h"
#include "ui/UiWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace {

// The window shown and active, so that keys reach it as the engineer's do.
struct KeyWindow : Window {
    explicit KeyWindow(const char* scenario = "controller 0 0 4") : Window(scenario) {
        form->show();
        form->layoutActions().scan();
        activate(form.get());
    }
    static void activate(QWidget* window) {
        QApplication::setActiveWindow(window);
        if (!QTest::qWaitForWindowActive(window))
            qWarning("window not active");
    }
    // The overview page of mode, polled.
    QTableWidget* polledGrid(const QString& mode, const QString& get, const QString& grid) {
        QTest::mouseClick(form->findChild<QToolButton*>(mode), Qt::LeftButton);
        QTest::mouseClick(form->findChild<QAbstractButton*>(get), Qt::LeftButton);
        activate(form.get());
        return form->findChild<QTableWidget*>(grid);
    }
};

void overviewColumns() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("get");
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<int>("column");
    QTest::newRow("general, fuel") << "miSensStat"
                                   << "sbGetStat"
                                   << "sgSns"
                                   << "btDetStat" << 2;
    QTest::newRow("general, status") << "miSensStat"
                                     << "sbGetStat"
                                     << "sgSns"
                                     << "btDetStat" << 1;
    QTest::newRow("thermometers") << "MyMenuItem1"
                                  << "sbGetLStat"
                                  << "sgTStat"
                                  << "btDetPStat" << 2;
    QTest::newRow("configuration, thermometers") << "MyMenuItem2"
                                                 << "Button3"
                                                 << "sgCFG"
                                                 << "btDetSCfg" << 3;
}

} // namespace

void TestKeyboard::arrowsExplainACell_data() {
    overviewColumns();
}

// Row 2 and a column reached with the arrow keys say what a click on the
// cell says and enable "УТОЧНИТЬ" alike.
void TestKeyboard::arrowsExplainACell() {
    QFETCH(QString, mode);
    QFETCH(QString, get);
    QFETCH(QString, grid);
    QFETCH(QString, detail);
    QFETCH(int, column);
    KeyWindow w("controller 0 0 4");
    w.installation->sensor(2)->fuel = {12345, 0x85};
    QTableWidget* t = w.polledGrid(mode, get, grid);
    auto* button = w.form->findChild<QAbstractButton*>(detail);
    t->setFocus(Qt::TabFocusReason);
    t->setCurrentCell(0, 0);
    QTest::keyClick(t, Qt::Key_Down);
    QTest::keyClick(t, Qt::Key_Down);
    for (int c = 0; c < column; ++c)
        QTest::keyClick(t, Qt::Key_Right);
    QCOMPARE(t->currentRow(), 2);
    QCOMPARE(t->currentColumn(), column);
    const QString byKeys = w.mess();
    const bool enabledByKeys = button->isEnabled();

    KeyWindow clicked("controller 0 0 4");
    clicked.installation->sensor(2)->fuel = {12345, 0x85};
    QTableWidget* other = clicked.polledGrid(mode, get, grid);
    emit other->cellPressed(2, column);
    QCOMPARE(byKeys, clicked.mess());
    QCOMPARE(enabledByKeys, clicked.form->findChild<QAbstractButton*>(detail)->isEnabled());
    QVERIFY(!byKeys.isEmpty() || enabledByKeys);
}

void TestKeyboard::tabLeavesTheGrid_data() {
    overviewColumns();
}

void TestKeyboard::tabLeavesTheGrid() {
    QFETCH(QString, mode);
    QFETCH(QString, get);
    QFETCH(QString, grid);
    KeyWindow w;
    QTableWidget* t = w.polledGrid(mode, get, grid);
    t->setFocus(Qt::TabFocusReason);
    t->setCurrentCell(0, 0);
    QVERIFY(t->hasFocus());
    QTest::keyClick(t, Qt::Key_Tab);
    QVERIFY(!t->hasFocus());
    QCOMPARE(t->currentColumn(), 0);
}

void TestKeyboard::menuKeyAndLineMenu() {
    KeyWindow w;
    QTest::keyClick(w.form.get(), Qt::Key_F10);
    QVERIFY(w.form->menuBar()->activeAction());
    QTest::keyClick(w.form->menuBar(), Qt::Key_Escape);
    // The port menu, otherwise only on the label's right button.
    QTest::keyClick(w.form.get(), Qt::Key_F2);
    auto* portMenu = w.find<QMenu>("pmPort");
    QVERIFY(portMenu->isVisible());
    portMenu->hide();
    // The scan from the keyboard.
    w.form->SetMess(QString());
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QCOMPARE(w.mess(), QStringLiteral("НАЙДЕНО КИП: 1"));
    KeyWindow::activate(w.form.get());
    // The port switched off and on again.
    QTest::keyClick(w.form.get(), Qt::Key_F2, Qt::ShiftModifier);
    QVERIFY(!w.form->link().isOpen());
    QTest::keyClick(w.form.get(), Qt::Key_F2, Qt::ShiftModifier);
    QVERIFY(w.form->link().isOpen());
}

// A button added to the top row without a way to it from the keyboard
// fails here.
void TestKeyboard::everyTopButtonHasAMenuItem() {
    KeyWindow w;
    auto* line = w.find<QMenu>("miLine");
    QVERIFY(line);
    const auto buttons = w.find<QWidget>("pTop")->findChildren<QToolButton*>();
    QVERIFY(buttons.size() >= 6);
    const QList<QAction*> items = line->actions();
    for (const QToolButton* b : buttons) {
        const bool listed = std::any_of(items.begin(), items.end(), [b](const QAction* a) {
            return a->menu() ? a->menu() == b->menu()
                             : a->objectName() == QStringLiteral("mi_") + b->objectName();
        });
        QVERIFY2(listed, qPrintable(b->objectName()));
    }
}

void TestKeyboard::fileKeyOnlyWhereAPageTakesAFile() {
    KeyWindow w;
    auto* open = w.find<QAction>("AOpenHF");
    for (const app::Mode& m : app::kModes) {
        QTest::mouseClick(w.find<QToolButton>(m.button), Qt::LeftButton);
        QCOMPARE(open->isEnabled(), m.tag == app::TagSUD || m.tag == app::TagKUD);
    }
}

void TestKeyboard::escapeAndEnterCloseTheDialogs() {
    KeyWindow w;
    for (const char* name :
         {"TIForm", "TDBase", "TAboutBox", "TCVForm", "TEForm", "TBuilderForm"}) {
        auto* d = w.find<QDialog>(name);
        QVERIFY2(d, name);
        // In the table editor and the section builder Enter takes what is
        // typed (the row, the section) instead.
        const bool enterCloses = QLatin1String(name) != QLatin1String("TEForm") &&
                                 QLatin1String(name) != QLatin1String("TBuilderForm");
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
            d->show();
            KeyWindow::activate(d);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : d, key);
            QVERIFY2(d->isVisible() == (key == Qt::Key_Return && !enterCloses),
                     qPrintable(QStringLiteral("%1, key %2").arg(name).arg(key)));
            d->hide();
        }
    }
}
