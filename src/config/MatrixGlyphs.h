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

} // namespace config
