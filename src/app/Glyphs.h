#pragma once

#include <QIcon>
#include <QImage>

namespace app {

// The 18 × 18 picture of an empty sunken check box that every matrix image copies.
QImage MakeMatrixTemplate();

enum class Glyph { Lesen, Hilfe, Beenden, Oeffnen, Speichern, Schreiben, Drucken, Verlauf };

// A 16 × 16 button glyph with its disabled look (embossed grey) as the
// icon's Disabled mode; drawn at twice the size too, for screens of twice the
// pixel density.
QIcon ButtonGlyph(Glyph glyph);
QImage GlyphImage(Glyph glyph, int scale = 1);
// `offset`: how far the highlight lies below right, in pixels of the image.
QImage DisabledLook(const QImage& glyph, int offset = 1);

// The program icon, 16, 32 and 64 pixels, drawn from the same picture.
QIcon ProgramIcon();
QImage ProgramIconImage(int size);

} // namespace app
