#include "tst_update_page.h"

#include "UiWindow.h"
#include "common/CommandLog.h"
#include "ui/ControllerUpdatePage.h"

#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {

// A HEX file of 600 bytes carrying a version marker.
QString hexFile(const QTemporaryDir& dir, const char* name, bool marked = true) {
    QByteArray data(600, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 3);
    if (marked)
        data.replace(20, 13, QByteArray("REV VQM 6.01\0", 13));
    QByteArray out;
    for (int at = 0; at < data.size(); at += 16) {
        QByteArray r;
        r += char(16);
        r += char(at >> 8);
        r += char(at);
        r += '\0';
        r += data.mid(at, 16);
        int sum = 0;
        for (char c : r)
            sum += static_cast<std::uint8_t>(c);
        r += char(-sum);
        out += ':' + r.toHex().toUpper() + "\r\n";
    }
    return putFile(dir, name, out + ":00000001FF\r\n");
}

struct UpdateWindow : Window {
    explicit UpdateWindow(const QString& config = {}) : Window("controller 0 0 4\n", config) {
        form->ScanForControllers();
        QTest::mouseClick(find<QToolButton>("miKipUd"), Qt::LeftButton);
        page = form->findChild<ControllerUpdatePage*>();
    }
    void click(const char* name) const {
        QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton);
    }
    QString text(const char* name) const { return find<QLabel>(name)->text(); }
    ControllerUpdatePage* page = nullptr;
};

} // namespace

void TestUpdatePage::linkProgramFree() {
    UpdateWindow w;
    QVERIFY(!w.find<QPushButton>("btLink")->isEnabled());
    w.page->HFOpened(hexFile(w.dir, "kip.hex"));
    QCOMPARE(w.text("stNVer"), QStringLiteral("REV VQM 6.01"));
    QVERIFY(w.find<QPushButton>("btLink")->isEnabled());
    QVERIFY(w.configText().contains(QStringLiteral("MAIN_FILE=")));
    w.click("btLink");
    QCOMPARE(w.mess(), QStringLiteral("СВЯЗЬ УСТАНОВЛЕНА"));
    QCOMPARE(w.text("stOVer"), QString::fromLatin1(w.installation->controller(0)->version));
    QVERIFY(w.find<QPushButton>("btProg")->isEnabled());
    w.click("btProg");
    QCOMPARE(w.mess(), QStringLiteral("ПРОГРАММИРОВАНИЕ ЗАВЕРШЕНО"));
    QVERIFY(!w.find<QPushButton>("btProg")->isEnabled());
    // The device, restarted, says what it runs now.
    QCOMPARE(w.text("stOVer"), QStringLiteral("REV VQM 6.01"));
    QVERIFY(!w.installation->controller(0)->inBootLoader[0]);
    QCOMPARE(w.installation->controller(0)->program[0].mid(20, 12), QByteArray("REV VQM 6.01"));
}

void TestUpdatePage::fileFromTheConfiguration() {
    QTemporaryDir files;
    const QString hex = hexFile(files, "main.hex");
    UpdateWindow w(QStringLiteral("MAIN_FILE=%1\n").arg(hex));
    QCOMPARE(w.text("stHFile"), hex);
    QVERIFY(w.find<QPushButton>("btLink")->isEnabled());
    QVERIFY(!w.find<QCheckBox>("cbKipAlrLink")->isChecked());
}

void TestUpdatePage::unsupportedFileIsRefused() {
    UpdateWindow w;
    w.page->HFOpened(hexFile(w.dir, "plain.hex", false));
    QCOMPARE(w.mess(), QStringLiteral("Этот файл программой не поддерживается"));
    QVERIFY(!w.find<QPushButton>("btLink")->isEnabled());
    QVERIFY(w.text("stHFile").isEmpty());
    // PROG without an image in force sends nothing.
    CommandLog log;
    w.form->link().setObserver(&log);
    w.page->btProgClick();
    QVERIFY(log.sent.isEmpty());
}
