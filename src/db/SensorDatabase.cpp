#include "db/SensorDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace db {
namespace {

const QByteArray kNumber = "N_DU";
const QByteArray kSize = "L_SENS";

bool hasAll(const DbfTable& t, const char* base, int count) {
    for (int k = 1; k <= count; ++k)
        if (t.FieldIndex(numbered(base, k)) < 0)
            return false;
    return true;
}

FactoryRecord recordOf(const DbfTable& t) {
    FactoryRecord r;
    r.number = trimmedField(t, kNumber);
    for (int k = 0; k < kThermometerFields; ++k) {
        r.ids[k] = trimmedField(t, numbered("ID_T", k + 1));
        r.heights[k] = trimmedField(t, numbered("H_T", k + 1));
    }
    r.size = trimmedField(t, kSize);
    return r;
}

} // namespace

QByteArray numbered(const char* base, int k) {
    return QByteArray(base) + QByteArray::number(k);
}

QString trimmedField(const DbfTable& t, const QByteArray& name) {
    return QString::fromLatin1(t.GetField(name)).trimmed();
}

std::unique_ptr<DbfTable> openDatabase(const QString& path, const LockedPrompt& locked) {
    // The table object would create a missing file: a database that went
    // away is not opened, and nothing appears in its place.
    if (!QFileInfo(path).isFile())
        return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto t = std::make_unique<DbfTable>(path);
        if (t->IsOpen())
            return t;
        if (attempt == 0 && locked)
            locked();
    }
    return nullptr;
}

bool CheckStructure(const QString& path, bool user, bool scanning) {
    if (!QFileInfo(path).isFile())
        return false;
    const DbfTable t(path);
    if (!t.IsOpen() || t.FieldIndex(kNumber) < 0 || !hasAll(t, "ID_T", kThermometerFields) ||
        !hasAll(t, "H_T", kThermometerFields))
        return false;
    if (user) {
        if (!hasAll(t, "ID_D", kMeterFields) || !hasAll(t, "H_D", kMeterFields))
            return false;
        for (const char* name : {"S_ADR", "S_ADD", "UP_CRIT", "RST_B2", "RST_DN", "RETR", "ML_DIF"})
            if (t.FieldIndex(name) < 0)
                return false;
    }
    return !(scanning && t.FieldIndex("S_ADR") >= 0);
}

QString FindFactoryBase(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("*.dbf")}, QDir::Files, QDir::Unsorted)) {
        const QString path = dir.filePath(name);
        if (CheckStructure(path, false, true))
            return path;
    }
    return {};
}

QString numberNotFoundText(const QString& number) {
    return QStringLiteral("НОМЕР %1 НЕ НАЙДЕН В БАЗЕ").arg(number.trimmed());
}

FactoryRead FindFactoryByNumber(const QString& path, const QString& number,
                                const LockedPrompt& locked) {
    FactoryRead r;
    const auto t = openDatabase(path, locked);
    if (!t)
        return r;
    r.opened = true;
    const QString wanted = number.trimmed();
    for (int i = 0; i < t->RecordCount(); ++i) {
        if (t->readLive(i) && trimmedField(*t, kNumber) == wanted) {
            r.record = recordOf(*t);
            break;
        }
    }
    return r;
}

std::vector<std::pair<QString, QString>> factoryThermometers(const FactoryRecord& record) {
    std::vector<std::pair<QString, QString>> out;
    for (int k = 0; k < kThermometerFields; ++k)
        if (record.ids[k].size() == 16 && record.ids[k].startsWith(QLatin1String("10")))
            out.emplace_back(record.ids[k], record.heights[k]);
    return out;
}

std::optional<FactoryRecord> FindFactoryByIds(const QString& path, const QStringList& ids,
                                              const LockedPrompt& locked) {
    QStringList wanted;
    for (const QString& id : ids)
        if (!id.trimmed().isEmpty())
            wanted << id.trimmed();
    if (wanted.isEmpty())
        return std::nullopt;
    const auto t = openDatabase(path, locked);
    if (!t)
        return std::nullopt;
    for (int i = 0; i < t->RecordCount(); ++i) {
        if (!t->readLive(i))
            continue;
        const FactoryRecord r = recordOf(*t);
        for (const QString& id : r.ids)
            if (!id.isEmpty() && wanted.contains(id))
                return r;
    }
    return std::nullopt;
}

int factoryNumber(const FactoryRecord& record) {
    bool ok = false;
    const int n = record.number.toInt(&ok);
    return ok ? n : 1;
}

} // namespace db
