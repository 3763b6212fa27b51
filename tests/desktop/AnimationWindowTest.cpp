#include "desktop/animationcontrol.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QTabWidget>
#include <QTest>

TEST_F(WindowFixture, AnimationPlaysWhileProgrammInfoIsInFront) {
    auto w = make();
    TAnimationControl* a = Control<TAnimationControl>(*w, "AnimationControl");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->parentWidget(), Control<QWidget>(*w, "TabProgrammInfo"));
    EXPECT_EQ(a->geometry(), QRect(344, 48, 100, 116));
    EXPECT_EQ(a->AviFileName(), "100");
    EXPECT_TRUE(a->Center());
    EXPECT_TRUE(a->Transparent());
    EXPECT_EQ(a->FrameCount(), 40);
    EXPECT_FALSE(a->Autoplay());
    EXPECT_FALSE(a->IsPlaying());

    w->show();
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabProgrammInfo"));
    EXPECT_TRUE(a->Autoplay());
    EXPECT_TRUE(a->IsPlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return a->CurrentFrame() >= 12; }, 10000));

    // On screen, mid-animation: the clip is drawn over the page and changes.
    const QImage shot = w->grab().toImage();
    const QString dir = qEnvironmentVariable("WINVARNO_SHOT_DIR");
    if (!dir.isEmpty())
        shot.save(QDir(dir).filePath("programm-info.png"));
    const QPoint corner = a->mapTo(w.get(), QPoint(0, 0));
    const QImage area = shot.copy(QRect(corner, a->size()));
    const QColor page = area.pixelColor(0, 0);
    int drawn = 0;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            drawn += area.pixelColor(x, y) != page;
    EXPECT_GT(drawn, 2000);
    const int frame = a->CurrentFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return a->CurrentFrame() != frame; }, 10000));
    EXPECT_NE(w->grab().toImage().copy(QRect(corner, a->size())), area);

    for (QWidget* other :
         {Control<QWidget>(*w, "TabGebuehren"), Control<QWidget>(*w, "TabKonfiguration")}) {
        Control<QTabWidget>(*w, "MainPageControl")->setCurrentWidget(other);
        EXPECT_FALSE(a->IsPlaying());
        EXPECT_EQ(a->CurrentFrame(), 0);
        EXPECT_TRUE(a->IsOpen());
    }
    Control<QTabWidget>(*w, "MainPageControl")
        ->setCurrentWidget(Control<QWidget>(*w, "TabProgrammInfo"));
    EXPECT_TRUE(a->IsPlaying());
}
