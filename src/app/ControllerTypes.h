#pragma once

#include <QString>

namespace app {

// Controller types (KIP_TYP).
enum ControllerType {
    TypeN5 = 0,
    TypeN6 = 1,
    TypeDirect = 2, // every sensor is its own controller at 0x80 + address
    TypeC6 = 3,
    TypeC7 = 4,
    TypeNone = 5, // no controller at all
};

enum class AlarmOutputs {
    None,
    Relays, // two relays of the sensor itself, with dry contacts
    Matrix, // four outputs routing the events of sensors 1..4
};

// What a controller type has. Every decision that depends on the type reads
// this row, so a new type is one more row.
struct ControllerTypeInfo {
    const char* model;      // "Н5" and so on; nullptr without a controller
    int defaultSensors;     // per controller, when the layout gives none
    bool controller;        // a controller stands between the tool and the sensors
    bool directSensors;     // each sensor answers as a controller at 0x80 + address
    int scanSlots;          // controller addresses a scan probes
    bool keyboardProcessor; // a keyboard/display processor beside the main one
    bool keyboardPort;      // which is updated through its own connector
    bool keyboardOnMain;    // the keyboard processor's version label sits on the main page
    bool hostChannels;      // host-link channels and passwords
    bool emergencyFlag;     // keeps the sensor's emergency update flag
    AlarmOutputs outputs;   // alarm outputs beyond the thresholds
    bool measureTrigger;    // the general poll triggers measuring (0x8A)
    bool channelPairs;      // the layout lists sensors by channel pairs
    bool offered;           // chosen in the system configuration dialog
    const char* choice;     // that choice's objectName
    bool hasController() const { return controller; }
};

inline constexpr int kControllerTypes = 6;

bool isControllerType(int type);
// The row of a type; a number outside 0..5 gets the row of type 1, the
// configuration file's default.
const ControllerTypeInfo& controllerType(int type);

// "Используется КИП-Н6" and the like; for type 5 "КИП не используется".
QString controllerTypeLabel(int type);
int defaultSensorCount(int type);
// "КИП-Н6, КИП-С6": the types that have a feature, for refusals.
QString modelsWith(bool ControllerTypeInfo::*feature);
// "КИП-Н5", or "Без КИП": the type as the configuration dialog offers it.
QString controllerTypeChoice(int type);
// "1 x 12" for a type whose controllers serve several sensors, else empty.
QString defaultLayoutCaption(int type);

} // namespace app
