#pragma once

#include "ui/PageHost.h"

#include <functional>
#include <map>
#include <vector>

// What the pages registered with their host, and the window's way to run
// it: the window says what happened (a page left or entered, the sensor
// changed, the port lost), never which page listens.
class PageRegistry : public PageHost {
  public:
    void addClearSensorFields(std::function<void()> clear) override {
        m_clear.push_back(std::move(clear));
    }
    void addLeaveAction(int tag, std::function<void()> leave) override {
        m_leave.emplace(tag, std::move(leave));
    }
    void addEnterAction(int tag, std::function<void()> enter) override {
        m_enter.emplace(tag, std::move(enter));
    }
    void addTypeLayoutAction(std::function<void()> action) override {
        m_typeLayout.push_back(std::move(action));
    }
    void addPortLostAction(std::function<void()> action) override {
        m_portLost.push_back(std::move(action));
    }
    void addRequestHandler(int tag, std::function<void(PageRequest)> handler) override {
        m_requests.emplace(tag, std::move(handler));
    }

    void ClearSensorFields() { runAll(m_clear); }

  protected:
    ~PageRegistry() = default;
    void runLeaveActions(int tag) { runTag(m_leave, tag); }
    void runEnterActions(int tag) { runTag(m_enter, tag); }
    void runTypeLayoutActions() { runAll(m_typeLayout); }
    void runPortLostActions() { runAll(m_portLost); }
    void runRequest(int tag, PageRequest request) {
        if (const auto h = m_requests.find(tag); h != m_requests.end())
            h->second(request);
    }

  private:
    using Actions = std::vector<std::function<void()>>;
    using TagActions = std::multimap<int, std::function<void()>>;
    static void runAll(const Actions& actions) {
        for (const auto& a : actions)
            a();
    }
    static void runTag(const TagActions& actions, int tag) {
        const auto [from, to] = actions.equal_range(tag);
        for (auto it = from; it != to; ++it)
            it->second();
    }

    Actions m_clear, m_typeLayout, m_portLost;
    TagActions m_leave, m_enter;
    std::map<int, std::function<void(PageRequest)>> m_requests;
};
