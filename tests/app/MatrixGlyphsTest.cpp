#include "app/MatrixGlyphs.h"

#include <QRect>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace {

using Pixels = std::set<std::pair<int, int>>; // x, y

// The empty sunken check box every matrix cell starts from.
QImage Template() {
    QImage image(18, 18, QImage::Format_RGB32);
    image.fill(QColor(192, 192, 192));
    auto frame = [&](int l, int t, int r, int b, QColor topLeft, QColor bottomRight) {
        for (int i = 0; i <= r - l; ++i) {
            image.setPixelColor(l + i, t, topLeft);
            image.setPixelColor(l, t + i, topLeft);
        }
        for (int i = 0; i <= r - l; ++i) {
            image.setPixelColor(l + i, b, bottomRight);
            image.setPixelColor(r, t + i, bottomRight);
        }
    };
    frame(3, 2, 15, 14, QColor(128, 128, 128), Qt::white);
    frame(4, 3, 14, 13, Qt::black, QColor(224, 224, 224));
    for (int y = 4; y <= 12; ++y)
        for (int x = 5; x <= 13; ++x)
            image.setPixelColor(x, y, Qt::white);
    return image;
}

// Changed pixels, each required to have the given colour.
Pixels Changed(const QImage& before, const QImage& after, QColor colour) {
    Pixels changed;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) {
                changed.insert({x, y});
                EXPECT_EQ(after.pixelColor(x, y), colour) << x << "," << y;
            }
    return changed;
}

Pixels Rect(int left, int top, int right, int bottom) {
    Pixels r;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            r.insert({x, y});
    return r;
}

TEST(MatrixGlyphs, TickThenErase) {
    Pixels tick;
    for (int i = 0; i < 3; ++i)
        for (const auto& [x, y] : Pixels{{6, 7}, {7, 8}, {8, 9}, {9, 8}, {10, 7}, {11, 6}, {12, 5}})
            tick.insert({x, y + i});
    const QImage empty = Template();
    QImage cell = empty;
    config::DrawTick(cell, Qt::red);
    EXPECT_EQ(Changed(empty, cell, Qt::red), tick);
    config::EraseTick(cell);
    EXPECT_EQ(cell, empty);
}

TEST(MatrixGlyphs, UnusedBoxFillsTheInteriorAndLaterErasesStayButtonFace) {
    const QImage empty = Template();
    const QColor face(212, 208, 200);
    QImage cell = empty;
    config::DrawUnusedBox(cell, face);
    EXPECT_EQ(Changed(empty, cell, face), Rect(5, 4, 14, 13));
    const QImage unused = cell;
    config::DrawTick(cell, Qt::black);
    config::EraseTick(cell);
    EXPECT_EQ(cell, unused);

    QImage green(18, 18, QImage::Format_RGB32);
    green.fill(Qt::green);
    green.setPixelColor(5, 4, Qt::white);
    const QImage before = green;
    config::EraseTick(green);
    EXPECT_EQ(Changed(before, green, Qt::white), Rect(6, 4, 13, 12));
}

TEST(MatrixGlyphs, AtTwiceTheDensityTheBoxKeepsItsEdgesAndTheTickIsDrawnAnew) {
    const QImage empty = Template();
    EXPECT_EQ(config::RenderCell(empty, 1.0), empty);
    QImage cell = empty;
    config::DrawTick(cell, Qt::red);
    QImage partial = cell;
    partial.setPixelColor(9, 9, Qt::white);

    const QRect tickArea(6, 4, 7, 8); // where EraseTick clears
    for (const QImage* source : {&cell, &partial}) {
        const QImage shown = config::RenderCell(*source, 2.0);
        ASSERT_EQ(shown.size(), QSize(36, 36));
        EXPECT_EQ(shown.devicePixelRatio(), 2.0);
        int finer = 0;
        double ink = 0;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 18; ++x) {
                const QRgb block[] = {shown.pixel(2 * x, 2 * y), shown.pixel(2 * x + 1, 2 * y),
                                      shown.pixel(2 * x, 2 * y + 1),
                                      shown.pixel(2 * x + 1, 2 * y + 1)};
                const bool whole = std::all_of(std::begin(block), std::end(block),
                                               [&](QRgb c) { return c == source->pixel(x, y); });
                if (!tickArea.contains(x, y) || source == &partial) {
                    EXPECT_TRUE(whole) << x << "," << y;
                    continue;
                }
                finer += !whole;
                for (QRgb c : block)
                    ink += (255 - qGreen(c)) / 255.0 / 4; // red on white
            }
        if (source == &cell) {
            EXPECT_GT(finer, 0) << "the tick's edges are finer than the cell's pixels";
            EXPECT_NEAR(ink, 21, 2) << "as much red as the tick's 21 pixels";
        }
    }
}

} // namespace
