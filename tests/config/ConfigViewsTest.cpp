#include "config/ConfigViews.h"

#include <gtest/gtest.h>

namespace {

using config::ConfigImage;
using config::DecodedArrays;

ConfigImage Basic(int ports) {
    ConfigImage image;
    auto b = image.Bytes();
    b[1] = 1, b[2] = std::uint8_t(ports), b[3] = 1, b[4] = 1, b[5] = 93, b[57] = 0, b[58] = 2;
    for (int m = 0; m < 10; ++m)
        image.SetMsnText(m, QString());
    image.SetMsnText(9, u"123");
    return image;
}

TEST(DecodeBasicBlock, FillsTheConfigurationPage) {
    ConfigImage image = Basic(8);
    DecodedArrays arrays;
    auto view = config::DecodeBasicBlock(image, arrays);
    EXPECT_EQ(view.Protokoll, "DSS1");
    EXPECT_EQ(view.Anschlussart, QString::fromUtf8("Anlagenanschluß"));
    EXPECT_EQ(view.MusicOnHold, "Nein");
    EXPECT_EQ(view.S0Intern, "2");
    EXPECT_EQ(view.S0Extern, "0");
    EXPECT_EQ(view.Firmware, "1.93");
    EXPECT_EQ(view.MSN[0], "");
    EXPECT_EQ(view.MSN[9], "123");

    // Values outside the two-entry tables would show the neighbouring table's text.
    image.Bytes()[1] = 2, image.Bytes()[3] = 2, image.Bytes()[57] = 255;
    view = config::DecodeBasicBlock(image, arrays);
    EXPECT_EQ(view.Protokoll + view.Anschlussart + view.MusicOnHold, "");
}

TEST(DecodeBasicBlock, PortsBeyondPortCountAreUnused) {
    for (const auto& [stored, used] : {std::pair{3, 3}, {8, 8}, {9, 8}, {255, 8}, {0, 0}}) {
        DecodedArrays arrays;
        const auto view = config::DecodeBasicBlock(Basic(stored), arrays);
        EXPECT_EQ(view.abSchnittstellen, QString::number(stored));
        EXPECT_EQ(arrays.PortCount, stored);
        EXPECT_EQ(view.UsedPorts, used) << stored;
        EXPECT_EQ(view.PortCountOutOfRange, stored < 1 || stored > 8) << stored;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(view.PortUnused[std::size_t(i)], i >= used) << stored << " port " << i;
        EXPECT_EQ(config::PortSelectorEntries(8, view), used);
        EXPECT_EQ(config::PortSelectorEntries(used, view), used); // a second read keeps them
    }
}

TEST(DecodeTerminalBlock, FillsRowsArraysAndMatrix) {
    ConfigImage image = Basic(8);
    image.SetAssignmentMask(0, 0b1000'0001); // ports 21 and 28
    image.SetAssignmentMask(9, 0b0000'0010); // port 22
    auto p1 = image.Port(1);
    p1.SetPermission(2), p1.SetService(5), p1.SetPulse(true);
    auto p2 = image.Port(2);
    p2.SetPermission(5), p2.SetService(6), p2.SetOutsideLine(true);
    image.Bytes()[151 + 169 + 4] = 2; // port 8 pulse: only exactly 1 is on

    DecodedArrays arrays;
    config::DecodeBasicBlock(image, arrays);
    const auto view = config::DecodeTerminalBlock(image, arrays);
    ASSERT_EQ(view.DecodedPorts, 8);
    EXPECT_EQ(view.Ports[0].Berechtigung, QString::fromUtf8("Ortsgespräch"));
    EXPECT_EQ(view.Ports[0].Dienst, "Kombidienst");
    EXPECT_TRUE(view.Ports[0].Impuls && arrays.PulseFlag[0]);
    EXPECT_FALSE(view.Ports[0].Amtsholung || arrays.OutsideLineFlag[0]);
    // Indices without a name show nothing.
    EXPECT_EQ(view.Ports[1].Berechtigung + view.Ports[1].Dienst, "");
    EXPECT_EQ(arrays.PermissionIndex[1], 5);
    EXPECT_TRUE(view.Ports[1].Amtsholung && arrays.OutsideLineFlag[1]);
    EXPECT_FALSE(view.Ports[7].Impuls || arrays.PulseFlag[7]);
    for (int p = 0; p < 8; ++p)
        for (int m = 0; m < 10; ++m) {
            const bool expected = (m == 0 && (p == 0 || p == 7)) || (m == 9 && p == 1);
            EXPECT_EQ(arrays.AssignmentMatrix[std::size_t(p)][std::size_t(m)], expected);
            EXPECT_EQ(view.Ports[std::size_t(p)].Zuordnung[std::size_t(m)], expected);
        }
}

TEST(DecodeTerminalBlock, ForwardingToAPortOnlyWithinPortCount) {
    struct Case {
        int ports;
        int target;
        QString number;
        QString shown;
    };
    for (const Case& c : {Case{8, 23, "0301234", "23"}, Case{2, 23, "0301234", "0301234"},
                          Case{2, 22, "0301234", "22"}, Case{8, 29, "", ""},
                          Case{200, 28, "0301234", "28"}, Case{8, 0, "", ""}}) {
        ConfigImage image = Basic(c.ports);
        image.Port(1).SetForwardingPort(std::uint8_t(c.target));
        image.Port(1).SetForwardingNumberText(c.number);
        DecodedArrays arrays;
        config::DecodeBasicBlock(image, arrays);
        EXPECT_EQ(config::DecodeTerminalBlock(image, arrays).Ports[0].Rufumleitung, c.shown)
            << c.ports << " " << c.target;
    }
}

TEST(DecodeTerminalBlock, PortsBeyondPortCountKeepTheirValues) {
    ConfigImage image = Basic(3);
    image.SetAssignmentMask(4, 0xFF);
    for (int p = 1; p <= 8; ++p)
        image.Port(p).SetPermission(1);
    DecodedArrays arrays;
    arrays.PermissionIndex.fill(7);
    config::DecodeBasicBlock(image, arrays);
    const auto view = config::DecodeTerminalBlock(image, arrays);
    EXPECT_EQ(view.DecodedPorts, 3);
    EXPECT_EQ(arrays.PermissionIndex[2], 1);
    EXPECT_EQ(arrays.PermissionIndex[3], 7);
    EXPECT_TRUE(arrays.AssignmentMatrix[2][4]);
    EXPECT_FALSE(arrays.AssignmentMatrix[3][4]);
}

} // namespace
