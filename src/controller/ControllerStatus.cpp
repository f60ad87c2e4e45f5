#include "controller/ControllerStatus.h"

#include "app/Progress.h"
#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"

#include <QStringList>

namespace controller {
namespace {

using bus::Form;

constexpr std::uint8_t kSearchFirst = 0x80;
constexpr std::uint8_t kSearchLast = 0x8E;

// Sensor lamps "1".."16" as two rows of eight.
constexpr LampRow kMainRows[] = {
    {"sbSens", 2, {"1", "2", "3", "4", "5", "6", "7", "8"}, true},
    {"sbSens", 1, {"9", "10", "11", "12", "13", "14", "15", "16"}, true},
    {"sbGlob", 3, {"FLSH", "HOTM", "TRA", "UPG", "SPM", "SWM", "PMOD", "SUP"}},
    {"sbXmod", 4, {"SRCH", "PROP", "NRSR", "DLNK", "CHK", "SALR", "BXE", "ADEF"}},
    {"sbTwmod", 5, {"TWREP", "", "", "RSTRT", "TWRX", "TWTX", "TWMR", "TWMW"}},
    {"sbUmod", 9, {"", "SRC", "MRC", "LRC", "BTRC", "ENRC", "BURC", "X2RC"}},
};

constexpr LampRow kKeyboardRows[] = {
    {"sbWCh", 5, {"1", "2", "3", "4", "5", "6", "7", "8"}, true},
    {"sbWCh", 4, {"9", "10", "11", "12", "13", "14", "15", "16"}, true},
    {"sbSGlob", 0, {"FLSH", "TRST", "DLNK", "STS", "SPM", "SWM", "SPI", "DEL"}},
    {"sbSUmod", 1, {"FSEND", "SRC", "SRX", "STX", "FCT", "FRC", "FRX", "FTX"}},
    {"sbSXmod", 2, {"PWE", "EDT", "PWO", "WCH", "K_SND", "K_RDY", "K_WDN", "K_SCN"}},
    {"sbSTwmod", 3, {"", "", "TWRC", "TWTX", "", "", "", ""}},
};

// The subjects of the mode byte, by (m AND 0xFE) / 2; the calculations
// stand without a direction.
struct Subject {
    const char* text;
    bool replacesDirection;
};
constexpr Subject kSubjects[] = {
    {" СТАТУСА", false},
    {" КОНФИГУРАЦИИ", false},
    {" ТОПЛИВА", false},
    {" МЕТРОЛОГИИ", false},
    {" ВОДЫ", false},
    {" РАСЧЁТ  ОБЪЁМА", true},
    {" ПЛОТНОСТИ", false},
    {" РАСЧЁТ  МАССЫ", true},
    {" ТЕМПЕРАТУРЫ", false},
    {" ТЕМПЕРАТУРЫ В ТОЧКАХ", false},
    {" ПЛОТНОСТИ В ТОЧКАХ", false},
    {" РАССЛОЕНИЯ", false},
};

StatusReply taken(const bus::SerialLink& link, int n, std::uint8_t from) {
    return {QByteArray(reinterpret_cast<const char*>(link.receiveBuffer()), n), from};
}

} // namespace

std::span<const LampRow> lampRows(Processor p) {
    if (p == Processor::Main)
        return kMainRows;
    return kKeyboardRows;
}

bool lampLit(const QByteArray& reply, const LampRow& row, int p) {
    const int b = row.byte < reply.size() ? static_cast<std::uint8_t>(reply[row.byte]) : 0;
    const int bit = row.lowBitFirst ? p : 7 - p;
    return (b >> bit) & 1;
}

QString hexDump(const QByteArray& reply) {
    QStringList bytes;
    for (char c : reply)
        bytes << QStringLiteral("%1").arg(static_cast<std::uint8_t>(c), 2, 16, QLatin1Char('0'));
    return bytes.join(QLatin1Char(' ')).toUpper();
}

StatusText statusText(Processor p, const QByteArray& reply) {
    StatusText t;
    if (reply.isEmpty())
        return t;
    t.dump = hexDump(reply);
    if (p == Processor::Keyboard)
        return t;
    t.sensors = QString::number(static_cast<std::uint8_t>(reply[0]));
    const auto mode = reply.size() > kMainModeByte ? static_cast<std::uint8_t>(reply[kMainModeByte])
                                                   : std::uint8_t{0};
    t.mode = modeText(mode);
    return t;
}

QString modeText(std::uint8_t mode) {
    QString text = mode & 1 ? QStringLiteral(" ПОЛУЧЕНИЕ ") : QStringLiteral(" ЗАПРОС ");
    const std::size_t subject = (mode & 0xFE) / 2;
    if (subject < std::size(kSubjects)) {
        const Subject& s = kSubjects[subject];
        const QString t = QString::fromUtf8(s.text);
        text = s.replacesDirection ? t : text + t;
    }
    return QStringLiteral("%1").arg(mode, 2, 16, QLatin1Char('0')).toUpper() + text;
}

std::optional<StatusReply> ReadMainStatus(bus::SerialLink& link, std::uint8_t controller,
                                          app::Progress& progress) {
    const int n = bus::AskController(link, controller, bus::ctl::ReadState, Form::Read);
    if (n >= 0)
        return taken(link, n, controller);
    // Some controller still answers: its status is better than none.
    for (int a = kSearchFirst; a <= kSearchLast && link.isOpen(); ++a) {
        if (progress.breakRequested())
            break;
        const auto address = static_cast<std::uint8_t>(a);
        const int m = bus::AskController(link, address, bus::ctl::ReadState, Form::Read);
        if (m >= 1)
            return taken(link, m, address);
        progress.processEvents();
    }
    return std::nullopt;
}

std::optional<StatusReply> ReadKeyboardStatus(bus::SerialLink& link, std::uint8_t controller) {
    const int n = bus::AskController(link, controller, bus::ctl::ReadState, Form::Slow);
    if (n < 1)
        return std::nullopt;
    return taken(link, n, controller);
}

} // namespace controller
