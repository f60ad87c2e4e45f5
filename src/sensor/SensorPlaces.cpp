#include "sensor/SensorPlaces.h"

#include "link/Command.h"
#include "link/Exchange.h"
#include "link/SerialLink.h"
#include "sensor/OneWireId.h"

#include <cmath>
#include <cstring>

namespace sensor {
namespace {

using bus::Form;

constexpr int kThermometerPauseMs = 100;
constexpr int kDensityPauseMs = 10;
constexpr int kSearchStartPauseMs = 500;
constexpr std::uint8_t kSearchStart = 1;
constexpr std::uint8_t kSearchFetch = 2;
constexpr std::uint8_t kSearchEnd = 3;
// The meter's own register words of the correction exchange.
constexpr std::uint8_t kCorrectionRead[] = {0xBE, 1, 5, 4};
constexpr std::uint8_t kCorrectionWrite[] = {0x4E, 5, 5};

// A cell's answer echoes the cell; one that names another cell is a late
// answer to an earlier request and is not taken.
int readCell(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell) {
    const std::uint8_t payload[] = {cell};
    const int n = bus::AskSensor(link, sensor, bus::sns::ReadCell, Form::Slow, payload);
    return n >= 1 && link.data(0) == cell ? n : -1;
}

// The identifier text of a cell read: bytes 1.. up to the zero after them.
QString idOfReply(const bus::SerialLink& link, int length) {
    const auto* text = reinterpret_cast<const char*>(link.receiveBuffer() + 1);
    return QString::fromLatin1(text, static_cast<qsizetype>(qstrnlen(text, length - 1)));
}

std::optional<int> heightOf(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell) {
    if (readCell(link, sensor, cell) < 3)
        return std::nullopt;
    return link.data(1) * 256 + link.data(2);
}

// The answer is [cell, 0], never the request's own characters.
app::WriteOutcome cellWritten(int length, const bus::SerialLink& link) {
    return app::outcomeUnlessEchoed(link, length >= 2 && link.data(1) == 0);
}

std::uint8_t byteOf(quint32 v, int i) {
    return static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

} // namespace

std::uint8_t thermometerIdCell(int n) {
    return static_cast<std::uint8_t>(0x80 + n);
}
std::uint8_t thermometerHeightCell(int n) {
    return static_cast<std::uint8_t>(n);
}
std::uint8_t densityIdCell(int n) {
    return static_cast<std::uint8_t>(n <= 3 ? 0x88 + n : 0xCC + n);
}
std::uint8_t densityHeightCell(int n) {
    return static_cast<std::uint8_t>(n <= 3 ? 0x08 + n : 0xBC + n);
}

Places ReadThermometers(bus::SerialLink& link, std::uint8_t sensor) {
    Places places;
    for (int i = 1; i <= kPlaces; ++i) {
        link.Idle(kThermometerPauseMs);
        const int n = readCell(link, sensor, thermometerIdCell(i));
        places[i - 1].answered = n >= 0;
        if (n < 8 || link.data(1) != '1' || link.data(2) != '0')
            continue;
        places[i - 1].id = idOfReply(link, n);
        places[i - 1].height = heightOf(link, sensor, thermometerHeightCell(i));
    }
    return places;
}

Places ReadDensityMeters(bus::SerialLink& link, std::uint8_t sensor) {
    Places places;
    for (int n = 1; n <= kPlaces; ++n) {
        link.Idle(kDensityPauseMs);
        const int length = readCell(link, sensor, densityIdCell(n));
        Place& p = places[n - 1];
        p.answered = length >= 0;
        if (length < 8 || link.data(1) != '4' || link.data(2) != '4')
            continue;
        p.id = idOfReply(link, length);
        p.correction = ReadDensityCorrection(link, sensor, n);
        p.height = heightOf(link, sensor, densityHeightCell(n));
    }
    return places;
}

namespace {

// Cell, then the 16 characters as they are (raw text, length 9).
app::WriteOutcome writeIdText(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                              const QByteArray& text) {
    std::uint8_t payload[1 + kIdLength];
    payload[0] = cell;
    std::memcpy(payload + 1, text.constData(), kIdLength);
    return cellWritten(bus::AskSensor(link, sensor, bus::sns::WriteCell, Form::Write, payload),
                       link);
}

} // namespace

app::WriteOutcome WriteIdentifier(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                                  const Identifier& id) {
    return writeIdText(link, sensor, cell, id.text().toLatin1());
}

app::WriteOutcome WriteEmptyPlace(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell) {
    return writeIdText(link, sensor, cell, QByteArray(kIdLength, '0'));
}

app::WriteOutcome WriteCellWord(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                                std::uint16_t word) {
    const std::uint8_t payload[] = {cell, static_cast<std::uint8_t>(word >> 8),
                                    static_cast<std::uint8_t>(word & 0xFF)};
    return cellWritten(bus::AskSensor(link, sensor, bus::sns::WriteCell, Form::Write, payload),
                       link);
}

app::WriteOutcome WriteHeight(bus::SerialLink& link, std::uint8_t sensor, std::uint8_t cell,
                              int height) {
    if (height <= 0 || height > 0xFFFF)
        return app::refused(app::WriteFault::BadValue);
    return WriteCellWord(link, sensor, cell, static_cast<std::uint16_t>(height));
}

std::optional<float> ReadDensityCorrection(bus::SerialLink& link, std::uint8_t sensor, int n) {
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(n), kCorrectionRead[0],
                                    kCorrectionRead[1], kCorrectionRead[2], kCorrectionRead[3]};
    const int length =
        bus::AskSensor(link, sensor, bus::sns::DensityMeterExchange, Form::Read, payload);
    // Bytes 1..4 hold the number; a last byte of 0 means no value.
    if (length < 5 || link.data(length - 1) == 0)
        return std::nullopt;
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(link.data(1 + i)) << (8 * i);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

app::WriteOutcome WriteDensityCorrection(bus::SerialLink& link, std::uint8_t sensor, int n,
                                         float value) {
    // The last guard before the payload: an infinity or NaN never leaves.
    if (!std::isfinite(value))
        return app::refused(app::WriteFault::BadValue);
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint8_t x[] = {byteOf(bits, 0), byteOf(bits, 1), byteOf(bits, 2), byteOf(bits, 3)};
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(n),
                                    kCorrectionWrite[0],
                                    kCorrectionWrite[1],
                                    kCorrectionWrite[2],
                                    x[0],
                                    x[1],
                                    x[2],
                                    x[3],
                                    oneWireCrc(x, 4)};
    const int length =
        bus::AskSensor(link, sensor, bus::sns::WriteCheckedBlock, Form::Write, payload);
    // The answer is [n, accepted]: a copy of the nine bytes sent is none.
    return app::outcomeUnlessEchoed(link, length >= 2 && link.data(1) != 0);
}

SearchResult SearchThermometers(bus::SerialLink& link, std::uint8_t sensor) {
    SearchResult r;
    const auto ended = [&](SearchEnd end) {
        r.end = link.isOpen() ? end : SearchEnd::LineLost;
        return r;
    };
    const std::uint8_t start[] = {kSearchStart};
    link.SendRequest(sensor, bus::sns::ThermometerSearch, start);
    // The sensor walks its 1-Wire line before it answers.
    link.Idle(kSearchStartPauseMs);
    const int started =
        bus::TakeAnswer(link, bus::Target::Sensor, bus::sns::ThermometerSearch, Form::Slow);
    if (started < 0)
        return ended(SearchEnd::NoAnswer);
    if (started < 2 || link.data(1) == 0)
        return ended(SearchEnd::Done);
    const std::uint8_t fetch[] = {kSearchFetch};
    const int length = bus::AskSensor(link, sensor, bus::sns::ThermometerSearch, Form::Read, fetch);
    // A result that never came is no "none found".
    const SearchEnd end = length >= 2 ? SearchEnd::Done : SearchEnd::NoResult;
    if (end == SearchEnd::Done) {
        r.found = (length - 1) / 8;
        for (int k = 0; k < r.found && r.ids.size() < kPlaces; ++k) {
            const std::uint8_t* code = link.receiveBuffer() + 1 + 8 * k;
            if (crcMatches(code))
                r.ids << idText(code);
        }
    }
    const std::uint8_t stop[] = {kSearchEnd};
    bus::AskSensor(link, sensor, bus::sns::ThermometerSearch, Form::Read, stop);
    return ended(end);
}

QString searchText(const SearchResult& r) {
    switch (r.end) {
    case SearchEnd::Done:
        return QStringLiteral("НАЙДЕНО ТЕРМОМЕТРОВ : %1").arg(r.found);
    case SearchEnd::NoAnswer:
        return QStringLiteral("ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА");
    case SearchEnd::NoResult:
        return QStringLiteral("ПОИСК ТЕРМОМЕТРОВ: НЕТ ОТВЕТА С РЕЗУЛЬТАТОМ");
    case SearchEnd::LineLost:
        return QStringLiteral("ПРОБЛЕМЫ СО СВЯЗЬЮ.");
    }
    return {};
}

std::vector<std::pair<QString, QString>> builderPlaces(const QList<QStringList>& rows) {
    std::vector<std::pair<QString, QString>> out;
    for (auto row = rows.crbegin(); row != rows.crend() && out.size() < kPlaces; ++row) {
        const QString id = row->value(2);
        if (id.size() >= kIdLength && id.startsWith(kThermometerFamily) &&
            row->value(6).contains(QLatin1Char('V')))
            out.emplace_back(id, row->value(1));
    }
    return out;
}

std::optional<QString> ReadControllerThermometerId(bus::SerialLink& link, std::uint8_t controller,
                                                   int n) {
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(n)};
    if (bus::AskController(link, controller, bus::ctl::ReadThermometerId, Form::Read, payload) < 8)
        return std::nullopt;
    return idText(link.receiveBuffer());
}

} // namespace sensor
