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

// What a received block turns into, in the manner of gpsd's packet tests: each row a
// block and the message found in it for a block of five data bytes.
TEST(FindFramedMessage, WhatIsTakenFromEachBlock) {
    const QByteArray m = "03 41 42 43 82 44 45 00";     // five data bytes: the answer
    const QByteArray other = "03 56 57 58 82 59 5a 00"; // a second answer
    const QByteArray longer = "03 31 32 33 03 34 35 36 82 37 38 00";
    struct Row {
        const char* what;
        QByteArray block;
        QByteArray found; // empty: nothing is stored
    };
    const Row rows[] = {
        {"clean", m, m},
        {"noise in front", "55 aa 00 ff " + m, m},
        {"one stray byte in front", "00 " + m, m},
        {"noise behind", m + " ff 03 81", m},
        {"noise inside", "03 41 42 43 55 82 44 45 00", ""},
        {"short last group", "03 41 42 43 82 44 45", ""},
        {"long group", "03 41 42 43 44 82 44 45 00", ""},
        {"wrong header in front", "04 41 42 43 82 44 45 00", ""},
        {"wrong last header 0x84", "03 41 42 43 84 44 45 00", ""},
        {"wrong last header 0x80", "03 41 42 43 80 44 45 00", ""},
        {"no last group", "03 41 42 43 03 44 45 00", ""},
        {"too few data bytes", "03 41 42 43 81 44 00 00", ""},
        {"a short framed message in front", "81 99 00 00 " + m, m},
        {"two answers glued", m + " " + other, m},
        {"a longer message, then the answer", longer + " " + m, m},
        {"a longer message alone", longer, longer},
        {"the answer, then a longer message", m + " " + longer, m},
        {"empty", "", ""},
    };
    for (const Row& row : rows) {
        const QByteArray block = QByteArray::fromHex(row.block);
        const device::TFramedMessage found = device::FindFramedMessage(block, 5);
        const QByteArray taken =
            found.Found() ? block.mid(found.offset, found.length) : QByteArray();
        EXPECT_EQ(taken.toHex(' '), QByteArray::fromHex(row.found).toHex(' ')) << row.what;
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
