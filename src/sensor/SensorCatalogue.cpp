#include "sensor/SensorCatalogue.h"

#include "link/SerialLink.h"
#include "sensor/OneWireId.h"
#include "sensor/SensorPlaces.h"
#include "sensor/SensorSettings.h"

#include <cmath>

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
    return WriteSectionCorrection(
        l, t.address, n, static_cast<float>(at(v, QStringLiteral("section-%1").arg(n)).toDouble()));
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

std::vector<Setting> build() {
    const QString mm = QStringLiteral("мм");
    std::vector<Setting> rows;
    Setting version;
    version.key = QStringLiteral("version");
    version.label = QStringLiteral("Версия");
    version.kind = SettingKind::Text;
    version.use = SettingUse::Measured;
    version.operation = &kRead;
    rows.push_back(version);

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
    rows.push_back(size);
    Setting wide = flag("wide", QStringLiteral("Широкий сенсор (старый НБ)"), kRead);
    // The kind of probe, not a stored value: a restore checks it agrees.
    wide.use = SettingUse::Measured;
    wide.fields = {QStringLiteral("cbNBSize")};
    rows.push_back(wide);
    // Decimals scale the device's tenths; the size is whole millimetres.
    rows.push_back(shownAt(number("level-correction", QStringLiteral("Поправка по уровню"), mm,
                                  -3276.8, 3276.7, 1, kCorrection),
                           "reFnd", "sbFndEn"));
    Setting channel;
    channel.key = QStringLiteral("density-channel");
    channel.label = QStringLiteral("Канал плотности");
    channel.kind = SettingKind::Choice;
    channel.choices = {QStringLiteral("separate"), QStringLiteral("combined")};
    channel.operation = &kFlags;
    channel.fields = {QStringLiteral("rbDMLSepar"), QStringLiteral("rbDMLCombi")};
    channel.mark = QStringLiteral("sbDChEn");
    rows.push_back(channel);
    rows.push_back(shownAt(
        flag("single-density-meter", QStringLiteral("Единственный плотномер"), kFlags), "cbOneDen",
        "sbDChEn"));
    rows.push_back(shownAt(flag("reset-on-link-loss",
                                QStringLiteral("Сброс плотномеров при отказе связи (0хВ2)"), kFlags),
                           "cbDDC_B2", "sbDDCEn"));
    rows.push_back(shownAt(
        flag("reset-on-density-0-1", QStringLiteral("Сброс плотномеров при 0/1 плотности"), kFlags),
        "cbDDC_01", "sbDDCEn"));
    rows.push_back(shownAt(flag("propagate-after-filling",
                                QStringLiteral("После налива распространять D и Td"), kFlags),
                           "cbRetr", "sbRetrEn"));
    rows.push_back(shownAt(number("filling-criterion", QStringLiteral("Критерий налива"), mm, 0,
                                  6553.5, 1, kCriterion),
                           "reCrt", "sbCrtEn"));
    for (int n = 1; n <= 8; ++n) {
        Setting s = number("", QStringLiteral("Секционная поправка № %1").arg(n), mm, -999.999,
                           999.999, 3, kSection);
        s.key = QStringLiteral("section-%1").arg(n);
        s.scale = 1; // kept as a real number
        s.place = n;
        s.fields = {QStringLiteral("reSAdd%1").arg(n)};
        s.mark = QStringLiteral("sbSAdd%1").arg(n);
        rows.push_back(s);
    }
    // 0 is what a probe without them tells; it is never sent.
    rows.push_back(shownAt(
        number("working-segments", QStringLiteral("Рабочие сегменты"), {}, 0, 255, 0, kSegments),
        "reWorkSeg", "sbSegCfg"));
    rows.push_back(shownAt(number("removed-segments", QStringLiteral("Сегменты, удалённые сверху"),
                                  {}, 0, 254, 0, kSegments),
                           "reDelSeg", "sbSegCfg"));
    rows.push_back(shownAt(
        flag("code-update", QStringLiteral("Разрешить обновление кодов"), kCodeUpdate), "cbCodUp",
        "sbCodUp"));
    rows.push_back(shownAt(flag("code-algorithm", QStringLiteral("Разрешить алгоритм"), kCodeUpdate),
                           "cbCodAlg", "sbCodUp"));
    rows.push_back(shownAt(number("counter", QStringLiteral("Счётчик"), {}, 3, 254, 0, kCounter),
                           "reAlgNum", "sbAlgNum"));
    Setting counted =
        number("counter-value", QStringLiteral("Значение счётчика"), {}, 0, 255, 0, kRead);
    counted.use = SettingUse::Measured;
    counted.fields = {QStringLiteral("stAlgCnt")};
    rows.push_back(counted);

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
            rows.push_back(id);
            Setting height = number("", who + QStringLiteral(": высота"), mm, 1, 65535, 0,
                                    meter ? kMeterHeight : kThermometerHeight);
            height.key = placeKey(kind, n, "height");
            height.dependsOn = id.key;
            height.place = n;
            height.emptiable = true;
            height.fields = {(meter ? QStringLiteral("reHD%1") : QStringLiteral("reHT%1")).arg(n)};
            height.mark = (meter ? QStringLiteral("sbDH%1") : QStringLiteral("sbTH%1")).arg(n);
            rows.push_back(height);
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
            rows.push_back(correction);
        }
    }
    return rows;
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
    static const std::vector<app::Setting> rows = build();
    return rows;
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

app::SettingValues ReadSensorGroupSettings(bus::SerialLink& link, std::uint8_t s) {
    SettingValues v;
    auto put = [&v](const char* key, std::optional<double> device) {
        v[QLatin1String(key)] = device ? sensorSetting(QLatin1String(key)).decode(*device)
                                       : QJsonValue(QJsonValue::Null);
    };
    const SensorGroups g = ReadSensorGroups(link, s);
    put("size", g.sizeMm);
    put("wide", std::nullopt);
    if (g.sizeMm)
        if (const auto segments = ReadSizeSegments(link, s))
            v[QStringLiteral("wide")] = isWide(*g.sizeMm, *segments);
    put("level-correction", g.levelCorrectionTenths);
    const auto bit = [&g](std::uint8_t mask) -> std::optional<double> {
        if (!g.flags)
            return std::nullopt;
        return (*g.flags & mask) ? 1 : 0;
    };
    put("density-channel", bit(flag::Combined));
    put("single-density-meter", bit(flag::SingleMeter));
    put("reset-on-link-loss", bit(flag::ResetOnLinkLoss));
    put("reset-on-density-0-1", bit(flag::ResetOnDensity01));
    put("propagate-after-filling", bit(flag::Propagate));
    put("filling-criterion", g.fillCriterionTenths);
    return v;
}

app::SettingValues ReadSensorSettings(bus::SerialLink& link, std::uint8_t s) {
    SettingValues v;
    for (const Setting& row : sensorSettings())
        if (isOwnSetting(row))
            v[row.key] = QJsonValue(QJsonValue::Null);
    auto put = [&v](const char* key, std::optional<double> device) {
        if (device)
            v[QLatin1String(key)] = sensorSetting(QLatin1String(key)).decode(*device);
    };
    for (const auto& [key, value] : ReadSensorGroupSettings(link, s))
        v[key] = value;
    if (const auto sections = ReadSectionCorrections(link, s))
        for (int i = 0; i < 8; ++i)
            v[QStringLiteral("section-%1").arg(i + 1)] =
                sensorSetting(QStringLiteral("section-%1").arg(i + 1)).decode((*sections)[i]);
    if (const auto seg = ReadSegments(link, s)) {
        put("working-segments", seg->working);
        put("removed-segments", seg->removed);
    }
    if (const auto c = ReadCodeUpdate(link, s)) {
        put("code-update", c->updateAllowed);
        put("code-algorithm", c->algorithmAllowed);
        put("counter", c->counter);
        put("counter-value", c->counterValue);
    }
    return v;
}

app::SettingValues ReadPlaceSettings(bus::SerialLink& link, std::uint8_t s) {
    SettingValues v;
    putPlaces(v, ReadThermometers(link, s), "thermometer", false);
    putPlaces(v, ReadDensityMeters(link, s), "meter", true);
    return v;
}

} // namespace sensor
