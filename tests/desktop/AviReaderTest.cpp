#include "desktop/AviReader.h"
#include "AviTestClips.h"
#include "desktop/animationcontrol.h"

#include <QFile>
#include <gtest/gtest.h>
#include <set>

using namespace avitest;

namespace {

QByteArray Clip100() {
    QFile f(TAnimationControl::ResourcePath(100));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Bytes(std::initializer_list<int> b) {
    QByteArray out;
    for (int v : b)
        out.append(char(v));
    return out;
}

// Two RLE8 frames of 4 x 3, an audio stream, a "rec " list and a JUNK chunk:
// every kind of chunk the reader walks through.
TSpec SmallRle() {
    TSpec s;
    s.compression = 1;
    s.audioFirst = s.recList = s.junk = true;
    s.frames = {Bytes({4, 1, 0, 0, 4, 2, 0, 0, 0, 4, 7, 8, 9, 10, 0, 1}),
                Bytes({0, 2, 1, 1, 2, 5, 0, 1})};
    return s;
}

std::vector<std::uint8_t> Px(std::initializer_list<int> v) {
    return {v.begin(), v.end()};
}

} // namespace

TEST(AviReader, BuiltInClip100IsA40FrameRle8ClipAt20FramesPerSecond) {
    const QByteArray file = Clip100();
    ASSERT_FALSE(file.isEmpty()) << "resource :/avi/100 is linked in";
    const qsizetype strf = Find(file, "strf").value(0, -1);
    ASSERT_GT(strf, 0);
    EXPECT_EQ(Le32(file, strf + 8 + 16), 1u) << "BI_RLE8";
    EXPECT_EQ(quint8(file[strf + 8 + 14]), 8) << "8 bits a pixel";

    const auto clip = avi::ReadClip(file);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->frameCount(), 40);
    EXPECT_EQ(clip->width, 105);
    EXPECT_EQ(clip->height, 105);
    EXPECT_EQ(clip->framePeriodUs, 50000u);
    EXPECT_GT(std::set<std::uint32_t>(clip->palette.begin(), clip->palette.end()).size(), 128u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_NE(clip->frames[i], clip->frames[(i + 1) % 40]) << "frame " << i << " moves on";
        EXPECT_EQ(clip->frames[i][0], clip->frames[0][0]) << "one background colour throughout";
    }
}

TEST(AviReader, UncompressedRowsInEitherOrderWithPaddedStride) {
    for (int height : {2, -3}) {
        TSpec s;
        s.width = 3;
        s.height = height;
        s.colours = 40;
        const int rows = std::abs(height);
        QByteArray first = RgbFrame(3, rows, 0), second = RgbFrame(3, rows, 100);
        if (height < 0) { // top-down: the builder's rows come bottom-up, so reverse them
            for (QByteArray* f : {&first, &second}) {
                QByteArray r;
                for (int row = rows - 1; row >= 0; --row)
                    r += f->mid(row * 4, 4);
                *f = r;
            }
        }
        s.frames = {first, second};
        const auto clip = avi::ReadClip(Build(s));
        ASSERT_TRUE(clip) << height;
        EXPECT_EQ(clip->height, rows);
        EXPECT_EQ(clip->palette[39], 0xff272727u);
        EXPECT_EQ(clip->palette[40], 0xff000000u) << "colours the file leaves out are black";
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(clip->frames[0][y * 3 + x], x + 10 * y);
                EXPECT_EQ(clip->frames[1][y * 3 + x], 100 + x + 10 * y);
            }
    }
}

TEST(AviReader, Rle8DeltaFramesDrawOverTheFrameBeforeAndOtherStreamsAreSkipped) {
    TSpec s = SmallRle();
    s.frames << QByteArray(); // an empty chunk repeats the frame before
    const auto clip = avi::ReadClip(Build(s));
    ASSERT_TRUE(clip);
    ASSERT_EQ(clip->frameCount(), 3);
    EXPECT_EQ(clip->frames[0], Px({7, 8, 9, 10, 2, 2, 2, 2, 1, 1, 1, 1}));
    EXPECT_EQ(clip->frames[1], Px({7, 8, 9, 10, 2, 5, 5, 2, 1, 1, 1, 1}));
    EXPECT_EQ(clip->frames[2], clip->frames[1]);
}

TEST(AviReader, FramePeriodFallsBackToTheStreamRate) {
    TSpec s = SmallRle();
    s.usPerFrame = 0;
    s.scale = 1;
    s.rate = 25;
    const auto clip = avi::ReadClip(Build(s));
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->framePeriodUs, 40000u);
}

TEST(AviReader, Rle8Streams) {
    struct Case {
        const char* what;
        QByteArray stream;
        bool ok;
        std::vector<std::uint8_t> pixels; // 4 x 3, top row first; checked when ok
    };
    const Case cases[] = {
        {"runs and end marks", Bytes({4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 1, 4, 0, 1}), true,
         Px({4, 9, 9, 9, 2, 2, 3, 3, 1, 1, 1, 1})},
        {"odd literal is padded", Bytes({0, 3, 5, 6, 7, 0, 1, 8, 0, 1}), true,
         Px({9, 9, 9, 9, 9, 9, 9, 9, 5, 6, 7, 8})},
        {"delta leaves pixels", Bytes({0, 2, 1, 2, 1, 3}), true,
         Px({9, 3, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9})},
        {"end of bitmap may be missing", Bytes({4, 1}), true,
         Px({9, 9, 9, 9, 9, 9, 9, 9, 1, 1, 1, 1})},
        {"run past the row", Bytes({5, 1, 0, 1}), false, {}},
        {"run after a partial row", Bytes({3, 1, 2, 1}), false, {}},
        {"literal past the row", Bytes({2, 1, 0, 3, 1, 2, 3, 0}), false, {}},
        {"literal cut short", Bytes({0, 4, 1, 2}), false, {}},
        {"delta past the frame", Bytes({0, 2, 0, 4}), false, {}},
        {"delta past the row", Bytes({0, 2, 5, 0}), false, {}},
        {"delta cut short", Bytes({0, 2, 1}), false, {}},
        {"rows past the top", Bytes({0, 0, 0, 0, 0, 0, 1, 1}), false, {}},
        {"end of line past the top", Bytes({0, 0, 0, 0, 0, 0, 0, 0}), false, {}},
        {"stray byte", Bytes({4, 1, 0}), false, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> pixels(12, 9);
        const bool ok = avi::DecodeRle8(reinterpret_cast<const std::uint8_t*>(c.stream.data()),
                                        std::size_t(c.stream.size()), 4, 3, pixels);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (c.ok && ok) {
            EXPECT_EQ(pixels, c.pixels) << c.what;
        }
    }
}

TEST(AviReader, InconsistentOrAbsurdHeadersGiveNoClip) {
    struct Case {
        const char* what;
        void (*change)(TSpec&);
    };
    const Case cases[] = {
        {"zero width", [](TSpec& s) { s.width = 0; }},
        {"zero height", [](TSpec& s) { s.height = 0; }},
        {"negative width", [](TSpec& s) { s.width = -4; }},
        {"huge width", [](TSpec& s) { s.width = 100000; }},
        {"huge height", [](TSpec& s) { s.height = 100000; }},
        {"top-down RLE8", [](TSpec& s) { s.height = -3; }},
        {"24 bits a pixel", [](TSpec& s) { s.bitCount = 24; }},
        {"RLE4", [](TSpec& s) { s.compression = 2; }},
        {"257 colours", [](TSpec& s) { s.colours = 257; }},
        {"a million frames announced", [](TSpec& s) { s.length = 1000000; }},
        {"no frames announced", [](TSpec& s) { s.length = 0; }},
        {"no frames", [](TSpec& s) { s.frames.clear(); }},
        {"no frame period",
         [](TSpec& s) {
             s.usPerFrame = 0;
             s.rate = 0;
         }},
        {"frame period of hours", [](TSpec& s) { s.usPerFrame = 0xF0000000u; }},
        {"RLE8 frame overruns",
         [](TSpec& s) {
             s.frames[1] = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 2});
         }},
        {"uncompressed frame too short",
         [](TSpec& s) {
             s.compression = 0;
             s.frames = {RgbFrame(4, 3, 0).left(11)};
         }},
        {"decoded frames beyond the memory limit",
         [](TSpec& s) {
             s.width = s.height = avi::kMaxSide;
             s.frames = QList<QByteArray>(20, QByteArray()); // each repeats: 20 x 4 MiB
         }},
    };
    ASSERT_TRUE(avi::ReadClip(Build(SmallRle()))) << "the unchanged clip reads";
    for (const Case& c : cases) {
        TSpec s = SmallRle();
        c.change(s);
        EXPECT_FALSE(avi::ReadClip(Build(s))) << c.what;
    }
}

TEST(AviReader, TruncatedFilesGiveNoClip) {
    const QByteArray small = Build(SmallRle());
    for (qsizetype n = 0; n < small.size(); ++n)
        EXPECT_FALSE(avi::ReadClip(small.left(n))) << "cut at " << n;
    const QByteArray big = Clip100();
    ASSERT_FALSE(big.isEmpty());
    for (qsizetype n = 0; n < big.size(); n += big.size() / 97 + 1)
        EXPECT_FALSE(avi::ReadClip(big.left(n))) << "cut at " << n;
    EXPECT_FALSE(avi::ReadClip(big.left(big.size() - 1)));
}

TEST(AviReader, ChunkSizesThatReachPastTheirParentGiveNoClip) {
    const QByteArray good = Build(SmallRle());
    int checked = 0;
    for (const char* id :
         {"RIFF", "LIST", "avih", "strh", "strf", "JUNK", "00wb", "01dc", "idx1"}) {
        for (qsizetype at : Find(good, id)) {
            for (quint32 size : {quint32(good.size()), 0x80000000u, 0xFFFFFFFFu}) {
                QByteArray bad = good;
                SetLe32(bad, at + 4, size);
                EXPECT_FALSE(avi::ReadClip(bad)) << id << " at " << at << " claims " << size;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 40);

    // A movie list that claims less than it holds loses its last frame.
    QByteArray shorter = good;
    const qsizetype movi = Find(good, "movi").value(0) - 8;
    const qsizetype rec = Find(good, "rec ").value(0) - 8;
    const quint32 lastFrame = 8 + Le32(good, Find(good, "01dc").last() + 4);
    SetLe32(shorter, movi + 4, Le32(good, movi + 4) - lastFrame);
    SetLe32(shorter, rec + 4, Le32(good, rec + 4) - lastFrame);
    EXPECT_FALSE(avi::ReadClip(shorter));
}

TEST(AviReader, MissingFileGivesNoClip) {
    EXPECT_FALSE(avi::ReadClipFile(QStringLiteral("/nonexistent/clip.avi")));
    EXPECT_FALSE(avi::ReadClipFile(TAnimationControl::ResourcePath(101)));
}
