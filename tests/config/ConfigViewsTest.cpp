#include "config/ConfigViews.h"

#include <gtest/gtest.h>

namespace {

using config::ConfigImage;
using config::DecodedArrays;

ConfigImage Basic(int ports) {
    ConfigImage image;
    auto b = image.Bytes();
    b[1] = 1; // point-to-point
    b[2] = std::uint8_t(ports);
    b[3] = 1; // DSS1
    b[4] = 1, b[5] = 93;
    b[57] = 1; // music on hold
    b[58] = 2, b[59] = 1;
    for (int m = 0; m < 10; ++m)
        image.SetMsnText(m, QString());
    image.SetMsnText(0, u"123");
    image.SetMsnText(9, u"4711");
    return image;
}

TEST(DecodeBasicBlock, FillsTheConfigurationPage) {
    const ConfigImage image = Basic(8);
    DecodedArrays arrays;
    const auto view = config::DecodeBasicBlock(image, arrays);
    EXPECT_EQ(view.Protokoll, "DSS1");
    EXPECT_EQ(view.Anschlussart, QString::fromUtf8("Anlagenanschluß"));
    EXPECT_EQ(view.MusicOnHold, "Ja");
    EXPECT_EQ(view.S0Intern, "2");
    EXPECT_EQ(view.S0Extern, "1");
    EXPECT_EQ(view.abSchnittstellen, "8");
    EXPECT_EQ(view.Firmware, "1.93");
    EXPECT_EQ(view.MSN[0], "123");
    EXPECT_EQ(view.MSN[1], "");
    EXPECT_EQ(view.MSN[9], "4711");
    EXPECT_EQ(arrays.PortCount, 8);
    EXPECT_EQ(view.UsedPorts, 8);
    EXPECT_FALSE(view.PortCountOutOfRange);

    ConfigImage zeros;
    const auto first = config::DecodeBasicBlock(zeros, arrays);
    EXPECT_EQ(first.Protokoll, "1TR6");
    EXPECT_EQ(first.Anschlussart, QString::fromUtf8("Mehrgeräteanschluß"));
    EXPECT_EQ(first.MusicOnHold, "Nein");
    EXPECT_EQ(first.Firmware, "0.0");
    EXPECT_EQ(first.MSN[0], "0000000000"); // zero bytes are ten digits 0
}

TEST(DecodeBasicBlock, UnknownValuesShowNoNeighbouringText) {
    ConfigImage image = Basic(8);
    auto b = image.Bytes();
    b[1] = 2, b[3] = 2, b[57] = 255;
    DecodedArrays arrays;
    const auto view = config::DecodeBasicBlock(image, arrays);
    EXPECT_EQ(view.Protokoll, "");
    EXPECT_EQ(view.Anschlussart, "");
    EXPECT_EQ(view.MusicOnHold, "");
}

TEST(DecodeBasicBlock, PortsBeyondPortCountAreUnused) {
    struct Case {
        int stored;
        int used;
        bool outOfRange;
    };
    for (const Case c : {Case{3, 3, false}, Case{1, 1, false}, Case{8, 8, false}, Case{9, 8, true},
                         Case{255, 8, true}, Case{0, 0, true}}) {
        DecodedArrays arrays;
        const auto view = config::DecodeBasicBlock(Basic(c.stored), arrays);
        EXPECT_EQ(view.abSchnittstellen, QString::number(c.stored));
        EXPECT_EQ(view.UsedPorts, c.used) << c.stored;
        EXPECT_EQ(arrays.UsedPorts(), c.used) << c.stored;
        EXPECT_EQ(view.PortCountOutOfRange, c.outOfRange) << c.stored;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(view.PortUnused[std::size_t(i)], i >= c.used) << c.stored << " port " << i;
        EXPECT_EQ(config::PortSelectorEntries(8, view), c.used);
    }
    DecodedArrays arrays;
    const auto three = config::DecodeBasicBlock(Basic(3), arrays);
    EXPECT_EQ(config::PortSelectorEntries(3, three), 3); // a second read changes nothing
    EXPECT_EQ(config::PortSelectorEntries(2, three), 2);
}

TEST(DecodeTerminalBlock, FillsRowsArraysAndMatrix) {
    ConfigImage image = Basic(8);
    image.SetAssignmentMask(0, 0b1000'0001); // ports 21 and 28
    image.SetAssignmentMask(9, 0b0000'0010); // port 22
    auto p1 = image.Port(1);
    p1.SetPermission(2);
    p1.SetService(5);
    p1.SetForwardingPort(23);
    p1.SetForwardingNumberText(u"0891");
    p1.SetPulse(true);
    auto p2 = image.Port(2);
    p2.SetPermission(4);
    p2.SetService(1);
    p2.SetForwardingPort(0);
    p2.SetForwardingNumberText(u"0891");
    p2.SetOutsideLine(true);
    auto p8 = image.Port(8);
    p8.SetForwardingPort(29); // past the last port: the external number counts
    p8.SetForwardingNumberText(QString());
    image.Bytes()[151 + 169 + 4] = 2; // not exactly 1: off

    DecodedArrays arrays;
    config::DecodeBasicBlock(image, arrays);
    const auto view = config::DecodeTerminalBlock(image, arrays);
    ASSERT_EQ(view.DecodedPorts, 8);
    const auto& r1 = view.Ports[0];
    EXPECT_EQ(r1.Berechtigung, QString::fromUtf8("Ortsgespräch"));
    EXPECT_EQ(r1.Dienst, "Kombidienst");
    EXPECT_EQ(r1.Rufumleitung, "23");
    EXPECT_TRUE(r1.Impuls);
    EXPECT_FALSE(r1.Amtsholung);
    const auto& r2 = view.Ports[1];
    EXPECT_EQ(r2.Berechtigung, "Keine");
    EXPECT_EQ(r2.Dienst, "Fax G3");
    EXPECT_EQ(r2.Rufumleitung, "0891");
    EXPECT_FALSE(r2.Impuls);
    EXPECT_TRUE(r2.Amtsholung);
    EXPECT_EQ(view.Ports[7].Rufumleitung, "");
    EXPECT_FALSE(view.Ports[7].Impuls);

    EXPECT_EQ(arrays.PermissionIndex[0], 2);
    EXPECT_EQ(arrays.ServiceIndex[1], 1);
    EXPECT_TRUE(arrays.PulseFlag[0]);
    EXPECT_TRUE(arrays.OutsideLineFlag[1]);
    EXPECT_FALSE(arrays.PulseFlag[7]);
    for (int p = 0; p < 8; ++p)
        for (int m = 0; m < 10; ++m) {
            const bool expected = (m == 0 && (p == 0 || p == 7)) || (m == 9 && p == 1);
            EXPECT_EQ(arrays.AssignmentMatrix[std::size_t(p)][std::size_t(m)], expected);
            EXPECT_EQ(view.Ports[std::size_t(p)].Zuordnung[std::size_t(m)], expected);
        }
}

TEST(DecodeTerminalBlock, ForwardingToAPortOnlyWithinPortCount) {
    ConfigImage image = Basic(2);
    image.Port(1).SetForwardingPort(23);
    image.Port(1).SetForwardingNumberText(u"0301234");
    image.Port(2).SetForwardingPort(22);
    DecodedArrays arrays;
    config::DecodeBasicBlock(image, arrays);
    auto view = config::DecodeTerminalBlock(image, arrays);
    EXPECT_EQ(view.Ports[0].Rufumleitung, "0301234");
    EXPECT_EQ(view.Ports[1].Rufumleitung, "22");

    image.Bytes()[2] = 8;
    config::DecodeBasicBlock(image, arrays);
    view = config::DecodeTerminalBlock(image, arrays);
    EXPECT_EQ(view.Ports[0].Rufumleitung, "23");
}

TEST(DecodeTerminalBlock, PortsBeyondPortCountKeepTheirValues) {
    ConfigImage image = Basic(3);
    image.SetAssignmentMask(4, 0xFF);
    for (int p = 1; p <= 8; ++p) {
        image.Port(p).SetPermission(1);
        image.Port(p).SetPulse(true);
    }
    DecodedArrays arrays;
    arrays.PermissionIndex.fill(7);
    arrays.AssignmentMatrix[5][4] = false;
    arrays.PulseFlag[6] = false;
    config::DecodeBasicBlock(image, arrays);
    const auto view = config::DecodeTerminalBlock(image, arrays);
    EXPECT_EQ(view.DecodedPorts, 3);
    EXPECT_EQ(arrays.PermissionIndex[2], 1);
    EXPECT_EQ(arrays.PermissionIndex[3], 7);
    EXPECT_TRUE(arrays.AssignmentMatrix[2][4]);
    EXPECT_FALSE(arrays.AssignmentMatrix[5][4]);
    EXPECT_FALSE(arrays.PulseFlag[6]);
    EXPECT_EQ(view.Ports[3].Berechtigung, "");
}

TEST(DecodeTerminalBlock, OversizedPortCountStopsAtPortEight) {
    ConfigImage image = Basic(200);
    image.SetAssignmentMask(0, 0xFF);
    image.Port(8).SetForwardingPort(28);
    image.Port(8).SetService(3);
    DecodedArrays arrays;
    config::DecodeBasicBlock(image, arrays);
    const auto view = config::DecodeTerminalBlock(image, arrays);
    EXPECT_EQ(view.DecodedPorts, 8);
    EXPECT_EQ(view.Ports[7].Rufumleitung, "28");
    EXPECT_EQ(view.Ports[7].Dienst, "T-Online");
    EXPECT_TRUE(arrays.AssignmentMatrix[7][0]);
}

TEST(DecodeTerminalBlock, IndicesWithoutANameShowEmptyLabels) {
    ConfigImage image = Basic(1);
    image.Port(1).SetPermission(5);
    image.Port(1).SetService(6);
    DecodedArrays arrays;
    config::DecodeBasicBlock(image, arrays);
    const auto view = config::DecodeTerminalBlock(image, arrays);
    EXPECT_EQ(view.Ports[0].Berechtigung, "");
    EXPECT_EQ(view.Ports[0].Dienst, "");
    EXPECT_EQ(arrays.PermissionIndex[0], 5);
    EXPECT_EQ(config::PermissionName(-1), "");
    EXPECT_EQ(config::PermissionName(0), "Vollamt");
    EXPECT_EQ(config::ServiceName(4), "Anrufbeantworter");
    EXPECT_EQ(config::ServiceName(255), "");
}

} // namespace
