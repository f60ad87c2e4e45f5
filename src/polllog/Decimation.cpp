#include "polllog/Decimation.h"

#include <cmath>

namespace polllog {

std::vector<Point> decimate(const std::vector<Point>& points, qint64 fromMs, qint64 toMs,
                            int columns) {
    if (columns <= 0 || toMs <= fromMs || points.size() <= static_cast<std::size_t>(2 * columns))
        return points;
    std::vector<Point> out;
    out.reserve(static_cast<std::size_t>(4 * columns));
    const double perColumn = double(toMs - fromMs) / columns;
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
