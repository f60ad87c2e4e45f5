#pragma once

#include "common/BridgedPort.h"
#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"

#include <memory>

// How the link reaches the simulated installation: straight, or through a
// loopback TCP connection as to a line behind ser2net (raw).
enum class Transport { Direct, Tcp };

// A link wired to an in-process simulated installation.
struct SimHarness {
    // Virtual time: waits for silent devices cost nothing.
    explicit SimHarness(const sim::Scenario& scenario = sim::Scenario::builtIn(),
                        Transport transport = Transport::Direct)
        : installation(std::make_shared<sim::Installation>(scenario)) {
        if (transport == Transport::Tcp) {
            bridge = std::make_unique<TcpBridge>(installation, TcpBridge::Time::Virtual);
            line = &bridge->line();
            std::unique_ptr<BridgedPort> port =
                bridge->listen() ? BridgedPort::open(*bridge) : nullptr;
            if (!port)
                qFatal("SimHarness: no loopback connection to the bridge");
            link.attach(std::move(port));
            return;
        }
        auto l = std::make_unique<sim::SimulatedLine>(installation, true, true);
        line = l.get();
        link.attach(std::move(l));
    }

    // The adapter pulled, or the connection to the far end dropped.
    void unplug() {
        if (bridge)
            bridge->drop();
        else
            line->unplug();
    }

    std::shared_ptr<sim::Installation> installation;
    // The far end of a TCP transport; the link is closed before it goes.
    std::unique_ptr<TcpBridge> bridge;
    // The line the devices are on, whose clock the link keeps.
    sim::SimulatedLine* line = nullptr;
    bus::SerialLink link;
};

inline sim::Scenario scenarioFrom(const char* text) {
    QString error;
    auto s = sim::parseScenario(QString::fromUtf8(text), &error);
    Q_ASSERT_X(s, "scenarioFrom", qPrintable(error));
    return *s;
}
