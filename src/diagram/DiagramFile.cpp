#include "diagram/DiagramFile.h"

#include "app/FileReader.h"
#include "app/FileWriter.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace diagram {
namespace {

constexpr int kFuelAt = 8;
constexpr int kWaterAt = 12;
constexpr int kParametersAt = 16;
constexpr int kDateAt = 52;
constexpr int kAddressAt = 60;
constexpr int kBlockAt = 61;
constexpr qint64 kOleEpochDays = 25569; // 1 January 1970
constexpr double kMsPerDay = 86400000.0;

} // namespace

QString proposedFileName(std::uint8_t sensorAddress, const QDateTime& now) {
    return QStringLiteral("%1").arg(sensorAddress + 1, 2, 16, QLatin1Char('0')).toUpper() +
           now.toString(QStringLiteral("yyMMddhhmmss")) + QStringLiteral(".dgr");
}

double oleDate(const QDateTime& t) {
    // The wall-clock time where it was saved, as the day count had it.
    const qint64 local = t.toMSecsSinceEpoch() + qint64(t.offsetFromUtc()) * 1000;
    return kOleEpochDays + local / kMsPerDay;
}

QDateTime fromOleDate(double days) {
    const auto local = static_cast<qint64>(std::llround((days - kOleEpochDays) * kMsPerDay));
    QDateTime t = QDateTime::fromMSecsSinceEpoch(local, Qt::UTC);
    t.setTimeSpec(Qt::LocalTime);
    return t;
}

QByteArray diagramFileBytes(const Diagram& d, const QDateTime& savedAt) {
    const int n = d.segments;
    QByteArray out(kCodesOffset + 3 * n, '\0');
    auto* b = reinterpret_cast<uchar*>(out.data());
    qToLittleEndian<qint32>(kCodesOffset, b);
    qToLittleEndian<qint32>(n, b + 4);
    std::memcpy(b + kFuelAt, d.fuelLevel.data(), kLevelBytes);
    std::memcpy(b + kWaterAt, d.waterLevel.data(), kLevelBytes);
    std::memcpy(b + kParametersAt, d.parameters.data(), kParameterBytes);
    qToLittleEndian<double>(oleDate(savedAt), b + kDateAt);
    b[kAddressAt] = d.sensorAddress;
    b[kBlockAt] = static_cast<uchar>(d.codesPerBlock);
    // Sensor, wet, dry: the order the files have always had.
    const QByteArray* arrays[] = {&d.sensor, &d.wet, &d.dry};
    for (int a = 0; a < 3; ++a)
        std::memcpy(b + kCodesOffset + a * n, arrays[a]->constData(),
                    std::min<qsizetype>(n, arrays[a]->size()));
    return out;
}

bool SaveDiagramFile(const QString& path, const Diagram& d, const QDateTime& savedAt,
                     QString* error) {
    const app::FileResult r = app::writeFileAtomically(path, diagramFileBytes(d, savedAt));
    if (!r.ok() && error)
        *error = app::fileFaultText(r.fault);
    return r.ok();
}

std::optional<Diagram> diagramFromBytes(const QByteArray& bytes, QString* error) {
    auto fail = [error](const char* what) {
        if (error)
            *error = QString::fromUtf8(what);
        return std::nullopt;
    };
    if (bytes.size() < kCodesOffset)
        return fail("не файл диаграммы: короче заголовка");
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    if (qFromLittleEndian<qint32>(b) != kCodesOffset)
        return fail("не файл диаграммы: неверное смещение кодов");
    const qint32 n = qFromLittleEndian<qint32>(b + 4);
    if (n < 1 || n > kMaxSegments)
        return fail("не файл диаграммы: число сегментов вне 1..1280");
    if (bytes.size() != kCodesOffset + 3 * qint64(n))
        return fail("не файл диаграммы: длина не совпадает с числом сегментов");
    Diagram d;
    d.segments = n;
    d.codesPerBlock = b[kBlockAt];
    if (d.codesPerBlock != 16 && d.codesPerBlock != 32)
        return fail("не файл диаграммы: размер блока не 16 и не 32");
    d.segmentType = d.codesPerBlock == 32 ? 0 : 1;
    d.sensorAddress = b[kAddressAt];
    std::memcpy(d.fuelLevel.data(), b + kFuelAt, kLevelBytes);
    std::memcpy(d.waterLevel.data(), b + kWaterAt, kLevelBytes);
    std::memcpy(d.parameters.data(), b + kParametersAt, kParameterBytes);
    d.parametersRead = true;
    d.savedAt = qFromLittleEndian<double>(b + kDateAt);
    d.sensor = bytes.mid(kCodesOffset, n);
    d.wet = bytes.mid(kCodesOffset + n, n);
    d.dry = bytes.mid(kCodesOffset + 2 * n, n);
    return d;
}

std::optional<Diagram> ReadDiagramFile(const QString& path, QString* error) {
    // Nothing longer than the largest diagram is read in.
    const app::FileRead in = app::readRegularFile(path, kCodesOffset + 3 * kMaxSegments);
    if (!in.result.ok()) {
        if (error)
            *error = app::fileFaultText(in.result.fault);
        return std::nullopt;
    }
    return diagramFromBytes(in.bytes, error);
}

} // namespace diagram
