#include "desktop/animationcontrol.h"
#include "AviTestClips.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace avitest;

namespace {

// Three uncompressed 7 x 5 frames: tells a file apart from clip 100 by its size.
QByteArray SmallClip() {
    TSpec s;
    s.width = 7;
    s.height = 5;
    s.frames = {RgbFrame(7, 5, 10), RgbFrame(7, 5, 60), RgbFrame(7, 5, 110)};
    return Build(s);
}

struct AnimationFixture : ::testing::Test {
    QTemporaryDir dir;
    QString oldCwd = QDir::currentPath();
    QWidget page;
    TAnimationControl* anim = new TAnimationControl(&page);

    void SetUp() override {
        page.resize(300, 300);
        anim->setGeometry(10, 10, 200, 200);
        QDir::setCurrent(dir.path()); // relative clip names resolve here
    }
    void TearDown() override { QDir::setCurrent(oldCwd); }
    // Waits for the clip to reach a later frame (no bound on how fast it gets there).
    bool Advances() {
        const int start = anim->CurrentFrame();
        return QTest::qWaitFor([&] { return anim->CurrentFrame() != start; }, 10000);
    }
};

} // namespace

TEST_F(AnimationFixture, DefaultsAndClip100) {
    EXPECT_TRUE(anim->Center());
    EXPECT_TRUE(anim->Transparent());
    EXPECT_FALSE(anim->Autoplay());
    EXPECT_TRUE(anim->AviFileName().isEmpty());
    EXPECT_FALSE(anim->IsOpen());

    anim->SetAviFileName("100");
    EXPECT_TRUE(anim->IsOpen());
    EXPECT_EQ(anim->FrameCount(), 40);
    EXPECT_EQ(anim->ClipSize(), QSize(105, 105));
    EXPECT_EQ(anim->CurrentFrame(), 0);
    EXPECT_FALSE(anim->IsPlaying()) << "without Autoplay the clip stands still";
}

TEST_F(AnimationFixture, OnlyThePlainNumberNamesABuiltInClip) {
    for (const char* name : {"0100", "+100", " 100"}) {
        SCOPED_TRACE(name);
        anim->SetAviFileName(name);
        EXPECT_EQ(anim->AviFileName(), name);
        EXPECT_FALSE(anim->IsOpen()) << "no such file";
        Put(dir.path(), name, SmallClip());
        anim->SetAviFileName(name);
        EXPECT_TRUE(anim->IsOpen());
        EXPECT_EQ(anim->ClipSize(), QSize(7, 5)) << "the file, not clip 100";
        QFile::remove(dir.filePath(name));
    }
    // A number beyond 16 bits or below 1 names no built-in clip, even with such a file.
    for (const char* name : {"-5", "70000"}) {
        Put(dir.path(), name, SmallClip());
        anim->SetAviFileName("100");
        anim->SetAviFileName(name);
        EXPECT_FALSE(anim->IsOpen()) << name;
    }
    EXPECT_FALSE(anim->OpenClipById(101)) << "no clip 101 is built in";
    EXPECT_TRUE(anim->OpenClipByName(Put(dir.path(), "x.avi", SmallClip())));
}

TEST_F(AnimationFixture, ZeroOpensNothingButShowsFrameZeroAndEmptyChangesNothing) {
    anim->SetAviFileName("100");
    ASSERT_TRUE(anim->PlayClip(-1, 5, 0xFFFF));
    EXPECT_EQ(anim->CurrentFrame(), 5);
    anim->SetAviFileName("");
    EXPECT_EQ(anim->AviFileName(), "100");
    EXPECT_TRUE(anim->IsPlaying());

    anim->SetAviFileName("0");
    EXPECT_EQ(anim->AviFileName(), "0");
    EXPECT_EQ(anim->FrameCount(), 40) << "the clip before stays";
    EXPECT_FALSE(anim->IsPlaying()) << "the frame-0 request stops it";
    EXPECT_EQ(anim->CurrentFrame(), 0);

    TAnimationControl fresh;
    fresh.SetAviFileName("0");
    EXPECT_EQ(fresh.AviFileName(), "0");
    EXPECT_FALSE(fresh.IsOpen());
}

TEST_F(AnimationFixture, AutoplayReopensAndPlaysForeverOffStandsStill) {
    anim->SetAviFileName("100");
    anim->ShowFrame(7);
    anim->SetAutoplay(true);
    EXPECT_TRUE(anim->IsPlaying());
    EXPECT_LT(anim->CurrentFrame(), 7) << "reopened from the start";
    // Past the last frame it starts over.
    QSignalSpy shown(anim, &TAnimationControl::FrameShown);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() > 41; }, 20000));
    bool wrapped = false;
    for (int i = 1; i < shown.count(); ++i)
        wrapped |= shown[i - 1][0].toInt() == 39 && shown[i][0].toInt() == 0;
    EXPECT_TRUE(wrapped);

    anim->SetAutoplay(false);
    EXPECT_FALSE(anim->IsPlaying());
    EXPECT_EQ(anim->CurrentFrame(), 0);
    EXPECT_TRUE(anim->IsOpen());

    // With Autoplay, a clip opened directly plays too.
    anim->SetAutoplay(true);
    EXPECT_TRUE(anim->OpenClipByName(Put(dir.path(), "x.avi", SmallClip())));
    EXPECT_TRUE(anim->IsPlaying());
}

TEST_F(AnimationFixture, PlayClipRangesAndRepeats) {
    EXPECT_FALSE(anim->PlayClip(-1, 0, 0xFFFF)) << "nothing open";
    anim->SetAviFileName("100");
    EXPECT_FALSE(anim->PlayClip(1, 0, 40));
    EXPECT_FALSE(anim->PlayClip(1, 10, 5));
    EXPECT_FALSE(anim->PlayClip(1, -1, 5));
    EXPECT_FALSE(anim->PlayClip(-2, 0, 5));

    QSignalSpy shown(anim, &TAnimationControl::FrameShown);
    ASSERT_TRUE(anim->PlayClip(2, 3, 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !anim->IsPlaying(); }, 10000));
    QList<int> frames;
    for (const auto& s : shown)
        frames << s[0].toInt();
    EXPECT_EQ(frames, QList<int>({3, 4, 5, 3, 4, 5}));
    EXPECT_EQ(anim->CurrentFrame(), 5);

    anim->ShowFrame(12);
    EXPECT_EQ(anim->CurrentFrame(), 12);
    EXPECT_FALSE(anim->IsPlaying());
    ASSERT_TRUE(anim->PlayClip(-1, 0, 0xFFFF));
    EXPECT_TRUE(Advances());
    EXPECT_TRUE(anim->StopClip());
    EXPECT_FALSE(anim->IsPlaying());
}

TEST_F(AnimationFixture, BrokenFileShowsNothing) {
    page.setAutoFillBackground(true);
    page.setPalette(QPalette(QColor(10, 200, 30)));
    page.show();
    anim->SetTransparent(false);
    anim->SetAviFileName("100");
    QImage img = anim->grab().toImage();
    EXPECT_NE(img.pixelColor(100, 100), QColor(10, 200, 30)) << "the clip is drawn";

    QByteArray bad = SmallClip();
    bad.chop(1);
    anim->SetAviFileName(Put(dir.path(), "bad.avi", bad));
    EXPECT_FALSE(anim->IsOpen());
    EXPECT_FALSE(anim->PlayClip(-1, 0, 0xFFFF));
    img = anim->grab().toImage();
    for (QPoint p : {QPoint(0, 0), QPoint(100, 100), QPoint(199, 199)})
        EXPECT_EQ(img.pixelColor(p), QColor(10, 200, 30));
}

TEST_F(AnimationFixture, TransparentLetsThePageShowThroughTheBackground) {
    page.setAutoFillBackground(true);
    page.setPalette(QPalette(QColor(10, 200, 30)));
    page.show();
    anim->SetAviFileName("100");
    // The control is 200 x 200 and the clip centred in it: (47, 47) is the clip's corner.
    EXPECT_EQ(anim->grab().toImage().pixelColor(47, 47), QColor(10, 200, 30));
    anim->SetTransparent(false);
    EXPECT_TRUE(anim->IsOpen()) << "reopened after the style change";
    const QImage opaque = anim->grab().toImage();
    EXPECT_NE(opaque.pixelColor(47, 47), QColor(10, 200, 30));
    EXPECT_EQ(opaque.pixelColor(46, 46), QColor(10, 200, 30)) << "outside the clip";
}

TEST_F(AnimationFixture, WithoutCenterTheControlTakesTheClipSize) {
    anim->SetAviFileName("100");
    EXPECT_EQ(anim->size(), QSize(200, 200));
    anim->SetCenter(false);
    EXPECT_EQ(anim->size(), QSize(105, 105));
    EXPECT_EQ(anim->pos(), QPoint(10, 10));
}
