#include "protocol/FrameCodec.h"
#include "device/PacedSend.h"
#include "protocol/Commands.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(FrameLineBytes, HeadersGroupCountsAndPadding) {
    struct Case {
        int length;
        int groups;
        quint8 lastHeader;
    };
    for (const Case c : {Case{1, 1, 0x81}, Case{device::PortRecordMessageLength, 8, 0x81},
                         Case{device::BasicBlockMessageLength, 36, 0x82},
                         Case{device::ChargeBlockMessageLength, 43, 0x83}, Case{3, 1, 0x83}}) {
        QByteArray message;
        for (int i = 0; i < c.length; ++i)
            message.append(char(i + 1));
        const QByteArray line = device::FrameLineBytes(message);
        ASSERT_EQ(line.size(), 4 * c.groups) << c.length;
        for (int i = 0; i < 3 * c.groups; ++i) {
            if (i % 3 == 0) {
                EXPECT_EQ(quint8(line[i / 3 * 4]), i / 3 + 1 < c.groups ? 0x03 : c.lastHeader)
                    << c.length << " group " << i / 3;
            }
            EXPECT_EQ(line[i / 3 * 4 + 1 + i % 3], i < c.length ? message[i] : '\0')
                << c.length << " data " << i;
        }
    }
    EXPECT_TRUE(device::FrameLineBytes(QByteArrayView()).isEmpty());
}

TEST(CompactFrameGroups, DropsEveryFourthByteWhateverItsValue) {
    std::vector<std::uint8_t> b{0x03, 0x0A, 0x01, 0x02, 0x83, 0x03, 0x04, 0x05};
    std::vector<std::uint8_t> odd{0x55, 0x0A, 0x01, 0x02, 0x00, 0x03, 0x04, 0x05};
    const std::vector<std::uint8_t> data{0x0A, 0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(device::CompactFrameGroups(b), 6u);
    device::CompactFrameGroups(odd);
    EXPECT_EQ(std::vector(b.begin(), b.begin() + 6), data);
    EXPECT_EQ(std::vector(odd.begin(), odd.begin() + 6), data);
    EXPECT_EQ(b[6], 0x04); // the tail keeps its old bytes

    for (const auto& [size, kept] : {std::pair{151, 113}, {261, 195}, {176, 132}}) {
        std::vector<std::uint8_t> region(static_cast<std::size_t>(size), 0);
        EXPECT_EQ(device::CompactFrameGroups(region), std::size_t(kept));
    }
}

TEST(PacedWait, StepCount) {
    for (const auto& [t, steps] : {std::pair{-10, 0}, {0, 0}, {1, 1}, {50, 1}, {51, 2}, {1000, 20}})
        EXPECT_EQ(device::PacedWaitSteps(t), steps) << t;
    EXPECT_GT(device::PacedWaitSteps(std::numeric_limits<int>::max()), 0);
}

TEST(SendFramed, EveryLineByteFollowsAWaitThatProcessesEvents) {
    const auto saved = device::PacingStep();
    EXPECT_EQ(saved, std::chrono::milliseconds(50));
    device::SetPacingStep(std::chrono::milliseconds(0));

    bool eventsRan = false;
    auto arm = [&] {
        eventsRan = false;
        QTimer::singleShot(0, [&] { eventsRan = true; });
    };
    arm();
    device::PacedWait(0);
    EXPECT_FALSE(eventsRan);

    QByteArray message(22, '\0');
    message[0] = char(device::command::WritePortRecord);
    QByteArray sent;
    int bytesWithoutWait = 0;
    device::SendFramed(message, [&](char byte) {
        bytesWithoutWait += eventsRan ? 0 : 1;
        sent.append(byte);
        arm();
    });
    QCoreApplication::processEvents();
    device::SetPacingStep(saved);
    EXPECT_EQ(sent, device::FrameLineBytes(message));
    EXPECT_EQ(bytesWithoutWait, 0);
}

} // namespace
