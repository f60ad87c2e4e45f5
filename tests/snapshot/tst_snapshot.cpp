#include "app/ConfigFile.h"
#include "app/LayoutConfig.h"
#include "app/Progress.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/SimHarness.h"
#include "common/TestFiles.h"
#include "controller/ControllerCatalogue.h"
#include "sensor/SensorCatalogue.h"
#include "snapshot/SnapshotReport.h"
#include "snapshot/SnapshotRestore.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// Controller 1 serving sensors 1..4 (addresses 0..3), as a configuration
// file gives the layout.
app::ControllerLayout layout() {
    app::WorkingState s;
    app::loadLayout({{"KIP_TYP", "1"}, {"KIP_NUM", "1,1"}, {"KIP1", "0,4"}}, s);
    return s.layout;
}

struct Line {
    Line() : h(scenarioFrom("type 1\ncontroller 0 0 4\n")) { h.link.setObserver(&log); }
    snapshot::Snapshot take(const snapshot::Scope& scope = {}) {
        const auto s = snapshot::TakeSnapshot(h.link, layout(), progress, scope);
        Q_ASSERT(s);
        return *s;
    }
    sim::SimSensor& sensor(int address) { return *h.installation->sensor(address); }
    SimHarness h;
    CommandLog log;
    app::SilentProgress progress;
};

QStringList keysOf(const std::vector<snapshot::Difference>& diff) {
    QStringList out;
    for (const auto& d : diff)
        out << snapshot::deviceName(d.sensor, d.number) + QLatin1Char(' ') + d.key;
    return out;
}

// Three settings changed behind the tool's back.
void changeThree(Line& l) {
    l.h.installation->controller(0)->interval = 55;
    l.sensor(2).cells[0x90] = QByteArray("\xFF\x9C", 2); // -10.0 mm
    l.sensor(1).cells[0x01] = QByteArray("\x02\x58", 2); // thermometer 1 at 600
}

// The snapshot with sensor 3 (address 2) behind a faulty line: it ends,
// leaves transit off, and has that sensor's values only when it answered.
const std::map<QString, faultmatrix::Operation>& operations() {
    static const std::map<QString, faultmatrix::Operation> ops = {
        {"snapshot",
         [](bus::SerialLink& l, std::uint8_t s) {
             app::SilentProgress p;
             const auto taken = snapshot::TakeSnapshot(l, layout(), p);
             return taken && !taken->sensor(s + 1)->values.at("version").isNull() &&
                    !taken->sensor(s + 1)->values.at("size").isNull();
         }},
    };
    return ops;
}

} // namespace

class TestSnapshot : public QObject {
    Q_OBJECT
  private slots:
    void catalogueRows_data();
    void catalogueRows();
    void jsonRoundTrip();
    void diffListsExactlyTheChanges();
    void restoreBringsTheFirstBack();
    void restoreOfOneSensorTouchesNoOther();
    void sensitiveSettingsNeedTheirOwnYes();
    void silentSensorIsMissing();
    void breakLeavesTransitOffAndNoSnapshot();
    void refusedFiles_data();
    void refusedFiles();
    void report();
    void lineFaults_data();
    void lineFaults();
};

// Every row of the catalogue: its edges go in and come back through the
// device encoding, one step beyond is refused.
void TestSnapshot::catalogueRows_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("key");
    const std::pair<const char*, const std::vector<app::Setting>*> tables[] = {
        {"sensor", &sensor::sensorSettings()},
        {"controller", &controller::controllerSettings()},
        {"alarm", &controller::alarmSettings()}};
    for (const auto& [table, rows] : tables)
        for (const app::Setting& row : *rows)
            QTest::addRow("%s %s", table, qPrintable(row.key))
                << QString::fromLatin1(table) << row.key;
}

void TestSnapshot::catalogueRows() {
    QFETCH(QString, table);
    QFETCH(QString, key);
    const app::Setting& row = table == QLatin1String("sensor") ? sensor::sensorSetting(key)
                                                               : controller::controllerSetting(key);
    QVERIFY(!row.label.isEmpty());
    QVERIFY(row.operation);
    const bool entered = row.use != app::SettingUse::Measured;
    QCOMPARE(row.writable(), entered);
    QStringList good, bad;
    switch (row.kind) {
    case app::SettingKind::Number: {
        const double step = std::pow(10.0, -row.decimals);
        for (const double edge : {row.min, row.max}) {
            const QJsonValue v(edge);
            // The device number of an edge decodes to the edge itself.
            QCOMPARE(row.decode(row.encode(v)).toDouble(), edge);
            good << row.text(v);
        }
        bad << QString::number(row.min - step, 'f', row.decimals)
            << QString::number(row.max + step, 'f', row.decimals);
        break;
    }
    case app::SettingKind::Flag:
        good << "0"
             << "1";
        bad << "2"
            << "yes";
        QCOMPARE(row.decode(row.encode(QJsonValue(true))), QJsonValue(true));
        break;
    case app::SettingKind::Choice:
        good = row.choices;
        bad << "RS422" << QString::number(row.choices.size());
        for (const QString& c : row.choices)
            QCOMPARE(row.decode(row.encode(QJsonValue(c))), QJsonValue(c));
        break;
    case app::SettingKind::Byte:
        good << "00"
             << "FF";
        bad << "100"
            << "G0";
        QCOMPARE(row.decode(row.encode(QJsonValue("FF"))), QJsonValue("FF"));
        break;
    case app::SettingKind::Text:
        good << "0000"
             << "9999";
        bad << "123"
            << "12345"
            << "12a4";
        break;
    case app::SettingKind::Identifier:
        good << (row.key.startsWith(QLatin1String("meter")) ? "445370540000AB70"
                                                            : "10E8C3A401080065");
        bad << "10E8C3A401080066"
            << "10E8C3A40108006"
            << "10AB@014F010032*";
        break;
    }
    for (const QString& text : good) {
        const auto v = row.parse(text);
        QVERIFY2(v, qPrintable(text));
        // What the CLI prints reads back as the same value.
        QCOMPARE(row.parse(row.text(*v)), v);
        QVERIFY(row.accepts(*v));
    }
    for (const QString& text : bad) {
        if (!entered)
            break;
        QVERIFY2(!row.parse(text), qPrintable(text));
        const QString refusal = row.refusal(text);
        // The refusal names the setting and the value.
        QVERIFY2(refusal.contains(row.key) && refusal.contains(text), qPrintable(refusal));
    }
}

void TestSnapshot::jsonRoundTrip() {
    Line l;
    const snapshot::Snapshot s = l.take();
    QCOMPARE(s.controllers.size(), std::size_t(1));
    QCOMPARE(s.sensors.size(), std::size_t(4));
    QCOMPARE(s.sensors[2].values.at("thermometer.1.id").toString(),
             QString::fromLatin1(l.sensor(2).cells[0x81]));
    QCOMPARE(s.controllers[0].values.at("version").toString(),
             QString::fromLatin1(l.h.installation->controller(0)->version));
    QString error;
    const auto back = snapshot::fromJson(snapshot::toJson(s), &error);
    QVERIFY2(back, qPrintable(error));
    QVERIFY(back->controllers == s.controllers);
    QVERIFY(back->sensors == s.sensors);
    QCOMPARE(back->layout, s.layout);
    QVERIFY(snapshot::Diff(s, *back).empty());
    // Transit was left off.
    QVERIFY(!l.h.installation->controller(0)->transit);
}

void TestSnapshot::diffListsExactlyTheChanges() {
    Line l;
    const snapshot::Snapshot first = l.take();
    changeThree(l);
    const snapshot::Snapshot second = l.take();
    const auto diff = snapshot::Diff(first, second);
    QCOMPARE(keysOf(diff), (QStringList{"КИП 1 interval", "датчик 2 thermometer.1.height",
                                        "датчик 3 level-correction"}));
    QCOMPARE(snapshot::diffLine(diff[2]), QStringLiteral("датчик 3\tlevel-correction\t-15\t-100"));
}

void TestSnapshot::restoreBringsTheFirstBack() {
    Line l;
    const snapshot::Snapshot first = l.take();
    changeThree(l);
    const auto plan = snapshot::PlanRestore(l.take(), first, {});
    QCOMPARE(plan.size(), std::size_t(3));
    const auto r = snapshot::Restore(l.h.link, layout(), first, plan, false, l.progress);
    QVERIFY(r.completed);
    QVERIFY(r.left.empty());
    QVERIFY(snapshot::Diff(first, l.take()).empty());
    QVERIFY(!l.h.installation->controller(0)->transit);
}

void TestSnapshot::restoreOfOneSensorTouchesNoOther() {
    Line l;
    const snapshot::Snapshot first = l.take();
    changeThree(l);
    snapshot::Scope one;
    one.sensor = 3;
    const auto plan = snapshot::PlanRestore(l.take(), first, one);
    QCOMPARE(plan.size(), std::size_t(1));
    l.log.sent.clear();
    QVERIFY(snapshot::Restore(l.h.link, layout(), first, plan, false, l.progress).completed);
    // Only sensor 3 (address 2) and its controller's transit on the wire.
    for (const QString& frame : l.log.sent)
        QVERIFY2(frame.startsWith(QLatin1String("02:")) || frame.startsWith(QLatin1String("80:")),
                 qPrintable(frame));
    QCOMPARE(l.sensor(2).cells[0x90], QByteArray("\xFF\xF1", 2));
    QCOMPARE(l.sensor(1).cells[0x01], QByteArray("\x02\x58", 2));
    QCOMPARE(l.h.installation->controller(0)->interval, 55);
}

void TestSnapshot::sensitiveSettingsNeedTheirOwnYes() {
    Line l;
    const snapshot::Snapshot first = l.take();
    l.h.installation->controller(0)->workingPassword = "9999";
    const auto plan = snapshot::PlanRestore(l.take(), first, {});
    QCOMPARE(plan.size(), std::size_t(1));
    QCOMPARE(plan[0].kind, snapshot::Change::Sensitive);
    QVERIFY(snapshot::Restore(l.h.link, layout(), first, plan, false, l.progress).completed);
    QCOMPARE(l.h.installation->controller(0)->workingPassword, QByteArray("9999"));
    QVERIFY(snapshot::Restore(l.h.link, layout(), first, plan, true, l.progress).left.empty());
    QCOMPARE(l.h.installation->controller(0)->workingPassword, QByteArray("1111"));
}

void TestSnapshot::silentSensorIsMissing() {
    Line l;
    const snapshot::Snapshot first = l.take();
    l.h.installation->setSensorFault(1, sim::Fault::Silent);
    const snapshot::Snapshot second = l.take();
    QVERIFY(second.sensor(2)->values.at("size").isNull());
    QVERIFY(second.sensor(2)->values.at("version").isNull());
    const auto diff = snapshot::Diff(first, second);
    QVERIFY(!diff.empty());
    for (const auto& d : diff) {
        QCOMPARE(d.number, 2);
        QCOMPARE(d.kind, snapshot::Difference::MissingInSecond);
    }
    QVERIFY(snapshot::diffLine(diff.front()).endsWith(QStringLiteral("\t—")));
    // What is missing in the target is never written.
    QVERIFY(snapshot::PlanRestore(first, second, {}).empty());
}

void TestSnapshot::breakLeavesTransitOffAndNoSnapshot() {
    Line l;
    l.h.link.setPump([&] {
        if (l.log.sent.size() == 40)
            l.progress.requestBreak();
    });
    QVERIFY(!snapshot::TakeSnapshot(l.h.link, layout(), l.progress));
    QVERIFY(!l.h.installation->controller(0)->transit);
    QCOMPARE(l.log.sent.last(), QStringLiteral("80:A5"));
}

void TestSnapshot::refusedFiles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "не JSON";
    QTest::newRow("another file") << QByteArray("{\"name\": 1}") << "не снимок установки";
    QTest::newRow("another version")
        << QByteArray("{\"format\":\"orvant2-snapshot\",\"version\":2}") << "версия формата 2";
    QTest::newRow("no sensors")
        << QByteArray("{\"format\":\"orvant2-snapshot\",\"version\":1,\"controllers\":[]}")
        << "нет списка датчиков";
}

void TestSnapshot::refusedFiles() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QString why;
    QVERIFY(!snapshot::fromJson(text, &why));
    QVERIFY2(why.contains(error), qPrintable(why));
}

void TestSnapshot::report() {
    Line l;
    const snapshot::Snapshot s = l.take();
    QTemporaryDir dir;
    const QString html = dir.filePath(QStringLiteral("r.html"));
    QString error;
    QVERIFY2(snapshot::writeReport(s, html, &error), qPrintable(error));
    const QString text = QString::fromUtf8(fileBytes(html));
    QVERIFY(text.contains(QStringLiteral("Датчик 4")));
    QVERIFY(text.contains(QString::fromLatin1(l.sensor(3).cells[0x81])));
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    QVERIFY2(snapshot::writeReport(s, pdf, &error), qPrintable(error));
    QVERIFY(fileBytes(pdf).startsWith("%PDF"));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext is not installed");
    QProcess p;
    p.start(pdftotext, {pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished());
    const QString extracted = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY(extracted.contains(QStringLiteral("Датчик 4")));
    QVERIFY(extracted.contains(QString::fromLatin1(l.sensor(3).cells[0x81])));
}

void TestSnapshot::lineFaults_data() {
    faultmatrix::addRows(operations());
}

void TestSnapshot::lineFaults() {
    // About 10 s of line time for the four sensors; a silent one adds its
    // waits (about 20 s).
    faultmatrix::run(operations(), 45000);
}

int main(int argc, char** argv) {
    // Fonts for the PDF, without a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestSnapshot t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_snapshot.moc"
