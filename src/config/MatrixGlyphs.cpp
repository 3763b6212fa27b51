#include "config/MatrixGlyphs.h"

#include <QGuiApplication>
#include <QPalette>

namespace config {
namespace {

void Plot(QImage& cell, int x, int y, const QColor& colour) {
    if (cell.valid(x, y))
        cell.setPixelColor(x, y, colour);
}

void Fill(QImage& cell, int left, int top, int right, int bottom, const QColor& colour) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            Plot(cell, x, y, colour);
}

// A line of slope +-1 or 0 from a to b, b itself left out.
void Stroke(QImage& cell, int ax, int ay, int bx, int by, const QColor& colour) {
    const int dx = bx > ax ? 1 : (bx < ax ? -1 : 0);
    const int dy = by > ay ? 1 : (by < ay ? -1 : 0);
    for (int x = ax, y = ay; x != bx || y != by; x += dx, y += dy)
        Plot(cell, x, y, colour);
}

// The box's top-left interior pixel lies outside the tick and the erase area, so it
// remembers whether the cell's box is white or button face.
constexpr int BrushProbeX = 5;
constexpr int BrushProbeY = 4;

} // namespace

void DrawTick(QImage& cell, QColor colour) {
    for (int i = 0; i < 3; ++i) {
        Stroke(cell, 6, 7 + i, 8, 9 + i, colour);
        Stroke(cell, 8, 9 + i, 13, 4 + i, colour);
    }
}

void EraseTick(QImage& cell) {
    const QColor brush = cell.valid(BrushProbeX, BrushProbeY)
                             ? cell.pixelColor(BrushProbeX, BrushProbeY)
                             : Qt::white;
    Fill(cell, 6, 4, 13, 12, brush);
}

void DrawUnusedBox(QImage& cell) {
    DrawUnusedBox(cell, ButtonFaceColour());
}

void DrawUnusedBox(QImage& cell, QColor buttonFace) {
    Fill(cell, 5, 4, 14, 13, buttonFace);
}

QColor ButtonFaceColour() {
    return QGuiApplication::palette().color(QPalette::Button);
}

} // namespace config
