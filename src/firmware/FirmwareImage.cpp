#include "firmware/FirmwareImage.h"

#include "app/FileReader.h"
#include "firmware/HexLoader.h"

#include <QFileInfo>

namespace firmware {
namespace {

const QString kFileNotFound = QStringLiteral("ФАЙЛ НЕ НАЙДЕН");
const QString kNotSupported = QStringLiteral("Этот файл программой не поддерживается");

// Reads and parses the file into work; the version and date on success.
LoadResult load(const QString& path, FirmwareImage& work, bool needsData) {
    // Two hexadecimal characters a byte, a dozen more a record of 16: a
    // larger file cannot fit the device.
    const app::FileRead in = app::readRegularFile(path, qint64(kImageSpace) * 4);
    if (in.result.fault == app::FileFault::Missing)
        return {false, kFileNotFound, LoadFault::Missing};
    if (!in.result.ok())
        return {false, app::fileFaultText(in.result.fault), LoadFault::Unreadable};
    LoadResult r = parseHexText(in.bytes, work);
    if (!r.ok)
        return r;
    if (needsData && work.end == 0)
        return {false, {}, LoadFault::NoData};
    if (!findVersion(work, work.version))
        return {false, kNotSupported, LoadFault::NotSupported};
    // As the window writes dates, whatever the system's language.
    work.date = QFileInfo(path).lastModified().date().toString(QStringLiteral("dd.MM.yyyy"));
    return {true, {}};
}

} // namespace

LoadResult LoadControllerFirmware(const QString& path, FirmwareImage& image) {
    FirmwareImage work;
    const LoadResult r = load(path, work, false);
    if (!r.ok)
        return r;
    work.data.truncate(work.end);
    work.usable = true;
    image = std::move(work);
    return r;
}

LoadResult LoadSensorFirmware(const QString& path, FirmwareImage& image) {
    image.usable = false;
    image.version.clear();
    image.date.clear();
    const LoadResult r = load(path, image, true);
    image.usable = r.ok;
    return r;
}

} // namespace firmware
