#pragma once

#include "diagram/Diagram.h"

#include <QImage>
#include <QSize>

// The diagram's four layers as pictures: the scale at the bottom, then the
// sensor, dry and wet codes. Code layers are filled with the key colour
// cyan, which shows the layers below.
namespace diagram {

inline constexpr int kVisibleWidth = 836;
inline constexpr int kVisibleHeight = 209;
inline constexpr int kBottomMargin = 20;
inline constexpr QRgb kKeyColour = 0xFF00FFFF; // cyan

// Layers are as wide as the view, or the probe with 16 pixels each side.
int layerWidthFor(int segments);

struct Geometry {
    int segments = 0;
    int width = 0;
    int height = 0;
    int pixelsPerSegment = 1;
    int x0 = 0; // left end of the probe
    int x1 = 0; // right end
    int baseY = 0;
    double codeScale = 0;
    // The x of segment k's left edge.
    int x(int k) const { return x0 + k * pixelsPerSegment; }
};
Geometry geometryFor(int segments, QSize layer);

QImage DrawDiagramGrid(const Geometry& g, int segmentType, int codesPerBlock);
QImage DrawCodeLayer(CodeKind kind, const QByteArray& codes, const Geometry& g);
// The key colour made transparent, as the layer is shown.
QImage keyedOut(const QImage& layer);
// Grid and the three code layers as one picture.
QImage composed(const Diagram& d);

// Where a dragged wide diagram may put its left edge.
struct DragBounds {
    int lowest;  // the view's width less the layer's
    int highest; // where it started
};
int draggedLeft(int pointerX, int startX, int left, const DragBounds& bounds);

} // namespace diagram
