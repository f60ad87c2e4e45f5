#pragma once

#include "link/SerialLink.h"
#include "sim/SimulatedLine.h"

#include <memory>

// A link wired to an in-process simulated installation.
struct SimHarness {
    // Virtual time: waits for silent devices cost nothing.
    explicit SimHarness(const sim::Scenario& scenario = sim::Scenario::builtIn())
        : installation(std::make_shared<sim::Installation>(scenario)) {
        auto l = std::make_unique<sim::SimulatedLine>(installation, true, true);
        line = l.get();
        link.attach(std::move(l));
    }

    std::shared_ptr<sim::Installation> installation;
    sim::SimulatedLine* line = nullptr;
    bus::SerialLink link;
};

inline sim::Scenario scenarioFrom(const char* text) {
    QString error;
    auto s = sim::parseScenario(QString::fromUtf8(text), &error);
    Q_ASSERT_X(s, "scenarioFrom", qPrintable(error));
    return *s;
}
