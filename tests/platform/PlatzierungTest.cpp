#include "platform/Platzierung.h"

#include <gtest/gtest.h>

using platzierung::TitelleisteAufBildschirm;

namespace {
const QSize kBar(535, 32);
const QRect kLinks(0, 0, 1920, 1080), kRechts(1920, 0, 1280, 1024);
} // namespace

TEST(Platzierung, ATitleBarOnTheScreensStaysWhereItWas) {
    EXPECT_EQ(TitelleisteAufBildschirm({100, 50}, kBar, {kLinks}), QPoint(100, 50));
    EXPECT_EQ(TitelleisteAufBildschirm({1385, 1048}, kBar, {kLinks}), QPoint(1385, 1048))
        << "flush with the bottom right corner";
    EXPECT_EQ(TitelleisteAufBildschirm({1700, 300}, kBar, {kLinks, kRechts}), QPoint(1700, 300))
        << "across two screens side by side";
    EXPECT_EQ(TitelleisteAufBildschirm({5000, 5000}, kBar, {}), QPoint(5000, 5000))
        << "no screens known: nothing to go by";
}

TEST(Platzierung, ATitleBarPartlyOffComesBackTheShortestWay) {
    EXPECT_EQ(TitelleisteAufBildschirm({1500, 200}, kBar, {kLinks}), QPoint(1385, 200));
    EXPECT_EQ(TitelleisteAufBildschirm({-40, -10}, kBar, {kLinks}), QPoint(0, 0));
    EXPECT_EQ(TitelleisteAufBildschirm({100, 1060}, kBar, {kLinks}), QPoint(100, 1048));
    // Just below the shorter right screen: it is nearer than the left one.
    EXPECT_EQ(TitelleisteAufBildschirm({2000, 1030}, kBar, {kLinks, kRechts}), QPoint(2000, 992));
}

TEST(Platzierung, ATitleBarOffEveryScreenGoesToTheNearest) {
    // Saved on a monitor that has been unplugged since.
    EXPECT_EQ(TitelleisteAufBildschirm({2500, 300}, kBar, {kLinks}), QPoint(1385, 300));
    EXPECT_EQ(TitelleisteAufBildschirm({3500, 2000}, kBar, {kLinks, kRechts}), QPoint(2665, 992));
    EXPECT_EQ(TitelleisteAufBildschirm({-900, 400}, kBar, {kRechts, kLinks}), QPoint(0, 400));
    // A screen narrower than the bar: its left end stays on the screen.
    EXPECT_EQ(TitelleisteAufBildschirm({900, 10}, kBar, {QRect(0, 0, 480, 640)}), QPoint(0, 10));
}

TEST(Platzierung, OnlyNativeWaylandKeepsPositionsToItself) {
    EXPECT_FALSE(platzierung::PositionErinnerbar("wayland"));
    EXPECT_FALSE(platzierung::PositionErinnerbar("wayland-egl"));
    EXPECT_TRUE(platzierung::PositionErinnerbar("xcb"));
    EXPECT_TRUE(platzierung::PositionErinnerbar("offscreen"));
}
