#pragma once

#include <QColor>
#include <QImage>

namespace config {

// Glyphs drawn into one matrix cell's own copy of the empty check-box picture.
// Pixels outside the image are skipped.

// Three one-pixel strokes from (6, 7+i) over (8, 9+i) to (13, 4+i), i = 0..2, each
// stroke without its end point.
void DrawTick(QImage& cell, QColor colour);

// Clears the tick area (columns 6..12, rows 4..11) with the cell's box colour:
// white, or the button face once DrawUnusedBox has marked the cell.
void EraseTick(QImage& cell);

// Fills the box interior (columns 5..13, rows 4..12) with the button-face colour.
void DrawUnusedBox(QImage& cell);
void DrawUnusedBox(QImage& cell, QColor buttonFace);

// The palette's button-face colour used by DrawUnusedBox.
QColor ButtonFaceColour();

// The cell as it is shown at a device pixel ratio: each pixel a block of device
// pixels, so the box keeps its straight edges, but a tick drawn by DrawTick drawn
// anew as a smooth check mark at the device's resolution. The image carries the
// ratio; at 1 it is the cell itself.
QImage RenderCell(const QImage& cell, qreal devicePixelRatio);

} // namespace config
