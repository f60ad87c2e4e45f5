#include "db/UserDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

namespace db {
namespace {

std::optional<int> wholeAtLeast(const QString& text, int least) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= least ? std::optional<int>(n) : std::nullopt;
}

std::optional<int> addressOf(const DbfTable& t) {
    bool ok = false;
    const int a = trimmedField(t, "S_ADR").toInt(&ok);
    return ok ? std::optional<int>(a) : std::nullopt;
}

int findAddress(DbfTable& t, int address) {
    for (int i = 0; i < t.RecordCount(); ++i)
        if (t.ReadRecord(i) && addressOf(t) == address)
            return i;
    return -1;
}

QByteArray flagText(bool on) {
    return on ? "1" : "0";
}

std::optional<QByteArray> readWithRetry(const QString& path, const LockedPrompt& locked) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            return f.readAll();
        if (attempt == 0 && locked)
            locked();
    }
    return std::nullopt;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

const std::vector<FieldSpec>& userFields() {
    static const std::vector<FieldSpec> fields = [] {
        std::vector<FieldSpec> f{
            {"N_DU", 5}, {"N_SENS", 5}, {"L_SENS", 5}, {"S_ADD", 7}, {"UP_CRIT", 7}};
        for (int k = 1; k <= kThermometerFields; ++k)
            f.push_back({numbered("ID_T", k), 16});
        for (int k = 1; k <= kThermometerFields; ++k)
            f.push_back({numbered("H_T", k), 5});
        for (int k = 1; k <= kMeterFields; ++k)
            f.push_back({numbered("ID_D", k), 16});
        for (int k = 1; k <= kMeterFields; ++k)
            f.push_back({numbered("H_D", k), 5});
        f.push_back({"S_ADR", 3});
        for (const char* name : {"RST_B2", "RST_DN", "RETR", "ML_DIF"})
            f.push_back({name, 1});
        return f;
    }();
    return fields;
}

bool writeWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

namespace {

// The new table built in a scratch folder, field by field.
bool buildUserBase(const QString& scratch) {
    DbfTable t(scratch);
    if (!t.IsOpen())
        return false;
    for (const FieldSpec& f : userFields()) {
        t.AddField(f.name, 'C', f.length, 0);
        if (!t.lastAddFieldSucceeded())
            return false;
    }
    return true;
}

} // namespace

bool CreateUserBase(const QString& path, const FileWriter& write) {
    QTemporaryDir scratch;
    const QString work = scratch.filePath(QStringLiteral("new.dbf"));
    return scratch.isValid() && buildUserBase(work) && write(path, fileBytes(work));
}

LoadResult LoadUserRecord(const QString& path, int address, const LockedPrompt& locked) {
    LoadResult r;
    if (!CheckStructure(path, true, false)) {
        r.outcome = LoadOutcome::BadStructure;
        return r;
    }
    const auto t = openDatabase(path, locked);
    if (!t)
        return r;
    const int i = findAddress(*t, address);
    if (i < 0) {
        r.outcome = LoadOutcome::NoSuchAddress;
        return r;
    }
    t->ReadRecord(i);
    UserLoad& v = r.values;
    auto place = [&](const char* id, const char* height, int k, std::optional<QString>& idOut,
                     std::optional<int>& heightOut) {
        const QString text = trimmedField(*t, numbered(id, k + 1));
        if (text.size() != 16)
            return;
        idOut = text;
        heightOut = wholeAtLeast(trimmedField(*t, numbered(height, k + 1)), 1);
    };
    for (int k = 0; k < kThermometerFields; ++k)
        place("ID_T", "H_T", k, v.thermometerIds[k], v.thermometerHeights[k]);
    for (int k = 0; k < kMeterFields; ++k)
        place("ID_D", "H_D", k, v.meterIds[k], v.meterHeights[k]);
    v.size = wholeAtLeast(trimmedField(*t, "L_SENS"), 1);
    if (const QString c = trimmedField(*t, "S_ADD"); !c.isEmpty())
        v.correction = c;
    if (const QString c = trimmedField(*t, "UP_CRIT"); !c.isEmpty())
        v.criterion = c;
    auto flag = [&](const char* name) -> std::optional<bool> {
        if (const auto n = wholeAtLeast(trimmedField(*t, name), 0))
            return *n != 0;
        return std::nullopt;
    };
    v.resetOnLinkLoss = flag("RST_B2");
    v.resetOnDensity01 = flag("RST_DN");
    v.propagate = flag("RETR");
    v.separate = flag("ML_DIF");
    r.outcome = LoadOutcome::Loaded;
    return r;
}

SaveOutcome SaveUserRecord(const QString& path, const UserFields& fields, int number,
                           const std::function<bool()>& confirmOverwrite,
                           const LockedPrompt& locked, const FileWriter& write) {
    const bool exists = QFileInfo::exists(path);
    if (exists && !CheckStructure(path, true, false))
        return SaveOutcome::BadStructure;
    // The change is made on a copy; the file itself is replaced whole, so
    // that a crash or a full disk never leaves half a record in it.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return SaveOutcome::Failed;
    const QString work = scratch.filePath(QStringLiteral("work.dbf"));
    if (exists) {
        const auto bytes = readWithRetry(path, locked);
        if (!bytes)
            return SaveOutcome::NotOpened;
        if (!writeWholeFile(work, *bytes))
            return SaveOutcome::Failed;
    } else if (!buildUserBase(work)) {
        return SaveOutcome::Failed;
    }
    {
        DbfTable t(work);
        if (!t.IsOpen())
            return SaveOutcome::Failed;
        int i = findAddress(t, fields.address);
        if (i >= 0) {
            if (confirmOverwrite && !confirmOverwrite())
                return SaveOutcome::Declined;
            t.ReadRecord(i);
        } else {
            i = t.AppendBlank();
            if (i < 0)
                return SaveOutcome::Failed;
        }
        auto set = [&t](const QByteArray& name, const QString& text) {
            t.SetField(name, text.trimmed().toLatin1());
        };
        if (number > 1)
            set("N_DU", QString::number(number));
        set("S_ADR", QString::number(fields.address));
        set("L_SENS", fields.size);
        set("S_ADD", fields.correction);
        set("UP_CRIT", fields.criterion);
        t.SetField("RST_B2", flagText(fields.resetOnLinkLoss));
        t.SetField("RST_DN", flagText(fields.resetOnDensity01));
        t.SetField("RETR", flagText(fields.propagate));
        t.SetField("ML_DIF", flagText(fields.separate));
        for (int k = 0; k < kThermometerFields; ++k) {
            set(numbered("ID_T", k + 1), fields.thermometerIds[k]);
            set(numbered("H_T", k + 1), fields.thermometerHeights[k]);
        }
        for (int k = 0; k < kMeterFields; ++k) {
            set(numbered("ID_D", k + 1), fields.meterIds[k]);
            set(numbered("H_D", k + 1), fields.meterHeights[k]);
        }
        if (!t.WriteRecord(i))
            return SaveOutcome::Failed;
    }
    return write(path, fileBytes(work)) ? SaveOutcome::Saved : SaveOutcome::Failed;
}

} // namespace db
