#include "app/ControllerTypes.h"

#include <QStringList>

#include <array>

namespace app {
namespace {

using O = AlarmOutputs;

// clang-format off
constexpr std::array<ControllerTypeInfo, kControllerTypes> kTypes{{
//    model  sensors ctrl   direct slots  kbd    kbdPort kbdMain host   emerg  outputs    trigger pairs  offered choice
    {"Н5",   16,     true,  false, 8,     true,  true,   false,  true,  false, O::None,   false,  false, true,   "rbKipN"},
    {"Н6",   12,     true,  false, 8,     true,  false,  false,  true,  true,  O::None,   false,  false, true,   "rbKipN6"},
    {"С5",   1,      true,  true,  64,    true,  false,  true,   false, false, O::Relays, false,  false, true,   "rbKipS"},
    {"С6",   4,      true,  false, 32,    true,  false,  true,   false, true,  O::Matrix, false,  false, true,   "rbKipS6"},
    {"С7",   2,      true,  false, 8,     true,  true,   false,  false, false, O::None,   true,   true,  false,  "rbKipS7"},
    {nullptr, 1,     false, false, 0,     false, false,  false,  false, false, O::None,   true,   false, true,   "rbNoKip"},
}};
// clang-format on

} // namespace

bool isControllerType(int type) {
    return type >= 0 && type < kControllerTypes;
}

const ControllerTypeInfo& controllerType(int type) {
    return kTypes[static_cast<std::size_t>(isControllerType(type) ? type : TypeN6)];
}

QString controllerTypeLabel(int type) {
    // A type from a file that no controller has is named as such, never
    // taken for "no controller".
    if (!isControllerType(type))
        return QStringLiteral("Неизвестный тип КИП: %1").arg(type);
    const ControllerTypeInfo& t = controllerType(type);
    if (!t.model)
        return QStringLiteral("КИП не используется");
    return QStringLiteral("Используется КИП-") + QString::fromUtf8(t.model);
}

int defaultSensorCount(int type) {
    return controllerType(type).defaultSensors;
}

QString modelsWith(bool ControllerTypeInfo::*feature) {
    QStringList models;
    for (const ControllerTypeInfo& t : kTypes)
        if (t.model && t.*feature)
            models << QStringLiteral("КИП-") + QString::fromUtf8(t.model);
    return models.join(QStringLiteral(", "));
}

QString controllerTypeChoice(int type) {
    const ControllerTypeInfo& t = controllerType(type);
    return t.model ? QStringLiteral("КИП-") + QString::fromUtf8(t.model)
                   : QStringLiteral("Без КИП");
}

QString defaultLayoutCaption(int type) {
    const ControllerTypeInfo& t = controllerType(type);
    if (!t.controller || t.directSensors)
        return {};
    return QStringLiteral("1 x %1").arg(t.defaultSensors);
}

} // namespace app
