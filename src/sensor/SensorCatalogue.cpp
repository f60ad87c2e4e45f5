#include "sensor/SensorCatalogue.h"

#include "link/SerialLink.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace sensor {
namespace {

using app::Setting;
using app::SettingKind;
using app::SettingOperation;
using app::SettingTarget;
using app::SettingUse;
using app::SettingValues;

QJsonValue at(const SettingValues& v, const QString& key) {
    return app::valueOf(v, key);
}

bool given(const SettingValues& v, const QString& key) {
    return !at(v, key).isNull();
}

bool isEmpty(const QJsonValue& v) {
    return v == QJsonValue(app::kEmptyPlace);
}

// The device's number of a setting as the row encodes it.
int number(const SettingValues& v, const QString& key) {
    return static_cast<int>(std::lround(sensorSetting(key).encode(at(v, key))));
}

QString placeKey(const char* kind, int n, const char* field) {
    return QStringLiteral("%1.%2.%3").arg(QLatin1String(kind)).arg(n).arg(QLatin1String(field));
}

using app::refused;
using app::WriteFault;
using app::WriteOutcome;

// The flag groups given in values; the others keep what the sensor has. A
// pair of bits given by half cannot be written without guessing the
// other: nothing, then.
std::optional<FlagChanges> flagChanges(const SettingValues& v) {
    const QString b2 = QStringLiteral("reset-on-link-loss"),
                  d01 = QStringLiteral("reset-on-density-0-1"),
                  channel = QStringLiteral("density-channel"),
                  single = QStringLiteral("single-density-meter"),
                  propagate = QStringLiteral("propagate-after-filling");
    if (given(v, b2) != given(v, d01) || given(v, channel) != given(v, single))
        return std::nullopt;
    FlagChanges c;
    if (given(v, b2))
        c.reset = {at(v, b2).toBool(), at(v, d01).toBool()};
    if (given(v, propagate))
        c.propagate = at(v, propagate).toBool();
    if (given(v, channel))
        c.channel = {at(v, channel) == QJsonValue(QStringLiteral("combined")),
                     at(v, single).toBool()};
    return c;
}

// The writes, one per operation; each takes what it carries from values
// and says its own outcome.
WriteOutcome writeSize(bus::SerialLink& l, const SettingTarget& t, int, const SettingValues& v) {
    // The kind of probe decides the length of a segment: as given, else as
    // the sensor tells it, so that a size is never counted for the wrong one.
    std::optional<bool> wide;
    if (given(v, QStringLiteral("wide")))
        wide = at(v, QStringLiteral("wide")).toBool();
    else
        wide = ReadWide(l, t.address);
    if (!wide)
        return refused(l.isOpen() ? WriteFault::Unread : WriteFault::LineLost);
    return WriteSensorSize(l, t.address, number(v, QStringLiteral("size")), *wide);
}
WriteOutcome writeCorrection(bus::SerialLink& l, const SettingTarget& t, int,
                             const SettingValues& v) {
    return WriteLevelCorrection(l, t.address, number(v, QStringLiteral("level-correction")));
}
WriteOutcome writeFlags(bus::SerialLink& l, const SettingTarget& t, int, const SettingValues& v) {
    const auto changes = flagChanges(v);
    if (!changes)
        return refused(WriteFault::Unread);
    return WriteFlags(l, t.address, *changes);
}
WriteOutcome writeCriterion(bus::SerialLink& l, const SettingTarget& t, int,
                            const SettingValues& v) {
    return WriteFillCriterion(l, t.address, number(v, QStringLiteral("filling-criterion")));
}
WriteOutcome writeSection(bus::SerialLink& l, const SettingTarget& t, int n,
                          const SettingValues& v) {
    return WriteSectionCorrection(l, t.address, n,
                                  static_cast<float>(at(v, sectionSetting(n)->key).toDouble()));
}
WriteOutcome writeSegments(bus::SerialLink& l, const SettingTarget& t, int,
                           const SettingValues& v) {
    if (!given(v, QStringLiteral("working-segments")) ||
        !given(v, QStringLiteral("removed-segments")))
        return refused(WriteFault::Unread);
    const SegmentsWrite w =
        WriteSegments(l, t.address, number(v, QStringLiteral("working-segments")),
                      number(v, QStringLiteral("removed-segments")));
    return w.sent ? app::outcomeOf(l, w.confirmed) : refused(WriteFault::BadValue);
}
WriteOutcome writeCounter(bus::SerialLink& l, const SettingTarget& t, int, const SettingValues& v) {
    return WriteCounter(l, t.address, number(v, QStringLiteral("counter")));
}
// One byte carries both bits: without both known, the other one would be
// cleared or set blind.
WriteOutcome writeCodeUpdate(bus::SerialLink& l, const SettingTarget& t, int,
                             const SettingValues& v) {
    if (!given(v, QStringLiteral("code-update")) || !given(v, QStringLiteral("code-algorithm")))
        return refused(WriteFault::Unread);
    return WriteCodeUpdateFlags(l, t.address, at(v, QStringLiteral("code-update")).toBool(),
                                at(v, QStringLiteral("code-algorithm")).toBool());
}

WriteOutcome writeId(bus::SerialLink& l, std::uint8_t s, std::uint8_t cell, const QJsonValue& v,
                     IdFamily family) {
    if (isEmpty(v))
        return WriteEmptyPlace(l, s, cell);
    const auto id = parseIdentifier(v.toString(), family).id;
    return id ? WriteIdentifier(l, s, cell, *id) : refused(WriteFault::BadValue);
}
// The height of an emptied place goes with it.
WriteOutcome writeHeight(bus::SerialLink& l, std::uint8_t s, std::uint8_t cell,
                         const QJsonValue& v) {
    if (isEmpty(v))
        return app::kConfirmed;
    return WriteHeight(l, s, cell, static_cast<int>(std::lround(v.toDouble())));
}
WriteOutcome writeThermometerId(bus::SerialLink& l, const SettingTarget& t, int n,
                                const SettingValues& v) {
    return writeId(l, t.address, thermometerIdCell(n), at(v, placeKey("thermometer", n, "id")),
                   IdFamily::Thermometer);
}
WriteOutcome writeThermometerHeight(bus::SerialLink& l, const SettingTarget& t, int n,
                                    const SettingValues& v) {
    return writeHeight(l, t.address, thermometerHeightCell(n),
                       at(v, placeKey("thermometer", n, "height")));
}
WriteOutcome writeMeterId(bus::SerialLink& l, const SettingTarget& t, int n,
                          const SettingValues& v) {
    return writeId(l, t.address, densityIdCell(n), at(v, placeKey("meter", n, "id")),
                   IdFamily::DensityMeter);
}
WriteOutcome writeMeterHeight(bus::SerialLink& l, const SettingTarget& t, int n,
                              const SettingValues& v) {
    return writeHeight(l, t.address, densityHeightCell(n), at(v, placeKey("meter", n, "height")));
}
WriteOutcome writeMeterCorrection(bus::SerialLink& l, const SettingTarget& t, int n,
                                  const SettingValues& v) {
    const QJsonValue x = at(v, placeKey("meter", n, "correction"));
    if (isEmpty(x))
        return app::kConfirmed;
    return WriteDensityCorrection(l, t.address, n, static_cast<float>(x.toDouble()));
}

// An identifier before its height and correction: the sensor keeps them
// for the meter it knows at that place.
const SettingOperation kThermometerId{10, writeThermometerId};
const SettingOperation kThermometerHeight{11, writeThermometerHeight};
const SettingOperation kMeterId{12, writeMeterId};
const SettingOperation kMeterHeight{13, writeMeterHeight};
const SettingOperation kMeterCorrection{14, writeMeterCorrection};
const SettingOperation kSize{20, writeSize};
const SettingOperation kCorrection{21, writeCorrection};
const SettingOperation kFlags{22, writeFlags};
const SettingOperation kCriterion{23, writeCriterion};
const SettingOperation kSection{24, writeSection};
const SettingOperation kSegments{25, writeSegments};
const SettingOperation kCounter{26, writeCounter};
const SettingOperation kCodeUpdate{27, writeCodeUpdate};
const SettingOperation kRead{0, nullptr};

// The reads of the sensor's own settings: each puts every row it covers,
// null where no usable reply came.
using SensorRead = void (*)(bus::SerialLink& link, std::uint8_t sensor, SettingValues& v);

void put(SettingValues& v, const QString& key, std::optional<double> device) {
    v[key] = device ? sensorSetting(key).decode(*device) : QJsonValue(QJsonValue::Null);
}

void readGroups(bus::SerialLink& l, std::uint8_t s, SettingValues& v) {
    const SensorGroups g = ReadSensorGroups(l, s);
    put(v, QStringLiteral("size"), g.sizeMm);
    put(v, QStringLiteral("wide"), std::nullopt);
    if (g.sizeMm)
        if (const auto segments = ReadSizeSegments(l, s))
            v[QStringLiteral("wide")] = isWide(*g.sizeMm, *segments);
    put(v, QStringLiteral("level-correction"), g.levelCorrectionTenths);
    for (const auto& [row, bit] : flagBits())
        put(v, row->key, g.flags ? std::optional<double>((*g.flags & bit) ? 1 : 0) : std::nullopt);
    put(v, QStringLiteral("filling-criterion"), g.fillCriterionTenths);
}

void readSections(bus::SerialLink& l, std::uint8_t s, SettingValues& v) {
    const auto sections = ReadSectionCorrections(l, s);
    for (int n = 1; n <= 8; ++n)
        put(v, sectionSetting(n)->key,
            sections ? std::optional<double>((*sections)[n - 1]) : std::nullopt);
}

void readSegments(bus::SerialLink& l, std::uint8_t s, SettingValues& v) {
    const auto seg = ReadSegments(l, s);
    put(v, QStringLiteral("working-segments"),
        seg ? std::optional<double>(seg->working) : std::nullopt);
    put(v, QStringLiteral("removed-segments"),
        seg ? std::optional<double>(seg->removed) : std::nullopt);
}

void readCodeUpdate(bus::SerialLink& l, std::uint8_t s, SettingValues& v) {
    const auto c = ReadCodeUpdate(l, s);
    auto of = [&c](auto field) { return c ? std::optional<double>((*c).*field) : std::nullopt; };
    put(v, QStringLiteral("code-update"), of(&CodeUpdate::updateAllowed));
    put(v, QStringLiteral("code-algorithm"), of(&CodeUpdate::algorithmAllowed));
    put(v, QStringLiteral("counter"), of(&CodeUpdate::counter));
    put(v, QStringLiteral("counter-value"), of(&CodeUpdate::counterValue));
}

QString thermometerIdProblem(const QString& key, const QString& text) {
    const auto problem = parseIdentifier(text, IdFamily::Thermometer).problem;
    return problem ? idRefusal(key, text, *problem, IdFamily::Thermometer) : QString();
}
QString meterIdProblem(const QString& key, const QString& text) {
    const auto problem = parseIdentifier(text, IdFamily::DensityMeter).problem;
    return problem ? idRefusal(key, text, *problem, IdFamily::DensityMeter) : QString();
}

Setting number(const char* key, const QString& label, const QString& unit, double min, double max,
               int decimals, const SettingOperation& op) {
    Setting s;
    s.key = QLatin1String(key);
    s.label = label;
    s.unit = unit;
    s.min = min;
    s.max = max;
    s.decimals = decimals;
    s.scale = static_cast<int>(std::lround(std::pow(10.0, decimals)));
    s.operation = &op;
    return s;
}

Setting flag(const char* key, const QString& label, const SettingOperation& op) {
    Setting s;
    s.key = QLatin1String(key);
    s.label = label;
    s.kind = SettingKind::Flag;
    s.operation = &op;
    return s;
}

// Where the properties page shows the row.
Setting shownAt(Setting s, const char* field, const char* mark) {
    s.fields = {QLatin1String(field)};
    s.mark = QLatin1String(mark);
    return s;
}

// The rows, with the read that gives each and the flag byte's bits.
struct Catalogue {
    std::vector<Setting> rows;
    std::map<QString, SensorRead> reads;
    std::vector<std::pair<QString, std::uint8_t>> bits;
};

// Two rows of one write: given alone, the one reads the other in, or
// (without read) is only given with it.
void partners(Setting& a, Setting& b, bool read = true) {
    a.partner = b.key;
    b.partner = a.key;
    a.partnerRead = b.partnerRead = read;
}

Catalogue build() {
    const QString mm = QStringLiteral("мм");
    Catalogue c;
    auto add = [&c](const Setting& s, SensorRead read = nullptr, std::uint8_t bit = 0) {
        c.rows.push_back(s);
        if (read)
            c.reads[s.key] = read;
        if (bit)
            c.bits.emplace_back(s.key, bit);
    };
    Setting version;
    version.key = QStringLiteral("version");
    version.label = QStringLiteral("Версия");
    version.kind = SettingKind::Text;
    version.use = SettingUse::Measured;
    version.operation = &kRead;
    add(version);

    // Whole segments, as the sensor tells them: one of 15.625 mm at least,
    // the most the two bytes of the length hold. A wide sensor takes every
    // other one of these (31.25 mm); the write refuses the rest.
    Setting size = number("size", QStringLiteral("Размер сенсора уровня"), mm, 15, 65531, 0, kSize);
    size.holds = [](double mm) { return holdsSize(static_cast<int>(mm), false); };
    size.step = QStringLiteral("сегмента 15.625 мм (широкого сенсора 31.25 мм), дробная часть "
                               "отбрасывается: 15, 31, 46, 62, … 1000, 1015, …");
    size.dependsOn = QStringLiteral("wide");
    size.fields = {QStringLiteral("reSSize")};
    size.mark = QStringLiteral("sbSizeEn");
    add(size, readGroups);
    Setting wide = flag("wide", QStringLiteral("Широкий сенсор (старый НБ)"), kRead);
    // The kind of probe, not a stored value: a restore checks it agrees.
    wide.use = SettingUse::Measured;
    wide.fields = {QStringLiteral("cbNBSize")};
    add(wide, readGroups);
    // Decimals scale the device's tenths; the size is whole millimetres.
    add(shownAt(number("level-correction", QStringLiteral("Поправка по уровню"), mm, -3276.8,
                       3276.7, 1, kCorrection),
                "reFnd", "sbFndEn"),
        readGroups);
    Setting channel;
    channel.key = QStringLiteral("density-channel");
    channel.label = QStringLiteral("Канал плотности");
    channel.kind = SettingKind::Choice;
    channel.choices = {QStringLiteral("separate"), QStringLiteral("combined")};
    channel.operation = &kFlags;
    channel.fields = {QStringLiteral("rbDMLSepar"), QStringLiteral("rbDMLCombi")};
    channel.mark = QStringLiteral("sbDChEn");
    Setting single =
        shownAt(flag("single-density-meter", QStringLiteral("Единственный плотномер"), kFlags),
                "cbOneDen", "sbDChEn");
    partners(channel, single);
    add(channel, readGroups, flag::Combined);
    add(single, readGroups, flag::SingleMeter);
    Setting linkLoss =
        shownAt(flag("reset-on-link-loss",
                     QStringLiteral("Сброс плотномеров при отказе связи (0хВ2)"), kFlags),
                "cbDDC_B2", "sbDDCEn");
    Setting density01 = shownAt(
        flag("reset-on-density-0-1", QStringLiteral("Сброс плотномеров при 0/1 плотности"), kFlags),
        "cbDDC_01", "sbDDCEn");
    partners(linkLoss, density01);
    add(linkLoss, readGroups, flag::ResetOnLinkLoss);
    add(density01, readGroups, flag::ResetOnDensity01);
    add(shownAt(flag("propagate-after-filling",
                     QStringLiteral("После налива распространять D и Td"), kFlags),
                "cbRetr", "sbRetrEn"),
        readGroups, flag::Propagate);
    add(shownAt(number("filling-criterion", QStringLiteral("Критерий налива"), mm, 0, 6553.5, 1,
                       kCriterion),
                "reCrt", "sbCrtEn"),
        readGroups);
    for (int n = 1; n <= 8; ++n) {
        Setting s = number("", QStringLiteral("Секционная поправка № %1").arg(n), mm, -999.999,
                           999.999, 3, kSection);
        s.key = QStringLiteral("section-%1").arg(n);
        s.scale = 1; // kept as a real number
        s.place = n;
        s.fields = {QStringLiteral("reSAdd%1").arg(n)};
        s.mark = QStringLiteral("sbSAdd%1").arg(n);
        add(s, readSections);
    }
    // 0 is what a probe without them tells; it is never sent. The two counts
    // say together how the probe is cut: the one the sensor holds is no
    // stand-in for the half not given.
    Setting working = shownAt(
        number("working-segments", QStringLiteral("Рабочие сегменты"), {}, 0, 255, 0, kSegments),
        "reWorkSeg", "sbSegCfg");
    Setting removed =
        shownAt(number("removed-segments", QStringLiteral("Сегменты, удалённые сверху"), {}, 0, 254,
                       0, kSegments),
                "reDelSeg", "sbSegCfg");
    partners(working, removed, false);
    add(working, readSegments);
    add(removed, readSegments);
    // Two bits of one byte, written in one request.
    Setting update =
        shownAt(flag("code-update", QStringLiteral("Разрешить обновление кодов"), kCodeUpdate),
                "cbCodUp", "sbCodUp");
    Setting algorithm =
        shownAt(flag("code-algorithm", QStringLiteral("Разрешить алгоритм"), kCodeUpdate),
                "cbCodAlg", "sbCodUp");
    partners(update, algorithm);
    add(update, readCodeUpdate);
    add(algorithm, readCodeUpdate);
    add(shownAt(number("counter", QStringLiteral("Счётчик"), {}, 3, 254, 0, kCounter), "reAlgNum",
                "sbAlgNum"),
        readCodeUpdate);
    Setting counted =
        number("counter-value", QStringLiteral("Значение счётчика"), {}, 0, 255, 0, kRead);
    counted.use = SettingUse::Measured;
    counted.fields = {QStringLiteral("stAlgCnt")};
    add(counted, readCodeUpdate);

    for (int n = 1; n <= kPlaces; ++n) {
        for (const bool meter : {false, true}) {
            const char* kind = meter ? "meter" : "thermometer";
            const QString who =
                (meter ? QStringLiteral("Плотномер %1") : QStringLiteral("Термометр %1")).arg(n);
            Setting id;
            id.key = placeKey(kind, n, "id");
            id.label = who + QStringLiteral(": идентификатор");
            id.kind = SettingKind::Identifier;
            id.idProblem = meter ? meterIdProblem : thermometerIdProblem;
            id.operation = meter ? &kMeterId : &kThermometerId;
            id.place = n;
            id.emptiable = true;
            id.fields = {(meter ? QStringLiteral("reIDD%1") : QStringLiteral("reIDT%1")).arg(n)};
            id.mark = (meter ? QStringLiteral("sbDID%1") : QStringLiteral("sbTID%1")).arg(n);
            add(id);
            Setting height = number("", who + QStringLiteral(": высота"), mm, 1, 65535, 0,
                                    meter ? kMeterHeight : kThermometerHeight);
            height.key = placeKey(kind, n, "height");
            height.dependsOn = id.key;
            height.place = n;
            height.emptiable = true;
            height.fields = {(meter ? QStringLiteral("reHD%1") : QStringLiteral("reHT%1")).arg(n)};
            height.mark = (meter ? QStringLiteral("sbDH%1") : QStringLiteral("sbTH%1")).arg(n);
            add(height);
            if (!meter)
                continue;
            Setting correction = number("", who + QStringLiteral(": поправка"), {}, -999.9, 999.9,
                                        1, kMeterCorrection);
            correction.key = placeKey(kind, n, "correction");
            correction.scale = 1; // kept as a real number
            correction.dependsOn = id.key;
            correction.place = n;
            correction.emptiable = true;
            correction.fields = {QStringLiteral("reADD%1").arg(n)};
            correction.mark = QStringLiteral("sbDAD%1").arg(n);
            add(correction);
        }
    }
    return c;
}

const Catalogue& catalogue() {
    static const Catalogue c = build();
    return c;
}

// A place's values: "empty" for a place that answered without an
// identifier of its family, null for one that did not answer.
void putPlaces(SettingValues& v, const Places& places, const char* kind, bool meter) {
    for (int n = 1; n <= kPlaces; ++n) {
        const Place& p = places[n - 1];
        const bool empty = p.answered && p.id.isEmpty();
        auto put = [&](const char* field, const QJsonValue& value) {
            v[placeKey(kind, n, field)] = empty ? QJsonValue(app::kEmptyPlace) : value;
        };
        put("id", p.id.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(p.id));
        put("height", p.height ? sensorSetting(placeKey(kind, n, "height")).decode(*p.height)
                               : QJsonValue(QJsonValue::Null));
        if (meter)
            put("correction",
                p.correction ? sensorSetting(placeKey(kind, n, "correction")).decode(*p.correction)
                             : QJsonValue(QJsonValue::Null));
    }
}

} // namespace

const std::vector<app::Setting>& sensorSettings() {
    return catalogue().rows;
}

const app::Setting& sensorSetting(const QString& key) {
    const app::Setting* row = app::findSetting(sensorSettings(), key);
    Q_ASSERT_X(row, "sensorSetting", qPrintable(key));
    return *row;
}

bool isOwnSetting(const app::Setting& row) {
    return !isPlaceSetting(row) && row.key != QLatin1String("version");
}

bool isPlaceSetting(const app::Setting& row) {
    return row.key.contains(QLatin1Char('.'));
}

const app::Setting* placeSetting(PlaceKind kind, int n, PlaceField field) {
    static const char* const fields[] = {"id", "height", "correction"};
    return app::findSetting(sensorSettings(),
                            placeKey(kind == PlaceKind::Thermometer ? "thermometer" : "meter", n,
                                     fields[static_cast<int>(field)]));
}

const app::Setting* sectionSetting(int n) {
    return app::findSetting(sensorSettings(), QStringLiteral("section-%1").arg(n));
}

const std::vector<std::pair<const app::Setting*, std::uint8_t>>& flagBits() {
    static const auto bits = [] {
        std::vector<std::pair<const app::Setting*, std::uint8_t>> out;
        for (const auto& [key, bit] : catalogue().bits)
            out.emplace_back(&sensorSetting(key), bit);
        return out;
    }();
    return bits;
}

bool countsAnother(const app::Setting& row) {
    return row.use == SettingUse::Measured &&
           std::any_of(sensorSettings().begin(), sensorSettings().end(),
                       [&](const Setting& r) { return r.dependsOn == row.key; });
}

bool isForbiddenCombination(const app::SettingValues& values) {
    std::uint8_t bits = 0;
    for (const auto& [row, bit] : flagBits())
        if (const QJsonValue v = at(values, row->key); !v.isNull() && row->encode(v) == 1)
            bits |= bit;
    constexpr std::uint8_t forbidden = flag::Combined | flag::SingleMeter;
    return (bits & forbidden) == forbidden;
}

QString SettingsRefusal::text(bool withKeys) const {
    if (!partner)
        return kForbiddenFlags;
    auto name = [withKeys](const Setting* r) { return withKeys ? r->key : r->label; };
    return QStringLiteral("%1 и %2 задаются вместе").arg(name(row), name(partner));
}

std::optional<SettingsRefusal> refusalOf(const app::SettingValues& v,
                                         const std::vector<app::Setting>& rows) {
    for (auto row = rows.begin(); row != rows.end(); ++row) {
        if (!given(v, row->key) || row->partner.isEmpty() || row->partnerRead ||
            given(v, row->partner))
            continue;
        // Named in the catalogue's order, whichever of the two was given.
        const auto partner = std::find_if(rows.begin(), rows.end(),
                                          [&](const Setting& r) { return r.key == row->partner; });
        if (partner == rows.end())
            continue;
        return partner < row ? SettingsRefusal{&*partner, &*row}
                             : SettingsRefusal{&*row, &*partner};
    }
    if (isForbiddenCombination(v))
        return SettingsRefusal{};
    return std::nullopt;
}

SettingsWrite WriteSensorSettings(bus::SerialLink& link, std::uint8_t s,
                                  const app::SettingValues& values, const app::Progress& progress,
                                  const std::vector<app::Setting>& catalogue) {
    SettingsWrite w;
    w.refused = refusalOf(values, catalogue);
    if (w.refused)
        return w;
    std::vector<const Setting*> rows, partnersRead;
    for (const auto& [key, value] : values) {
        const Setting* row = app::findSetting(catalogue, key);
        if (!row || !row->writable() || value.isNull())
            continue;
        rows.push_back(row);
        if (!row->partner.isEmpty() && !given(values, row->partner))
            if (const Setting* partner = app::findSetting(catalogue, row->partner))
                partnersRead.push_back(partner);
    }
    // A partner not given keeps what the sensor holds: read first, and
    // without it nothing at all is written.
    SettingValues all = values;
    if (!partnersRead.empty()) {
        const SettingValues now = ReadSensorRows(link, s, partnersRead);
        for (const Setting* row : rows) {
            if (row->partner.isEmpty() || given(values, row->partner))
                continue;
            all[row->partner] = at(now, row->partner);
            if (!given(all, row->partner))
                w.failed.push_back(
                    {row, link.isOpen() ? WriteFault::Unread : WriteFault::LineLost});
        }
        if (!w.failed.empty())
            return w;
        if (isForbiddenCombination(all)) {
            w.refused = SettingsRefusal{};
            return w;
        }
    }
    w.failed = app::WriteSettings(link, SettingTarget{s, {}, false}, rows, all, progress);
    return w;
}

std::vector<app::NotWritten> WritePlaces(bus::SerialLink& link, std::uint8_t s,
                                         const app::SettingValues& values,
                                         const app::Progress& progress) {
    std::vector<const Setting*> rows;
    for (const auto& [key, value] : values)
        if (const Setting* row = app::findSetting(sensorSettings(), key);
            row && isPlaceSetting(*row))
            rows.push_back(row);
    return app::WriteSettings(link, SettingTarget{s, {}, false}, rows, values, progress);
}

app::SettingValues ReadSensorRows(bus::SerialLink& link, std::uint8_t s,
                                  const std::vector<const app::Setting*>& rows) {
    SettingValues v;
    std::vector<SensorRead> done;
    for (const Setting* row : rows) {
        const auto read = catalogue().reads.find(row->key);
        if (read == catalogue().reads.end() ||
            std::find(done.begin(), done.end(), read->second) != done.end())
            continue;
        done.push_back(read->second);
        read->second(link, s, v);
    }
    return v;
}

app::SettingValues ReadSensorSettings(bus::SerialLink& link, std::uint8_t s) {
    SettingValues v;
    std::vector<const Setting*> own;
    for (const Setting& row : sensorSettings())
        if (isOwnSetting(row)) {
            v[row.key] = QJsonValue(QJsonValue::Null);
            own.push_back(&row);
        }
    for (const auto& [key, value] : ReadSensorRows(link, s, own))
        v[key] = value;
    return v;
}

app::SettingValues ReadPlaceSettings(bus::SerialLink& link, std::uint8_t s) {
    SettingValues v;
    putPlaces(v, ReadThermometers(link, s), "thermometer", false);
    putPlaces(v, ReadDensityMeters(link, s), "meter", true);
    return v;
}

} // namespace sensor
