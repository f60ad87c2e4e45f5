#include "tst_fields.h"

#include "ui/AddressBar.h"
#include "ui/UiWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {

// The properties page of sensor 3, shown and active so that fields take the
// focus as they do for the engineer; thermometer identifiers typed by hand.
struct FieldsWindow : Window {
    FieldsWindow() : Window("controller 0 0 4") {
        form->show();
        form->layoutActions().scan();
        QTest::mouseClick(find<QToolButton>("miSProp"), Qt::LeftButton);
        QTest::mouseClick(find<AddressBar>("SnsAdrBar")->button(2), Qt::LeftButton);
        find<QToolButton>("sbHndEnt")->setChecked(true);
        // After the progress dialogs of the scan and the transit switch.
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("window not active");
    }
    // The field, on the tab that holds it.
    QLineEdit* field(const QString& name) const {
        auto* edit = form->findChild<QLineEdit*>(name);
        for (QWidget* w = edit; w && w != form.get(); w = w->parentWidget()) {
            auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
            if (auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr)
                tabs->setCurrentWidget(w);
        }
        return edit;
    }
};

enum class Entry { Click, Tab, Enter };

void enter(QLineEdit* edit, Entry how) {
    switch (how) {
    case Entry::Click:
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(2, edit->height() / 2));
        break;
    case Entry::Tab:
        edit->setFocus(Qt::TabFocusReason);
        break;
    case Entry::Enter: // the program moving on, as Enter in a column does
        edit->setFocus(Qt::OtherFocusReason);
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Entry)

void TestEntryFields::typingReplacesTheValue_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<Entry>("entry");
    struct Kind {
        const char* name;
        const char* field;
        const char* before;
        const char* typed;
        const char* after;
    };
    static const Kind kinds[] = {
        {"thermometer height", "reHT1", "3000", "3050", "3050"},
        // Kept as typed, for the catalogue to refuse, not read as 125.
        {"thermometer height, decimals", "reHT1", "3000", "12.5", "12.5"},
        {"thermometer identifier", "reIDT1", "28000000000000AB", "28ff00000000001c",
         "28FF00000000001C"},
        {"density height", "reHD1", "30", "350", "350"},
        {"density identifier", "reIDD1", "DE00000000000012", "de0000000000aa34",
         "DE0000000000AA34"},
        {"density correction, negative", "reADD1", "5", "-12", "-12"},
        {"sensor size", "reSSize", "4000", "2500", "2500"},
        {"level correction, negative", "reFnd", "1.5", "-2.5", "-2.5"},
        {"section correction, negative", "reSAdd1", "0.000", "-0.25", "-0.25"},
    };
    const std::pair<const char*, Entry> entries[] = {
        {"click", Entry::Click}, {"Tab", Entry::Tab}, {"Enter", Entry::Enter}};
    for (const Kind& k : kinds)
        for (const auto& [how, entry] : entries) {
            QTest::addRow("%s, %s", k.name, how)
                << k.field << k.before << k.typed << k.after << entry;
        }
}

void TestEntryFields::typingReplacesTheValue() {
    QFETCH(QString, field);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(Entry, entry);
    FieldsWindow w;
    QLineEdit* edit = w.field(field);
    QVERIFY(edit);
    edit->setText(before);
    edit->clearFocus();
    enter(edit, entry);
    QVERIFY(edit->hasFocus());
    QTest::keyClicks(edit, typed);
    // The decimal separator is the system's.
    QCOMPARE(edit->text().replace(QLocale().decimalPoint(), QStringLiteral(".")), after);
}

void TestEntryFields::selectAllAndCopyPass_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("handEntry");
    for (const char* name : {"reHT1", "reHD1", "reIDD1", "reADD1", "reSSize", "reSAdd1"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    QTest::newRow("reIDT1, hand entry") << QStringLiteral("reIDT1") << true;
    QTest::newRow("reIDT1, read only") << QStringLiteral("reIDT1") << false;
}

void TestEntryFields::selectAllAndCopyPass() {
    QFETCH(QString, field);
    QFETCH(bool, handEntry);
    FieldsWindow w;
    w.find<QToolButton>("sbHndEnt")->setChecked(handEntry);
    QLineEdit* edit = w.field(field);
    edit->setText(QStringLiteral("1234"));
    edit->setFocus(Qt::OtherFocusReason);
    edit->end(false);
    QVERIFY(!edit->hasSelectedText());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(edit->selectedText(), QStringLiteral("1234"));
    QApplication::clipboard()->clear();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("1234"));
    QCOMPARE(edit->text(), QStringLiteral("1234"));
}
