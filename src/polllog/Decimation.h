#pragma once

#include "polllog/PollLog.h"

#include <vector>

namespace polllog {

// Thins a series for drawing: per pixel column of the range from..to its
// lowest and highest point, in time order, so the curve looks the same
// with a few points per column. A gap a chart of that many columns can
// show stays a gap (one NaN point); one of a pixel at most is joined over.
std::vector<Point> decimate(const std::vector<Point>& points, qint64 fromMs, qint64 toMs,
                            int columns);

} // namespace polllog
