#include "polllog/Decimation.h"

#include <cmath>
#include <optional>

namespace polllog {
namespace {

// The gaps a chart can show: a stretch without values whose neighbours are
// less than two columns apart (a hole of a pixel at most) is joined over;
// an intermittent sensor, silent at every third poll, would otherwise break
// its curve into thousands of pieces nobody can see, each a series of the
// chart. A wider gap, and one at either end, stays as it is.
std::vector<Point> visibleGaps(const std::vector<Point>& points, double perColumn) {
    std::vector<Point> out;
    out.reserve(points.size());
    // Where the stretch without values now running starts in out.
    std::optional<std::size_t> gap;
    for (const Point& p : points) {
        if (std::isnan(p.value)) {
            if (!gap)
                gap = out.size();
            out.push_back(p);
            continue;
        }
        if (gap && *gap > 0 && double(p.timeMs - out[*gap - 1].timeMs) < 2 * perColumn)
            out.resize(*gap);
        gap.reset();
        out.push_back(p);
    }
    return out;
}

} // namespace

std::vector<Point> decimate(const std::vector<Point>& input, qint64 fromMs, qint64 toMs,
                            int columns) {
    if (columns <= 0 || toMs <= fromMs)
        return input;
    const double perColumn = double(toMs - fromMs) / columns;
    const std::vector<Point> points = visibleGaps(input, perColumn);
    if (points.size() <= static_cast<std::size_t>(2 * columns))
        return points;
    std::vector<Point> out;
    out.reserve(static_cast<std::size_t>(4 * columns));
    qint64 column = -1;
    const Point* low = nullptr;
    const Point* high = nullptr;
    auto flush = [&] {
        if (!low)
            return;
        const Point* first = low->timeMs <= high->timeMs ? low : high;
        const Point* second = first == low ? high : low;
        out.push_back(*first);
        if (second != first)
            out.push_back(*second);
        low = high = nullptr;
    };
    for (const Point& p : points) {
        const auto c = static_cast<qint64>(std::floor((p.timeMs - fromMs) / perColumn));
        if (c != column) {
            flush();
            column = c;
        }
        if (std::isnan(p.value)) {
            flush();
            if (out.empty() || !std::isnan(out.back().value))
                out.push_back(p);
            continue;
        }
        if (!low || p.value < low->value)
            low = &p;
        if (!high || p.value > high->value)
            high = &p;
    }
    flush();
    return out;
}

} // namespace polllog
