#include "sim/Installation.h"

#include "sim/BootLoader.h"
#include "sim/Bytes.h"
#include "sim/Handlers.h"
#include "sim/OneWire.h"
#include "sim/WritingRequests.h"

namespace sim {
namespace {

const char* const kTypeNames[] = {"N5", "N6", "C5", "C6", "C7", "--"};

QByteArray controllerVersion(int type, int index) {
    return QByteArray("KIP-") + kTypeNames[type] + " V4.1" + QByteArray::number(index % 10);
}

QByteArray sensorVersion(int address) {
    return QByteArray("DUT V3.0") + QByteArray::number(address % 10);
}

// Commands a controller answers for its sensors from what it polls anyway;
// everything else reaches a sensor only through transit.
bool answeredWithoutTransit(std::uint8_t command) {
    switch (command) {
    case 0x01:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x0A:
    case 0x0C:
    case 0x0D:
    case 0x10:
    case 0x11:
    case 0x1C:
    case 0x8A:
    // The alarm page works without transit.
    case 0x12:
    case 0x56:
    case 0x58:
        return true;
    default:
        return false;
    }
}

// Plausible, varied values: every sensor its own levels and temperatures,
// some with negative readings and some with faulted channels.
SimSensor makeSensor(int a) {
    SimSensor s;
    s.address = a;
    s.version = sensorVersion(a);
    s.length = 2500 + 500 * (a % 4);
    s.thermometerCount = 2 + a % 5;
    s.densityCount = a % 3;
    // The level part in segments of 15.625 mm; a correction of -1.5 mm.
    const int segments = s.length * 8 / 125;
    s.cells[0x91] = rawBytes({segments >> 8, segments});
    s.cells[0x90] = rawBytes({0xFF, 0xF1});
    s.workingSegments = segments;
    for (int i = 0; i < 8; ++i)
        s.sectionCorrections[i] = 0.125f * static_cast<float>(i - 2);
    s.fuel = {((800 + 137 * a) % 2200 + 100) * 10 + (a * 3) % 10, 0};
    s.water = {a % 3 == 0 ? 0 : (12 + a % 40) * 10, 0};
    s.temperature = {215 - 37 * (a % 9), 0};
    s.density = {7850 + 13 * a, 0};
    s.volume = {s.fuel.tenths * 11, 0};
    s.mass = {s.volume.tenths * 78 / 100, 0};
    for (int i = 0; i < 8; ++i) {
        const bool fitted = i < s.thermometerCount;
        s.thermometers[i] = fitted ? Reading{s.temperature.tenths + 3 * i, 0} : Reading{0, 0x90};
        const int height = fitted ? 300 + 900 * i : 0;
        s.cells[1 + i] = rawBytes({height >> 8, height & 0xFF});
        s.cells[0x81 + i] = fitted ? oneWireId(0x10, static_cast<std::uint32_t>(a * 16 + i + 1))
                                   : QByteArray(16, '0');
        s.densityChannels[i] =
            i < s.densityCount ? Reading{s.density.tenths + 2 * i, 0} : Reading{0, 0xB0};
        // Density meters share family and serial prefix; their places hold
        // identifier and height cells of their own.
        const bool meter = i < s.densityCount;
        const int idCell = i < 3 ? 0x89 + i : 0xD0 + i - 3;
        const int heightCell = i < 3 ? 0x09 + i : 0xC0 + i - 3;
        s.cells[idCell] = meter ? densityMeterId(static_cast<std::uint16_t>(a * 16 + i + 1))
                                : QByteArray(16, '0');
        s.cells[heightCell] = rawBytes({meter ? 2 : 0, meter ? 100 * i : 0});
        s.densityCorrections[i] = meter ? 0.5f * static_cast<float>(i + 1) : 0.0f;
    }
    if (a % 11 == 5) { // a sensor with bare segments
        s.fuel.code = 0x85;
        s.s1 |= 0x01;
    }
    if (a % 7 == 3) { // a thermometer gone from the line
        s.thermometers[1].code = 0x92;
        s.s1 |= 0x02;
    }
    if (a % 10 == 7) { // density meter missing, no calibration table
        s.density = {-2000, 0xB1};
        s.volume = {-10, 0xFF};
        s.mass = {-10, 0xFF};
        s.s1 |= 0x04;
    }
    return s;
}

// The requests that change what a sensor keeps: its cell writes, section
// and density-meter writes, and the setting commands sent with a payload.
bool changesSensor(const bus::DecodedRequest& req) {
    switch (req.command) {
    case 0x83: // cell
    case 0x36: // section correction
    case 0x40: // density meter block
    case 0x56: // alarm switched off
        return true;
    case 0x4F: // flags
    case 0x1F: // filling criterion
    case 0x17: // segments
    case 0x19: // code update
        return !req.payload.isEmpty();
    default:
        return false;
    }
}

// A boot loader's block of the program (the closing empty one too).
constexpr std::uint8_t kLoaderBlock = 0x50;

// The requests that change what a controller keeps of its tables: the
// allocation table and the table flash.
bool changesController(const bus::DecodedRequest& req) {
    switch (req.command) {
    case 0x70: // allocation table
    case 0x52: // table block
    case 0x71: // the single table of the direct-sensor type
        return true;
    default:
        return false;
    }
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

SimController Installation::makeController(int index, int first, int count, Fault fault) const {
    SimController c;
    c.index = index;
    c.first = first;
    c.count = count;
    c.version = controllerVersion(m_type, index);
    c.fault = fault;
    return c;
}

Installation::Installation(const Scenario& s)
    : m_type(s.type), m_turnaroundMs(s.turnaroundMs), m_lateMs(s.lateMs), m_echo(s.echo),
      m_noDevices(s.noDevices) {
    auto addSensor = [this](int address) { m_sensors[address] = makeSensor(address); };
    if (m_type == 2 || m_type == 5) {
        for (int a = s.directFirst; a < s.directFirst + s.directCount; ++a) {
            addSensor(a);
            // Direct sensors also answer as a controller at 0x80 + address.
            if (m_type == 2)
                m_controllers[a] = makeController(a, a, 1, Fault::None);
        }
    } else {
        for (const ControllerSpec& c : s.controllers) {
            m_controllers[c.index] = makeController(c.index, c.first, c.count, c.fault);
            for (int a = c.first; a < c.first + c.count; ++a)
                addSensor(a);
        }
    }
    for (int address : s.absentSensors) {
        if (SimSensor* sensor = this->sensor(address))
            sensor->absent = true;
        if (m_type == 2)
            m_controllers.erase(address);
    }
    for (const FlashSpec& f : s.flashes) {
        if (SimController* c = controller(f.index)) {
            c->pageSize = f.pageSize;
            c->pageSizeReply = f.silent ? SimController::PageSizeReply::Silent
                               : f.zero ? SimController::PageSizeReply::Zero
                                        : SimController::PageSizeReply::Told;
        }
    }
    for (const ProbeSpec& p : s.probes) {
        if (SimSensor* sensor = this->sensor(p.address)) {
            sensor->length = p.lengthMm ? p.lengthMm : p.segments * 125 / 8;
            sensor->wide = p.segments > 0 && sensor->length / p.segments == 31;
            sensor->cells[0x91] = rawBytes({p.segments >> 8, p.segments});
            sensor->workingSegments = p.segments;
            // The fuel stands in the lower part of the probe.
            sensor->fuel.tenths = sensor->length * 6;
        }
    }
    for (int address : s.brokenSensors)
        if (SimSensor* sensor = this->sensor(address))
            sensor->firmwareBroken = true;
    for (int index : s.emergencyFlags)
        if (SimController* c = controller(index))
            c->emergencyFlag = true;
    for (const PowerSpec& p : s.poweredOff) {
        if (SimController* c = controller(p.index)) {
            c->powered = false;
            c->powerOnAfter = p.onAfterRequests;
        }
    }
    for (int index : s.deadControllers)
        if (SimController* c = controller(index))
            c->firmwareDead = true;
    for (const UnheardSpec& u : s.unheard)
        if (SimController* c = controller(u.index))
            c->unheard[u.command] = u.count;
    for (const MemoryTestSpec& m : s.memoryTests)
        if (SimSensor* sensor = this->sensor(m.address))
            sensor->memoryTestAnswer = m.answer;
    m_cut = s.cut;
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

void Installation::setPower(int index, bool on) {
    SimController* c = controller(index);
    if (!c)
        return;
    c->powered = on;
    c->powerOnAfter = 0;
    c->transit = on && c->emergencyFlag;
    c->service = false;
    c->inBootLoader = {};
    for (int a = c->first; a < c->first + c->count; ++a)
        if (SimSensor* s = sensor(a))
            s->inBootLoader = on && s->firmwareBroken;
}

void Installation::countRequest() {
    ++m_requestsSeen;
    for (auto& [index, c] : m_controllers)
        if (c.powerOnAfter > 0 && --c.powerOnAfter == 0)
            setPower(index, true);
}

SimController* Installation::controllerServing(int address) {
    for (auto& [index, c] : m_controllers)
        if (c.first <= address && address < c.first + c.count)
            return &c;
    return nullptr;
}

bool Installation::reachable(const SimSensor& sensor) {
    if (m_type == 2 || m_type == 5)
        return true;
    const SimController* c = controllerServing(sensor.address);
    return c && c->transit;
}

std::optional<Answer> Installation::setAddressBroadcast(const bus::DecodedRequest& req,
                                                        Fault& fault, std::uint8_t& from) {
    if (req.payload.size() != 1)
        return std::nullopt;
    std::vector<int> heard;
    for (auto& [address, sensor] : m_sensors)
        if (reachable(sensor))
            heard.push_back(address);
    if (heard.empty())
        return std::nullopt;
    const int newAddress = static_cast<std::uint8_t>(req.payload[0]) & 0x7F;
    if (heard.size() == 1 && m_sensors.at(heard.front()).fault == Fault::IgnoresWrites)
        return std::nullopt;
    if (heard.size() > 1) {
        // Several sensors answer at once; the frames collide on the line.
        fault = Fault::BadChecksum;
        from = static_cast<std::uint8_t>(newAddress);
        return Answer{QByteArray(1, static_cast<char>(newAddress)), {}};
    }
    auto node = m_sensors.extract(heard.front());
    node.key() = newAddress;
    node.mapped().address = newAddress;
    fault = node.mapped().fault;
    m_sensors.insert_or_assign(newAddress, std::move(node.mapped()));
    from = static_cast<std::uint8_t>(newAddress);
    return Answer{QByteArray(1, static_cast<char>(newAddress)), {}};
}

std::optional<Answer> Installation::controllerAnswer(const bus::DecodedRequest& req, Cpu cpu,
                                                     Fault& fault) {
    const int index = req.address - 0x80;
    SimController* c = controller(index);
    if (!c || !c->powered)
        return std::nullopt;
    if (const auto u = c->unheard.find(req.command); u != c->unheard.end() && u->second != 0) {
        if (u->second > 0)
            --u->second;
        return std::nullopt;
    }
    if (cpu == Cpu::Main && c->firmwareDead && req.command != 0x5A)
        return std::nullopt;
    const auto& table = cpu == Cpu::Main ? controllerHandlers() : keyboardHandlers();
    const auto h = table.find(req.command);
    if (h == table.end())
        return std::nullopt;
    if (c->fault == Fault::IgnoresWrites && changesController(req))
        return std::nullopt;
    fault = c->fault;
    auto a = h->second(*this, *c, req);
    // A new own address takes effect at once; the answer still comes from
    // the old one.
    if (c->index != index) {
        auto node = m_controllers.extract(index);
        node.key() = c->index;
        m_controllers.insert_or_assign(node.key(), std::move(node.mapped()));
    }
    return a;
}

std::optional<Answer> Installation::bootLoaderAnswer(const bus::DecodedRequest& req, Cpu cpu,
                                                     Fault& fault) {
    for (auto& [index, c] : m_controllers) {
        if (!c.powered || !c.inBootLoader[static_cast<int>(cpu)])
            continue;
        if (c.fault == Fault::IgnoresWrites && req.command == kLoaderBlock)
            return std::nullopt;
        fault = c.fault;
        return boot::answer(c, cpu, req);
    }
    return std::nullopt;
}

std::optional<Answer> Installation::answer(const bus::DecodedRequest& req, Cpu cpu, Fault& fault,
                                           std::uint8_t& from) {
    from = req.address;
    if (req.address >= 0x80 && req.address < 0xF0)
        return controllerAnswer(req, cpu, fault);
    if (req.address == 0xFF)
        if (auto a = bootLoaderAnswer(req, cpu, fault))
            return a;
    // The keyboard/display processor hears its own controller only.
    if (cpu == Cpu::Keyboard)
        return std::nullopt;
    if (req.address == 0xF0 && req.command == 0x8F)
        return setAddressBroadcast(req, fault, from);
    if (req.address == 0xFF) {
        // The release broadcast: every controller leaves transit, silently.
        if (req.command == 0xA5)
            for (auto& [index, c] : m_controllers)
                c.transit = false;
        return std::nullopt;
    }
    if (req.address < 0x80) {
        SimSensor* s = sensor(req.address);
        if (!s)
            return std::nullopt;
        if (const SimController* c = controllerServing(s->address); c && !c->powered)
            return std::nullopt;
        if (s->absent) {
            // Behind a controller the status word of an empty place is 00 00.
            if (m_type == 2 || m_type == 5)
                return std::nullopt;
            if (req.command == 0x1C)
                return Answer{QByteArray(30, '\0'), {}};
            if (req.command == 0x0C)
                return Answer{QByteArray(2, '\0'), {}};
            return std::nullopt;
        }
        return sensorAnswer(*s, req, fault);
    }
    return std::nullopt;
}

std::optional<Answer> Installation::sensorAnswer(SimSensor& s, const bus::DecodedRequest& req,
                                                 Fault& fault) {
    // The boot loader runs no polling: it is heard only where the line
    // reaches the sensor.
    if (s.inBootLoader) {
        if (!reachable(s) || (s.fault == Fault::IgnoresWrites && req.command == kLoaderBlock))
            return std::nullopt;
        fault = s.fault;
        return boot::sensorAnswer(s, req);
    }
    if (s.firmwareBroken)
        return std::nullopt;
    if (!answeredWithoutTransit(req.command) && !reachable(s))
        return std::nullopt;
    const auto& table = sensorHandlers();
    const auto h = table.find(req.command);
    if (h == table.end())
        return std::nullopt;
    if (s.fault == Fault::IgnoresWrites && changesSensor(req))
        return std::nullopt;
    fault = s.fault;
    return h->second(*this, s, req);
}

std::optional<Outgoing> Installation::respond(QByteArrayView requestChars, Cpu cpu) {
    if (m_replay) {
        const QByteArray request =
            requestChars.sliced(std::max<qsizetype>(requestChars.lastIndexOf('@'), 0))
                .toByteArray();
        const auto recorded = m_replay->next(request);
        if (!recorded) {
            if (m_unheld)
                m_unheld(request);
            return std::nullopt;
        }
        if (recorded->chars.isEmpty())
            return std::nullopt;
        return Outgoing{recorded->chars, std::max(recorded->delayMs, 0)};
    }
    if (m_noDevices)
        return std::nullopt;
    const auto req = bus::decodeRequest(requestChars);
    if (!req) {
        ++m_badRequests;
        return std::nullopt;
    }
    countRequest();
    if (changesDevice(*req)) {
        const QByteArray frame =
            requestChars.sliced(std::max<qsizetype>(requestChars.lastIndexOf('@'), 0))
                .toByteArray()
                .trimmed();
        m_writesSeen.append(frame);
        if (m_writeHeard)
            m_writeHeard(frame);
    }
    if (m_cut && !m_lineCut && req->command == m_cut->command && m_cut->after-- == 0)
        m_lineCut = true;
    if (m_lineCut)
        return std::nullopt;
    Fault fault = Fault::None;
    std::uint8_t from = req->address;
    const auto a = answer(*req, cpu, fault, from);
    if (!a || fault == Fault::Silent)
        return std::nullopt;
    if (fault == Fault::WrongAddress)
        from = static_cast<std::uint8_t>(from ^ 0x01);
    QByteArray frame =
        a->text.isEmpty() || a->data.isEmpty()
            ? bus::encodeReply(from, req->command, a->data)
            : bus::encodeRawTextReply(from, req->command, static_cast<std::uint8_t>(a->data[0]),
                                      a->text);
    Outgoing out;
    out.delayMs = m_turnaroundMs;
    out.chars = damaged(std::move(frame), fault, out.delayMs, m_lateMs);
    return out;
}

} // namespace sim
