#include "sim/Scenario.h"

#include "app/FileReader.h"

#include <QStringList>

namespace sim {
namespace {

struct FaultName {
    Fault fault;
    const char* name;
};

constexpr FaultName kFaultNames[] = {
    {Fault::None, "none"},
    {Fault::Silent, "silent"},
    {Fault::BadChecksum, "checksum"},
    {Fault::Garbage, "garbage"},
    {Fault::WrongAddress, "address"},
    {Fault::Late, "late"},
    {Fault::Truncated, "truncated"},
    {Fault::IgnoresWrites, "ignores-writes"},
};

bool toInt(const QString& s, int lo, int hi, int& out) {
    bool ok = false;
    const int v = s.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

} // namespace

std::optional<Fault> faultFromName(const QString& name) {
    for (const auto& f : kFaultNames)
        if (name == QLatin1String(f.name))
            return f.fault;
    return std::nullopt;
}

QString faultName(Fault fault) {
    for (const auto& f : kFaultNames)
        if (f.fault == fault)
            return QLatin1String(f.name);
    return {};
}

Scenario Scenario::builtIn() {
    Scenario s;
    s.type = 1;
    s.controllers = {{0, 0, 6, Fault::None}, {1, 6, 6, Fault::None}, {2, 12, 4, Fault::None}};
    return s;
}

std::optional<Scenario> parseScenario(const QString& text, QString* error) {
    Scenario s;
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto fail = [&](int line, const QString& what) {
        if (error)
            *error = QStringLiteral("строка %1: %2").arg(line).arg(what);
        return std::nullopt;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = lines[i];
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        Fault fault = Fault::None;
        if (words.last().startsWith(QLatin1String("fault="))) {
            const auto f = faultFromName(words.takeLast().mid(6));
            if (!f)
                return fail(lineNo, QStringLiteral("неизвестная неисправность"));
            fault = *f;
            if (words.isEmpty())
                return fail(lineNo, QStringLiteral("неисправность без устройства"));
        }
        const QString key = words.takeFirst();
        auto wantArgs = [&](int n) { return words.size() == n; };
        if (key == QLatin1String("type") && wantArgs(1)) {
            if (!toInt(words[0], 0, 5, s.type))
                return fail(lineNo, QStringLiteral("type: от 0 до 5"));
        } else if (key == QLatin1String("turnaround") && wantArgs(1)) {
            if (!toInt(words[0], 0, 10000, s.turnaroundMs))
                return fail(lineNo, QStringLiteral("turnaround: от 0 до 10000 мс"));
        } else if (key == QLatin1String("late") && wantArgs(1)) {
            if (!toInt(words[0], 0, 60000, s.lateMs))
                return fail(lineNo, QStringLiteral("late: от 0 до 60000 мс"));
        } else if (key == QLatin1String("echo") && wantArgs(0)) {
            s.echo = true;
        } else if (key == QLatin1String("echo-only") && wantArgs(0)) {
            s.echo = true;
            s.noDevices = true;
        } else if (key == QLatin1String("controller") && wantArgs(3)) {
            ControllerSpec c;
            c.fault = fault;
            if (!toInt(words[0], 0, 31, c.index) || !toInt(words[1], 0, 127, c.first) ||
                !toInt(words[2], 0, 128, c.count) || c.first + c.count > 128)
                return fail(lineNo,
                            QStringLiteral("controller НОМЕР(0..31) ПЕРВЫЙ ЧИСЛО, адреса в 0..127"));
            for (const auto& other : s.controllers)
                if (other.index == c.index)
                    return fail(lineNo, QStringLiteral("controller %1 задан дважды").arg(c.index));
            s.controllers.push_back(c);
        } else if (key == QLatin1String("sensors") && wantArgs(2)) {
            if (!toInt(words[0], 0, 127, s.directFirst) ||
                !toInt(words[1], 0, 128, s.directCount) || s.directFirst + s.directCount > 128)
                return fail(lineNo, QStringLiteral("sensors ПЕРВЫЙ ЧИСЛО, адреса в 0..127"));
        } else if (key == QLatin1String("absent") && wantArgs(1)) {
            int address = 0;
            if (!toInt(words[0], 0, 127, address))
                return fail(lineNo, QStringLiteral("absent АДРЕС: от 0 до 127"));
            s.absentSensors.push_back(address);
        } else if (key == QLatin1String("segments") && (wantArgs(2) || wantArgs(3))) {
            ProbeSpec p;
            if (!toInt(words[0], 0, 127, p.address) || !toInt(words[1], 1, 4000, p.segments) ||
                (words.size() == 3 && !toInt(words[2], 1, 65535, p.lengthMm)))
                return fail(lineNo, QStringLiteral("segments АДРЕС ЧИСЛО(1..4000) [ДЛИНА мм]"));
            s.probes.push_back(p);
        } else if (key == QLatin1String("flash") && wantArgs(2)) {
            FlashSpec f;
            f.silent = words[1] == QLatin1String("silent");
            f.zero = words[1] == QLatin1String("zero");
            if (!toInt(words[0], 0, 127, f.index) ||
                (!f.silent && !f.zero && !toInt(words[1], 64, 2048, f.pageSize)))
                return fail(lineNo, QStringLiteral("flash НОМЕР РАЗМЕР-СТРАНИЦЫ|silent|zero"));
            // Controllers that keep quiet about it have the large pages.
            if (f.silent)
                f.pageSize = 528;
            s.flashes.push_back(f);
        } else if (key == QLatin1String("broken") && wantArgs(1)) {
            int address = 0;
            if (!toInt(words[0], 0, 127, address))
                return fail(lineNo, QStringLiteral("broken АДРЕС: от 0 до 127"));
            s.brokenSensors.push_back(address);
        } else if (key == QLatin1String("emergency") && wantArgs(1)) {
            int index = 0;
            if (!toInt(words[0], 0, 127, index))
                return fail(lineNo, QStringLiteral("emergency НОМЕР: от 0 до 127"));
            s.emergencyFlags.push_back(index);
        } else if (key == QLatin1String("poweroff") && wantArgs(2)) {
            PowerSpec p;
            if (!toInt(words[0], 0, 127, p.index) ||
                !toInt(words[1], 1, 1000000, p.onAfterRequests))
                return fail(lineNo, QStringLiteral("poweroff НОМЕР ЗАПРОСОВ(1..1000000)"));
            s.poweredOff.push_back(p);
        } else if (key == QLatin1String("dead") && wantArgs(1)) {
            int index = 0;
            if (!toInt(words[0], 0, 127, index))
                return fail(lineNo, QStringLiteral("dead НОМЕР: от 0 до 127"));
            s.deadControllers.push_back(index);
        } else if (key == QLatin1String("unheard") && wantArgs(3)) {
            UnheardSpec u;
            bool hex = false;
            u.command = words[1].toInt(&hex, 16);
            if (!toInt(words[0], 0, 127, u.index) || !hex || u.command < 0 || u.command > 0xFF ||
                (words[2] != QLatin1String("always") && !toInt(words[2], 1, 1000000, u.count)))
                return fail(lineNo, QStringLiteral("unheard НОМЕР КОМАНДА(hex) ЧИСЛО|always"));
            s.unheard.push_back(u);
        } else if (key == QLatin1String("ramtest") && wantArgs(2)) {
            MemoryTestSpec m;
            const bool empty = words[1] == QLatin1String("empty");
            m.answer = empty ? QByteArray() : QByteArray::fromHex(words[1].toLatin1());
            const bool hex = empty || (words[1].size() % 2 == 0 &&
                                       m.answer.toHex().toUpper() == words[1].toUpper().toLatin1());
            if (!toInt(words[0], 0, 127, m.address) || !hex || m.answer.size() > 32)
                return fail(lineNo, QStringLiteral("ramtest АДРЕС БАЙТЫ(hex, до 32)|empty"));
            s.memoryTests.push_back(m);
        } else if (key == QLatin1String("cut") && wantArgs(2)) {
            CutSpec c;
            bool hex = false;
            c.command = words[0].toInt(&hex, 16);
            if (!hex || c.command < 0 || c.command > 0xFF || !toInt(words[1], 0, 1000000, c.after))
                return fail(lineNo, QStringLiteral("cut КОМАНДА(hex) ПОСЛЕ(0..1000000)"));
            s.cut = c;
        } else if (key == QLatin1String("sensor") && wantArgs(1)) {
            SensorSpec sp;
            sp.fault = fault;
            if (!toInt(words[0], 0, 127, sp.address))
                return fail(lineNo, QStringLiteral("sensor АДРЕС: от 0 до 127"));
            s.sensorFaults.push_back(sp);
        } else {
            return fail(lineNo, QStringLiteral("непонятно \"%1\"").arg(lines[i].trimmed()));
        }
    }
    return s;
}

std::optional<Scenario> loadScenario(const QString& path, QString* error) {
    // A pipe or a device is refused without waiting for it, a huge file
    // before it is read.
    const app::FileRead in = app::readRegularFile(path, kMaxScenarioBytes);
    if (!in.result.ok()) {
        if (error)
            *error = app::fileFaultText(in.result.fault);
        return std::nullopt;
    }
    QByteArray bytes = in.bytes;
    bytes.replace("\r\n", "\n");
    return parseScenario(QString::fromUtf8(bytes), error);
}

} // namespace sim
