#pragma once

#include <QByteArray>
#include <QString>

namespace firmware {

inline constexpr int kImageSpace = 0x20000; // addresses 0x00000..0x1FFFF

// One firmware file in memory: bytes by absolute address, 0xFF where no
// record put any.
struct FirmwareImage {
    QByteArray data;
    int start = kImageSpace; // lowest address a data record named
    int end = 0;             // one past the highest address written
    QString version;         // the text from the "REV" marker on
    QString date;            // the file's date, short locale format
    // False after a failed load into a reused buffer: nothing may program it.
    bool usable = false;
};

// Why a firmware file was not taken.
enum class LoadFault {
    None,
    Missing,      // the file is not there
    Unreadable,   // not a regular file, too large, or not readable
    BadRecord,    // a record of the file is wrong (its line is named)
    NoData,       // records, but nothing to program
    NotSupported, // no version marker: a file of another device
};

struct LoadResult {
    bool ok = false;
    QString message; // for the status line; may be empty
    LoadFault fault = LoadFault::None;
};

// The controller loader: the image is replaced only by a successful load,
// and then holds exactly the addresses 0..end-1.
LoadResult LoadControllerFirmware(const QString& path, FirmwareImage& image);
// The sensor loader refills its buffer in place; a failed load leaves it
// marked unusable.
LoadResult LoadSensorFirmware(const QString& path, FirmwareImage& image);

} // namespace firmware
