#include "PtySimulator.h"
#include "VarnoDevice.h"
#include "serial/Comm32.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>

using namespace varnosim;

namespace {

// What the program does with an answer: drop every fourth byte from the first.
std::vector<uint8_t> Compact(const std::vector<uint8_t>& line) {
    std::vector<uint8_t> data;
    for (size_t i = 0; i < line.size(); ++i)
        if (i % 4 != 0)
            data.push_back(line[i]);
    return data;
}

std::optional<TAnswer> FeedAll(TVarnoDevice& device, const std::vector<uint8_t>& bytes,
                               int64_t t = 0) {
    std::optional<TAnswer> last;
    for (uint8_t b : bytes)
        if (auto a = device.Feed(b, t))
            last = a;
    return last;
}

std::vector<uint8_t> Message(uint8_t code, const uint8_t* from, size_t count) {
    // Sized up front: GCC 12 at -O3 sees an insert after a one-byte vector as out of bounds.
    std::vector<uint8_t> msg(count + 1);
    msg[0] = code;
    std::copy_n(from, count, msg.begin() + 1);
    return FrameMessage(msg);
}

using testsupport::WaitUntil;

} // namespace

TEST(VarnoDevice, ReadRequestsAreAnsweredInWholeFrameGroups) {
    TVarnoDevice device;
    struct Expected {
        TRegion region;
        size_t lineBytes;
        uint8_t lastHeader;
    };
    // 113, 195 and 132 data bytes: 38, 65 and 44 groups.
    for (const auto& [region, lineBytes, lastHeader] :
         {Expected{BasicRegion, 152, 0x82}, Expected{TerminalRegion, 260, 0x83},
          Expected{ChargeRegion, 176, 0x83}}) {
        const auto answer = FeedAll(device, {0x83, region.readCode, 0, 0});
        ASSERT_TRUE(answer) << int(region.readCode);
        ASSERT_EQ(answer->bytes.size(), lineBytes);
        for (size_t i = 0; i + 4 < lineBytes; i += 4)
            EXPECT_EQ(answer->bytes[i], 0x03);
        EXPECT_EQ(answer->bytes[lineBytes - 4], lastHeader);
        auto data = Compact(answer->bytes);
        data.resize(DataBytes(region)); // the padding of the last group is no data
        EXPECT_EQ(data[0], region.readCode);
        EXPECT_TRUE(std::equal(data.begin() + 1, data.end(),
                               device.Image().begin() + long(region.offset) + 1));
    }
    EXPECT_EQ(DataBytes(BasicRegion), 113u);
    EXPECT_EQ(DataBytes(TerminalRegion), 195u);
    EXPECT_EQ(DataBytes(ChargeRegion), 132u);
}

TEST(VarnoDevice, DefaultConfigurationIsRealistic) {
    const TVarnoDevice device;
    const auto& image = device.Image();
    EXPECT_EQ(image[4], 1);
    EXPECT_EQ(image[5], 93);
    EXPECT_EQ(device.PortCount(), 8);
    EXPECT_EQ(UnpackDigits(&image[7], 5), "4711");
    EXPECT_EQ(UnpackDigits(&image[7 + 5 * 9], 5), "");
    std::set<int> permissions, services;
    for (int p = 0; p < 8; ++p) {
        permissions.insert(image[151 + 1 + 24 * p + 1]);
        services.insert(image[151 + 1 + 24 * p + 2]);
    }
    EXPECT_EQ(permissions.size(), 5u);
    EXPECT_EQ(services.size(), 6u);
    EXPECT_EQ(device.Units(7), 1999);
}

TEST(VarnoDevice, WriteMessagesAreTakenIntoTheConfiguration) {
    TVarnoDevice device;
    device.SetPortCount(3);
    uint8_t basic[106];
    for (int i = 0; i < 106; ++i)
        basic[i] = uint8_t(200 - i);
    EXPECT_FALSE(FeedAll(device, Message(9, basic, 106)));
    EXPECT_TRUE(std::equal(basic, basic + 106, device.Image().begin() + 1));

    uint8_t records[3][21];
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < 21; ++i)
            records[p][i] = uint8_t(p * 30 + i);
        FeedAll(device, Message(7, records[p], 21));
    }
    FeedAll(device, {0x81, 12, 0, 0});
    for (int p = 0; p < 3; ++p)
        EXPECT_TRUE(
            std::equal(records[p], records[p] + 21, device.Image().begin() + 151 + 1 + 24 * p))
            << "port " << 21 + p;
    // After the end message the next record belongs to port 21 again.
    FeedAll(device, Message(7, records[2], 21));
    EXPECT_TRUE(std::equal(records[2], records[2] + 21, device.Image().begin() + 152));

    uint8_t charges[128] = {};
    charges[0] = 0x34;
    charges[1] = 0x12;
    FeedAll(device, Message(5, charges, 128));
    EXPECT_EQ(device.Units(1), 0x1234);
    EXPECT_EQ(device.AppliedWrites(), 1 + 3 + 1 + 1 + 1);
}

TEST(VarnoDevice, AWriteMessageCanBeLostOnPurpose) {
    TVarnoDevice device;
    device.Faults().ignoreWrite = 3; // basic block, port 21, then port 22's record
    const TImage before = device.Image();
    uint8_t basic[106] = {};
    FeedAll(device, Message(9, basic, 106));
    uint8_t records[3][21];
    for (int p = 0; p < 3; ++p) {
        std::fill(std::begin(records[p]), std::end(records[p]), uint8_t(0x40 + p));
        FeedAll(device, Message(7, records[p], 21));
    }
    const auto record = [&](const TImage& image, int p) {
        return std::vector<uint8_t>(image.begin() + 152 + 24 * p,
                                    image.begin() + 152 + 24 * p + 21);
    };
    EXPECT_EQ(record(device.Image(), 0), std::vector<uint8_t>(21, 0x40));
    EXPECT_EQ(record(device.Image(), 1), record(before, 1)) << "port 22 as it was";
    EXPECT_EQ(record(device.Image(), 2), std::vector<uint8_t>(21, 0x42)) << "23 at its place";
    EXPECT_EQ(device.AppliedWrites(), 3);
}

TEST(VarnoDevice, BadInputIsSkippedWithoutHarm) {
    TVarnoDevice device;
    const auto before = device.Image();
    // Noise without a header, an overlong message, a message of the wrong length.
    EXPECT_FALSE(FeedAll(device, {0x00, 0xFF, 0x42, 0x80, 0x84}));
    std::vector<uint8_t> longMessage;
    for (int g = 0; g < 60; ++g)
        longMessage.insert(longMessage.end(), {0x03, 9, 9, 9});
    EXPECT_FALSE(FeedAll(device, longMessage));
    uint8_t few[10] = {};
    EXPECT_FALSE(FeedAll(device, Message(9, few, 10)));
    EXPECT_EQ(device.Image(), before);
    EXPECT_EQ(device.AppliedWrites(), 0);
    EXPECT_GT(device.IgnoredBytes(), 0);
    // The device is still in step afterwards.
    EXPECT_TRUE(FeedAll(device, {0x83, 10, 0, 0}));
    // An unfinished message is dropped after a long gap.
    FeedAll(device, {0x83, 10}, 0);
    EXPECT_FALSE(FeedAll(device, {0x00, 0x00}, TVarnoDevice::MessageGapMs + 10));
    EXPECT_TRUE(FeedAll(device, {0x83, 6, 0, 0}, TVarnoDevice::MessageGapMs + 20));
}

TEST(VarnoDevice, FaultSwitchesShapeTheAnswers) {
    TVarnoDevice device;
    device.Faults().silentOn = 8;
    device.Faults().lateOn = 6;
    device.Faults().lateMs = 700;
    device.Faults().garbage = 5;
    EXPECT_FALSE(FeedAll(device, {0x83, 8, 0, 0}));
    const auto charge = FeedAll(device, {0x83, 6, 0, 0});
    ASSERT_TRUE(charge);
    EXPECT_EQ(charge->delayMs, 700);
    EXPECT_EQ(charge->bytes.size(), 176u + 5u);
    const auto basic = FeedAll(device, {0x83, 10, 0, 0});
    ASSERT_TRUE(basic);
    EXPECT_EQ(basic->delayMs, 0);
}

TEST(VarnoDevice, ChargeUnitsGrowPerPortAndParameterFilesRoundTrip) {
    testsupport::ScratchHome home;
    TVarnoDevice device;
    device.SetPortCount(2);
    const uint16_t u1 = device.Units(1), u2 = device.Units(2), u3 = device.Units(3);
    for (int i = 0; i < 4; ++i)
        device.ChargeTick();
    EXPECT_EQ(device.Units(1), u1 + 4);
    EXPECT_EQ(device.Units(2), u2 + 2);
    EXPECT_EQ(device.Units(3), u3); // beyond the port count

    const std::string path = home.file("cfg.vrn").toStdString();
    ASSERT_TRUE(device.SaveParameterFile(path));
    EXPECT_EQ(testsupport::readAll(home.file("cfg.vrn")).size(), 588);
    TVarnoDevice loaded;
    ASSERT_TRUE(loaded.LoadParameterFile(path));
    EXPECT_EQ(loaded.Image(), device.Image());

    testsupport::writeAll(home.file("short.vrn"), QByteArray(100, 'x'));
    std::string error;
    EXPECT_FALSE(loaded.LoadParameterFile(home.file("short.vrn").toStdString(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(loaded.Image(), device.Image());
}

TEST(PtySimulator, AnswersAndAppliesWritesOverTheLine) {
    testsupport::ScratchHome home;
    TSimOptions options;
    options.linkPath = home.file("varno").toStdString();
    options.dumpPath = home.file("dump.vrn").toStdString();
    TPtySimulator sim(TVarnoDevice{}, options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;

    TComm32 comm;
    comm.SetCommPort(home.file("varno"));
    QByteArray got;
    comm.OnReceiveData = [&](const char* b, uint16_t n) { got.append(b, n); };
    comm.OpenPort();
    comm.SendData(QByteArray("\x83\x0A\x00\x00", 4));
    ASSERT_TRUE(WaitUntil([&] { return got.size() >= 152; }));
    EXPECT_EQ(got.size(), 152);

    // The write sequence, one paced byte at a time as the program sends it.
    uint8_t record[21] = {0, 4, 5, 0, 1};
    const auto line = Message(7, record, 21);
    for (uint8_t b : line) {
        comm.SendData(reinterpret_cast<const char*>(&b), 1);
        QTest::qWait(2);
    }
    for (uint8_t b : std::vector<uint8_t>{0x81, 12, 0, 0})
        comm.SendData(reinterpret_cast<const char*>(&b), 1);
    ASSERT_TRUE(sim.WaitForWrites(2, 5000));
    const auto image = sim.ImageSnapshot();
    EXPECT_TRUE(std::equal(record, record + 21, image.begin() + 152));
    ASSERT_TRUE(
        WaitUntil([&] { return testsupport::readAll(home.file("dump.vrn")).size() == 588; }));
    sim.Stop();
    EXPECT_FALSE(QFile::exists(home.file("varno")));
}

TEST(PtySimulator, PacesAnswersAtTheLineRate) {
    TPtySimulator sim(TVarnoDevice{}, TSimOptions{});
    ASSERT_TRUE(sim.Start());
    TComm32 comm;
    comm.SetCommPort(QString::fromStdString(sim.DevicePath()));
    comm.OpenPort();
    QElapsedTimer timer;
    timer.start();
    comm.SendData(QByteArray("\x83\x08\x00\x00", 4));
    ASSERT_TRUE(sim.WaitForSent(260, 5000));
    // 260 bytes at 9600 baud take about 271 ms; only the lower bound is firm.
    EXPECT_GE(timer.elapsed(), 250);
}

TEST(PtySimulator, HangupAfterBytesReachesTheProgramOnce) {
    TVarnoDevice device;
    device.Faults().hangupAfter = 40;
    TPtySimulator sim(std::move(device), TSimOptions{});
    ASSERT_TRUE(sim.Start());
    TComm32 comm;
    comm.SetCommPort(QString::fromStdString(sim.DevicePath()));
    int hangups = 0;
    QByteArray got;
    comm.OnReceiveData = [&](const char* b, uint16_t n) { got.append(b, n); };
    comm.OnRequestHangup = [&](TComm32*) { ++hangups; };
    comm.OpenPort();
    comm.SendData(QByteArray("\x83\x06\x00\x00", 4));
    ASSERT_TRUE(WaitUntil([&] { return hangups > 0; }));
    QTest::qWait(200);
    EXPECT_EQ(hangups, 1);
    EXPECT_TRUE(sim.HungUp());
    EXPECT_LE(got.size(), 40);
}

TEST(PtySimulator, ChargeUnitsCountWhileItRuns) {
    TSimOptions options;
    options.chargeIntervalMs = 10;
    TPtySimulator sim(TVarnoDevice{}, options);
    ASSERT_TRUE(sim.Start());
    const int start1 = sim.Units(1), start2 = sim.Units(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Units(1) >= start1 + 6; }));
    const int grown2 = sim.Units(2) - start2; // read first: port 21 only grows meanwhile
    const int grown1 = sim.Units(1) - start1;
    EXPECT_GE(grown2, 2);
    EXPECT_LE(grown2, grown1 / 2 + 1); // port 22 counts at half the rate
}
