#include "diagram/DiagramDrawing.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace diagram {
namespace {

const QColor kGridColour(160, 160, 164);
constexpr int kTopLine = 8;
constexpr int kTickBelow = 6;
constexpr int kTickSegments = 8;
constexpr int kCodeUnitsPerLine = 20;
constexpr int kWideMargin = 32;

QImage freshLayer(const Geometry& g) {
    QImage image(std::max(g.width, 1), std::max(g.height, 1), QImage::Format_RGB32);
    image.fill(kKeyColour);
    return image;
}

QColor colourOf(CodeKind kind) {
    switch (kind) {
    case CodeKind::Dry:
        return Qt::red;
    case CodeKind::Wet:
        return QColor(0, 128, 0);
    default:
        return QColor(0, 0, 255);
    }
}

QPen pen(Qt::PenStyle style, const QColor& colour = kGridColour) {
    QPen p(colour);
    p.setStyle(style);
    p.setWidth(0);
    return p;
}

} // namespace

int layerWidthFor(int segments) {
    return segments > kVisibleWidth ? segments + kWideMargin : kVisibleWidth;
}

Geometry geometryFor(int segments, QSize layer) {
    Geometry g;
    g.segments = segments;
    g.width = layer.width();
    g.height = layer.height();
    g.baseY = g.height - kBottomMargin;
    g.codeScale = (g.height - kBottomMargin) / 256.0;
    if (segments <= 0)
        return g;
    g.pixelsPerSegment = segments < g.width ? g.width / segments : 1;
    g.x0 = (g.width - segments * g.pixelsPerSegment) / 2;
    g.x1 = g.x0 + segments * g.pixelsPerSegment;
    return g;
}

QImage DrawDiagramGrid(const Geometry& g, int segmentType, int codesPerBlock) {
    QImage image = freshLayer(g);
    const int n = g.segments;
    if (n == 0)
        return image;
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int y = g.baseY;
    const int pps = g.pixelsPerSegment;
    p.setPen(pen(Qt::SolidLine));
    p.drawLine(g.x0, y, g.x1, y);

    // Ticks every 8 segments from the right end, the bottom of the probe.
    p.setPen(pen(Qt::DotLine));
    const int mmPerTick = segmentType == 0 ? 125 : 250;
    int labels = 0;
    for (int k = 0, x = g.x1; x >= g.x0; ++k, x -= kTickSegments * pps) {
        p.drawLine(x, y + kTickBelow, x, kTopLine);
        if (pps == 1 && k % 4 != 0)
            continue;
        const QString segment = QString::number(n - kTickSegments * k);
        p.drawText(x - metrics.horizontalAdvance(segment) / 2, y + kTickBelow + metrics.ascent(),
                   segment);
        // Every other millimetre label a line lower, so that long ones
        // never run into each other.
        const QString mm = QString::number(k * mmPerTick);
        const int lowered = labels++ % 2 ? metrics.height() - 2 : 0;
        p.drawText(x - metrics.horizontalAdvance(mm) / 2, metrics.ascent() + lowered, mm);
    }
    // Block boundaries.
    p.setPen(pen(Qt::DashLine));
    for (int x = g.x1 - codesPerBlock * pps; x > g.x0; x -= codesPerBlock * pps)
        p.drawLine(x, y, x, kTopLine);
    p.setPen(pen(Qt::SolidLine));
    p.drawLine(g.x0, y + kTickBelow, g.x0, kTopLine);
    // One line per 20 code units.
    p.setPen(pen(Qt::DotLine));
    const int step = static_cast<int>(kCodeUnitsPerLine * g.codeScale);
    for (int ly = y - step; step > 0 && ly > kTopLine; ly -= step)
        p.drawLine(g.x0, ly, g.x1, ly);
    return image;
}

QImage DrawCodeLayer(CodeKind kind, const QByteArray& codes, const Geometry& g) {
    QImage image = freshLayer(g);
    QPainter p(&image);
    p.setPen(pen(Qt::SolidLine, colourOf(kind)));
    const bool gaps = kind != CodeKind::Sensor;
    bool previousDrawn = false;
    int previousY = 0;
    const int n = std::min<int>(g.segments, static_cast<int>(codes.size()));
    for (int k = 0; k < n; ++k) {
        const auto code = static_cast<std::uint8_t>(codes[k]);
        if (gaps && noCode(code)) {
            previousDrawn = false;
            continue;
        }
        const int yk = static_cast<int>(std::trunc(g.baseY - code * g.codeScale));
        const int x = g.x(k);
        if (previousDrawn)
            p.drawLine(x, previousY, x, yk);
        // The step ends where the next one begins.
        p.drawLine(x, yk, x + g.pixelsPerSegment - 1, yk);
        previousDrawn = true;
        previousY = yk;
    }
    return image;
}

QImage keyedOut(const QImage& layer) {
    QImage out = layer.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (line[x] == kKeyColour)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return out;
}

QImage composed(const Diagram& d) {
    const Geometry g = geometryFor(d.segments, QSize(layerWidthFor(d.segments), kVisibleHeight));
    QImage image = DrawDiagramGrid(g, d.segmentType, d.codesPerBlock);
    QPainter p(&image);
    for (CodeKind kind : {CodeKind::Sensor, CodeKind::Dry, CodeKind::Wet})
        p.drawImage(0, 0, keyedOut(DrawCodeLayer(kind, d.codes(kind), g)));
    return image;
}

int draggedLeft(int pointerX, int startX, int left, const DragBounds& bounds) {
    return std::clamp(pointerX + left - startX, bounds.lowest, bounds.highest);
}

} // namespace diagram
