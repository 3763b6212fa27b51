#include "config/MatrixGlyphs.h"

#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace {

using Pixel = std::pair<int, int>; // x, y

// The empty sunken check box every matrix cell starts from.
QImage Template() {
    QImage image(18, 18, QImage::Format_RGB32);
    image.fill(QColor(192, 192, 192));
    auto frame = [&](int left, int top, int right, int bottom, QColor topLeft, QColor bottomRight) {
        for (int x = left; x <= right; ++x)
            image.setPixelColor(x, top, topLeft);
        for (int y = top; y <= bottom; ++y)
            image.setPixelColor(left, y, topLeft);
        for (int x = left; x <= right; ++x)
            image.setPixelColor(x, bottom, bottomRight);
        for (int y = top; y <= bottom; ++y)
            image.setPixelColor(right, y, bottomRight);
    };
    frame(3, 2, 15, 14, QColor(128, 128, 128), Qt::white);
    frame(4, 3, 14, 13, Qt::black, QColor(224, 224, 224));
    for (int y = 4; y <= 12; ++y)
        for (int x = 5; x <= 13; ++x)
            image.setPixelColor(x, y, Qt::white);
    return image;
}

std::set<Pixel> Changed(const QImage& before, const QImage& after) {
    std::set<Pixel> changed;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) changed.insert({x, y});
    return changed;
}

std::set<Pixel> TickPixels() {
    std::set<Pixel> tick;
    for (int i = 0; i < 3; ++i)
        for (const Pixel& p : {Pixel{6, 7}, Pixel{7, 8}, Pixel{8, 9}, Pixel{9, 8}, Pixel{10, 7},
                               Pixel{11, 6}, Pixel{12, 5}})
            tick.insert({p.first, p.second + i});
    return tick;
}

std::set<Pixel> Rect(int left, int top, int right, int bottom) {
    std::set<Pixel> r;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            r.insert({x, y});
    return r;
}

TEST(MatrixGlyphs, TickIsThreeStrokesWithoutEndPoints) {
    const QImage empty = Template();
    for (const QColor colour : {QColor(Qt::black), QColor(Qt::red)}) {
        QImage cell = empty;
        config::DrawTick(cell, colour);
        const auto changed = Changed(empty, cell);
        EXPECT_EQ(changed, TickPixels());
        for (const Pixel& p : changed)
            EXPECT_EQ(cell.pixelColor(p.first, p.second), colour);
        EXPECT_EQ(cell.pixelColor(13, 4), Qt::white);
        EXPECT_EQ(cell.pixelColor(8, 12), Qt::white);
    }
}

TEST(MatrixGlyphs, EraseRestoresTheWhiteBox) {
    const QImage empty = Template();
    QImage cell = empty;
    config::DrawTick(cell, Qt::red);
    config::EraseTick(cell);
    EXPECT_EQ(cell, empty);
}

TEST(MatrixGlyphs, UnusedBoxFillsTheInteriorAndStaysButtonFace) {
    const QImage empty = Template();
    const QColor face(212, 208, 200);
    QImage cell = empty;
    config::DrawUnusedBox(cell, face);
    const auto changed = Changed(empty, cell);
    EXPECT_EQ(changed, Rect(5, 4, 14, 13));
    for (const Pixel& p : changed)
        EXPECT_EQ(cell.pixelColor(p.first, p.second), face);
    EXPECT_EQ(cell.pixelColor(4, 3), Qt::black);
    EXPECT_EQ(cell.pixelColor(14, 13), QColor(224, 224, 224));

    // Later erasing paints with the button face, not white.
    const QImage unused = cell;
    config::DrawTick(cell, Qt::black);
    config::EraseTick(cell);
    EXPECT_EQ(cell, unused);
}

TEST(MatrixGlyphs, EraseCoversOnlyItsRectangle) {
    QImage cell(18, 18, QImage::Format_RGB32);
    cell.fill(Qt::green);
    cell.setPixelColor(5, 4, Qt::white);
    const QImage before = cell;
    config::EraseTick(cell);
    EXPECT_EQ(Changed(before, cell), Rect(6, 4, 13, 12));
}

TEST(MatrixGlyphs, DefaultButtonFaceComesFromThePalette) {
    QImage cell = Template();
    config::DrawUnusedBox(cell);
    EXPECT_EQ(cell.pixelColor(9, 8).rgb(), config::ButtonFaceColour().rgb());
}

TEST(MatrixGlyphs, SmallImagesAreNotWrittenPast) {
    QImage tiny(4, 4, QImage::Format_RGB32);
    tiny.fill(Qt::white);
    config::DrawTick(tiny, Qt::black);
    config::DrawUnusedBox(tiny);
    config::EraseTick(tiny);
    QImage none;
    config::DrawTick(none, Qt::black);
    config::EraseTick(none);
    EXPECT_TRUE(none.isNull());
}

} // namespace
