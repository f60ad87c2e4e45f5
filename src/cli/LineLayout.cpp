#include "cli/LineLayout.h"

#include "app/Addressing.h"
#include "app/ConfigFile.h"
#include "app/ControllerScan.h"
#include "app/ControllerTypes.h"
#include "app/LayoutConfig.h"
#include "controller/ControllerSettings.h"
#include "link/Command.h"
#include "link/SerialLink.h"

#include <cstdio>

namespace cli {

int layoutOffLine(const CliOptions& o, app::ControllerLayout& out) {
    app::WorkingState state;
    if (o.layoutEntries) {
        app::loadLayout(*o.layoutEntries, state);
    } else if (o.config.isEmpty()) {
        app::changeControllerType(state, o.type);
    } else {
        // Read whole or refused: a file over its limit is no empty layout.
        app::FileResult read;
        const app::ConfigEntries entries = app::ConfigFile(o.config).read(&read);
        if (!read.ok())
            return fail(read.message());
        // A type no controller has is no type 1: refused, naming it.
        bool number = false;
        const int type = app::ConfigFile::value(entries, QStringLiteral("KIP_TYP")).toInt(&number);
        if (number && !app::isControllerType(type))
            return fail(QStringLiteral("%1: KIP_TYP=%2: %3 (есть 0..5)")
                            .arg(o.config)
                            .arg(type)
                            .arg(app::controllerTypeLabel(type)));
        app::loadLayout(entries, state);
    }
    out = state.layout;
    return 0;
}

int layoutFor(bus::SerialLink& link, const CliOptions& o, app::Progress& progress,
              app::ControllerLayout& out) {
    // Without controllers there is nothing to scan for.
    if (!o.config.isEmpty() || o.layoutEntries || !app::controllerType(o.type).controller)
        return layoutOffLine(o, out);
    out.controllerType = o.type;
    const app::ScanResult scan = app::ScanControllers(link, out, progress);
    if (scan.communicationProblem)
        return fail(QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ."), 1);
    if (progress.breakRequested())
        return fail(kInterrupted, 1);
    if (scan.found == 0)
        return fail(app::scanSummary(scan), 1);
    return 0;
}

std::optional<std::uint8_t> controllerAddress(const app::ControllerLayout& layout, int number) {
    const bool present =
        layout.isDirectSensorType()
            ? number > layout.lowestSensorAddress && number <= layout.sensorAddressEnd
            : layout.isPresent(number - 1) && layout.controllersFound > 0;
    if (layout.isNoControllerType() || !present || number < 1 || number > 128)
        return std::nullopt;
    return static_cast<std::uint8_t>(bus::kControllerBase + number - 1);
}

int controllerNumberRefused(const CliOptions& o, int number) {
    app::ControllerLayout layout;
    if (const int code = layoutOffLine(o, layout))
        return code;
    // Without controllers every number is "not in the layout", and nothing
    // goes on the line to find that out.
    if (layout.isNoControllerType())
        return 0;
    // As many as a controller of the type can be given as its own address.
    const int most = layout.isDirectSensorType()
                         ? app::kSensorAddresses
                         : controller::addressEntries(layout.controllerType);
    // A controller the layout names is never refused: the line decides.
    if ((number >= 1 && number <= most) || layout.isPresent(number - 1))
        return 0;
    return fail(QStringLiteral("КИП %1: у %2 номера КИП от 1 до %3")
                    .arg(number)
                    .arg(app::controllerTypeChoice(layout.controllerType))
                    .arg(most));
}

int sensorRouteFor(bus::SerialLink& link, const CliOptions& o, app::Progress& progress, int number,
                   SensorRoute& route, app::ControllerLayout* layout) {
    app::ControllerLayout own;
    app::ControllerLayout& l = layout ? *layout : own;
    if (const int code = layoutFor(link, o, progress, l))
        return code;
    route = routeTo(l, number - 1);
    if (!route.served)
        return fail(notServedText(number));
    return 0;
}

int controllerFor(bus::SerialLink& link, const CliOptions& o, app::Progress& progress, int number,
                  app::ControllerLayout& layout, std::uint8_t& address) {
    if (const int code = layoutFor(link, o, progress, layout))
        return code;
    const auto a = controllerAddress(layout, number);
    if (!a)
        return fail(notInLayoutText(number));
    address = *a;
    return 0;
}

QString sensorName(int address) {
    return QStringLiteral("датчик %1").arg(address + 1);
}

QString controllerName(int address) {
    return QStringLiteral("КИП %1").arg((address & 0x7F) + 1);
}

QString notServedText(int sensorNumber) {
    return QStringLiteral("датчик %1 не обслуживает ни один КИП конфигурации").arg(sensorNumber);
}

QString notInLayoutText(int controllerNumber) {
    return QStringLiteral("КИП %1 нет в конфигурации").arg(controllerNumber);
}

int noAnswer(const QString& device) {
    return fail(device + QStringLiteral(": НЕТ ОТВЕТА"), 1);
}

int noAnswer(const QString& device, const bus::SerialLink& link) {
    if (link.lastOutcome() == bus::Outcome::EchoOnly)
        return fail(device + QStringLiteral(": НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)"), 1);
    return noAnswer(device);
}

int fail(const QString& message, int code) {
    std::fprintf(stderr, "orvant2-cli: %s\n", qPrintable(message));
    return code;
}

} // namespace cli
