#pragma once

#include <functional>
#include <map>

class PortLifecycle;

// The shared frame of the pages' device actions: refused while another
// runs, the status line cleared where the engineer asked for it, the busy
// cursor, errors caught, a failed action said, the progress closed
// afterwards. An action returns false when the link failed.
class DeviceActions {
  public:
    using Action = std::function<bool()>;
    // What the window does around an action.
    struct Frame {
        std::function<void()> clearStatus;
        std::function<void()> failed;
        std::function<void(bool busy)> cursor;
        std::function<void()> finished;
    };

    DeviceActions(PortLifecycle& ports, Frame frame);

    // The "ПОЛУЧИТЬ" and "УСТАНОВИТЬ" actions of a page, by its tag.
    void registerGet(int tag, Action action) { m_get[tag] = std::move(action); }
    void registerSet(int tag, Action action) { m_set[tag] = std::move(action); }
    // "ПОЛУЧИТЬ" clears the status line; a write says its own result.
    void get(int tag);
    void set(int tag);
    // Any other action; clearStatus is false for what a timer runs.
    void run(const Action& action, bool clearStatus);

  private:
    void runFramed(const Action& action);

    PortLifecycle& m_ports;
    Frame m_frame;
    std::map<int, Action> m_get;
    std::map<int, Action> m_set;
};
