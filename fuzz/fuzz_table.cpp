// Both calibration table readers on the same arbitrary text.
#include "caltable/TableFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    text.remove(QLatin1Char('\r'));
    QStringList lines = text.split(QLatin1Char('\n'));
    const QStringList original = lines;
    const caltable::ParsedTable t = caltable::ParseTableText(lines);
    if (t.rows > 0 && (t.volumes.size() != size_t(t.rows) || t.tableSize != 6 * t.rows))
        __builtin_trap();
    QByteArray image;
    QString status;
    if (caltable::convertTableLines(original, image, status) && image.size() % 6 != 0)
        __builtin_trap();
    if (image.size() / 6 <= caltable::kMaxRows)
        caltable::tableFileLines(image, 1);
    return 0;
}
