// The pages' action frame without a window, on the simulated installation.
#include "tst_device_actions.h"

#include "common/SimHarness.h"
#include "link/Exchange.h"
#include "ui/DeviceActions.h"
#include "ui/PortLifecycle.h"

#include <QtTest>

#include <stdexcept>

namespace {

// The frame's calls, in order.
struct Framed {
    Framed() {
        // The link is attached, not opened by name: the port is already open.
        state.mainPort = h.link.portName();
    }
    SimHarness h{scenarioFrom("controller 0 0 4")};
    app::WorkingState state;
    app::ConfigFile config{QString()};
    PortLifecycle ports{h.link, state, config};
    QStringList calls;
    DeviceActions actions{ports,
                          {[this] { calls << "clear"; }, [this] { calls << "failed"; },
                           [this](bool busy) { calls << (busy ? "busy" : "idle"); },
                           [this] { calls << "finished"; }}};
    // Reads the controller's version; true when it answered.
    bool askVersion() {
        calls << "ask";
        return bus::AskController(h.link, 0x80, 0x01, bus::Form::Read) > 0;
    }
};

} // namespace

// "ПОЛУЧИТЬ" clears the status line, "УСТАНОВИТЬ" and timers do not; a
// silent controller, a throwing action and an answered one each end with the
// cursor back and the progress closed.
void TestDeviceActions::frames_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("get") << "get" << false
                         << QStringList{"clear", "busy", "ask", "idle", "finished"};
    QTest::newRow("get, silent") << "get" << true << QStringList{"clear",  "busy", "ask",
                                                                 "failed", "idle", "finished"};
    QTest::newRow("set") << "set" << false << QStringList{"busy", "ask", "idle", "finished"};
    QTest::newRow("timed, silent")
        << "timed" << true << QStringList{"busy", "ask", "failed", "idle", "finished"};
    QTest::newRow("throws") << "throws" << false
                            << QStringList{"clear", "busy", "ask", "failed", "idle", "finished"};
}

void TestDeviceActions::frames() {
    QFETCH(QString, how);
    QFETCH(bool, silent);
    QFETCH(QStringList, calls);
    Framed f;
    if (silent)
        f.h.installation->setControllerFault(0, sim::Fault::Silent);
    f.actions.registerGet(1, [&f] { return f.askVersion(); });
    f.actions.registerSet(1, [&f] { return f.askVersion(); });
    if (how == QLatin1String("get"))
        f.actions.get(1);
    else if (how == QLatin1String("set"))
        f.actions.set(1);
    else if (how == QLatin1String("timed"))
        f.actions.run([&f] { return f.askVersion(); }, false);
    else
        f.actions.run(
            [&f]() -> bool {
                f.askVersion();
                throw std::runtime_error("broken");
            },
            true);
    QCOMPARE(f.calls, calls);
    QVERIFY(!f.ports.busy());
}

void TestDeviceActions::refusedWhileAnotherRuns() {
    Framed f;
    const int before = f.h.installation->requestsSeen();
    f.actions.run(
        [&f] {
            // A second action asked for inside the first is refused whole.
            f.actions.run([&f] { return f.askVersion(); }, true);
            return true;
        },
        true);
    QCOMPARE(f.calls, (QStringList{"clear", "busy", "idle", "finished"}));
    QCOMPARE(f.h.installation->requestsSeen(), before);
}

void TestDeviceActions::unregisteredTagDoesNothing() {
    Framed f;
    f.actions.get(7);
    f.actions.set(7);
    QVERIFY(f.calls.isEmpty());
}
