#pragma once

#include "diagram/Diagram.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The "dgr" file: a 64-byte header (little-endian) and the sensor, wet and
// dry codes, n bytes each.
namespace diagram {

inline constexpr int kCodesOffset = 64;

// "0318120514093000.dgr": the sensor number in hex, then yymmddhhnnss.
QString proposedFileName(std::uint8_t sensorAddress, const QDateTime& now);
// Days since 30 December 1899, the fraction the time of day.
double oleDate(const QDateTime& t);
QDateTime fromOleDate(double days);

QByteArray diagramFileBytes(const Diagram& d, const QDateTime& savedAt);
// Written beside and renamed over, so a failure leaves the old file whole.
// False with error set when it could not be written.
bool SaveDiagramFile(const QString& path, const Diagram& d, const QDateTime& savedAt,
                     QString* error);

// The diagram a file holds; nothing, with error set, for a file that is no
// diagram (too short, a wrong offset, a count past 1280, a block size other
// than 16 or 32).
std::optional<Diagram> diagramFromBytes(const QByteArray& bytes, QString* error);
std::optional<Diagram> ReadDiagramFile(const QString& path, QString* error);

} // namespace diagram
