#include "controller/AlarmService.h"

#include "app/Progress.h"
#include "app/Setting.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "link/Transit.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace controller {
namespace {

using bus::Form;

constexpr std::uint8_t kStateRead = 2;
constexpr std::uint8_t kContactsField = 7;

// The payload of a per-sensor request: the sensor number first, except in
// the direct-sensor type.
std::vector<std::uint8_t> payloadFor(const AlarmTarget& t,
                                     std::initializer_list<std::uint8_t> rest) {
    std::vector<std::uint8_t> p;
    p.reserve(rest.size() + 1);
    if (!t.direct)
        p.push_back(static_cast<std::uint8_t>(t.sensor + 1));
    for (std::uint8_t b : rest)
        p.push_back(b);
    return p;
}

int word(const bus::SerialLink& link, int at) {
    return link.data(at) * 256 + link.data(at + 1);
}

// Why the request just made got no usable answer.
AlarmWriteOutcome unanswered(const bus::SerialLink& link) {
    switch (app::writeFaultOf(link)) {
    case app::WriteFault::EchoOnly:
        return AlarmWriteOutcome::EchoOnly;
    case app::WriteFault::BadAnswer:
        return AlarmWriteOutcome::BadAnswer;
    case app::WriteFault::LineLost:
        return AlarmWriteOutcome::LineLost;
    default:
        return AlarmWriteOutcome::NoAnswer;
    }
}

} // namespace

AlarmConfig ReadAlarmConfig(bus::SerialLink& link, const AlarmTarget& t) {
    AlarmConfig c;
    const int n = bus::AskController(link, t.controller, bus::ctl::AlarmThreshold, Form::Read,
                                     payloadFor(t, {}));
    if (n < 12)
        return c;
    c.complete = true;
    const int o = t.direct ? 0 : 1;
    c.fuelMax = word(link, o);
    c.fuel95 = word(link, o + 2);
    c.fuelMin = word(link, o + 4);
    c.waterMax = word(link, o + 6);
    c.leak = word(link, o + 8);
    // The direct-sensor type leaves the volume's lowest byte out of the reply:
    // its three bytes end the reply, and nothing past it is read.
    const int v = n - 3 - o;
    const quint32 none = t.direct ? 0xFFFFFF00u : 0xFFFFFFFFu;
    const quint32 volume = (quint32(link.data(v)) << 24) | (quint32(link.data(v + 1)) << 16) |
                           (quint32(link.data(v + 2)) << 8) | (t.direct ? 0u : link.data(v + 3));
    if (volume != none)
        c.volume = volume;
    if (n >= 14)
        c.contacts = std::array<std::uint8_t, 2>{link.data(12), link.data(13)};
    const int e =
        bus::AskController(link, t.controller, bus::ctl::AlarmFlags, Form::Read, payloadFor(t, {}));
    if (e < 1)
        return c;
    if (t.direct) {
        if (e >= 2)
            c.modes = std::array<std::uint8_t, 2>{link.data(0), link.data(1)};
    } else if (e > o) {
        c.enables = link.data(o);
    }
    return c;
}

AlarmWriteOutcome WriteAlarmConfig(bus::SerialLink& link, const AlarmTarget& t,
                                   const AlarmWrite& w) {
    std::optional<AlarmWriteOutcome> failed;
    {
        bus::ServiceMode service(link, t.controller);
        if (!service.accepted())
            return unanswered(link);
        // A write that got not a single character back was not taken.
        auto write = [&](std::uint8_t code, Form form, std::initializer_list<std::uint8_t> words) {
            if (!failed &&
                bus::AskController(link, t.controller, code, form, payloadFor(t, words)) < 1)
                failed = unanswered(link);
        };
        const int shift = t.direct ? 1 : 0;
        const std::pair<int, std::optional<int>> fields[] = {
            {0, w.fuelMax}, {2, w.fuelMin}, {3, w.waterMax}, {4, w.leak}};
        for (const auto& [index, value] : fields) {
            if (!value || *value < 0 || *value > 0xFFFF)
                continue;
            write(bus::ctl::AlarmThreshold, Form::Write,
                  {static_cast<std::uint8_t>(index + shift), static_cast<std::uint8_t>(*value >> 8),
                   static_cast<std::uint8_t>(*value & 0xFF)});
        }
        if (t.direct) {
            write(bus::ctl::AlarmThreshold, Form::Write,
                  {kContactsField, w.contacts[0], w.contacts[1]});
            for (std::uint8_t output : {1, 2})
                write(bus::ctl::AlarmFlags, Form::Write, {output, w.modes[output - 1]});
        } else {
            write(bus::ctl::AlarmFlags, Form::WriteSlow, {w.enables});
        }
    }
    if (failed)
        return *failed;
    // The controller confirms none of the single writes: what it holds now
    // is read back and compared.
    const AlarmConfig after = ReadAlarmConfig(link, t);
    if (!after.complete || (t.direct ? !after.modes : !after.enables))
        return unanswered(link);
    const bool same =
        (!w.fuelMax || after.fuelMax == w.fuelMax) && (!w.fuelMin || after.fuelMin == w.fuelMin) &&
        (!w.waterMax || after.waterMax == w.waterMax) && (!w.leak || after.leak == w.leak) &&
        (t.direct ? after.modes == w.modes && after.contacts == w.contacts
                  : after.enables == w.enables);
    return same ? AlarmWriteOutcome::Confirmed : AlarmWriteOutcome::Differs;
}

QString alarmWriteText(AlarmWriteOutcome o) {
    const QString notWritten = QStringLiteral("НЕ ЗАПИСАНО: ");
    switch (o) {
    case AlarmWriteOutcome::Confirmed:
        return QStringLiteral("ЗАПИСЬ ЗАВЕРШЕНА");
    case AlarmWriteOutcome::NoAnswer:
        return notWritten + app::writeFaultText(app::WriteFault::NoAnswer);
    case AlarmWriteOutcome::EchoOnly:
        return notWritten + app::writeFaultText(app::WriteFault::EchoOnly);
    case AlarmWriteOutcome::BadAnswer:
        return notWritten + app::writeFaultText(app::WriteFault::BadAnswer);
    case AlarmWriteOutcome::LineLost:
        return QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");
    case AlarmWriteOutcome::Differs:
        return QStringLiteral("ЗАПИСАНО НЕ ВСЁ");
    }
    return {};
}

bool fitsOldForm(const OutputMatrix& m) {
    for (std::uint8_t e : m.events)
        if (e & ~kOldFormEvents)
            return false;
    return true;
}

void applyMatrixButton(OutputMatrix& m, int output, int event, int sensor, bool down) {
    std::uint8_t& events = m.events[output];
    std::uint8_t& sensors = m.sensors[output];
    const auto e = static_cast<std::uint8_t>(1 << event);
    const auto s = static_cast<std::uint8_t>(1 << sensor);
    if (down) {
        events |= e;
        sensors |= s;
        return;
    }
    events &= static_cast<std::uint8_t>(~e);
    sensors &= static_cast<std::uint8_t>(~s);
    if (sensors != 0 && events == 0)
        events |= e;
    if (events != 0 && sensors == 0)
        sensors |= s;
}

bool matrixButtonDown(const OutputMatrix& m, int output, int event, int sensor) {
    return ((m.events[output] >> event) & 1) && ((m.sensors[output] >> sensor) & 1);
}

std::optional<OutputMatrix> ReadOutputMatrix(bus::SerialLink& link, std::uint8_t controller) {
    const int n = bus::AskController(link, controller, bus::ctl::RelayConfig, Form::Read);
    OutputMatrix m;
    if (n == 4) {
        m.oldForm = true;
        for (int i = 0; i < 4; ++i) {
            m.events[i] = link.data(i) >> 4;
            m.sensors[i] = link.data(i) & 0x0F;
        }
        return m;
    }
    if (n >= 8) {
        for (int i = 0; i < 4; ++i) {
            m.events[i] = link.data(2 * i);
            m.sensors[i] = link.data(2 * i + 1);
        }
        return m;
    }
    return std::nullopt;
}

std::optional<int> WriteOutputMatrix(bus::SerialLink& link, std::uint8_t controller,
                                     const OutputMatrix& m) {
    // Events the old form has no bits for are never dropped silently.
    if (m.oldForm && !fitsOldForm(m))
        return std::nullopt;
    std::vector<std::uint8_t> payload;
    for (int i = 0; i < 4; ++i) {
        if (m.oldForm) {
            payload.push_back(
                static_cast<std::uint8_t>(((m.events[i] & 0x0F) << 4) | (m.sensors[i] & 0x0F)));
        } else {
            payload.push_back(m.events[i]);
            payload.push_back(m.sensors[i]);
        }
    }
    if (bus::AskController(link, controller, bus::ctl::RelayConfig, Form::Write, payload) < 1)
        return std::nullopt;
    return link.data(0);
}

std::optional<AlarmState> ReadAlarmState(bus::SerialLink& link, std::uint8_t sensor) {
    const std::uint8_t payload[] = {kStateRead};
    if (bus::AskSensor(link, sensor, bus::sns::ReadAlarmState, Form::Read, payload) < 4)
        return std::nullopt;
    return AlarmState{link.data(1), link.data(2), link.data(3)};
}

app::WriteOutcome SwitchOffAlarm(bus::SerialLink& link, std::uint8_t sensor, int event) {
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(event)};
    const bool off =
        bus::AskSensor(link, sensor, bus::sns::SwitchOffAlarm, Form::Write, payload) >= 1 &&
        link.data(0) == 1;
    return app::outcomeOf(link, off);
}

QString switchOffText(const app::WriteOutcome& o) {
    return o ? QStringLiteral("ВЫКЛЮЧЕНО")
             : QStringLiteral("НЕ ПОЛУЧИЛОСЬ: ") + app::writeFaultText(*o.fault);
}

void StartMemoryTest(bus::SerialLink& link, std::uint8_t sensor) {
    bus::AskSensor(link, sensor, bus::sns::StartMemoryTest, Form::Unanswered);
}

int LookForMemoryTest(bus::SerialLink& link) {
    return bus::TakeAnswer(link, bus::Target::Sensor, bus::sns::StartMemoryTest, Form::FollowUp);
}

void StopMemoryTest(bus::SerialLink& link, std::uint8_t sensor) {
    bus::AskSensor(link, sensor, bus::sns::ReadStatus, Form::Unanswered);
}

namespace {

MemoryTestOutcome outcomeOfLength(int length) {
    switch (length) {
    case 0:
        return MemoryTestOutcome::NotSupported;
    case 1:
        return MemoryTestOutcome::NoErrors;
    case 2:
        return MemoryTestOutcome::HighByteError;
    case 4:
        return MemoryTestOutcome::CellError;
    default:
        return MemoryTestOutcome::UnexpectedLength;
    }
}

} // namespace

MemoryTestResult RunMemoryTest(bus::SerialLink& link, std::uint8_t sensor,
                               app::Progress& progress) {
    constexpr int kLookMs = 100; // the look's own wait, from the catalogue
    MemoryTestResult r;
    progress.ShowProgress(kMemoryTestLooks);
    StartMemoryTest(link, sensor);
    for (int look = 0; look < kMemoryTestLooks; ++look) {
        if (progress.breakRequested()) {
            r.outcome = MemoryTestOutcome::Stopped;
            break;
        }
        link.Idle(kMemoryTestTickMs - kLookMs);
        if (!link.isOpen())
            break;
        if (progress.breakRequested()) {
            r.outcome = MemoryTestOutcome::Stopped;
            break;
        }
        const int n = LookForMemoryTest(link);
        progress.StepProgress(0);
        progress.processEvents();
        if (n < 0)
            continue;
        r.length = n;
        r.outcome = outcomeOfLength(n);
        for (int i = 0; i < std::min(n, static_cast<int>(r.bytes.size())); ++i)
            r.bytes[static_cast<std::size_t>(i)] = link.data(i);
        break;
    }
    if (!link.isOpen()) {
        r.outcome = MemoryTestOutcome::LineLost;
        return r;
    }
    // Our own request came back and nothing else: the line, not the
    // device, is what failed.
    if (r.outcome == MemoryTestOutcome::NoAnswer && link.lastOutcome() == bus::Outcome::EchoOnly)
        r.outcome = MemoryTestOutcome::EchoOnly;
    // Answered, given up or unanswered: the sensor is told either way.
    StopMemoryTest(link, sensor);
    return r;
}

QString memoryTestText(const MemoryTestResult& r) {
    auto hex = [](int v, int width) {
        return QStringLiteral("%1").arg(v, width, 16, QLatin1Char('0')).toUpper();
    };
    const auto& b = r.bytes;
    switch (r.outcome) {
    case MemoryTestOutcome::NotSupported:
        return QStringLiteral("УСТРОЙСТВОМ ТЕСТ НЕ ПОДДЕРЖИВАЕТСЯ");
    case MemoryTestOutcome::NoErrors:
        return QStringLiteral("ОШИБОК НЕТ");
    case MemoryTestOutcome::HighByteError:
        return QStringLiteral("Ошибка старшего байта адреса: ") + hex(b[0] ^ b[1], 2) +
               QStringLiteral("00");
    case MemoryTestOutcome::CellError:
        return QStringLiteral("Ошибка по адресу %1 : зп-%2 сч-%3")
            .arg(hex(b[0] * 256 + b[1], 4), hex(b[2], 2), hex(b[3], 2));
    case MemoryTestOutcome::UnexpectedLength: {
        QStringList known;
        for (int n : r.expected)
            known << QString::number(n);
        const QString last = known.isEmpty() ? QString() : known.takeLast();
        return QStringLiteral("ОТВЕТ ТЕСТА ПАМЯТИ НЕОЖИДАННОЙ ДЛИНЫ: %1 БАЙТ, ОЖИДАЛОСЬ %2 ИЛИ %3")
            .arg(r.length)
            .arg(known.join(QStringLiteral(", ")), last);
    }
    case MemoryTestOutcome::NoAnswer:
        return kTestMaybeUnsupported;
    case MemoryTestOutcome::EchoOnly:
        return app::writeFaultText(app::WriteFault::EchoOnly);
    case MemoryTestOutcome::Stopped:
        return QStringLiteral("ТЕСТ ПАМЯТИ ПРЕРВАН");
    case MemoryTestOutcome::LineLost:
        return QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");
    }
    return {};
}

} // namespace controller
