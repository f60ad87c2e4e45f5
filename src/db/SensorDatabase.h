#pragma once

#include "db/DbfTable.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

// The factory database (the maker's table of assembled sensors: per
// nameplate number the thermometer identifiers and heights) and the checks
// every sensor database passes before it is used.
namespace db {

inline constexpr int kThermometerFields = 8;
inline constexpr int kMeterFields = 3;

// A name of one of the numbered fields: field("ID_T", 3) = "ID_T3".
QByteArray numbered(const char* base, int k);
// A character field of the record read last, without its padding.
QString trimmedField(const DbfTable& t, const QByteArray& name);

// Shown when a table cannot be opened (another program holds it); the open
// is tried once more after it.
using LockedPrompt = std::function<void()>;
inline const char* const kLockedText = "Закройте файл\nбазы данных.\nНажмите OK";

// The table at path, tried twice with the prompt between; nothing when it
// does not open. A missing file is never created here.
std::unique_ptr<DbfTable> openDatabase(const QString& path, const LockedPrompt& locked);

// Every database has N_DU, ID_T1..8 and H_T1..8; a user file also the
// density meters, S_ADR and the setting fields; a factory database found by
// scanning must not have S_ADR (that keeps user files out).
bool CheckStructure(const QString& path, bool user, bool scanning);

// The first *.dbf in the folder, in directory order, that passes as a
// factory database; empty when none does.
QString FindFactoryBase(const QString& folder);

// One factory record, trimmed.
struct FactoryRecord {
    QString number; // N_DU
    std::array<QString, kThermometerFields> ids;
    std::array<QString, kThermometerFields> heights;
    QString size; // L_SENS
};

struct FactoryRead {
    bool opened = false;
    std::optional<FactoryRecord> record;
};
// The first record whose trimmed N_DU equals the trimmed number text ("7"
// does not find "007").
FactoryRead FindFactoryByNumber(const QString& path, const QString& number,
                                const LockedPrompt& locked);
// What is said when the number is not in the database.
QString numberNotFoundText(const QString& number);
// No factory database to take a nameplate number from: none beside the
// program and none chosen.
inline const QString kNoFactoryBase =
    QStringLiteral("НЕТ ЗАВОДСКОЙ БАЗЫ ДАННЫХ: ВЫБЕРИТЕ ФАЙЛ КНОПКОЙ «...»");

// The thermometers of a record as the page takes them: identifiers of 16
// characters starting with "10", with their heights, the others skipped and
// the rest moved down.
std::vector<std::pair<QString, QString>> factoryThermometers(const FactoryRecord& record);

// The first record holding any of the identifiers (trimmed, non-empty).
std::optional<FactoryRecord> FindFactoryByIds(const QString& path, const QStringList& ids,
                                              const LockedPrompt& locked);
// N_DU as a number, 1 when it is not one.
int factoryNumber(const FactoryRecord& record);

} // namespace db
