#include "config/ConfigImage.h"
#include "protocol/FrameCodec.h"

#include <gtest/gtest.h>

namespace {

using config::ConfigImage;
using config::Region;

TEST(ConfigImage, FieldsLieAtTheirOffsets) {
    ConfigImage image;
    EXPECT_EQ(image.ToByteArray(), QByteArray(588, '\0'));
    auto b = image.Bytes();
    b[2] = 5, b[5] = 93, b[57] = 1, b[59] = 3, b[84 + 9] = 0xA5;
    EXPECT_EQ(image.PortCountByte(), 5);
    EXPECT_EQ(image.FirmwareMinor(), 93);
    EXPECT_EQ(image.MusicOnHold(), 1);
    EXPECT_EQ(image.ExternalS0(), 3);
    EXPECT_EQ(image.AssignmentMask(9), 0xA5);
    image.SetMsnText(9, u"42");
    EXPECT_EQ(b[7 + 45], 0x24);

    // Port 8's record: terminal offset 169, image offset 320.
    auto port8 = image.Port(8);
    port8.SetForwardingPort(22);
    port8.SetForwardingNumberText(u"0891");
    port8.SetOutsideLine(true);
    EXPECT_EQ(b[320 + 3], 22);
    EXPECT_EQ(b[320 + 7], 0x80);
    EXPECT_EQ(b[320 + 8], 0x19);
    EXPECT_EQ(b[320 + 17], 1);

    image.SetUnitCounterValue(8, 0x1234);
    EXPECT_EQ(b[412 + 15], 0x34);
    EXPECT_EQ(b[412 + 16], 0x12);
}

TEST(PackedDecimal, BothWays) {
    const std::pair<QByteArray, QString> decoded[] = {
        {QByteArray::fromHex("ffffffffff"), ""},
        {QByteArray::fromHex("21f3ffffff"), "123"},
        {QByteArray::fromHex("a1fe"), "1:>"},
        {QByteArray::fromHex("f1f2ff3f"), "123"},
    };
    for (const auto& [field, text] : decoded) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(field.constData());
        EXPECT_EQ(config::DecodePacked({data, std::size_t(field.size())}), text)
            << text.toStdString();
    }
    std::array<std::uint8_t, 6> guarded{0, 0, 0, 0, 0, 0x77};
    const auto field = std::span(guarded).first(5);
    config::EncodePacked(field, u"123");
    EXPECT_EQ(guarded, (std::array<std::uint8_t, 6>{0x21, 0xF3, 0xFF, 0xFF, 0xFF, 0x77}));
    config::EncodePacked(field, u"123456789012");
    EXPECT_EQ(config::DecodePacked(field), "1234567890");
    EXPECT_EQ(guarded[5], 0x77);
    config::EncodePacked(field, u"08-91:");
    EXPECT_EQ(config::DecodePacked(field), "0891:");
}

TEST(StoreAnswer, CompactsTheRegionAndStaysInsideIt) {
    for (const Region region : {Region::Basic, Region::Terminal, Region::Charge}) {
        const auto layout = config::LayoutOf(region);
        const int dataBytes = layout.size - (layout.size + 3) / 4;
        QByteArray data;
        for (int i = 0; i < dataBytes; ++i)
            data.append(char(i % 200 + 1));
        for (const QByteArray& answer :
             {device::FrameLineBytes(data), QByteArray(1000, char(0x5A))}) {
            ConfigImage image;
            image.StoreAnswer(region, answer);
            const QByteArray all = image.ToByteArray();
            if (answer.size() < 1000) {
                EXPECT_EQ(all.mid(layout.offset, dataBytes), data) << layout.offset;
            }
            EXPECT_EQ(all.left(layout.offset), QByteArray(layout.offset, '\0'));
            EXPECT_EQ(all.mid(layout.offset + layout.size),
                      QByteArray(588 - layout.offset - layout.size, '\0'));
        }
    }
}

} // namespace
