#include "device/FrameCodec.h"
#include "device/Commands.h"
#include "device/PacedSend.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

QByteArray Message(int length, int first = 1) {
    QByteArray m;
    for (int i = 0; i < length; ++i)
        m.append(char(first + i));
    return m;
}

TEST(FrameLineBytes, EndOfPortRecordsIsOneGroupWithZeroPadding) {
    const QByteArray line =
        device::FrameLineBytes(QByteArray(1, char(device::command::EndOfPortRecords)));
    EXPECT_EQ(line, QByteArray::fromHex("810c0000"));
}

TEST(FrameLineBytes, EmptyMessageSendsNothing) {
    EXPECT_TRUE(device::FrameLineBytes(QByteArrayView()).isEmpty());
}

struct GroupCase {
    int length;
    int groups;
    quint8 lastHeader;
};

class FrameLineBytesGroups : public ::testing::TestWithParam<GroupCase> {};

TEST_P(FrameLineBytesGroups, HeadersCountsAndDataOrder) {
    const GroupCase c = GetParam();
    const QByteArray message = Message(c.length);
    const QByteArray line = device::FrameLineBytes(message);
    ASSERT_EQ(line.size(), 4 * c.groups);
    for (int g = 0; g < c.groups; ++g) {
        const quint8 header = quint8(line[4 * g]);
        EXPECT_EQ(header, g + 1 < c.groups ? 0x03 : c.lastHeader) << "group " << g;
    }
    // Data bytes come out in order, padding after the message is zero.
    for (int i = 0; i < 3 * c.groups; ++i) {
        const char expected = i < c.length ? message[i] : '\0';
        EXPECT_EQ(line[4 * (i / 3) + 1 + i % 3], expected) << "data byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(WriteMessages, FrameLineBytesGroups,
                         ::testing::Values(GroupCase{device::PortRecordMessageLength, 8, 0x81},
                                           GroupCase{device::BasicBlockMessageLength, 36, 0x82},
                                           GroupCase{device::ChargeBlockMessageLength, 43, 0x83},
                                           GroupCase{2, 1, 0x82}, GroupCase{3, 1, 0x83},
                                           GroupCase{4, 2, 0x81}));

TEST(ReadRequest, ReadyMadeFourBytes) {
    EXPECT_EQ(device::ReadRequest(device::command::ReadBasicBlock),
              QByteArray::fromHex("830a0000"));
    EXPECT_EQ(device::ReadRequest(device::command::ReadTerminalBlock),
              QByteArray::fromHex("83080000"));
    EXPECT_EQ(device::ReadRequest(device::command::ReadChargeBlock),
              QByteArray::fromHex("83060000"));
}

TEST(CompactFrameGroups, DropsEveryFourthByteWhateverItsValue) {
    std::vector<std::uint8_t> b{0x03, 0x0A, 0x01, 0x02, 0x83, 0x03, 0x04, 0x05};
    EXPECT_EQ(device::CompactFrameGroups(b), 6u);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 6),
              (std::vector<std::uint8_t>{0x0A, 0x01, 0x02, 0x03, 0x04, 0x05}));

    std::vector<std::uint8_t> odd{0x55, 0x0A, 0x01, 0x02, 0x00, 0x03, 0x04, 0x05};
    device::CompactFrameGroups(odd);
    EXPECT_EQ(std::vector<std::uint8_t>(odd.begin(), odd.begin() + 6),
              std::vector<std::uint8_t>(b.begin(), b.begin() + 6));
}

TEST(CompactFrameGroups, RegionSizesAndUntouchedTail) {
    for (const auto& [size, kept] : {std::pair{151, 113}, {261, 195}, {176, 132}}) {
        std::vector<std::uint8_t> region(static_cast<std::size_t>(size), 0);
        for (int i = 0; i < size; ++i)
            region[std::size_t(i)] = std::uint8_t(i);
        const std::vector<std::uint8_t> before = region;
        ASSERT_EQ(device::CompactFrameGroups(region), std::size_t(kept)) << size;
        EXPECT_EQ(region[0], 1);
        EXPECT_EQ(region[3], 5);
        EXPECT_EQ(region[std::size_t(kept - 1)], std::uint8_t(size - 1 - ((size - 1) % 4 == 0)));
        for (int i = kept; i < size; ++i)
            EXPECT_EQ(region[std::size_t(i)], before[std::size_t(i)]) << size << " @" << i;
    }
}

TEST(PacedWait, StepCount) {
    for (const auto& [t, steps] :
         {std::pair{-10, 0}, {0, 0}, {1, 1}, {50, 1}, {51, 2}, {100, 2}, {1000, 20}}) {
        EXPECT_EQ(device::PacedWaitSteps(t), steps) << t;
    }
    EXPECT_GT(device::PacedWaitSteps(std::numeric_limits<int>::max()), 0);
}

class PacedSendTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = device::PacingStep();
        device::SetPacingStep(std::chrono::milliseconds(0));
    }
    void TearDown() override { device::SetPacingStep(saved); }
    std::chrono::milliseconds saved{};
};

TEST_F(PacedSendTest, DesignStepIsFiftyMilliseconds) {
    EXPECT_EQ(saved, std::chrono::milliseconds(50));
}

TEST_F(PacedSendTest, WaitProcessesPendingEventsOnlyWhenItWaits) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    device::PacedWait(0);
    EXPECT_FALSE(ran);
    device::PacedWait(50);
    EXPECT_TRUE(ran);
}

TEST_F(PacedSendTest, EveryLineByteFollowsAWaitWithEventProcessing) {
    QByteArray sent;
    bool eventsRan = false;
    auto arm = [&] {
        eventsRan = false;
        QTimer::singleShot(0, [&] { eventsRan = true; });
    };
    arm();
    int bytesWithoutWait = 0;
    device::SendFramed(QByteArray::fromHex("0c"), [&](char byte) {
        if (!eventsRan) ++bytesWithoutWait;
        sent.append(byte);
        arm();
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(sent, QByteArray::fromHex("810c0000"));
    EXPECT_EQ(bytesWithoutWait, 0);
}

TEST_F(PacedSendTest, SendsTheBuilderBytesOneByOne) {
    const QByteArray message = Message(22, 7);
    QByteArray sent;
    device::SendFramed(message, [&](char byte) { sent.append(byte); });
    EXPECT_EQ(sent, device::FrameLineBytes(message));
}

} // namespace
