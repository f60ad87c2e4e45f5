#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace bus {
class SerialLink;
}

// One row of the settings catalogue: what a setting is called, what it may
// be, how the device keeps it and which operation writes it. The rows of
// the sensor live in sensor/, those of the controller and its alarm set-up
// in controller/; this is the shape they share, so that the pages, the CLI,
// the snapshot, restore and the report read one description.
namespace app {

class Progress;

// A device's values by key, in the units the pages show; null where the
// device gave no answer.
using SettingValues = std::map<QString, QJsonValue>;

// Where a write goes: the device's own address, and for a sensor the
// controller that keeps its alarm set-up (none without one).
struct SettingTarget {
    std::uint8_t address = 0;
    std::optional<std::uint8_t> controller;
    bool direct = false; // controller type 2: the sensor is its own controller
};

// Why a setting was not written.
enum class WriteFault {
    NoAnswer,     // nothing came back
    EchoOnly,     // only the request's own echo came back: nothing answers
    BadAnswer,    // something came, not a sound answer to the request
    NotConfirmed, // answered, without taking the value
    LineLost,     // the port went away
    Unread,       // a value it travels with could not be read first
    BadValue,     // not a value the setting takes: nothing sent
    Interrupted,  // Break came before its turn: nothing sent
    ReadOnly,     // read-only is on: nothing sent
};

// What one write came to: confirmed, or why not. Each write says it of
// itself, so that one that sent nothing is never blamed on what the line
// did before it.
struct WriteOutcome {
    std::optional<WriteFault> fault; // none: confirmed
    bool confirmed() const { return !fault; }
    explicit operator bool() const { return confirmed(); }
};
inline constexpr WriteOutcome kConfirmed{};
inline WriteOutcome refused(WriteFault why) {
    return WriteOutcome{why};
}
// The outcome of the request just made on the link: confirmed, or why not
// from how its wait for an answer ended.
WriteOutcome outcomeOf(const bus::SerialLink& link, bool confirmed);
// The same for a write whose answer never equals its request: the request's
// own characters coming back are an echo, however they read.
WriteOutcome outcomeUnlessEchoed(const bus::SerialLink& link, bool confirmed);

// Writes what the operation carries for one device (and one place), taking
// its values from values.
using SettingWrite = WriteOutcome (*)(bus::SerialLink& link, const SettingTarget& target, int place,
                                      const SettingValues& values);

// The device operation a setting travels with. Several settings may share
// one (the flag byte, an alarm set-up); order is the order of the writes,
// so what a setting depends on goes first.
struct SettingOperation {
    int order = 0;
    SettingWrite write = nullptr; // none: read only
};

enum class SettingKind {
    Number,     // decimals, a unit, a range
    Flag,       // true / false, typed 1 / 0
    Choice,     // one of the texts; the device keeps its index
    Text,       // characters matching the pattern
    Byte,       // two hexadecimal digits
    Identifier, // a checked 1-Wire identifier, or "empty"
};

enum class SettingUse {
    Restorable, // written back by restore
    Sensitive,  // written back only with its own yes (passwords, addresses)
    Measured,   // what the device reports of itself: compared, never written
};

// The text an emptied place is kept as in a snapshot (null is no answer).
inline const QString kEmptyPlace = QStringLiteral("empty");

struct Setting {
    QString key;   // as the CLI and the snapshot name it
    QString label; // as the page shows it
    QString unit;  // empty for none
    SettingKind kind = SettingKind::Number;
    double min = 0, max = 0; // Number: in the unit; Byte: 0..255
    int decimals = 0;
    // Number: the device keeps round(value × scale) + offset.
    int scale = 1;
    int offset = 0;
    // Number: whether the device keeps the value as typed, where its unit is
    // coarser than the last decimal (a size kept as whole segments); none:
    // every step. step names that unit in the refusal.
    bool (*holds)(double value) = nullptr;
    QString step;
    QStringList choices; // Choice: by device index
    QString pattern;     // Text: a regular expression the whole text matches
    QString patternHint; // Text: the pattern as the refusal says it
    // Identifier: what is wrong with the text (its refusal), empty when
    // nothing is; the identifier's own checks live with the sensor.
    QString (*idProblem)(const QString& key, const QString& text) = nullptr;
    const SettingOperation* operation = nullptr;
    SettingUse use = SettingUse::Restorable;
    QString dependsOn;      // the key written before this one
    int place = 0;          // thermometer, meter or section number; 0 for none
    bool emptiable = false; // a place's setting: "empty" when the place is
    // The setting that travels in the same write as this one (two bits of
    // one byte); empty for none. Given alone, the partner is read from the
    // device first and written back as it was, so that no bit changes that
    // was not given. Without partnerRead the two are only ever given
    // together: the device's value is no stand-in for the other half.
    QString partner;
    bool partnerRead = true;
    // Whether a controller type has it; none: every type.
    bool (*inType)(int controllerType) = nullptr;
    // Where a page shows it: the objectName of its field (of each choice's
    // button, for a Choice) and of its mark; empty where no page does.
    QStringList fields;
    QString mark;

    bool existsIn(int controllerType) const { return !inType || inType(controllerType); }
    bool writable() const { return use != SettingUse::Measured && operation && operation->write; }
    // "Поправка по уровню, мм".
    QString caption() const;

    // The typed text as a value ("." or "," as the separator, 1/0 for a
    // flag); nothing when it is not one or out of range.
    std::optional<QJsonValue> parse(const QString& text) const;
    // Whether a value (as a snapshot holds it) is one this setting takes.
    bool accepts(const QJsonValue& value) const;
    // "level-correction \"-5000\": допустимо от -3276.8 до 3276.7 мм, шаг 0.1";
    // name in place of the key where a window says it.
    QString refusal(const QString& text, const QString& name = {}) const;
    // What is allowed, as the refusal says it.
    QString allowed() const;

    // The device's number as a value, and back.
    QJsonValue decode(double device) const;
    double encode(const QJsonValue& value) const;

    // The value as the CLI prints it ("-1.5", "combined", "1"); empty for
    // no answer.
    QString text(const QJsonValue& value) const;
    // As a person reads it in a window or report: a real minus, "—" for no
    // answer, "нет" for an empty place.
    QString shown(const QJsonValue& value) const;
};

// What a write with nothing marked or given says; nothing is sent.
inline const QString kNothingToWrite = QStringLiteral("НЕЧЕГО ЗАПИСЫВАТЬ");

// The row with the key, in rows; null when there is none.
const Setting* findSetting(const std::vector<Setting>& rows, const QString& key);
// The value of key in values; null when it has none.
QJsonValue valueOf(const SettingValues& values, const QString& key);

// Why the write just made on the link went unconfirmed, from how its last
// wait for an answer ended.
WriteFault writeFaultOf(const bus::SerialLink& link);
// "НЕТ ОТВЕТА (ТОЛЬКО ЭХО ЗАПРОСА)".
QString writeFaultText(WriteFault fault);

struct NotWritten {
    const Setting* row = nullptr;
    WriteFault fault = WriteFault::NoAnswer;
};
// What the CLI and the pages say of the settings not written, from the one
// result: "НЕ ЗАПИСАНО: " and each reason, with the keys in front of theirs
// where asked (the CLI: "НЕ ЗАПИСАНО: size, level-correction — НЕТ ОТВЕТА";
// a page, whose marks stay down on the fields not written: "НЕ ЗАПИСАНО:
// НЕТ ОТВЕТА"). Empty for nothing failed.
QString notWrittenText(const std::vector<NotWritten>& failed, bool withKeys);

// The same, for a write of which some settings may have been confirmed:
// "ЗАПИСАНО НЕ ВСЁ. " in front when some were. Empty for nothing failed.
QString writeResultText(const std::vector<NotWritten>& failed, bool someConfirmed, bool withKeys);

// Why a height or correction is not written to a place: without an
// identifier there is nothing it belongs to, and the place stays empty.
inline const QString kNoPlaceId = QStringLiteral("у места нет идентификатора");

// Writes the settings of rows through their operations: each operation
// once a place, in the operations' order, so that what a setting depends
// on is written first. Each takes its values from values. The rows whose
// operation the device did not confirm come back, each with the reason;
// after a Break asked of progress nothing more is sent, and the rows not
// reached come back as interrupted.
std::vector<NotWritten> WriteSettings(bus::SerialLink& link, const SettingTarget& target,
                                      std::vector<const Setting*> rows, const SettingValues& values,
                                      const Progress& progress);

} // namespace app
