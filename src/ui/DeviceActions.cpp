#include "ui/DeviceActions.h"

#include "ui/PortLifecycle.h"

#include <exception>

DeviceActions::DeviceActions(PortLifecycle& ports, Frame frame)
    : m_ports(ports), m_frame(std::move(frame)) {}

void DeviceActions::get(int tag) {
    if (const auto action = m_get.find(tag); action != m_get.end())
        run(action->second, true);
}

void DeviceActions::set(int tag) {
    if (const auto action = m_set.find(tag); action != m_set.end())
        run(action->second, false);
}

void DeviceActions::run(const Action& action, bool clearStatus) {
    if (m_ports.busy())
        return;
    if (clearStatus)
        m_frame.clearStatus();
    runFramed(action);
}

void DeviceActions::runFramed(const Action& action) {
    // A port gone during the action is noticed once it has ended.
    PortLifecycle::Work work(m_ports);
    {
        struct Cursor {
            const Frame& f;
            explicit Cursor(const Frame& frame) : f(frame) { f.cursor(true); }
            ~Cursor() { f.cursor(false); }
        } cursor(m_frame);
        bool ok = false;
        try {
            ok = action();
        } catch (const std::exception&) {
            ok = false;
        }
        if (!ok)
            m_frame.failed();
    }
    m_frame.finished();
}
