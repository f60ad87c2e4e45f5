#include "tst_small_screen.h"

#include "app/Modes.h"
#include "ui/Help.h"
#include "ui/UiWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>

namespace {

// A 1024 x 768 laptop less its title bar and panel.
constexpr QSize kScreen(1024, 740);

QString thirtyTwoControllers() {
    QString s = QStringLiteral("type 3\n");
    for (int i = 0; i < 32; ++i)
        s += QStringLiteral("controller %1 %2 4\n").arg(i).arg(4 * i);
    return s;
}

// The "ПОЛУЧИТЬ" of the overview pages, by page index.
const char* const kGets[12] = {"sbGetStat", "sbGetLStat", "Button3"};

} // namespace

void TestSmallScreen::everyPageFits_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("type");
    QTest::newRow("32 controllers") << thirtyTwoControllers() << 3;
    QTest::newRow("no controller") << QStringLiteral("type 5\nsensors 0 16") << 5;
    QTest::newRow("direct sensors") << QStringLiteral("type 2\nsensors 0 16") << 2;
    // The configuration page of a controller with host channels and
    // passwords.
    QTest::newRow("КИП-Н6") << QStringLiteral("type 1\ncontroller 0 0 4\ncontroller 1 4 4") << 1;
    QTest::newRow("КИП-Н5") << QStringLiteral("type 0\ncontroller 0 0 4") << 0;
}

// Every page is seen whole in the window without sideways scrolling, and the
// mode buttons stay where they are whichever page and address bar is shown.
void TestSmallScreen::everyPageFits() {
    QFETCH(QString, scenario);
    QFETCH(int, type);
    StartOptions o;
    o.controllerStatus = true;
    Window w(scenario.toUtf8().constData(), QStringLiteral("KIP_TYP=%1\n").arg(type), o);
    w.form->resize(kScreen);
    w.form->show();
    w.form->layoutActions().scan();
    auto* scroll = w.find<QScrollArea>("saPages");
    std::map<QString, QPoint> buttonsAt;
    // Every page looked at before the verdict, so that one run names them all.
    QStringList faults;
    for (const app::Mode& m : app::kModes) {
        auto* button = w.find<QToolButton>(m.button);
        if (!button->isEnabled())
            continue;
        QTest::mouseClick(button, Qt::LeftButton);
        // The overview grids are measured full.
        if (auto* get = w.find<QAbstractButton>(kGets[app::pageOfTag(m.tag)]))
            QTest::mouseClick(get, Qt::LeftButton);
        QApplication::processEvents();
        const QString page = QLatin1String(m.page);
        if (w.form->width() > kScreen.width() || w.form->height() > kScreen.height())
            faults << QStringLiteral("%1: window %2 x %3")
                          .arg(page)
                          .arg(w.form->width())
                          .arg(w.form->height());
        const QSize need = w.find<QStackedWidget>("pcMain")->currentWidget()->minimumSizeHint();
        if (scroll->horizontalScrollBar()->maximum() > 0 ||
            scroll->verticalScrollBar()->maximum() > 0)
            faults << QStringLiteral("%1 needs %2 x %3 in %4 x %5")
                          .arg(page)
                          .arg(need.width())
                          .arg(need.height())
                          .arg(scroll->viewport()->width())
                          .arg(scroll->viewport()->height());
        for (const app::Mode& other : app::kModes) {
            const auto* b = w.find<QToolButton>(other.button);
            const QPoint at = b->mapTo(w.form.get(), QPoint(0, 0));
            const auto [seen, fresh] = buttonsAt.emplace(QLatin1String(other.button), at);
            if (!fresh && seen->second != at)
                faults << QStringLiteral("%1 moved on %2").arg(seen->first, page);
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
}

void TestSmallScreen::everyDialogFits() {
    Window w("controller 0 0 4");
    // The trends dialog is made when first asked for, its status line
    // naming a log not there yet by its whole path.
    QTest::mouseClick(w.find<QPushButton>("btTrends"), Qt::LeftButton);
    QVERIFY(w.form->findChild<QDialog*>(QStringLiteral("dlgTrends")));
    // So is "Объекты", on the sites file at hand (none: an empty list).
    w.find<QAction>("miSites")->trigger();
    QVERIFY(w.form->findChild<QDialog*>(QStringLiteral("TSitesForm")));
    const auto dialogs = w.form->findChildren<QDialog*>();
    QVERIFY(dialogs.size() >= 5);
    for (const QDialog* d : dialogs) {
        // A dialog opens at its size hint: that must fit, not only its minimum.
        const QSize need = d->sizeHint().expandedTo(d->minimumSize());
        QVERIFY2(need.width() <= kScreen.width() && need.height() <= kScreen.height(),
                 qPrintable(QStringLiteral("%1 needs %2 x %3")
                                .arg(d->objectName())
                                .arg(need.width())
                                .arg(need.height())));
    }
}

void TestSmallScreen::helpNeverScrollsSideways_data() {
    QTest::addColumn<QString>("page");
    // The pages with screenshots of the whole window, and the contents.
    for (const char* page : {"tsStat", "tsPStat", "tsCfg", "index"})
        QTest::newRow(page) << QString::fromLatin1(page);
}

// A screenshot is wider than the help window: shown at its width.
void TestSmallScreen::helpNeverScrollsSideways() {
    QFETCH(QString, page);
    HelpViewer viewer;
    viewer.showPage(helpFileFor(QCoreApplication::applicationDirPath(), page));
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCoreApplication::processEvents();
    QVERIFY(viewer.browser()->source().toString().endsWith(page + QStringLiteral(".html")));
    QCOMPARE(viewer.browser()->horizontalScrollBar()->maximum(), 0);
    // Fitted, not shrunk to a thumbnail.
    if (page != QLatin1String("index"))
        QVERIFY2(viewer.widestPicture() > viewer.browser()->viewport()->width() * 3 / 4,
                 qPrintable(QString::number(viewer.widestPicture())));
}
