#include "config/Editing.h"

#include <gtest/gtest.h>

using namespace config;

TEST(MsnNumber, WhatIsStoredIsWhatTheLabelShows) {
    const MsnEntry a = TakeMsnNumber("0221");
    EXPECT_EQ(a.shown, "0221");
    EXPECT_EQ(a.bytes, (std::array<std::uint8_t, 5>{0x20, 0x12, 0xFF, 0xFF, 0xFF}));
    const MsnEntry twelve = TakeMsnNumber("123456789012");
    EXPECT_EQ(twelve.shown, "1234567890") << "ten positions reach the image";
    EXPECT_EQ(twelve.bytes, (std::array<std::uint8_t, 5>{0x21, 0x43, 0x65, 0x87, 0x09}));
    const MsnEntry spaced = TakeMsnNumber("12 34");
    EXPECT_EQ(spaced.shown, "12");
    EXPECT_EQ(spaced.bytes, (std::array<std::uint8_t, 5>{0x21, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(TakeMsnNumber("12 ").bytes, TakeMsnNumber("12").bytes);
    EXPECT_EQ(TakeMsnNumber("").bytes, (std::array<std::uint8_t, 5>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(TakeMsnNumber("123456789012345678").shown, "1234567890");
}

TEST(WholeNumber, ForgivingLikeTheFieldWants) {
    struct Case {
        const char* text;
        std::optional<long long> value;
    };
    const Case cases[] = {
        {"250", 250},
        {"  250", 250},
        {"12abc", 12},
        {"", 0},
        {"abc", 0},
        {"-5", -5},
        {"+7", 7},
        {"$FA", 250},
        {"$fa", 250},
        {"$", 0},
        {"$1g", 1},
        {"65536", 65536},
        {"99999999999999999999", std::nullopt},
        {" - 3", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseWholeNumber(QString::fromUtf8(c.text)), c.value) << c.text;
    EXPECT_TRUE(FitsCounter(0));
    EXPECT_TRUE(FitsCounter(65535));
    EXPECT_FALSE(FitsCounter(65536));
    EXPECT_FALSE(FitsCounter(-1));
}
