#include "app/FrontWatch.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <algorithm>

namespace app {

QString silentFrontText(const SilentFront& f) {
    const QString echo = f.echoOnly ? QStringLiteral(" (ТОЛЬКО ЭХО ЗАПРОСА)") : QString();
    if (!f.controller)
        return QStringLiteral("ЛИНИЯ НЕ ОТВЕЧАЕТ%1: ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ").arg(echo);
    return QStringLiteral("КИП %1 НЕ ОТВЕЧАЕТ%2: ЕГО ДАТЧИКИ ДАЛЬШЕ НЕ ОПРАШИВАЛИСЬ")
        .arg(*f.controller + 1)
        .arg(echo);
}

namespace {

bool among(const std::vector<int>& list, int n) {
    return std::find(list.begin(), list.end(), n) != list.end();
}

} // namespace

bool skippedBehind(const std::vector<SilentFront>& fronts, int address) {
    return std::any_of(fronts.begin(), fronts.end(),
                       [address](const SilentFront& f) { return among(f.skipped, address); });
}

bool controllerSkippedBehind(const std::vector<SilentFront>& fronts, int slot) {
    return std::any_of(fronts.begin(), fronts.end(),
                       [slot](const SilentFront& f) { return among(f.skippedControllers, slot); });
}

FrontWatch::FrontWatch(bus::SerialLink& link, const ControllerLayout& layout)
    : m_link(link), m_lineFront(layout.isNoControllerType() || layout.isDirectSensorType()) {}

int FrontWatch::keyOf(int c) const {
    return m_lineFront ? -1 : c;
}

FrontWatch::Front& FrontWatch::front(int c) {
    const int key = keyOf(c);
    auto [it, added] = m_fronts.try_emplace(key);
    if (added && key >= 0)
        it->second.silence.controller = key;
    return it->second;
}

bool FrontWatch::asking(int c) const {
    const auto it = m_fronts.find(keyOf(c));
    return it == m_fronts.end() || it->second.state != State::Silent;
}

bool FrontWatch::heardSomething() const {
    // A garbled or misdirected answer is no silence: somebody is there.
    const bus::Outcome o = m_link.lastOutcome();
    return o != bus::Outcome::Silence && o != bus::Outcome::EchoOnly;
}

void FrontWatch::fallSilent(Front& f) {
    f.state = State::Silent;
    f.silence.echoOnly = m_link.lastOutcome() == bus::Outcome::EchoOnly;
    f.order = m_fallen++;
}

void FrontWatch::controllerAnswered(int c, bool answered) {
    answered = answered || heardSomething();
    Front& f = front(c);
    if (f.state == State::Heard || f.state == State::Silent)
        return;
    if (answered) {
        f.state = State::Heard;
    } else if (m_lineFront) {
        // Each sensor is its own controller: one more silent question.
        if (++f.unanswered >= kLineQuestions)
            fallSilent(f);
    } else {
        f.state = State::ControllerSilent;
    }
}

bool FrontWatch::sensorAnswered(int c, bool answered) {
    Front& f = front(c);
    switch (f.state) {
    case State::Heard:
        return true;
    case State::Silent:
        return false;
    case State::Unknown:
    case State::ControllerSilent:
        break;
    }
    if (answered || heardSomething()) {
        f.state = State::Heard;
        return true;
    }
    if (m_lineFront) {
        if (++f.unanswered >= kLineQuestions)
            fallSilent(f);
        return f.state != State::Silent;
    }
    // The first silent sensor: is it the sensor, or its controller?
    if (f.state == State::Unknown && m_link.isOpen()) {
        const int n =
            bus::AskController(m_link, static_cast<std::uint8_t>(bus::kControllerBase + c),
                               bus::ctl::ReadVersion, bus::Form::Read);
        if (n >= 0 || heardSomething()) {
            f.state = State::Heard;
            return true;
        }
    }
    fallSilent(f);
    return false;
}

void FrontWatch::skip(int c, int address) {
    front(c).silence.skipped.push_back(address);
}

void FrontWatch::skipController(int c) {
    front(c).silence.skippedControllers.push_back(c);
}

std::vector<SilentFront> FrontWatch::silentFronts() const {
    std::vector<const Front*> fallen;
    for (const auto& [key, f] : m_fronts)
        if (f.state == State::Silent)
            fallen.push_back(&f);
    std::sort(fallen.begin(), fallen.end(),
              [](const Front* a, const Front* b) { return a->order < b->order; });
    std::vector<SilentFront> out;
    for (const Front* f : fallen)
        out.push_back(f->silence);
    return out;
}

} // namespace app
