#include "tst_answers.h"

#include "ui/UiWindow.h"

#include <QAbstractButton>
#include <QDir>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

void TestAnswers::pollsSayHowManyAnswered_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("get");
    QTest::newRow("general") << "miSensStat"
                             << "sbGetStat";
    QTest::newRow("extended") << "MyMenuItem1"
                              << "sbGetLStat";
    QTest::newRow("configuration") << "MyMenuItem2"
                                   << "Button3";
}

void TestAnswers::pollsSayHowManyAnswered() {
    QFETCH(QString, mode);
    QFETCH(QString, get);
    Window w("controller 0 0 4\ncontroller 1 4 3\nsensor 1 fault=silent\nsensor 5 fault=silent");
    w.form->show();
    w.form->layoutActions().scan();
    QTest::mouseClick(w.form->findChild<QToolButton*>(mode), Qt::LeftButton);
    QTest::mouseClick(w.form->findChild<QAbstractButton*>(get), Qt::LeftButton);
    QCOMPARE(w.mess(), QStringLiteral("ОПРОШЕНО: 5 из 7"));
}

void TestAnswers::layoutSaveSaysWhere() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    w.form->layoutActions().run(LayoutActions::Save);
    QCOMPARE(w.mess(), QStringLiteral("СОХРАНЕНО В ") + QDir::toNativeSeparators(w.config));
    QVERIFY(w.configText().contains(QStringLiteral("KIP1=0,4")));
}

// The rows of the layout before are gone once a new scan starts, and stay
// gone when it finds another layout.
void TestAnswers::newScanEmptiesTheGrids() {
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("sbGetStat"), Qt::LeftButton);
    auto* grid = w.find<QTableWidget>("sgSns");
    QCOMPARE(grid->rowCount(), 4);
    int rowsDuringScan = -1;
    w.form->link().setPump([&] {
        if (rowsDuringScan < 0)
            rowsDuringScan = grid->rowCount();
    });
    w.form->layoutActions().scan();
    QCOMPARE(rowsDuringScan, 0);
    QVERIFY(grid->isHidden());
    QCOMPARE(grid->rowCount(), 0);
}
