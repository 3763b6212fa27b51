#pragma once

#include <QIcon>
#include <QImage>

namespace app {

// The 18 × 18 picture of an empty sunken check box that every matrix image copies.
QImage MakeMatrixTemplate();

enum class Glyph { Lesen, Hilfe, Beenden, Oeffnen, Speichern, Schreiben, Drucken };

// A 16 × 16 button glyph with its disabled look (embossed grey) as the
// icon's Disabled mode.
QIcon ButtonGlyph(Glyph glyph);
QImage GlyphImage(Glyph glyph);
QImage DisabledLook(const QImage& glyph);

// The program icon, 16 and 32 pixels, drawn from the same picture.
QIcon ProgramIcon();
QImage ProgramIconImage(int size);

} // namespace app
