#pragma once

#include <QImage>
#include <QStringList>

namespace caltable {

inline constexpr int kPreviewSize = 335;

// The tank's section against level, 335 x 335; scale is set to pixels per row.
QImage DrawTablePreview(const QStringList& lines, int zeroLine, double& scale);
// The level in cm under the pointer at y, or -1 without a preview.
int levelAt(int y, double scale);

} // namespace caltable
