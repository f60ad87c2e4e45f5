#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace app {
class Progress;
}
namespace bus {
class SerialLink;
}

// The status words of a controller's two processors (command 0x7C): rows of
// labelled lamps, the sensor count and the mode the main processor is in.
namespace controller {

enum class Processor { Main, Keyboard };

// One lamp row: the reply byte it shows and its eight labels, leftmost
// first. The leftmost lamp is bit 7, except in the sensor rows, where
// lamp p is bit p.
struct LampRow {
    const char* name; // the row's widget name
    int byte;
    std::array<const char*, 8> labels;
    bool lowBitFirst = false;
};

std::span<const LampRow> lampRows(Processor p);
// Whether lamp p of the row is lit; bytes past the reply's end are 0.
bool lampLit(const QByteArray& reply, const LampRow& row, int p);
// Every data byte as two upper-case hex digits, a space between them.
QString hexDump(const QByteArray& reply);
// Byte 6 of the main processor's reply: the digits, then what it does.
QString modeText(std::uint8_t mode);
inline constexpr int kMainModeByte = 6;

// What the status page shows of a reply beside its lamps, and the CLI
// prints: the dump, and of the main processor the sensor count (byte 0)
// and the mode text (byte 6; a short reply's missing bytes count as 0).
// All empty for an empty reply; the keyboard processor has a dump only.
struct StatusText {
    QString dump;
    QString sensors;
    QString mode;
};
StatusText statusText(Processor p, const QByteArray& reply);

struct StatusReply {
    QByteArray bytes;           // the reply's data, exactly as long as it was
    std::uint8_t answeredBy{0}; // the controller that answered
};

// The main processor's status. When the controller asked is silent, the
// first of 0x80..0x8E that answers is shown instead (the selection is left
// to the caller); a break ends that search. Nothing when none answered.
std::optional<StatusReply> ReadMainStatus(bus::SerialLink& link, std::uint8_t controller,
                                          app::Progress& progress);
// The keyboard/display processor's status (waited for longer); nothing for
// no reply or an empty one.
std::optional<StatusReply> ReadKeyboardStatus(bus::SerialLink& link, std::uint8_t controller);

} // namespace controller
