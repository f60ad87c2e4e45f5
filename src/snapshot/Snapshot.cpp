#include "snapshot/Snapshot.h"

#include "app/ControllerLayout.h"
#include "app/FileReader.h"
#include "app/FileWriter.h"
#include "controller/ControllerCatalogue.h"
#include "sensor/SensorCatalogue.h"
#include "snapshot/SnapshotUpgrade.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <tuple>

#include <algorithm>

namespace snapshot {
namespace {

QJsonArray devicesJson(const std::vector<Device>& devices, bool sensors) {
    QJsonArray out;
    for (const Device& d : devices) {
        QJsonObject values;
        for (const auto& [key, value] : d.values)
            values.insert(key, value);
        QJsonObject o{{QStringLiteral("number"), d.number}, {QStringLiteral("values"), values}};
        if (sensors)
            o.insert(QStringLiteral("controller"), d.controller);
        out.append(o);
    }
    return out;
}

// The text of every number and true/false a device list's values hold, as
// the file has it, by list, place in the list and key. Walks text that
// QJsonDocument has already taken as sound.
using WrittenTexts = std::map<std::tuple<QString, int, QString>, QString>;

class WrittenWalk {
  public:
    explicit WrittenWalk(const QByteArray& text) : m_t(text) {}
    WrittenTexts run() {
        value({});
        return m_out;
    }

  private:
    char at() const { return m_at < m_t.size() ? m_t[m_at] : '\0'; }
    void space() {
        while (at() == ' ' || at() == '\t' || at() == '\r' || at() == '\n')
            ++m_at;
    }
    QString string() {
        const qsizetype start = m_at++;
        while (m_at < m_t.size() && m_t[m_at] != '"')
            m_at += m_t[m_at] == '\\' ? 2 : 1;
        ++m_at;
        const QByteArray token = m_t.mid(start, m_at - start);
        return QJsonDocument::fromJson("[" + token + "]").array().at(0).toString();
    }
    void value(const QStringList& path) {
        space();
        const char c = at();
        if (c == '{' || c == '[') {
            const char end = c == '{' ? '}' : ']';
            ++m_at;
            space();
            if (at() == end) {
                ++m_at;
                return;
            }
            for (int i = 0;; ++i) {
                space();
                QString name = QString::number(i);
                if (c == '{') {
                    name = string();
                    space();
                    ++m_at; // ':'
                }
                value(path + QStringList{name});
                space();
                if (at() != ',') {
                    ++m_at;
                    return;
                }
                ++m_at;
            }
        }
        if (c == '"') {
            string();
            return;
        }
        const qsizetype start = m_at;
        while (m_at < m_t.size() && !QByteArrayView(",]} \t\r\n").contains(m_t[m_at]))
            ++m_at;
        if (path.size() == 4 && path[2] == QLatin1String("values") &&
            (path[0] == QLatin1String("controllers") || path[0] == QLatin1String("sensors")))
            m_out[{path[0], path[1].toInt(), path[3]}] =
                QString::fromUtf8(m_t.mid(start, m_at - start));
    }

    const QByteArray& m_t;
    qsizetype m_at = 0;
    WrittenTexts m_out;
};

std::optional<std::vector<Device>> devicesFrom(const QJsonValue& v, QString* error,
                                               const QString& what) {
    if (!v.isArray()) {
        *error = QStringLiteral("нет списка %1").arg(what);
        return std::nullopt;
    }
    std::vector<Device> out;
    for (const QJsonValue& item : v.toArray()) {
        const QJsonObject o = item.toObject();
        if (!o.value(QStringLiteral("number")).isDouble() ||
            !o.value(QStringLiteral("values")).isObject()) {
            *error = QStringLiteral("неполная запись в списке %1").arg(what);
            return std::nullopt;
        }
        Device d;
        d.number = o.value(QStringLiteral("number")).toInt();
        d.controller = o.value(QStringLiteral("controller")).toInt();
        const QJsonObject values = o.value(QStringLiteral("values")).toObject();
        for (auto it = values.begin(); it != values.end(); ++it)
            d.values[it.key()] = it.value();
        out.push_back(std::move(d));
    }
    return out;
}

const Device* find(const std::vector<Device>& devices, int number) {
    for (const Device& d : devices)
        if (d.number == number)
            return &d;
    return nullptr;
}

} // namespace

const Device* Snapshot::controller(int number) const {
    return find(controllers, number);
}

const Device* Snapshot::sensor(int number) const {
    return find(sensors, number);
}

QByteArray toJson(const Snapshot& s) {
    // Pairs in file order, as the configuration file keeps them.
    QJsonArray layout;
    for (const auto& [key, value] : s.layout)
        layout.append(QJsonArray{key, value});
    const QJsonObject root{
        {QStringLiteral("format"), QString::fromLatin1(kFormatName)},
        {QStringLiteral("version"), kFormatVersion},
        {QStringLiteral("time"), s.time.toString(Qt::ISODate)},
        {QStringLiteral("controllerType"), s.controllerType},
        {QStringLiteral("layout"), layout},
        {QStringLiteral("controllers"), devicesJson(s.controllers, false)},
        {QStringLiteral("sensors"), devicesJson(s.sensors, true)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Snapshot> fromJson(const QByteArray& text, QString* error) {
    QString ignored;
    QString& why = error ? *error : ignored;
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (doc.isNull() || !doc.isObject()) {
        why = QStringLiteral("не JSON: %1").arg(parse.errorString());
        return std::nullopt;
    }
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String(kFormatName)) {
        why = QStringLiteral("не снимок установки");
        return std::nullopt;
    }
    const int version = root.value(QStringLiteral("version")).toInt(-1);
    if (version != kFormatVersion && version != 1) {
        why = QStringLiteral("версия формата %1, ожидается %2").arg(version).arg(kFormatVersion);
        return std::nullopt;
    }
    Snapshot s;
    s.time = QDateTime::fromString(root.value(QStringLiteral("time")).toString(), Qt::ISODate);
    s.controllerType = root.value(QStringLiteral("controllerType")).toInt(1);
    for (const QJsonValue& pair : root.value(QStringLiteral("layout")).toArray())
        s.layout.emplace_back(pair.toArray().at(0).toString(), pair.toArray().at(1).toString());
    auto controllers =
        devicesFrom(root.value(QStringLiteral("controllers")), &why, QStringLiteral("КИП"));
    auto sensors =
        devicesFrom(root.value(QStringLiteral("sensors")), &why, QStringLiteral("датчиков"));
    if (!controllers || !sensors)
        return std::nullopt;
    s.controllers = std::move(*controllers);
    s.sensors = std::move(*sensors);
    if (version == 1) {
        // Its values are converted: the file's texts no longer are theirs.
        upgradeFormat1(s);
        return s;
    }
    const WrittenTexts written = WrittenWalk(text).run();
    for (const auto& [list, devices] : {std::pair{QStringLiteral("controllers"), &s.controllers},
                                        std::pair{QStringLiteral("sensors"), &s.sensors}})
        for (std::size_t i = 0; i < devices->size(); ++i) {
            Device& d = (*devices)[i];
            for (const auto& [key, value] : d.values)
                if (const auto it = written.find({list, int(i), key}); it != written.end())
                    d.written[key] = it->second;
        }
    return s;
}

bool writeSnapshot(const QString& path, const Snapshot& s, QString* error) {
    const app::FileResult r = app::writePrivateFileAtomically(path, toJson(s));
    if (!r.ok() && error)
        *error = app::fileFaultText(r.fault);
    return r.ok();
}

bool roomForSnapshot(const QString& path, const app::ControllerLayout& layout, QString* error) {
    // A written snapshot takes about 3 KB a device.
    int devices = 0;
    for (int k = 0; k < app::kControllerSlots; ++k)
        if (layout.isPresent(k))
            devices += 1 + layout.ControllerTable[k].sensorCount;
    devices = std::clamp(devices, 8, app::kControllerSlots + app::kSensorAddresses);
    const app::FileResult r = app::checkRoomFor(path, qint64(devices) * 4096);
    if (!r.ok() && error)
        *error = app::fileFaultText(r.fault);
    return r.ok();
}

std::optional<Snapshot> readSnapshot(const QString& path, QString* error) {
    // An installation of 32 controllers and 128 sensors is well under this.
    const app::FileRead in = app::readRegularFile(path, kMaxSnapshotBytes);
    if (!in.result.ok()) {
        if (error)
            *error = app::fileFaultText(in.result.fault);
        return std::nullopt;
    }
    return fromJson(in.bytes, error);
}

const app::Setting* settingOf(bool sensor, const QString& key) {
    if (!sensor)
        return app::findSetting(controller::controllerSettings(), key);
    const app::Setting* row = app::findSetting(sensor::sensorSettings(), key);
    return row ? row : app::findSetting(controller::alarmSettings(), key);
}

QString valueText(bool sensor, const QString& key, const QJsonValue& v) {
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("—");
    if (const app::Setting* row = settingOf(sensor, key))
        return row->text(v);
    return v.isString() ? v.toString() : QString::number(v.toDouble(), 'g', 10);
}

QString writtenText(const Device& d, bool sensor, const QString& key, const QJsonValue& v) {
    if (const auto it = d.written.find(key); it != d.written.end())
        return it->second;
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return valueText(sensor, key, v);
}

QString shownValue(bool sensor, const QString& key, const QJsonValue& v) {
    if (const app::Setting* row = settingOf(sensor, key))
        return row->shown(v);
    return v.isNull() ? QStringLiteral("—") : valueText(sensor, key, v);
}

QString settingCaption(bool sensor, const QString& key) {
    const app::Setting* row = settingOf(sensor, key);
    return row ? row->caption() : key;
}

} // namespace snapshot
