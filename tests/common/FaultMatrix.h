#pragma once

#include "common/SimHarness.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/Transit.h"

#include <QtTest>

#include <functional>
#include <map>

// Every device operation against every fault of the line: the sensor at
// address 2 behind controller 0 answers silently, with a bad checksum,
// with noise before its frame, from another address, too late, cut short, or
// the port goes away mid-way; or the adapter echoes every request (a
// two-wire line), or nothing is on the line but that echo. Each run must end
// within its bound, never report success (noise before a sound frame and an
// echoing adapter are no faults), leave transit and service mode off, and
// leave the link answering the next request.
//
// A test adds one line per operation to its map; the rows are every
// operation with every fault, on a direct line and again through a loopback
// TCP connection (raw, as to ser2net), both on virtual time.
namespace faultmatrix {

using Operation = std::function<bool(bus::SerialLink& link, std::uint8_t sensor)>;

inline constexpr std::uint8_t kSensor = 2;
inline constexpr int kLateMs = 4000;
inline const char* const kUnplug = "unplug";
inline const char* const kEcho = "echo";
inline const char* const kEchoOnly = "echo-only";

inline QStringList faultNames() {
    return {QStringLiteral("silent"),  QStringLiteral("checksum"), QStringLiteral("garbage"),
            QStringLiteral("address"), QStringLiteral("late"),     QStringLiteral("truncated"),
            QLatin1String(kUnplug),    QLatin1String(kEcho),       QLatin1String(kEchoOnly)};
}

// Faults the operation must come through as if the line were clean.
inline bool harmless(const QString& fault) {
    return fault == QLatin1String("garbage") || fault == QLatin1String(kEcho);
}

inline void addRows(const std::map<QString, Operation>& operations) {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("tcp");
    for (const bool tcp : {false, true})
        for (const auto& [name, op] : operations)
            for (const QString& fault : faultNames())
                QTest::newRow(qPrintable(name + QLatin1Char(' ') + fault +
                                         (tcp ? QLatin1String(" tcp") : QLatin1String())))
                    << name << fault << tcp;
}

// bound: the longest the operation may take, in milliseconds of line time.
// With onController the fault is the controller's (operations that talk to
// controller 0 itself); it is cleared before the link is tried again. An
// operation that asks the same question again for longer than the usual
// lateness would rightly take the late answer: lateMs puts it beyond that.
// On a line with nothing but the echo the controller is silent too: leaving
// its transit is tried three times, and the one version read that learns
// the echo is added.
inline constexpr int kDeadLineAllowanceMs = 2 * 500 + 300 + 100;

inline void run(const std::map<QString, Operation>& operations, int boundMs,
                bool onController = false, int lateMs = kLateMs) {
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(bool, tcp);
    SimHarness h(
        scenarioFrom(qPrintable(QStringLiteral("late %1\ncontroller 0 0 4\n").arg(lateMs))),
        tcp ? Transport::Tcp : Transport::Direct);
    const bool unplug = fault == QLatin1String(kUnplug);
    const bool echo = fault == QLatin1String(kEcho) || fault == QLatin1String(kEchoOnly);
    h.installation->setEcho(echo);
    h.installation->setNoDevices(fault == QLatin1String(kEchoOnly));
    const bool deviceFault = !unplug && !echo;
    if (deviceFault && onController)
        h.installation->setControllerFault(0, *sim::faultFromName(fault));
    else if (deviceFault)
        h.installation->setSensorFault(kSensor, *sim::faultFromName(fault));
    const qint64 t0 = h.line->clockMs();
    bool ok = false;
    int pumps = 0;
    {
        bus::TransitScope transit(h.link, 0x80, true);
        // The adapter is pulled (the connection dropped) while the
        // operation's first answer is awaited.
        if (unplug)
            h.link.setPump([&] {
                if (++pumps == 2)
                    h.unplug();
            });
        ok = operations.at(operation)(h.link, kSensor);
    }
    const qint64 spent = h.line->clockMs() - t0;
    const int bound = fault == QLatin1String(kEchoOnly) ? boundMs + kDeadLineAllowanceMs : boundMs;
    QVERIFY2(spent <= bound, qPrintable(QString::number(spent)));
    if (unplug) {
        QVERIFY(pumps >= 2);
        QVERIFY(!ok);
        QVERIFY(!h.link.isOpen());
        QVERIFY(!h.link.SendRequest(0x80, bus::ctl::ReadVersion));
        return;
    }
    QCOMPARE(ok, harmless(fault));
    h.installation->setControllerFault(0, sim::Fault::None);
    h.installation->setNoDevices(false);
    QVERIFY(!h.installation->controller(0)->transit);
    QVERIFY(!h.installation->controller(0)->service);
    h.line->advance(std::chrono::milliseconds(lateMs + 500));
    QVERIFY(bus::AskController(h.link, 0x80, bus::ctl::ReadVersion, bus::Form::Read) >= 1);
}

} // namespace faultmatrix
