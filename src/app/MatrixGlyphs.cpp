#include "app/MatrixGlyphs.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPolygonF>
#include <optional>

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

// The tick's strokes, pixel by pixel: column, first of its three rows.
constexpr std::pair<int, int> TickColumns[] = {{6, 7},  {7, 8},  {8, 9}, {9, 8},
                                               {10, 7}, {11, 6}, {12, 5}};

// The colour of a tick drawn by DrawTick, if the cell holds one whole.
std::optional<QColor> TickColour(const QImage& cell) {
    if (!cell.valid(BrushProbeX, BrushProbeY) || !cell.valid(13, 12))
        return std::nullopt;
    const QRgb colour = cell.pixel(TickColumns[0].first, TickColumns[0].second);
    if (colour == cell.pixel(BrushProbeX, BrushProbeY))
        return std::nullopt;
    for (const auto& [x, top] : TickColumns)
        for (int y = top; y < top + 3; ++y)
            if (cell.pixel(x, y) != colour)
                return std::nullopt;
    return QColor::fromRgba(colour);
}

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

QImage RenderCell(const QImage& cell, qreal devicePixelRatio) {
    if (devicePixelRatio <= 1.0 || cell.isNull())
        return cell;
    QImage shown((QSizeF(cell.size()) * devicePixelRatio).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    shown.setDevicePixelRatio(devicePixelRatio);
    shown.fill(Qt::transparent);
    QPainter p(&shown);
    // Without smooth scaling every pixel becomes a sharp block.
    p.drawImage(QRectF(QPointF(0, 0), QSizeF(cell.size())), cell);
    if (const std::optional<QColor> tick = TickColour(cell)) {
        p.fillRect(QRectF(6, 4, 7, 8), cell.pixelColor(BrushProbeX, BrushProbeY));
        // The strokes' outline: three pixels high all along, from column 6 to 13.
        const QPolygonF mark{{6, 6.5}, {8.5, 9}, {13, 4.5}, {13, 7.5}, {8.5, 12}, {6, 9.5}};
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(*tick);
        p.drawPolygon(mark);
    }
    return shown;
}

} // namespace config
