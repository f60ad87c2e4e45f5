#pragma once

#include "app/FileWriter.h"
#include "db/SensorDatabase.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>

// User files: the complete property set of a sensor saved under its bus
// address and loaded back later, for instance into a replacement sensor.
namespace db {

// What a save writes: the page's texts and ticks.
struct UserFields {
    QString size, correction, criterion; // L_SENS, S_ADD, UP_CRIT as typed
    std::array<QString, kThermometerFields> thermometerIds, thermometerHeights;
    std::array<QString, kMeterFields> meterIds, meterHeights;
    int address = 0; // S_ADR, 0-based
    bool resetOnLinkLoss = false, resetOnDensity01 = false, propagate = false, separate = false;
};

// What a load gives the page: only the values that pass their rule. An
// identifier's height (and with it both marks) only with its identifier.
struct UserLoad {
    std::array<std::optional<QString>, kThermometerFields> thermometerIds;
    std::array<std::optional<int>, kThermometerFields> thermometerHeights;
    std::array<std::optional<QString>, kMeterFields> meterIds;
    std::array<std::optional<int>, kMeterFields> meterHeights;
    std::optional<int> size;
    std::optional<QString> correction, criterion;
    std::optional<bool> resetOnLinkLoss, resetOnDensity01, propagate, separate;
};

// The 32 fields a new user file gets, in order, with their lengths.
struct FieldSpec {
    QByteArray name;
    int length;
};
const std::vector<FieldSpec>& userFields();

// Writes the whole file or leaves it as it was.
using FileWriter = std::function<app::FileResult(const QString& path, const QByteArray& bytes)>;

// The name a user file is saved under: ".dbf" added when it has no
// extension, so that the file is listed where user files are looked for.
QString userFilePath(const QString& path);

// A new user file with the 32 fields and no records, written whole.
bool CreateUserBase(const QString& path, const FileWriter& write = app::writeFileAtomically);

enum class LoadOutcome { Loaded, BadStructure, NotOpened, NoSuchAddress };
struct LoadResult {
    LoadOutcome outcome = LoadOutcome::NotOpened;
    UserLoad values;
};
// The first live record whose trimmed S_ADR read as a number equals
// address; records marked deleted are not looked at.
LoadResult LoadUserRecord(const QString& path, int address, const LockedPrompt& locked);

enum class SaveOutcome { Saved, Declined, BadStructure, NotOpened, Busy, TooLong, Failed };
struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Failed;
    // Busy, TooLong, Failed: the file or the field and why.
    QString problem;
};
// How long a save waits for another one on the same file.
inline constexpr int kSaveLockWaitMs = 5000;
// Into the first live record with the address, after confirmOverwrite
// agrees, or into a new one; N_DU gets number only when it is above 1. The
// file gets the new record whole or stays as it was. Saves of one file
// take turns (a lock file beside it); the copy being changed lives beside
// the file too, and one left by a killed save is removed.
SaveResult SaveUserRecord(const QString& path, const UserFields& fields, int number,
                          const std::function<bool()>& confirmOverwrite, const LockedPrompt& locked,
                          const FileWriter& write = app::writeFileAtomically);

} // namespace db
