#include "tst_sites_dialog.h"

#include "UiWindow.h"
#include "polllog/PollLog.h"
#include "ui/PollLogPanel.h"
#include "ui/SitesDialog.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The second site's line is given: a terminal the test holds.
QByteArray sitesText(const QString& stationLine = QStringLiteral("/dev/ttyS9")) {
    return "[Нефтебаза 3]\n"
           "line=tcp://127.0.0.1:1\n"
           "every=60\n"
           "KIP_TYP=4\n"
           "KIP_NUM=1,1\n"
           "KIP_B=\n"
           "KIP1=0,16\n"
           "\n"
           "[АЗС 12]\n"
           "line=" +
           stationLine.toUtf8() +
           "\n"
           "KIP_TYP=1\n"
           "KIP_NUM=1,1\n"
           "KIP1=0,8\n";
}

// A log in which "Нефтебаза 3" was polled once: one sensor in norm, one silent.
QString logWithOneSite(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("watch.sqlite"));
    polllog::PollLog log;
    if (!log.open(path, polllog::PollLog::Access::Record, QStringLiteral("Нефтебаза 3")).isEmpty())
        return {};
    polllog::SensorRow answered;
    answered.sensor = 1;
    answered.s1 = 0;
    answered.s2 = 1;
    polllog::SensorRow silent;
    silent.sensor = 2;
    if (!log.record(std::vector{answered, silent}, polllog::PollKind::Combined,
                    QDateTime(QDate(2026, 12, 1), QTime(8, 30), Qt::UTC).toMSecsSinceEpoch())
             .isEmpty())
        return {};
    return path;
}

SitesDialog* openSites(Window& w) {
    w.find<QAction>("miSites")->trigger();
    return w.find<SitesDialog>("TSitesForm");
}

int rowOf(QTableWidget* table, const QString& name) {
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0)->text() == name)
            return r;
    return -1;
}

} // namespace

// What the log says of each site, with no line touched: the sites file's
// order is kept, a site never polled shows a dash.
void TestSitesDialog::sitesShownFromTheLogAlone() {
    QTemporaryDir dir;
    StartOptions options;
    options.sitesFile = putFile(dir, "sites.cfg", sitesText());
    const QString log = logWithOneSite(dir);
    QVERIFY(!log.isEmpty());
    Window w("controller 0 0 4", {}, options);
    SitesDialog* sites = openSites(w);
    QVERIFY(sites && sites->isVisible());
    const int requestsBefore = w.installation->requestsSeen();
    sites->refresh(log);
    QCOMPARE(w.installation->requestsSeen(), requestsBefore);
    auto* table = sites->findChild<QTableWidget*>(QStringLiteral("sgSites"));
    QCOMPARE(table->rowCount(), 2);
    const int base = rowOf(table, QStringLiteral("Нефтебаза 3"));
    const int station = rowOf(table, QStringLiteral("АЗС 12"));
    QVERIFY(base >= 0 && station >= 0);
    QCOMPARE(table->item(base, 1)->text(), QStringLiteral("tcp://127.0.0.1:1"));
    QCOMPARE(table->item(base, 3)->text(), QStringLiteral("1"));
    QCOMPARE(table->item(base, 4)->text(), QStringLiteral("да"));
    QCOMPARE(table->item(station, 2)->text(), QStringLiteral("—"));
    QVERIFY(table->item(station, 4)->text().isEmpty());
    QVERIFY(!sites->findChild<QLabel*>(QStringLiteral("stSitesProblem"))->isVisible());
}

// Enter in the log field reads that log; the dialog stays, the line and
// the layout are not changed.
void TestSitesDialog::enterInTheLogFieldReadsTheLog() {
    QTemporaryDir dir;
    StartOptions options;
    options.sitesFile = putFile(dir, "sites.cfg", sitesText());
    const QString log = logWithOneSite(dir);
    Window w("controller 0 0 4", QStringLiteral("KIP_TYP=0\n"), options);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    SitesDialog* sites = openSites(w);
    QVERIFY(QTest::qWaitForWindowExposed(sites));
    auto* field = sites->findChild<QLineEdit*>(QStringLiteral("reSitesLog"));
    field->setFocus();
    field->setText(log);
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(sites->isVisible());
    QCOMPARE(w.form->state().layout.controllerType, 0);
    auto* table = sites->findChild<QTableWidget*>(QStringLiteral("sgSites"));
    QCOMPARE(table->item(rowOf(table, QStringLiteral("Нефтебаза 3")), 4)->text(),
             QStringLiteral("да"));
}

// Keyboard alone: the table has the focus, Down and Enter take the second
// site; its line and its layout are the window's, as if typed.
void TestSitesDialog::choosingASiteSetsLineAndLayout() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString pts = QString::fromLatin1(::ptsname(master));
    QTemporaryDir dir;
    StartOptions options;
    options.sitesFile = putFile(dir, "sites.cfg", sitesText(pts));
    Window w("controller 0 0 4", QStringLiteral("KIP_TYP=0\n"), options);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    SitesDialog* sites = openSites(w);
    QVERIFY(QTest::qWaitForWindowExposed(sites));
    auto* table = sites->findChild<QTableWidget*>(QStringLiteral("sgSites"));
    QTRY_VERIFY(table->hasFocus());
    QCOMPARE(table->currentRow(), 0);
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Return);
    QVERIFY(!sites->isVisible());
    QCOMPARE(w.form->state().layout.controllerType, 1);
    QVERIFY(w.form->link().isOpen());
    QVERIFY2(w.configText().contains(QStringLiteral("MAIN_PORT=") + pts),
             qPrintable(w.configText()));
    QCOMPARE(w.mess(), QStringLiteral("ОБЪЕКТ: АЗС 12"));
    w.form->link().ClosePort();
    ::close(master);
}

void TestSitesDialog::goingToASiteLeavesNothingOfTheLineBefore_data() {
    QTest::addColumn<bool>("logNamed");
    QTest::newRow("the log named in the dialog") << true;
    QTest::newRow("the demonstration's log in the dialog") << false;
}

// From a page that holds transit, after a poll: transit is ended on the
// line before, nothing read there stays shown, and the site's polls go
// under its name into the log named, never into the demonstration's.
void TestSitesDialog::goingToASiteLeavesNothingOfTheLineBefore() {
    QFETCH(bool, logNamed);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    QTemporaryDir dir;
    StartOptions options;
    options.sitesFile =
        putFile(dir, "sites.cfg", sitesText(QString::fromLatin1(::ptsname(master))));
    Window w("controller 0 0 4", QStringLiteral("KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n"), options);
    w.form->layoutActions().scan();
    auto* panel = w.form->findChild<PollLogPanel*>();
    const QString demo = panel->logPath();
    w.form->btGetClick(0);
    auto* grid = w.find<QTableWidget>("sgSns");
    QVERIFY(grid->rowCount() > 0);
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QVERIFY(w.installation->controller(0)->transit);
    SitesDialog* sites = openSites(w);
    QCOMPARE(sites->logPath(), demo);
    const QString log = dir.filePath(QStringLiteral("sites.sqlite"));
    if (logNamed)
        sites->refresh(log);
    auto* table = sites->findChild<QTableWidget*>(QStringLiteral("sgSites"));
    table->setCurrentCell(rowOf(table, QStringLiteral("АЗС 12")), 0);
    QTest::mouseClick(sites->findChild<QPushButton*>(QStringLiteral("btGoSite")), Qt::LeftButton);
    QVERIFY(!w.installation->controller(0)->transit);
    QCOMPARE(grid->rowCount(), 0);
    QCOMPARE(w.find<QListWidget>("lvHealth")->count(), 0);
    QCOMPARE(panel->site(), QStringLiteral("АЗС 12"));
    QVERIFY(panel->logPath() != demo);
    if (logNamed)
        QCOMPARE(panel->logPath(), log);
    w.form->link().ClosePort();
    ::close(master);
}

void TestSitesDialog::brokenSitesFileSaysWhere_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no line") << QByteArray("[A]\nKIP_TYP=1\n") << "строка 1";
    QTest::newRow("bad period") << QByteArray("[A]\nline=/dev/ttyS0\nevery=0\n") << "строка 3";
    QTest::newRow("missing file") << QByteArray() << "sites.cfg";
}

// A sites file that cannot be used is named on the dialog, with its line;
// the dialog still opens and the window keeps its line.
void TestSitesDialog::brokenSitesFileSaysWhere() {
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    StartOptions options;
    options.sitesFile = text.isEmpty() ? dir.filePath(QStringLiteral("sites.cfg"))
                                       : putFile(dir, "sites.cfg", text);
    Window w("controller 0 0 4", {}, options);
    SitesDialog* sites = openSites(w);
    QVERIFY(sites);
    auto* why = sites->findChild<QLabel*>(QStringLiteral("stSitesProblem"));
    QVERIFY2(why->text().contains(problem), qPrintable(why->text()));
    QCOMPARE(sites->findChild<QTableWidget*>(QStringLiteral("sgSites"))->rowCount(), 0);
    QVERIFY(!sites->findChild<QPushButton*>(QStringLiteral("btGoSite"))->isEnabled());
}
