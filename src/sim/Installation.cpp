#include "sim/Installation.h"

#include "sim/Handlers.h"

namespace sim {
namespace {

const char* const kTypeNames[] = {"N5", "N6", "C5", "C6", "C7", "--"};

QByteArray controllerVersion(int type, int index) {
    return QByteArray("KIP-") + kTypeNames[type] + " V4.1" + QByteArray::number(index % 10);
}

QByteArray sensorVersion(int address) {
    return QByteArray("DUT V3.0") + QByteArray::number(address % 10);
}

QByteArray damaged(QByteArray frame, Fault fault, int& delayMs, int lateMs) {
    switch (fault) {
    case Fault::BadChecksum: {
        // The checksum pair sits just before "*" CR.
        const qsizetype at = frame.size() - 3;
        frame[at] = frame[at] == '0' ? '1' : '0';
        break;
    }
    case Fault::Garbage:
        frame.prepend("\x15#@7~\x7F@0");
        break;
    case Fault::Late:
        delayMs += lateMs;
        break;
    case Fault::Truncated:
        frame.chop(2);
        break;
    default:
        break;
    }
    return frame;
}

} // namespace

Installation::Installation(const Scenario& s)
    : m_type(s.type), m_turnaroundMs(s.turnaroundMs), m_lateMs(s.lateMs) {
    auto addSensor = [this](int address) { m_sensors[address] = SimSensor{address, sensorVersion(address), Fault::None}; };
    if (m_type == 2 || m_type == 5) {
        for (int a = s.directFirst; a < s.directFirst + s.directCount; ++a) {
            addSensor(a);
            // Direct sensors also answer as a controller at 0x80 + address.
            if (m_type == 2)
                m_controllers[a] = SimController{a, a, 1, controllerVersion(m_type, a), false, Fault::None};
        }
    } else {
        for (const ControllerSpec& c : s.controllers) {
            m_controllers[c.index] =
                SimController{c.index, c.first, c.count, controllerVersion(m_type, c.index), false, c.fault};
            for (int a = c.first; a < c.first + c.count; ++a)
                addSensor(a);
        }
    }
    for (const SensorSpec& f : s.sensorFaults) {
        setSensorFault(f.address, f.fault);
        if (m_type == 2)
            setControllerFault(f.address, f.fault);
    }
}

SimController* Installation::controller(int index) {
    auto it = m_controllers.find(index);
    return it == m_controllers.end() ? nullptr : &it->second;
}

SimSensor* Installation::sensor(int address) {
    auto it = m_sensors.find(address);
    return it == m_sensors.end() ? nullptr : &it->second;
}

void Installation::setControllerFault(int index, Fault fault) {
    if (SimController* c = controller(index))
        c->fault = fault;
}

void Installation::setSensorFault(int address, Fault fault) {
    if (SimSensor* s = sensor(address))
        s->fault = fault;
}

std::optional<Answer> Installation::answer(const bus::DecodedRequest& req, Fault& fault) {
    if (req.address >= 0x80 && req.address < 0xF0) {
        SimController* c = controller(req.address - 0x80);
        if (!c)
            return std::nullopt;
        const auto& table = controllerHandlers();
        const auto h = table.find(req.command);
        if (h == table.end())
            return std::nullopt;
        fault = c->fault;
        return h->second(*this, *c, req);
    }
    if (req.address < 0x80) {
        SimSensor* s = sensor(req.address);
        if (!s)
            return std::nullopt;
        const auto& table = sensorHandlers();
        const auto h = table.find(req.command);
        if (h == table.end())
            return std::nullopt;
        fault = s->fault;
        return h->second(*this, *s, req);
    }
    return std::nullopt;
}

std::optional<Outgoing> Installation::respond(QByteArrayView requestChars) {
    const auto req = bus::decodeRequest(requestChars);
    if (!req) {
        ++m_badRequests;
        return std::nullopt;
    }
    ++m_requestsSeen;
    Fault fault = Fault::None;
    const auto a = answer(*req, fault);
    if (!a || fault == Fault::Silent)
        return std::nullopt;
    std::uint8_t from = req->address;
    if (fault == Fault::WrongAddress)
        from = static_cast<std::uint8_t>(from ^ 0x01);
    QByteArray frame = a->text.isEmpty() || a->data.isEmpty()
                           ? bus::encodeReply(from, req->command, a->data)
                           : bus::encodeRawTextReply(from, req->command,
                                                      static_cast<std::uint8_t>(a->data[0]), a->text);
    Outgoing out;
    out.delayMs = m_turnaroundMs;
    out.chars = damaged(std::move(frame), fault, out.delayMs, m_lateMs);
    return out;
}

} // namespace sim
