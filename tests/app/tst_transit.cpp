#include "tst_transit.h"

#include "app/Modes.h"
#include "app/TransitState.h"
#include "common/CommandLog.h"
#include "common/SimHarness.h"

#include <QtTest>

#include <vector>

namespace {

// The window's transit on a simulated line, with what it showed and sent.
struct Transit {
    explicit Transit(const char* scenario, bool echo = false) : h(scenarioFrom(scenario)) {
        h.installation->setEcho(echo);
        h.link.setObserver(&log);
        state.selectedControllerAddress = 0x80;
    }
    SimHarness h;
    CommandLog log;
    app::WorkingState state;
    std::vector<bool> shown;
    app::TransitState transit{h.link, state, [this](bool on) { shown.push_back(on); }};
};

} // namespace

// "ТРАНЗИТ" and "НОРМ.": on only when the controller answered, off only when
// it answered; one that never answered going off stays on and is listed.
void TestTransitState::engineerSwitches_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<bool>("answers");
    QTest::newRow("answering") << "controller 0 0 4" << false << true;
    QTest::newRow("answering, echoing adapter") << "controller 0 0 4" << true << true;
    QTest::newRow("silent controller") << "controller 0 0 4 fault=silent" << false << false;
    QTest::newRow("echo only") << "" << true << false;
}

void TestTransitState::engineerSwitches() {
    QFETCH(QString, scenario);
    QFETCH(bool, echo);
    QFETCH(bool, answers);
    Transit t(qPrintable(scenario), echo);
    QCOMPARE(t.transit.enter(), answers);
    QCOMPARE(t.transit.on(), answers);
    QCOMPARE(t.shown.back(), answers);
    // One try; the link may read the version to tell an echo from an answer.
    QCOMPARE(t.log.sent.count(QStringLiteral("80:A1")), 1);
    QVERIFY(!t.log.sent.contains(QStringLiteral("80:A5")));
    if (answers)
        QVERIFY(t.h.installation->controller(0)->transit);
    t.log.sent.clear();
    QCOMPARE(t.transit.leave(), answers);
    const QStringList leaving =
        answers ? QStringList{"80:A5"} : QStringList{"80:A5", "80:A5", "80:A5"};
    QCOMPARE(t.log.sent, leaving);
    QCOMPARE(t.transit.on(), !answers);
    QCOMPARE(t.shown.back(), !answers);
    QCOMPARE(t.transit.leftOn().count(0x80), answers ? 0u : 1u);
    if (answers)
        QVERIFY(!t.h.installation->controller(0)->transit);
}

// Transit stays on between the properties and the density pages and goes
// off when either is left for another page.
void TestTransitState::pageChanges_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("kept");
    QTest::newRow("properties to density") << int(app::TagProp) << int(app::TagDens) << true;
    QTest::newRow("density to properties") << int(app::TagDens) << int(app::TagProp) << true;
    QTest::newRow("properties to status") << int(app::TagProp) << int(app::TagStat) << false;
    QTest::newRow("density to tables") << int(app::TagDens) << int(app::TagCT) << false;
}

void TestTransitState::pageChanges() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, kept);
    Transit t("controller 0 0 4");
    QVERIFY(t.transit.pageWantsTransit(from));
    QVERIFY(t.transit.enter(app::TransitState::kPageTries));
    QVERIFY(!t.transit.pageWantsTransit(to));
    t.log.sent.clear();
    t.transit.leavePage(from, to);
    QCOMPARE(t.log.sent, kept ? QStringList() : QStringList{"80:A5"});
    QCOMPARE(t.transit.on(), kept);
    QCOMPARE(t.h.installation->controller(0)->transit, kept);
}

// A silent controller is asked three times on entering and on leaving a
// page; the button is up after the one and down after the other.
void TestTransitState::pageEntryTriesThrice() {
    Transit t("controller 0 0 4 fault=silent");
    QVERIFY(!t.transit.enter(app::TransitState::kPageTries));
    QCOMPARE(t.log.sent, (QStringList{"80:A1", "80:A1", "80:A1"}));
    QVERIFY(!t.transit.on());
    t.transit.show(true);
    t.log.sent.clear();
    t.transit.leavePage(app::TagProp, app::TagStat);
    QCOMPARE(t.log.sent, (QStringList{"80:A5", "80:A5", "80:A5"}));
    QVERIFY(t.transit.on());
    // Without a controller no page wants transit.
    t.state.layout.controllerType = app::TypeNone;
    t.transit.show(false);
    QVERIFY(!t.transit.pageWantsTransit(app::TagProp));
}

// A page's own transit that the selected controller never left shows as
// on; another controller's does not touch the button.
void TestTransitState::leftOnByAPageOperation_data() {
    QTest::addColumn<int>("controller");
    QTest::addColumn<bool>("on");
    QTest::newRow("the selected controller") << 0x80 << true;
    QTest::newRow("another controller") << 0x81 << false;
}

void TestTransitState::leftOnByAPageOperation() {
    QFETCH(int, controller);
    QFETCH(bool, on);
    Transit t("controller 0 0 4\ncontroller 1 4 4\nunheard 0 A5 always\nunheard 1 A5 always");
    {
        const bus::TransitScope scope(t.h.link, static_cast<std::uint8_t>(controller), true);
        QVERIFY(scope.entered());
    }
    QCOMPARE(t.transit.on(), on);
    QCOMPARE(t.shown, on ? std::vector<bool>{true} : std::vector<bool>{});
    QCOMPARE(t.transit.leftOn().count(static_cast<std::uint8_t>(controller)), 1u);
}

// A sensor behind another controller: transit leaves the one before and
// goes on at the selected one, whatever the button showed.
void TestTransitState::movesWithTheSensor_data() {
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("on");
    QTest::newRow("answering") << "controller 0 0 4\ncontroller 2 8 4" << true;
    QTest::newRow("the next one silent")
        << "controller 0 0 4\ncontroller 2 8 4 fault=silent" << false;
}

void TestTransitState::movesWithTheSensor() {
    QFETCH(QString, scenario);
    QFETCH(bool, on);
    Transit t(qPrintable(scenario));
    QVERIFY(t.transit.enter());
    t.state.selectedControllerAddress = 0x82;
    t.log.sent.clear();
    t.transit.moveFrom(0x80);
    QCOMPARE(t.log.sent, (QStringList{"80:A5", "82:A1"}));
    QVERIFY(!t.h.installation->controller(0)->transit);
    if (on)
        QVERIFY(t.h.installation->controller(2)->transit);
    QCOMPARE(t.transit.on(), on);
}

// A sensor operation switches transit itself only where the engineer does
// not hold it on and there is a controller to switch.
void TestTransitState::writeNeedsTransit_data() {
    QTest::addColumn<bool>("held");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("controller");
    QTest::addColumn<bool>("needs");
    QTest::newRow("selected, not held") << false << int(app::TypeN6) << 0x80 << true;
    QTest::newRow("held on") << true << int(app::TypeN6) << 0x80 << false;
    QTest::newRow("no controller selected") << false << int(app::TypeN6) << 0xFF << false;
    QTest::newRow("type without controller") << false << int(app::TypeNone) << 0x80 << false;
}

void TestTransitState::writeNeedsTransit() {
    QFETCH(bool, held);
    QFETCH(int, type);
    QFETCH(int, controller);
    QFETCH(bool, needs);
    Transit t("controller 0 0 4");
    t.state.layout.controllerType = type;
    t.state.selectedControllerAddress = static_cast<std::uint8_t>(controller);
    t.transit.show(held);
    QCOMPARE(t.transit.writeNeedsTransit(), needs);
    QVERIFY(t.log.sent.isEmpty());
}
