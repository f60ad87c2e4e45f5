#include "tst_addressing.h"

#include "app/AddressBars.h"
#include "app/Addressing.h"
#include "app/LayoutConfig.h"
#include "common/Layouts.h"

#include <QtTest>

namespace {

app::WorkingState layout(std::initializer_list<std::tuple<int, int, int>> controllers,
                         int tag = app::kSensorPageBit) {
    app::WorkingState s;
    s.layout = layoutOf(controllers);
    s.currentMode = tag;
    return s;
}

// Controllers given as index -> (first, count), all found.

QString enabledButtons(const app::AddressBarsView& v) {
    QString out;
    for (bool e : v.sensorEnabled)
        out += e ? QLatin1Char('x') : QLatin1Char('.');
    return out;
}

} // namespace

void TestAddressing::sensorClickSelectsItsController() {
    app::WorkingState s = layout({{0, 0, 4}, {2, 8, 4}});
    s.selectedControllerAddress = 0x80;
    auto r = app::clickSensorButton(s, 10);
    QCOMPARE(int(s.sensorAddress), 10);
    QCOMPARE(int(s.selectedControllerAddress), 0x82);
    QVERIFY(r.controllerChanged);
    QCOMPARE(int(r.previousController), 0x80);
    r = app::clickSensorButton(s, 2);
    QCOMPARE(int(s.selectedControllerAddress), 0x80);
    // Within the selected controller's range nothing else changes.
    r = app::clickSensorButton(s, 3);
    QVERIFY(!r.controllerChanged);
    QCOMPARE(int(s.selectedControllerAddress), 0x80);
}

void TestAddressing::sensorButtonsOutsideRangesDisabled() {
    app::WorkingState s = layout({{0, 0, 4}, {2, 8, 4}});
    const app::AddressBarsView v = app::RefreshAddressBars(s);
    // The bars enable lowest..end; gaps between controllers stay clickable
    // but select nothing.
    QCOMPARE(enabledButtons(v), QStringLiteral("xxxxxxxxxxxx...."));
    const int before = s.selectedControllerAddress;
    app::clickSensorButton(s, 5);
    QCOMPARE(int(s.selectedControllerAddress), before);
}

void TestAddressing::straddlingRangeShownWhole() {
    app::WorkingState s = layout({{0, 12, 8}});
    app::ShowControllerRange(s, 0);
    QCOMPARE(s.pageOffset, 4);
    QCOMPARE(s.pagerPosition, 0);
    const app::AddressBarsView v = app::RefreshAddressBars(s);
    QCOMPARE(v.sensorCaptions[0], QStringLiteral(" 5 "));
    QCOMPARE(v.sensorCaptions[15], QStringLiteral(" 20 "));
    QCOMPARE(enabledButtons(v), QStringLiteral("........xxxxxxxx"));
    // A range inside the window leaves it as it is.
    app::WorkingState t = layout({{0, 16, 4}});
    t.pagerPosition = 1;
    app::ShowControllerRange(t, 0);
    QCOMPARE(t.pageOffset, 0);
    QCOMPARE(t.pagerPosition, 1);
}

void TestAddressing::captionsPaddedUpTo98_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("caption");
    QTest::newRow("address 96") << 0 << " 97 ";
    QTest::newRow("address 97") << 1 << " 98 ";
    QTest::newRow("address 98") << 2 << "99";
    QTest::newRow("address 111") << 15 << "112";
}

void TestAddressing::captionsPaddedUpTo98() {
    QFETCH(int, button);
    QFETCH(QString, caption);
    app::WorkingState s = layout({{6, 96, 16}});
    s.pagerPosition = 6;
    s.sensorAddress = 96;
    QCOMPARE(app::RefreshAddressBars(s).sensorCaptions[button], caption);
}

void TestAddressing::selectSensorByNumber_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("controller");
    QTest::addColumn<int>("pager");
    QTest::addColumn<int>("offset");
    QTest::newRow("first controller") << 2 << true << 0x80 << 0 << 0;
    QTest::newRow("controller 20") << 41 << true << 0x94 << 2 << 0;
    QTest::newRow("straddling controller 31") << 62 << true << 0x9F << 3 << 12;
    QTest::newRow("gap") << 20 << false << 0x80 << 0 << 0;
    QTest::newRow("negative") << -1 << false << 0x80 << 0 << 0;
    QTest::newRow("past the end") << 80 << false << 0x80 << 0 << 0;
}

void TestAddressing::selectSensorByNumber() {
    QFETCH(int, number);
    QFETCH(bool, accepted);
    QFETCH(int, controller);
    QFETCH(int, pager);
    QFETCH(int, offset);
    app::WorkingState s = layout({{0, 0, 4}, {20, 40, 4}, {31, 60, 8}});
    s.selectedControllerAddress = 0x80;
    QCOMPARE(app::SelectSensorByNumber(s, number), accepted);
    QCOMPARE(int(s.selectedControllerAddress), controller);
    QCOMPARE(s.pagerPosition, pager);
    QCOMPARE(s.pageOffset, offset);
    if (accepted)
        QCOMPARE(int(s.sensorAddress), number);
}

void TestAddressing::pagerRefusals_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("up within the layout") << 0 << 1 << true;
    QTest::newRow("up past the end") << 1 << 2 << false;
    QTest::newRow("down to the lowest") << 1 << 0 << true;
    QTest::newRow("below 0") << 0 << -1 << false;
    QTest::newRow("past 7") << 7 << 8 << false;
}

void TestAddressing::pagerRefusals() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, accepted);
    app::WorkingState s = layout({{0, 4, 12}, {1, 16, 12}}); // 4..27
    if (from == 7)
        s.layout.controllersFound = 0; // without a layout every page is allowed
    s.pagerPosition = from;
    QCOMPARE(app::stepPager(s, to), accepted);
    QCOMPARE(s.pagerPosition, accepted ? to : from);
    // The lowest address at or above the window start stops a step down.
    app::WorkingState t = layout({{0, 16, 12}});
    t.pagerPosition = 1;
    QVERIFY(!app::stepPager(t, 0));
}

void TestAddressing::controllerClick() {
    app::WorkingState s = layout({{0, 0, 4}, {1, 12, 8}});
    s.selectedControllerAddress = 0x80;
    QVERIFY(!app::clickControllerButton(s, 0, false));
    QVERIFY(app::clickControllerButton(s, 1, true));
    QCOMPARE(int(s.selectedControllerAddress), 0x81);
    QCOMPARE(s.pageOffset, 4); // the alarm page shows the whole range
    QVERIFY(app::clickControllerButton(s, 0, false));
    QCOMPARE(s.pageOffset, 4); // elsewhere the window stays
}

void TestAddressing::noControllerTypeMovesEntryZero() {
    app::WorkingState s;
    s.layout.controllerType = app::TypeNone;
    s.pagerPosition = 1;
    const auto r = app::clickSensorButton(s, 3);
    QVERIFY(!r.controllerChanged);
    QCOMPARE(int(s.sensorAddress), 19);
    QCOMPARE(s.layout.ControllerTable[0].firstSensorAddress, 19);
}

void TestAddressing::directTypeSelectsSensorAsController() {
    app::WorkingState s;
    s.layout.controllerType = app::TypeDirect;
    s.layout.controllersFound = 0;
    s.layout.lowestSensorAddress = 5;
    s.layout.sensorAddressEnd = 8;
    s.layout.ControllerTable[0] = {5, 3};
    const auto r = app::clickSensorButton(s, 6);
    QVERIFY(r.controllerChanged);
    QCOMPARE(int(s.selectedControllerAddress), 0x86);
    s.currentMode = app::kControllerPageBit | 6; // any page of 64 or more shows the sensor bar
    QVERIFY(app::RefreshAddressBars(s).sensorBarVisible);
}

// Loading a direct-sensor layout pulls the sensor into range; the selected
// controller must follow it, or transit goes to a device that is not there.
void TestAddressing::directTypeSelectionAfterLoad() {
    app::WorkingState s;
    app::loadLayout({{QStringLiteral("KIP_TYP"), QStringLiteral("2")},
                     {QStringLiteral("KIP_B"), QStringLiteral("5,3")}},
                    s);
    app::RefreshAddressBars(s);
    QCOMPARE(int(s.sensorAddress), 5);
    QCOMPARE(int(s.selectedControllerAddress), 0x85);
}

void TestAddressing::directTypeSelectByNumber() {
    app::WorkingState s;
    app::loadLayout({{QStringLiteral("KIP_TYP"), QStringLiteral("2")},
                     {QStringLiteral("KIP_B"), QStringLiteral("5,3")}},
                    s);
    app::RefreshAddressBars(s);
    QVERIFY(app::clickSensorButton(s, 6).controllerChanged);
    QCOMPARE(int(s.selectedControllerAddress), 0x86);
    QVERIFY(app::SelectSensorByNumber(s, 7));
    QCOMPARE(int(s.sensorAddress), 7);
    QCOMPARE(int(s.selectedControllerAddress), 0x87);
}
