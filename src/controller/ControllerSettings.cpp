#include "controller/ControllerSettings.h"

#include "app/ControllerTypes.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <algorithm>

namespace controller {
namespace {

using bus::Form;
namespace ctl = bus::ctl;

constexpr std::uint8_t kMapOption = 1;
constexpr std::uint8_t kMapBit = 0x08;
constexpr int kIndexMask = 0x1F;

enum AddressField : std::uint8_t { OwnIndex = 1, FirstSensor = 2, SensorCount = 3 };

int write(bus::SerialLink& link, std::uint8_t controller, std::uint8_t code,
          std::initializer_list<std::uint8_t> payload) {
    const std::vector<std::uint8_t> p(payload);
    return bus::AskController(link, controller, code, Form::Write, p);
}

QString characters(const bus::SerialLink& link, int from) {
    QString s;
    for (int i = from; i < from + kPasswordLength; ++i)
        s.append(QChar::fromLatin1(static_cast<char>(link.data(i))));
    return s;
}

} // namespace

int addressEntries(int controllerType) {
    return std::max(kAddressEntries, app::controllerType(controllerType).scanSlots);
}

QStringList mainChannelNames() {
    return {QStringLiteral("RS232"), QStringLiteral("RS485"), QStringLiteral("USB")};
}

QStringList secondChannelNames() {
    return {QStringLiteral("RS232"), QStringLiteral("RS485")};
}

QString intervalText(int tenths, QChar decimalPoint) {
    QString s = QString::number(tenths / 10);
    if (tenths % 10 != 0)
        s += decimalPoint + QString::number(tenths % 10);
    return s;
}

ControllerSettings ReadControllerSettings(bus::SerialLink& link, std::uint8_t controller,
                                          int controllerType) {
    ControllerSettings s;
    if (bus::AskController(link, controller, ctl::PollInterval, Form::Read) >= 1)
        s.interval = link.data(0);
    if (app::controllerType(controllerType).directSensors)
        return s;
    if (app::controllerType(controllerType).hostChannels) {
        if (bus::AskController(link, controller, ctl::HostChannels, Form::Read) >= 2) {
            s.mainChannel = link.data(0);
            s.secondChannel = link.data(1);
        }
        if (bus::AskController(link, controller, ctl::Passwords, Form::Read) >= 8) {
            s.workingPassword = characters(link, 0);
            s.systemPassword = characters(link, kPasswordLength);
        }
    }
    if (bus::AskController(link, controller, ctl::AddressRange, Form::Read) >= 3) {
        s.index = link.data(0) & kIndexMask;
        s.firstSensor = link.data(1);
        s.sensorCount = link.data(2);
    }
    const std::uint8_t option[] = {kMapOption};
    if (bus::AskController(link, controller, ctl::OptionByte, Form::Read, option) >= 2)
        s.sensorMap = (link.data(1) & kMapBit) != 0;
    return s;
}

bool WriteInterval(bus::SerialLink& link, std::uint8_t controller, int tenths) {
    return write(link, controller, ctl::PollInterval, {static_cast<std::uint8_t>(tenths)}) >= 1 &&
           link.data(0) != 0;
}

bool WriteControllerIndex(bus::SerialLink& link, std::uint8_t controller, int index) {
    // The answer carries the address as a read does: the index in bits 0..4.
    return write(link, controller, ctl::AddressRange,
                 {OwnIndex, static_cast<std::uint8_t>(index)}) >= 3 &&
           (link.data(0) & kIndexMask) == index;
}

bool WriteFirstSensor(bus::SerialLink& link, std::uint8_t controller, int stored) {
    return write(link, controller, ctl::AddressRange,
                 {FirstSensor, static_cast<std::uint8_t>(stored)}) >= 3 &&
           link.data(1) == stored;
}

bool WriteSensorCount(bus::SerialLink& link, std::uint8_t controller, int count) {
    return write(link, controller, ctl::AddressRange,
                 {SensorCount, static_cast<std::uint8_t>(count)}) >= 3 &&
           link.data(2) == count;
}

bool WriteSensorMap(bus::SerialLink& link, std::uint8_t controller, bool on) {
    const std::uint8_t option[] = {kMapOption};
    if (bus::AskController(link, controller, ctl::OptionByte, Form::Read, option) < 2)
        return false;
    const std::uint8_t now = link.data(1);
    const auto v = static_cast<std::uint8_t>(on ? (now | kMapBit) : (now & ~kMapBit));
    return write(link, controller, ctl::OptionByte, {kMapOption, v}) >= 2 && link.data(1) == v;
}

bool WritePassword(bus::SerialLink& link, std::uint8_t controller, Password which,
                   const QString& text) {
    if (text.size() < kPasswordLength)
        return false;
    const QByteArray chars = text.left(kPasswordLength).toLatin1();
    std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(which)};
    for (char c : chars)
        payload.push_back(static_cast<std::uint8_t>(c));
    return bus::AskController(link, controller, ctl::Passwords, Form::Write, payload) >= 1 &&
           link.data(0) != 0;
}

bool WriteChannel(bus::SerialLink& link, std::uint8_t controller, Channel which, int type) {
    const int at = which == Channel::Main ? 0 : 1;
    return write(link, controller, ctl::HostChannels,
                 {static_cast<std::uint8_t>(which), static_cast<std::uint8_t>(type)}) >= 2 &&
           link.data(at) == type;
}

} // namespace controller
