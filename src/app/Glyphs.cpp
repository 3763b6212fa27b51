#include "app/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <algorithm>

namespace app {

QImage MakeMatrixTemplate() {
    QImage img(18, 18, QImage::Format_RGB32);
    img.fill(QColor(192, 192, 192));
    const QRgb dark = qRgb(128, 128, 128), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0),
               light = qRgb(224, 224, 224);
    constexpr int left = 3, top = 2, last = 12; // 13 × 13 square
    for (int i = 0; i <= last; ++i) {
        // Outer edge; the white bottom/right lines own the two far corners.
        img.setPixel(left + i, top, i == last ? white : dark);
        img.setPixel(left, top + i, i == last ? white : dark);
        img.setPixel(left + i, top + last, white);
        img.setPixel(left + last, top + i, white);
    }
    for (int i = 1; i < last; ++i) {
        img.setPixel(left + i, top + 1, i == last - 1 ? light : black);
        img.setPixel(left + 1, top + i, i == last - 1 ? light : black);
        img.setPixel(left + i, top + last - 1, light);
        img.setPixel(left + last - 1, top + i, light);
    }
    for (int y = 4; y <= 12; ++y)
        for (int x = 5; x <= 13; ++x)
            img.setPixel(x, y, white);
    return img;
}

namespace {

void DrawGlyph(QPainter& p, Glyph glyph) {
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor navy(0, 0, 128), dkgreen(0, 128, 0), red(192, 0, 0), black(0, 0, 0),
        yellow(255, 255, 0), grey(128, 128, 128), white(255, 255, 255), teal(0, 128, 128);
    switch (glyph) {
    case Glyph::Lesen: // a block with an arrow coming out of it
        p.fillRect(1, 3, 8, 10, grey);
        p.fillRect(2, 4, 6, 8, white);
        p.setPen(black);
        for (int y = 5; y <= 10; y += 2)
            p.drawLine(3, y, 6, y);
        p.fillRect(9, 7, 4, 2, dkgreen);
        p.setPen(Qt::NoPen);
        p.setBrush(dkgreen);
        p.drawPolygon(QPolygon({{12, 4}, {16, 8}, {12, 12}}));
        break;
    case Glyph::Hilfe: // a question mark in a bubble
        p.setPen(navy);
        p.setBrush(yellow);
        p.drawEllipse(1, 1, 13, 13);
        p.setPen(QPen(navy, 2));
        p.drawArc(5, 3, 6, 6, 0, 180 * 16);
        p.drawLine(11, 6, 8, 9);
        p.drawLine(8, 9, 8, 10);
        p.fillRect(7, 12, 2, 2, navy);
        break;
    case Glyph::Beenden: // an open door
        p.fillRect(3, 1, 9, 14, grey);
        p.fillRect(4, 2, 7, 12, teal);
        p.fillRect(9, 7, 2, 2, yellow);
        p.setPen(red);
        p.drawLine(12, 8, 15, 8);
        p.drawLine(13, 6, 15, 8);
        p.drawLine(13, 10, 15, 8);
        break;
    case Glyph::Oeffnen: // a folder
        p.fillRect(1, 4, 6, 2, QColor(128, 128, 0));
        p.fillRect(1, 5, 13, 9, QColor(128, 128, 0));
        p.fillRect(2, 6, 11, 7, yellow);
        p.setPen(black);
        p.drawRect(1, 5, 12, 8);
        break;
    case Glyph::Speichern: // a diskette
        p.fillRect(1, 1, 14, 14, navy);
        p.fillRect(4, 2, 8, 5, white);
        p.fillRect(4, 10, 8, 5, grey);
        p.fillRect(9, 11, 2, 3, navy);
        break;
    case Glyph::Schreiben: // an arrow going into a block
        p.fillRect(7, 3, 8, 10, grey);
        p.fillRect(8, 4, 6, 8, white);
        p.setPen(black);
        for (int y = 5; y <= 10; y += 2)
            p.drawLine(9, y, 12, y);
        p.fillRect(0, 7, 4, 2, red);
        p.setPen(Qt::NoPen);
        p.setBrush(red);
        p.drawPolygon(QPolygon({{3, 4}, {7, 8}, {3, 12}}));
        break;
    case Glyph::Drucken: // a printer with a sheet
        p.fillRect(4, 1, 8, 6, white);
        p.setPen(black);
        p.drawRect(4, 1, 7, 6);
        p.fillRect(1, 7, 14, 6, grey);
        p.drawRect(1, 7, 13, 5);
        p.fillRect(4, 12, 8, 3, white);
        p.drawRect(4, 12, 7, 2);
        p.fillRect(12, 9, 2, 1, QColor(0, 255, 0));
        break;
    case Glyph::Verlauf: // a clock over a stack of sheets
        p.setPen(black);
        p.fillRect(5, 9, 10, 6, white);
        p.drawRect(5, 9, 9, 5);
        p.drawLine(7, 15, 15, 15);
        p.drawLine(15, 11, 15, 15);
        p.setBrush(white);
        p.drawEllipse(1, 1, 10, 10);
        p.setPen(navy);
        p.drawLine(6, 3, 6, 6);
        p.drawLine(6, 6, 9, 6);
        break;
    }
}

} // namespace

QImage GlyphImage(Glyph glyph, int scale) {
    QImage img(16 * scale, 16 * scale, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(scale, scale);
    DrawGlyph(p, glyph);
    return img;
}

QImage DisabledLook(const QImage& glyph, int offset) {
    // Every dark pixel becomes grey with a white highlight below right, as
    // disabled buttons have always looked on this kind of desktop.
    QImage out(glyph.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const QRgb white = qRgb(255, 255, 255), shadow = qRgb(128, 128, 128);
    auto dark = [&](int x, int y) {
        const QRgb c = glyph.pixel(x, y);
        return qAlpha(c) > 127 && qGray(c) < 192;
    };
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x)
            if (dark(x, y) && x + offset < out.width() && y + offset < out.height())
                out.setPixel(x + offset, y + offset, white);
    for (int y = 0; y < glyph.height(); ++y)
        for (int x = 0; x < glyph.width(); ++x)
            if (dark(x, y))
                out.setPixel(x, y, shadow);
    return out;
}

QIcon ButtonGlyph(Glyph glyph) {
    QIcon icon;
    for (const int scale : {1, 2}) {
        const QImage img = GlyphImage(glyph, scale);
        icon.addPixmap(QPixmap::fromImage(img), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(DisabledLook(img, scale)), QIcon::Disabled);
    }
    return icon;
}

QImage ProgramIconImage(int size) {
    // A telephone exchange: a grey cabinet with a row of port lights and a handset,
    // drawn on a 32-pixel grid; larger sizes draw it anew, smaller ones shrink it.
    const int drawn = std::max(size, 32);
    QImage img(drawn, drawn, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(drawn / 32.0, drawn / 32.0);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(2, 12, 28, 18, QColor(128, 128, 128));
    p.fillRect(3, 13, 26, 16, QColor(192, 192, 192));
    p.setPen(Qt::black);
    p.drawRect(2, 12, 27, 17);
    for (int i = 0; i < 8; ++i)
        p.fillRect(5 + i * 3, 24, 2, 3, i % 3 == 0 ? QColor(0, 255, 0) : QColor(0, 128, 0));
    p.fillRect(5, 15, 22, 6, QColor(0, 0, 128));
    p.setPen(QPen(QColor(255, 0, 0), 4, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(6, 2, 20, 16, 20 * 16, 140 * 16);
    p.fillRect(5, 6, 6, 4, QColor(255, 0, 0));
    p.fillRect(21, 6, 6, 4, QColor(255, 0, 0));
    p.end();
    return size >= 32 ? img
                      : img.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 32, 64})
        icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
    return icon;
}

} // namespace app
