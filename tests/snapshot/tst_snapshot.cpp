#include "app/ConfigFile.h"
#include "app/LayoutConfig.h"
#include "app/Progress.h"
#include "app/WorkingState.h"
#include "common/CommandLog.h"
#include "common/FaultMatrix.h"
#include "common/FullDisk.h"
#include "common/SimHarness.h"
#include "common/TestFiles.h"
#include "controller/ControllerCatalogue.h"
#include "sensor/SensorCatalogue.h"
#include "snapshot/SnapshotReport.h"
#include "snapshot/SnapshotRestore.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
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
    explicit Line(const char* scenario = "type 1\ncontroller 0 0 4\n") : h(scenarioFrom(scenario)) {
        h.link.setObserver(&log);
    }
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
        // One changed value put back: it counts only when written and read back.
        {"restore",
         [](bus::SerialLink& l, std::uint8_t s) {
             app::SilentProgress p;
             snapshot::Scope one;
             one.sensor = s + 1;
             const auto now = snapshot::TakeSnapshot(l, layout(), p, one);
             if (!now)
                 return false;
             snapshot::Snapshot target = *now;
             target.sensors[0].values["level-correction"] = -2.5;
             const auto plan = snapshot::PlanRestore(*now, target, one);
             const auto r = snapshot::Restore(l, layout(), *now, target, plan, false, p);
             return !plan.empty() && snapshot::restoreOutcome(r) == QStringLiteral("ВОССТАНОВЛЕНО");
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
    void everyRowInSnapshotAndReport_data();
    void everyRowInSnapshotAndReport();
    void jsonRoundTrip();
    void unreachedDevicesAreNotRestored_data();
    void unreachedDevicesAreNotRestored();
    void restoreOntoAnotherInstallation();
    void readBackCatchesWhatDidNotStick_data();
    void readBackCatchesWhatDidNotStick();
    void writesInDependencyOrder();
    void refusedBeforeAnyFrame_data();
    void refusedBeforeAnyFrame();
    void anotherInstallationRefused();
    void formatOneStillComparesAndRestores();
    void restoreUnderLineFaults_data();
    void restoreUnderLineFaults();
    void privateFileAndFullDisk();
    void diffListsExactlyTheChanges();
    void restoreBringsTheFirstBack();
    void restoreOfOneSensorTouchesNoOther();
    void sensitiveSettingsNeedTheirOwnYes();
    void silentSensorIsMissing();
    void restoreWalkAsksOnlyTheFilesSensors();
    void silentFrontEndsTheWalk_data();
    void silentFrontEndsTheWalk();
    void partlyReadDevicesAreNamed_data();
    void partlyReadDevicesAreNamed();
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

// Every row a controller type has is read into the snapshot, and shown in
// the report by its label (passwords and empty table places aside).
void TestSnapshot::everyRowInSnapshotAndReport_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("config");
    QTest::newRow("controllers") << "type 1\ncontroller 0 0 4\n"
                                 << "KIP_TYP=1\nKIP_NUM=1,1\nKIP1=0,4\n";
    QTest::newRow("direct sensors") << "type 2\nsensors 0 1\n"
                                    << "KIP_TYP=2\nKIP_NUM=0,1\nKIP_B=0,1\n";
}

void TestSnapshot::everyRowInSnapshotAndReport() {
    QFETCH(QString, scenario);
    QFETCH(QString, config);
    SimHarness h(scenarioFrom(qPrintable(scenario)));
    app::WorkingState state;
    std::vector<std::pair<QString, QString>> keys;
    for (const QString& line : config.split('\n', Qt::SkipEmptyParts))
        keys.emplace_back(line.section('=', 0, 0), line.section('=', 1));
    app::loadLayout(keys, state);
    app::SilentProgress progress;
    const auto s = snapshot::TakeSnapshot(h.link, state.layout, progress);
    QVERIFY(s && !s->controllers.empty() && !s->sensors.empty());
    const QString html = snapshot::reportHtml(*s).toHtmlEscaped();
    const std::pair<const std::vector<app::Setting>*, bool> tables[] = {
        {&sensor::sensorSettings(), true},
        {&controller::controllerSettings(), false},
        {&controller::alarmSettings(), true}};
    for (const auto& [rows, isSensor] : tables) {
        const snapshot::Device& d = isSensor ? s->sensors.front() : s->controllers.front();
        for (const app::Setting& row : *rows) {
            const bool table = row.key.startsWith(QLatin1String("table."));
            if (!row.existsIn(s->controllerType) ||
                (table && s->controllerType == app::TypeDirect && row.place > 1))
                continue;
            QVERIFY2(d.values.count(row.key), qPrintable(row.key));
            const bool place = row.key.contains(QLatin1String("meter.")) ||
                               row.key.startsWith(QLatin1String("thermometer."));
            if (row.key.endsWith(QLatin1String("-password")) || table || place ||
                row.key == QLatin1String("version"))
                continue;
            QVERIFY2(html.contains(row.caption().toHtmlEscaped()), qPrintable(row.key));
        }
    }
}

// A device of the snapshot the line does not have now is named, and the
// restore does not end in success for it.
void TestSnapshot::unreachedDevicesAreNotRestored_data() {
    QTest::addColumn<int>("scopeSensor");
    QTest::addColumn<QList<int>>("unreached");
    QTest::newRow("whole snapshot") << 0 << QList<int>{5, 6};
    QTest::newRow("one sensor on the line") << 1 << QList<int>{};
    QTest::newRow("one sensor not on the line") << 6 << QList<int>{6};
}

void TestSnapshot::unreachedDevicesAreNotRestored() {
    QFETCH(int, scopeSensor);
    QFETCH(QList<int>, unreached);
    snapshot::Snapshot target, now;
    for (int n : {1, 2, 5, 6})
        target.sensors.push_back({n, n < 5 ? 1 : 2, {}});
    for (int n : {1, 2})
        now.sensors.push_back({n, 1, {}});
    snapshot::Scope scope;
    if (scopeSensor)
        scope.sensor = scopeSensor;
    QList<int> got;
    for (const snapshot::Device& d : snapshot::Unreached(now, target, scope, true))
        got << d.number;
    QCOMPARE(got, unreached);
    snapshot::RestoreResult r;
    r.completed = true;
    r.skipped = static_cast<int>(got.size());
    QCOMPARE(snapshot::restoreOutcome(r),
             got.isEmpty() ? QStringLiteral("ВОССТАНОВЛЕНО")
                           : QStringLiteral("ВОССТАНОВЛЕНО НЕ ВСЁ: %1").arg(got.size()));
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

// Installation B, the same line as A with every kind of setting changed:
// after A's snapshot is restored onto it, each restorable value is A's.
void TestSnapshot::restoreOntoAnotherInstallation() {
    const char* line = "type 1\ncontroller 0 0 4\nsegments 2 64 2000\n"; // sensor 3 wide
    Line a(line);
    const snapshot::Snapshot first = a.take();
    QCOMPARE(first.sensor(3)->values.at("wide"), QJsonValue(true));
    QCOMPARE(first.sensor(3)->values.at("size"), QJsonValue(2000));
    QCOMPARE(first.sensor(1)->values.at("thermometer.3.id"), QJsonValue("empty"));
    Line b(line);
    sim::SimController& c = *b.h.installation->controller(0);
    c.interval = 37;
    c.channels = {0, 1};
    c.option ^= 0x08;
    c.workingPassword = "9999";
    c.alarms[1].thresholds[0] = 1900;
    c.alarms[1].enables = 0x07;
    sim::SimSensor& s1 = b.sensor(0);
    s1.cells[0x83] = "108CE7E95A3AAA37"; // a thermometer A does not have
    s1.cells[0x03] = QByteArray("\x05\xDC", 2);
    s1.cells[0x90] = QByteArray("\x00\x19", 2);
    s1.flags = 0x45;
    s1.fillCriterionTenths = 99;
    s1.sectionCorrections[3] = 1.5f;
    s1.workingSegments = 100;
    s1.removedSegments = 2;
    s1.codeUpdate = 0x40;
    s1.counter = 77;
    sim::SimSensor& s3 = b.sensor(2);
    s3.cells[0x02] = QByteArray("\x02\x58", 2);
    s3.cells[0x09] = QByteArray("\x03\x20", 2); // meter 1 at 800
    s3.densityCorrections[1] = 0.7f;
    s3.cells[0x91] = QByteArray("\x00\x20", 2); // 32 wide segments: 1000 mm
    s3.length = 1000;
    b.sensor(3).counterValue = 5; // measured: compared, never written

    const snapshot::Snapshot now = b.take();
    QVERIFY(snapshot::RefusedValues(first).isEmpty());
    QVERIFY(snapshot::Mismatches(now, first, {}).isEmpty());
    const auto plan = snapshot::PlanRestore(now, first, {});
    QStringList measured;
    for (const auto& ch : plan) {
        const app::Setting* row = snapshot::settingOf(ch.sensor, ch.key);
        QVERIFY(row);
        QCOMPARE(ch.kind == snapshot::Change::NotRestorable, !row->writable());
        if (!row->writable())
            measured << ch.key;
    }
    QCOMPARE(measured, QStringList{"counter-value"});
    const auto r = snapshot::Restore(b.h.link, layout(), now, first, plan, false, b.progress);
    QCOMPARE(snapshot::restoreOutcome(r), QStringLiteral("ВОССТАНОВЛЕНО"));
    QVERIFY(!b.h.installation->controller(0)->transit);
    // What differs is what may not be written without its own yes, and
    // what is measured.
    QStringList left;
    for (const auto& d : snapshot::Diff(first, b.take()))
        left << snapshot::diffLine(d);
    QCOMPARE(left,
             (QStringList{"КИП 1\tworking-password\t1111\t9999", "датчик 4\tcounter-value\t0\t5"}));
    QCOMPARE(s3.length, 2000); // 64 segments of the wide probe, not 128
    QCOMPARE(s1.cells[0x83], QByteArray(16, '0'));
}

// A value the sensor would keep otherwise (a size between two segments) is
// not written: it is left, and the sensor keeps the size it had.
namespace {

// Once the first device's writes are done (the first step), its cells are
// put back as they were: a sensor that confirmed a write and lost it.
struct LosesWhatItTook : app::SilentProgress {
    std::function<void()> lose;
    void StepProgress(int k) override {
        if (lose)
            std::exchange(lose, {})();
        app::SilentProgress::StepProgress(k);
    }
};

} // namespace

// A line without controllers: the walk before a restore asks only the
// sensors the file has, not every empty address of the line.
void TestSnapshot::restoreWalkAsksOnlyTheFilesSensors() {
    SimHarness h(scenarioFrom("type 5\nsensors 2 3\n"));
    CommandLog log;
    h.link.setObserver(&log);
    app::WorkingState st;
    app::loadLayout({{"KIP_TYP", "5"}}, st);
    snapshot::Snapshot target;
    target.controllerType = 5;
    target.sensors = {{3, 0, {}}, {4, 0, {}}};
    app::SilentProgress p;
    const auto now =
        snapshot::TakeSnapshot(h.link, st.layout, p, snapshot::restoreScope({}, target, st.layout));
    QVERIFY(now);
    QCOMPARE(now->sensors.size(), std::size_t(2));
    QSet<QString> asked;
    for (const QString& sent : log.sent)
        asked << sent.left(2);
    QCOMPARE(asked, (QSet<QString>{"02", "03"}));
    // Where the layout names the sensors the scope stays as given.
    QVERIFY(!snapshot::restoreScope({}, target, layout()).sensors);
}

void TestSnapshot::readBackCatchesWhatDidNotStick_data() {
    QTest::addColumn<bool>("confirmed");
    // Sensor 2 answers its reads and none of its writes.
    QTest::newRow("ignores writes") << false;
    // It confirms the write, then holds the old value: only reading it
    // back tells.
    QTest::newRow("confirmed, not kept") << true;
}

void TestSnapshot::readBackCatchesWhatDidNotStick() {
    QFETCH(bool, confirmed);
    Line l;
    const snapshot::Snapshot now = l.take();
    snapshot::Snapshot target = now;
    const QString key = QStringLiteral("level-correction");
    target.sensors[1].values[key] = -2.5;
    const auto plan = snapshot::PlanRestore(now, target, {});
    QCOMPARE(plan.size(), std::size_t(1));
    const std::map<int, QByteArray> cells = l.sensor(1).cells;
    LosesWhatItTook progress;
    if (confirmed)
        progress.lose = [&] {
            QVERIFY(l.sensor(1).cells != cells); // the write was taken
            l.sensor(1).cells = cells;
        };
    else
        l.h.installation->setSensorFault(1, sim::Fault::IgnoresWrites);
    l.log.sent.clear();
    const auto r = snapshot::Restore(l.h.link, layout(), now, target, plan, false, progress);
    QVERIFY(!progress.lose);
    QVERIFY(l.log.sent.contains(QStringLiteral("01:83"))); // the write went out
    QCOMPARE(snapshot::restoreOutcome(r), QStringLiteral("ВОССТАНОВЛЕНО НЕ ВСЁ: 1"));
    QCOMPARE(r.left.size(), std::size_t(1));
    QCOMPARE(r.left.front().number, 2);
    QCOMPARE(r.left.front().key, key);
    QCOMPARE(r.left.front().wanted, QJsonValue(-2.5));
    QCOMPARE(r.left.front().now, app::valueOf(now.sensors[1].values, key));
    QVERIFY(r.left.front().now != QJsonValue(-2.5));
    QCOMPARE(l.sensor(1).cells, cells);
}

// A meter's identifier goes before its height and correction: the sensor
// keeps them for the meter it knows at that place.
void TestSnapshot::writesInDependencyOrder() {
    Line l;
    const snapshot::Snapshot now = l.take();
    snapshot::Snapshot target = now;
    snapshot::Values& v = target.sensors[2].values;
    v["meter.2.correction"] = 1.5;
    v["meter.2.height"] = 900;
    v["meter.2.id"] = "445370540000AB70";
    const auto plan = snapshot::PlanRestore(now, target, {});
    QCOMPARE(plan.size(), std::size_t(3));
    l.log.sent.clear();
    l.log.frames.clear();
    const auto r = snapshot::Restore(l.h.link, layout(), now, target, plan, false, l.progress);
    QCOMPARE(snapshot::restoreOutcome(r), QStringLiteral("ВОССТАНОВЛЕНО"));
    // A frame: "@", address, command, length, then the payload.
    auto first = [&](const char* command, const char* cell) {
        for (int i = 0; i < l.log.sent.size(); ++i)
            if (l.log.sent[i] == QLatin1String(command) &&
                (!cell || l.log.frames[i].mid(7, 2) == cell))
                return i;
        return -1;
    };
    const int id = first("02:83", "8A");
    const int height = first("02:83", "0A");
    const int correction = first("02:40", nullptr);
    QVERIFY(id >= 0 && height >= 0 && correction >= 0);
    QVERIFY(id < height && height < correction);
}

// A number no snapshot has, replaced in the file by the text a row writes.
constexpr double kStandIn = 123456.789;
const QByteArray kStandInText = "123456.789";

// Values a snapshot edited by hand may hold: each is named with what is
// allowed, quoted as the file has it.

void TestSnapshot::refusedBeforeAnyFrame_data() {
    QTest::addColumn<bool>("sensor");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("refusal");
    // The value's text as an edited file has it (empty: as written by us).
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("size not a number")
        << true << "size" << QJsonValue("abc")
        << "датчик 2: size \"abc\": допустимо от 15 до 65531 мм" << QByteArray();
    QTest::newRow("interval") << false << "interval" << QJsonValue(100)
                              << "КИП 1: interval \"100\": допустимо от 1.0 до 25.5 с"
                              << QByteArray();
    QTest::newRow("first sensor") << false << "first-sensor" << QJsonValue(500)
                                  << "КИП 1: first-sensor \"500\": допустимо от 1 до 128"
                                  << QByteArray();
    QTest::newRow("correction between tenths") << true << "level-correction" << QJsonValue(-1.55)
                                               << "level-correction \"-1.55\"" << QByteArray();
    QTest::newRow("identifier") << true << "thermometer.1.id" << QJsonValue("10ZZZZZZZZZZZZZZ")
                                << "не шестнадцатеричные символы" << QByteArray();
    QTest::newRow("contacts in type 1")
        << true << "alarm.contacts-1" << QJsonValue("01")
        << "датчик 2: alarm.contacts-1: нет такой настройки" << QByteArray();
    QTest::newRow("forbidden flags") << true << "single-density-meter" << QJsonValue(true)
                                     << "датчик 2: Запрещённая комбинация флагов !" << QByteArray();
    // Quoted as the file has them, never as they parse.
    QTest::newRow("correction with a trailing zero")
        << true << "level-correction" << QJsonValue(kStandIn)
        << "датчик 2: level-correction \"-1.250\": допустимо" << QByteArray("-1.250");
    QTest::newRow("size of forty digits")
        << true << "size" << QJsonValue(kStandIn)
        << QStringLiteral("датчик 2: size \"%1\": допустимо").arg(QString(40, QLatin1Char('9')))
        << QByteArray(40, '9');
    QTest::newRow("first sensor with an exponent")
        << false << "first-sensor" << QJsonValue(kStandIn)
        << "КИП 1: first-sensor \"5e2\": допустимо от 1 до 128" << QByteArray("5e2");
}

void TestSnapshot::refusedBeforeAnyFrame() {
    QFETCH(QByteArray, written);
    QFETCH(bool, sensor);
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QString, refusal);
    Line l;
    snapshot::Snapshot s = l.take();
    s.sensors[1].values["density-channel"] = "combined";
    if (key != QLatin1String("single-density-meter"))
        s.sensors[1].values["density-channel"] = "separate";
    (sensor ? s.sensors[1] : s.controllers[0]).values[key] = value;
    // Through the file, as an edited snapshot comes.
    QByteArray text = snapshot::toJson(s);
    if (!written.isEmpty()) {
        QVERIFY(text.contains(kStandInText));
        text.replace(kStandInText, written);
    }
    const auto back = snapshot::fromJson(text, nullptr);
    QVERIFY(back);
    const QStringList refused = snapshot::RefusedValues(*back);
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused[0].contains(refusal), qPrintable(refused[0]));
}

void TestSnapshot::anotherInstallationRefused() {
    Line l("type 1\ncontroller 0 0 4\nsegments 2 64 2000\n");
    const snapshot::Snapshot now = l.take();
    snapshot::Snapshot other = now;
    other.controllerType = 3;
    QCOMPARE(snapshot::Mismatches(now, other, {}).join('\n'),
             QStringLiteral("тип КИП в снимке: %1, на линии: %2")
                 .arg(app::controllerTypeLabel(3), app::controllerTypeLabel(1)));
    other = now;
    other.sensors[2].values["wide"] = false;
    other.layout.back().second = QStringLiteral("0,5");
    QCOMPARE(snapshot::Mismatches(now, other, {}),
             QStringList{"датчик 3: Широкий сенсор (старый НБ): в снимке нет, на линии да"});
    const auto layoutLines = snapshot::LayoutDifferences(now, other);
    QCOMPARE(layoutLines.size(), std::size_t(1));
    QVERIFY(snapshot::diffLine(layoutLines[0]).endsWith(QStringLiteral("\t0,4\t0,5")));
}

// A file of format 1 (the devices' numbers, the flag byte whole) is read
// in the catalogue's units, compared and restored.
void TestSnapshot::formatOneStillComparesAndRestores() {
    const QByteArray v1 = R"({"format": "orvant2-snapshot", "version": 1, "controllerType": 1,
        "layout": [["KIP_TYP", "1"]],
        "controllers": [{"number": 1, "values": {"interval": 110, "index": 0,
            "first-sensor": 0, "main-channel": 1, "sensor-map": true, "version": null}}],
        "sensors": [{"number": 3, "controller": 1, "values": {"level-correction": -25,
            "flags": 72, "section.1": -0.25, "filling-criterion": 35, "code-update": true,
            "alarm.enables": 5, "alarm.contacts.1": 0, "alarm.volume": 4294967295,
            "thermometer.1.height": 300, "thermometer.3.id": null}}]})";
    QString error;
    const auto old = snapshot::fromJson(v1, &error);
    QVERIFY2(old, qPrintable(error));
    const snapshot::Values& c = old->controller(1)->values;
    QCOMPARE(c.at("interval"), QJsonValue(11.0));
    QCOMPARE(c.at("address"), QJsonValue(1));
    QCOMPARE(c.at("first-sensor"), QJsonValue(1));
    QCOMPARE(c.at("main-channel"), QJsonValue("RS485"));
    const snapshot::Values& s = old->sensor(3)->values;
    QCOMPARE(s.at("level-correction"), QJsonValue(-2.5));
    QCOMPARE(s.at("density-channel"), QJsonValue("combined"));
    QCOMPARE(s.at("single-density-meter"), QJsonValue(false));
    QCOMPARE(s.at("section-1"), QJsonValue(-0.25));
    QCOMPARE(s.at("filling-criterion"), QJsonValue(3.5));
    QCOMPARE(s.at("alarm.enable-fuel-95"), QJsonValue(false));
    QCOMPARE(s.at("alarm.enable-fuel-min"), QJsonValue(true));
    QVERIFY(!s.count("alarm.contacts-1")); // type 1 has none
    QVERIFY(!s.count("flags"));
    QVERIFY(snapshot::RefusedValues(*old).isEmpty());

    Line l;
    const snapshot::Snapshot now = l.take();
    QStringList diff;
    for (const auto& d : snapshot::Diff(now, *old))
        if (d.kind == snapshot::Difference::Changed)
            diff << snapshot::diffLine(d);
    QCOMPARE(diff, (QStringList{"КИП 1\tinterval\t10.0\t11.0",
                                "датчик 3\tlevel-correction\t-1.5\t-2.5"}));
    const auto plan = snapshot::PlanRestore(now, *old, {});
    const auto r = snapshot::Restore(l.h.link, layout(), now, *old, plan, false, l.progress);
    QCOMPARE(snapshot::restoreOutcome(r), QStringLiteral("ВОССТАНОВЛЕНО"));
    QCOMPARE(l.h.installation->controller(0)->interval, 110);
    QCOMPARE(l.sensor(2).cells[0x90], QByteArray("\xFF\xE7", 2));
}

// What the engineer is told when the line fails during a restore of sensor
// 3's level correction.
void TestSnapshot::restoreUnderLineFaults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("silent");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("echoing adapter") << "echo" << QStringList() << "ВОССТАНОВЛЕНО";
    QTest::newRow("silent sensor") << "silent" << QStringList{"датчик 3"} << "";
    QTest::newRow("nothing but the echo") << "echo-only" << QStringList{"КИП 1", "датчик 3"} << "";
}

void TestSnapshot::restoreUnderLineFaults() {
    QFETCH(QString, fault);
    QFETCH(QStringList, silent);
    QFETCH(QString, outcome);
    Line good;
    snapshot::Snapshot target = good.take();
    target.sensors[2].values["level-correction"] = -2.5;
    Line l;
    l.h.installation->setEcho(fault.startsWith(QLatin1String("echo")));
    l.h.installation->setNoDevices(fault == QLatin1String("echo-only"));
    if (fault == QLatin1String("silent"))
        l.h.installation->setSensorFault(2, sim::Fault::Silent);
    snapshot::Scope scope;
    const snapshot::Snapshot now = l.take(scope);
    QStringList named;
    for (const bool sensors : {false, true})
        for (const auto& d : snapshot::Silent(now, target, scope, sensors))
            named << snapshot::deviceName(sensors, d.number);
    // Silent devices are named and nothing is planned for them.
    QCOMPARE(named.filter(QRegularExpression(QStringLiteral("КИП 1|датчик 3"))), silent);
    const auto plan = snapshot::PlanRestore(now, target, scope);
    if (outcome.isEmpty()) {
        QVERIFY(plan.empty());
    } else {
        const auto r = snapshot::Restore(l.h.link, layout(), now, target, plan, false, l.progress);
        QCOMPARE(snapshot::restoreOutcome(r), outcome);
    }
    QVERIFY(!l.h.installation->controller(0)->transit);
}

// The file holds the passwords: its owner alone may read it. A full disk
// leaves nothing behind and says why.
void TestSnapshot::privateFileAndFullDisk() {
    Line l;
    const snapshot::Snapshot s = l.take();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.json"));
    QVERIFY(QFile(path).open(QIODevice::WriteOnly)); // readable by all before
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther);
    QString error;
    QVERIFY2(snapshot::writeSnapshot(path, s, &error), qPrintable(error));
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    FullDisk full;
    QVERIFY(full.isValid());
    full.fill();
    const QString target = full.filePath(QStringLiteral("s.json"));
    const bool written = snapshot::writeSnapshot(target, s, &error);
    full.release();
    QVERIFY(!written);
    QCOMPARE(error, app::fileFaultText(full.expectedFault()));
    QCOMPARE(full.files(), QStringList());
}

void TestSnapshot::diffListsExactlyTheChanges() {
    Line l;
    const snapshot::Snapshot first = l.take();
    changeThree(l);
    const snapshot::Snapshot second = l.take();
    const auto diff = snapshot::Diff(first, second);
    QCOMPARE(keysOf(diff), (QStringList{"КИП 1 interval", "датчик 2 thermometer.1.height",
                                        "датчик 3 level-correction"}));
    // Keys and values in the page's units.
    QCOMPARE(snapshot::diffLine(diff[2]),
             QStringLiteral("датчик 3\tlevel-correction\t-1.5\t-10.0"));
    QCOMPARE(snapshot::diffCaption(diff[2]),
             QStringLiteral("датчик 3: Поправка по уровню, мм: −1.5 → −10.0"));
}

void TestSnapshot::restoreBringsTheFirstBack() {
    Line l;
    const snapshot::Snapshot first = l.take();
    changeThree(l);
    const snapshot::Snapshot now = l.take();
    const auto plan = snapshot::PlanRestore(now, first, {});
    QCOMPARE(plan.size(), std::size_t(3));
    const auto r = snapshot::Restore(l.h.link, layout(), now, first, plan, false, l.progress);
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
    const snapshot::Snapshot now = l.take();
    const auto plan = snapshot::PlanRestore(now, first, one);
    QCOMPARE(plan.size(), std::size_t(1));
    l.log.sent.clear();
    QVERIFY(snapshot::Restore(l.h.link, layout(), now, first, plan, false, l.progress).completed);
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
    const snapshot::Snapshot now = l.take();
    const auto plan = snapshot::PlanRestore(now, first, {});
    QCOMPARE(plan.size(), std::size_t(1));
    QCOMPARE(plan[0].kind, snapshot::Change::Sensitive);
    QVERIFY(snapshot::Restore(l.h.link, layout(), now, first, plan, false, l.progress).completed);
    QCOMPARE(l.h.installation->controller(0)->workingPassword, QByteArray("9999"));
    QVERIFY(snapshot::Restore(l.h.link, layout(), now, first, plan, true, l.progress).left.empty());
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

// A controller that answered nothing is not put into transit: its first
// sensor is asked its version outside transit, and when that stays silent
// too nobody behind the controller is asked. A controller that relays
// without answering itself is heard through that sensor. Without
// controllers the line's first three addresses decide.
void TestSnapshot::silentFrontEndsTheWalk_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("wire");  // the whole wire, when given
    QTest::addColumn<QStringList>("asked"); // requests that must be among it
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("silent");
    const QStringList everySensor{"00:01", "01:01", "02:01", "03:01"};
    QTest::newRow("dead line") << "type 1"
                               << "1" << QStringList{"80:01", "00:01"} << QStringList{}
                               << "КИП 1 НЕ ОТВЕЧАЕТ: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ"
                               << QStringList{"КИП 1", "датчик 1"};
    QTest::newRow("echo-only line")
        << "type 1\necho-only"
        << "1" << QStringList{"80:01", "80:01", "00:01"} << QStringList{}
        << "КИП 1 НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ"
        << QStringList{"КИП 1", "датчик 1"};
    QTest::newRow("controller silent, relaying")
        << "controller 0 0 4 fault=silent"
        << "1" << QStringList{}
        << QStringList{"80:01", "00:01", "80:A1"} + everySensor + QStringList{"80:A5"} << ""
        << QStringList{"КИП 1"};
    QTest::newRow("silent first sensor")
        << "controller 0 0 4\nsensor 0 fault=silent"
        << "1" << QStringList{} << QStringList{"80:A1"} + everySensor << ""
        << QStringList{"датчик 1"};
    QTest::newRow("no controllers, dead line")
        << "type 5\nsensors 0 0"
        << "5" << QStringList{"00:01", "01:01", "02:01"} << QStringList{}
        << "ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ" << QStringList{};
    QTest::newRow("no controllers, echo only")
        << "type 5\nsensors 0 0\necho-only"
        << "5" << QStringList{"00:01", "00:01", "01:01", "02:01"} << QStringList{}
        << "ЛИНИЯ НЕ ОТВЕЧАЕТ (ТОЛЬКО ЭХО ЗАПРОСА): ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ"
        << QStringList{};
    // Two silent addresses before the first sensor are no dead line.
    QTest::newRow("no controllers, sensors from address 2")
        << "type 5\nsensors 2 2"
        << "5" << QStringList{} << QStringList{"00:01", "01:01", "02:01", "03:01", "04:01", "7F:01"}
        << "" << QStringList{};
    QTest::newRow("direct sensors, dead line")
        << "type 2\nsensors 0 0"
        << "2" << QStringList{"80:01", "00:01", "81:01"} << QStringList{}
        << "ЛИНИЯ НЕ ОТВЕЧАЕТ: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ"
        << QStringList{"КИП 1", "КИП 2", "датчик 1"};
}

void TestSnapshot::silentFrontEndsTheWalk() {
    QFETCH(QString, scenario);
    QFETCH(QString, type);
    QFETCH(QStringList, wire);
    QFETCH(QStringList, asked);
    QFETCH(QString, said);
    QFETCH(QStringList, silent);
    Line l(qPrintable(scenario));
    app::WorkingState state;
    app::loadLayout({{"KIP_TYP", type}, {"KIP_NUM", "1,1"}, {"KIP1", "0,4"}, {"KIP_B", "0,4"}},
                    state);
    std::vector<app::SilentFront> fronts;
    const auto s = snapshot::TakeSnapshot(l.h.link, state.layout, l.progress, {}, &fronts);
    QVERIFY(s);
    if (!wire.isEmpty())
        QCOMPARE(l.log.sent, wire);
    for (const QString& request : asked)
        QVERIFY2(l.log.sent.contains(request), qPrintable(request));
    QStringList texts;
    for (const app::SilentFront& f : fronts)
        texts << app::silentFrontText(f);
    QCOMPARE(texts.join(QStringLiteral("; ")), said);
    QCOMPARE(snapshot::silentDevices(*s, fronts), silent);
    // Behind a controller the devices left unasked keep their keys, without
    // values.
    if (type == QLatin1String("1"))
        QCOMPARE(s->sensors.size(), std::size_t(4));
    QVERIFY(!l.h.installation->controller(0) || !l.h.installation->controller(0)->transit);
}

// A device that answered part of what it was asked is named with how
// much did not come, in the window's words as well; a silent controller
// is asked nothing for its sensors' alarm set-up.
void TestSnapshot::partlyReadDevicesAreNamed_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("partly"); // as the CLI names them
    const QString notAll = QStringLiteral(": НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ (%1 из 76 без ответа)");
    QTest::newRow("every device answered") << "type 1\ncontroller 0 0 4"
                                           << "СНИМОК СОХРАНЁН: КИП 1, ДАТЧИКОВ 4" << QStringList{};
    // The layout puts sensors 3 and 4 behind controller 1; they are
    // controller 2's.
    QTest::newRow("sensors behind another controller")
        << "type 1\ncontroller 0 0 2\ncontroller 1 2 2"
        << "СНИМОК СОХРАНЁН: КИП 1, ДАТЧИКОВ 4; НЕ ВСЕ ЗНАЧЕНИЯ ПРОЧИТАНЫ: датчик 3 (74 из 76 "
           "без ответа), датчик 4 (74 из 76 без ответа)"
        << QStringList{"датчик 3" + notAll.arg(74), "датчик 4" + notAll.arg(74)};
    QTest::newRow("controller silent, relaying")
        << "type 1\ncontroller 0 0 2 fault=silent"
        << "СНИМОК СОХРАНЁН: КИП 1, ДАТЧИКОВ 4; НЕТ ОТВЕТА: КИП 1, датчик 3, датчик 4; НЕ ВСЕ "
           "ЗНАЧЕНИЯ ПРОЧИТАНЫ: датчик 1 (12 из 76 без ответа), датчик 2 (12 из 76 без ответа)"
        << QStringList{"датчик 1" + notAll.arg(12), "датчик 2" + notAll.arg(12)};
}

void TestSnapshot::partlyReadDevicesAreNamed() {
    QFETCH(QString, scenario);
    QFETCH(QString, said);
    QFETCH(QStringList, partly);
    Line l(qPrintable(scenario));
    std::vector<app::SilentFront> fronts;
    const auto s = snapshot::TakeSnapshot(l.h.link, layout(), l.progress, {}, &fronts);
    QVERIFY(s);
    QCOMPARE(snapshot::savedText(*s, fronts), said);
    QStringList named;
    for (const snapshot::PartlyRead& p : snapshot::partlyRead(*s))
        named << snapshot::partlyReadText(p);
    QCOMPARE(named, partly);
    if (scenario.contains(QLatin1String("fault=silent")))
        QVERIFY(!l.log.sent.contains(QStringLiteral("80:54")));
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
        << QByteArray("{\"format\":\"orvant2-snapshot\",\"version\":3}") << "версия формата 3";
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
