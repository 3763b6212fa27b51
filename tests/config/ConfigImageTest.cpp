#include "config/ConfigImage.h"
#include "device/FrameCodec.h"

#include <gtest/gtest.h>

namespace {

using config::ConfigImage;
using config::Region;

// The groups a device would send for these data bytes.
QByteArray Framed(const QByteArray& data) {
    return device::FrameLineBytes(data);
}

TEST(ConfigImage, StartsAllZeroWithTheThreeRegions) {
    const ConfigImage image;
    EXPECT_EQ(image.ToByteArray(), QByteArray(588, '\0'));
    EXPECT_EQ(image.BasicBlock().data() - image.Bytes().data(), 0);
    EXPECT_EQ(image.TerminalBlock().data() - image.Bytes().data(), 151);
    EXPECT_EQ(image.ChargeBlock().data() - image.Bytes().data(), 412);
    EXPECT_EQ(image.BasicBlock().size() + image.TerminalBlock().size() + image.ChargeBlock().size(),
              588u);
}

TEST(ConfigImage, FieldsLieAtTheirOffsets) {
    ConfigImage image;
    auto b = image.Bytes();
    b[1] = 1, b[2] = 5, b[3] = 1, b[4] = 1, b[5] = 93, b[57] = 1, b[58] = 2, b[59] = 3;
    b[84 + 9] = 0xA5;
    EXPECT_EQ(image.ConnectionType(), 1);
    EXPECT_EQ(image.PortCountByte(), 5);
    EXPECT_EQ(image.Protocol(), 1);
    EXPECT_EQ(image.FirmwareMajor(), 1);
    EXPECT_EQ(image.FirmwareMinor(), 93);
    EXPECT_EQ(image.MusicOnHold(), 1);
    EXPECT_EQ(image.InternalS0(), 2);
    EXPECT_EQ(image.ExternalS0(), 3);
    EXPECT_EQ(image.AssignmentMask(9), 0xA5);

    image.SetMsnText(9, u"42");
    EXPECT_EQ(b[7 + 45], 0x24);
    EXPECT_EQ(b[7 + 49], 0xFF);

    // Port 8's record starts at terminal offset 169: image offset 151 + 169.
    auto port8 = image.Port(8);
    port8.SetPermission(3);
    port8.SetService(4);
    port8.SetForwardingPort(22);
    port8.SetPulse(true);
    port8.SetOutsideLine(true);
    port8.SetForwardingNumberText(u"0891");
    EXPECT_EQ(b[320 + 1], 3);
    EXPECT_EQ(b[320 + 2], 4);
    EXPECT_EQ(b[320 + 3], 22);
    EXPECT_EQ(b[320 + 4], 1);
    EXPECT_EQ(b[320 + 7], 0x80);
    EXPECT_EQ(b[320 + 8], 0x19);
    EXPECT_EQ(b[320 + 16], 0xFF);
    EXPECT_EQ(b[320 + 17], 1);
    EXPECT_EQ(image.Port(1).Bytes().data() - b.data(), 152);

    image.SetUnitCounterValue(8, 0x1234);
    EXPECT_EQ(b[412 + 15], 0x34);
    EXPECT_EQ(b[412 + 16], 0x12);
    b[413] = 0xFF, b[414] = 0xFF;
    EXPECT_EQ(image.UnitCounterValue(1), 65535);
}

TEST(PortRecord, OnlyExactlyOneIsOn) {
    ConfigImage image;
    auto b = image.Bytes();
    b[152 + 4] = 2;
    b[152 + 17] = 0xFF;
    EXPECT_FALSE(image.Port(1).Pulse());
    EXPECT_FALSE(image.Port(1).OutsideLine());
    b[152 + 4] = 1;
    EXPECT_TRUE(image.Port(1).Pulse());
}

TEST(PackedDecimal, DecodesNibblesLowFirst) {
    struct Case {
        QByteArray field;
        QString text;
    };
    const Case cases[] = {
        {QByteArray::fromHex("ffffffffff"), ""},
        {QByteArray::fromHex("21f3ffffff"), "123"},
        {QByteArray::fromHex("a1ffffffff"), "1:"},
        {QByteArray::fromHex("fe"), ">"},
        // Empty positions vanish wherever they stand.
        {QByteArray::fromHex("f1f2ff3f"), "123"},
        {QByteArray::fromHex("00"), "00"},
    };
    for (const Case& c : cases) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(c.field.constData());
        EXPECT_EQ(config::DecodePacked({data, std::size_t(c.field.size())}), c.text)
            << c.field.toHex().constData();
    }
}

TEST(PackedDecimal, EncodesAndRoundTrips) {
    std::array<std::uint8_t, 5> field{};
    config::EncodePacked(field, u"123");
    EXPECT_EQ(field, (std::array<std::uint8_t, 5>{0x21, 0xF3, 0xFF, 0xFF, 0xFF}));
    config::EncodePacked(field, u"");
    EXPECT_EQ(field, (std::array<std::uint8_t, 5>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Longer than ten positions: cut, never written past the field.
    std::array<std::uint8_t, 6> guarded{0, 0, 0, 0, 0, 0x77};
    config::EncodePacked(std::span(guarded).first(5), u"123456789012");
    EXPECT_EQ(config::DecodePacked(std::span(guarded).first(5)), "1234567890");
    EXPECT_EQ(guarded[5], 0x77);
    for (const QString& text : {QString("0"), QString("0891:5"), QString("9876543210")}) {
        config::EncodePacked(field, text);
        EXPECT_EQ(config::DecodePacked(field), text);
    }
    config::EncodePacked(field, u"08-91 5?");
    EXPECT_EQ(config::DecodePacked(field), "08915");
}

TEST(StoreAnswer, CompactsEachRegionInPlace) {
    for (const Region region : {Region::Basic, Region::Terminal, Region::Charge}) {
        ConfigImage image;
        const auto layout = config::LayoutOf(region);
        const int dataBytes = layout.size - (layout.size + 3) / 4;
        QByteArray data;
        for (int i = 0; i < dataBytes; ++i)
            data.append(char(i % 200 + 1));
        image.StoreAnswer(region, Framed(data).left(layout.size));
        const auto block = image.Block(region);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(block.data()), dataBytes), data)
            << layout.offset;
        // Nothing outside the region is touched.
        const auto all = image.Bytes();
        EXPECT_EQ(std::count(all.begin(), all.begin() + layout.offset, 0), layout.offset);
        EXPECT_EQ(std::count(all.begin() + layout.offset + layout.size, all.end(), 0),
                  588 - layout.offset - layout.size);
    }
}

TEST(StoreAnswer, OversizedAnswerStaysInsideItsRegion) {
    ConfigImage image;
    image.StoreAnswer(Region::Basic, QByteArray(1000, char(0x5A)));
    const auto bytes = image.Bytes();
    EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + 151, 0x5A), 151);
    EXPECT_EQ(std::count(bytes.begin() + 151, bytes.end(), 0), 588 - 151);

    ConfigImage last;
    last.StoreAnswer(Region::Charge, QByteArray(4000, char(0x11)));
    EXPECT_EQ(std::count(last.Bytes().begin(), last.Bytes().begin() + 412, 0), 412);
    EXPECT_EQ(last.UnitCounterValue(8), 0x1111);
}

TEST(StoreAnswer, ShortAnswerKeepsTheRestOfTheRegion) {
    ConfigImage image;
    image.StoreAnswer(Region::Terminal, QByteArray::fromHex("830a0b0c"));
    const auto block = image.TerminalBlock();
    EXPECT_EQ(block[0], 0x0A);
    EXPECT_EQ(block[1], 0x0B);
    EXPECT_EQ(block[2], 0x0C);
    EXPECT_EQ(std::count(block.begin() + 3, block.end(), 0), 261 - 3);
    image.StoreAnswer(Region::Terminal, QByteArrayView());
    EXPECT_EQ(block[0], 0x0B); // compaction still runs over the whole region
}

} // namespace
