#include "tst_language.h"

#include "ui/DiagramPage.h"
#include "link/SystemText.h"
#include "ui/Language.h"
#include "ui/TIForm.h"
#include "ui/TSAForm.h"
#include "ui/UiWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QToolButton>
#include <QTreeView>
#include <QLibraryInfo>
#include <QPushButton>
#include <QtTest>

void TestLanguage::standardButtonsAreRussian() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + QStringLiteral("/qtbase_ru.qm")))
        QSKIP("Qt's Russian translations are not installed");
    QVERIFY(installQtTranslations(*QCoreApplication::instance()));
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Yes | QDialogButtonBox::No);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    QCOMPARE(box.button(QDialogButtonBox::Yes)->text().remove(QLatin1Char('&')),
             QStringLiteral("Да"));
}

void TestLanguage::fileErrorsAreRussian_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no such file") << "a.sgm: No such file or directory"
                                  << "a.sgm: Файл или каталог не существует";
    QTest::newRow("permission") << "НЕ ЗАПИСАНО: Permission denied"
                                << "НЕ ЗАПИСАНО: Доступ запрещён";
    QTest::newRow("no space") << "No space left on device"
                              << "Нет свободного места на устройстве";
    QTest::newRow("directory, C library") << "x: Is a directory"
                                          << "x: Является каталогом";
    QTest::newRow("directory, Qt") << "x: file to open is a directory"
                                   << "x: открываемый файл является каталогом";
    QTest::newRow("read-only") << "Read-only file system"
                               << "Файловая система только для чтения";
    QTest::newRow("other causes kept") << "Too many open files"
                                       << "Too many open files";
    QTest::newRow("own texts kept") << "ЗАПИСЬ ЗАВЕРШЕНА"
                                    << "ЗАПИСЬ ЗАВЕРШЕНА";
}

void TestLanguage::fileErrorsAreRussian() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(withRussianFileErrors(text), shown);
}

void TestLanguage::fileErrorOnTheStatusLine() {
    // A diagram file that is not there, opened as the page opens one.
    Window w(nullptr);
    const QString missing = w.dir.filePath(QStringLiteral("missing.dgr"));
    QVERIFY(!w.form->findChild<DiagramPage*>()->openFrom(missing));
    // The file reader says it in its own words before the system is asked.
    QCOMPARE(w.mess(), QStringLiteral("missing.dgr: ФАЙЛ НЕ НАЙДЕН"));
}

// The dialogs' cancel buttons and the database panel's say "ЗАКРЫТЬ".
void TestLanguage::closeButtonsAreRussian() {
    TSAForm address;
    TIForm interval;
    for (QWidget* dialog : {static_cast<QWidget*>(&address), static_cast<QWidget*>(&interval)})
        QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("btClose"))->text(),
                 QStringLiteral("ЗАКРЫТЬ"));
    Window w("controller 0 0 4");
    w.form->layoutActions().scan();
    QTest::mouseClick(w.find<QToolButton>("miSProp"), Qt::LeftButton);
    QCOMPARE(w.find<QPushButton>("btCloseDB")->text(), QStringLiteral("ЗАКРЫТЬ"));
}

// Qt's file dialog, as the window opens it, heads its columns in Russian.
void TestLanguage::fileDialogColumnsAreRussian() {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + QStringLiteral("/qtbase_ru.qm")))
        QSKIP("Qt's Russian translations are not installed");
    QVERIFY(installQtTranslations(*QCoreApplication::instance()));
    QFileDialog dialog(nullptr, QString(), QDir::tempPath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    QVERIFY(tree);
    QStringList headers;
    for (int c = 0; c < tree->model()->columnCount(); ++c)
        headers << tree->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"Имя", "Размер", "Тип", "Дата изменения"}));
}
