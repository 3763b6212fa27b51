// The read and write sequences on a fake line, without a window.
#include "device/TransferSequence.h"
#include "device/PacedSend.h"
#include "support/FakeLine.h"

#include <QRegularExpression>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace {

using device::TTransferSequence;

// Records what the sequence does to the window, and lets a test act from inside
// each call, where the real window processes events.
struct TRecordingView : device::TTransferView {
    QStringList log;
    std::function<void()> inside;
    void ShowMessage(int number, int severity, const QString& argument) override {
        log << QStringLiteral("message %1/%2%3").arg(number).arg(severity).arg(argument);
        if (inside)
            inside();
    }
    void SetControlsEnabled(bool enabled) override {
        log << (enabled ? "enabled" : "locked");
        if (inside)
            inside();
    }
    void BlockStored(config::Region region) override {
        log << QStringLiteral("stored %1").arg(int(region));
    }
    void ReadComplete() override { log << "complete"; }
    void FirmwareRefused() override { log << "refused"; }
    void TransferEnded() override { log << "ended"; }
};

QByteArray Answer(int dataBytes, std::uint8_t marker, int firmwareMinor = 93) {
    QByteArray data(dataBytes, char(marker));
    data[4] = 1;
    data[5] = char(firmwareMinor);
    QByteArray line;
    for (qsizetype i = 0; i < data.size(); i += 3)
        line += char(0x80 | std::min<qsizetype>(3, data.size() - i)) + data.mid(i, 3);
    return line;
}
const QByteArray kBasic = Answer(113, 0x11), kTerminal = Answer(195, 0x22),
                 kCharge = Answer(132, 0x33);

struct SequenceFixture : ::testing::Test, device::TLineListener {
    testsupport::TFakeLine line;
    config::ConfigImage image;
    TRecordingView view;
    TTransferSequence sequence{line, image, view};
    // As the window does: what the line delivers goes to the sequence.
    void LineData(QByteArrayView block) override { sequence.Receive(block); }
    void LineError(const QString&) override {}
    void LineLost() override {}
    void SetUp() override {
        device::SetPacingStep(std::chrono::milliseconds(0));
        line.SetListener(this);
    }
    void TearDown() override { device::SetPacingStep(std::chrono::milliseconds(50)); }
    QStringList requests() const { return line.calls.filter(QRegularExpression("^send 83 ")); }
};

TEST_F(SequenceFixture, NoSecondTransferFromInsideARunningOne) {
    int refused = 0;
    view.inside = [&] {
        refused += !sequence.StartRead();
        refused += sequence.Write(8) == device::TWriteResult::NotStarted;
    };
    ASSERT_TRUE(sequence.StartRead());
    EXPECT_TRUE(sequence.Busy());
    line.Deliver(kBasic);
    line.Deliver(kTerminal);
    line.Deliver(kCharge);
    EXPECT_FALSE(sequence.Busy());
    EXPECT_EQ(requests(),
              QStringList({"send 83 0a 00 00", "send 83 08 00 00", "send 83 06 00 00"}));
    EXPECT_EQ(view.log.filter("message 1/1").size(), 1);
    EXPECT_GT(refused, 0) << "the view was called while busy";

    line.calls.clear();
    view.inside = [&] { EXPECT_FALSE(sequence.StartRead()) << "a request cut into the write"; };
    line.onSend = [&](QByteArrayView bytes) {
        EXPECT_EQ(bytes.size(), 1) << "only paced line bytes during a write";
        EXPECT_TRUE(sequence.Writing());
        EXPECT_FALSE(sequence.StartRead());
        return true;
    };
    EXPECT_EQ(sequence.Write(2), device::TWriteResult::Written);
    EXPECT_TRUE(line.calls.isEmpty());
    EXPECT_EQ(view.log.last(), "ended");
}

TEST_F(SequenceFixture, OnlyTheAwaitedWholeAnswerIsStored) {
    line.Deliver(kBasic);
    EXPECT_EQ(image.BasicBlock()[1], 0) << "nothing was asked for yet";

    ASSERT_TRUE(sequence.StartRead());
    line.Deliver(kBasic.left(150)); // one data byte short: left to the time-out
    EXPECT_EQ(sequence.CurrentState(), TTransferSequence::BasicBlock);
    line.Deliver(kBasic + QByteArray(1, '\0')); // a whole last group is fine
    EXPECT_EQ(image.BasicBlock()[1], 0x11);
    EXPECT_EQ(sequence.CurrentState(), TTransferSequence::TerminalBlock);

    // The terminal request goes unanswered; its answer after the time-out still counts.
    for (int i = 0; i < TTransferSequence::kTerminalTimeout; ++i)
        sequence.Tick();
    EXPECT_FALSE(sequence.Busy());
    EXPECT_TRUE(view.log.contains("message 4/2"));
    view.log.clear();
    line.Deliver(kTerminal);
    EXPECT_TRUE(sequence.Busy());
    EXPECT_EQ(view.log.value(0), "locked") << "the sequence goes on, locked again";
    line.Deliver(kCharge);
    EXPECT_EQ(image.ChargeBlock()[1], 0x33);
    EXPECT_FALSE(sequence.Busy());

    // A complete read awaits nothing more.
    const config::ConfigImage before = image;
    line.Deliver(Answer(132, 0x44));
    EXPECT_TRUE(image == before);
}

TEST_F(SequenceFixture, FirmwareGateUsesTheStoredValue) {
    ASSERT_TRUE(sequence.StartRead());
    line.Deliver(Answer(113, 0x11, 92));
    EXPECT_EQ(view.log.filter("refused").size(), 1);
    EXPECT_TRUE(view.log.contains("message 31/2"));
    EXPECT_FALSE(sequence.Busy());
    EXPECT_EQ(requests().size(), 1) << "no terminal request";
}

TEST_F(SequenceFixture, AbortStopsAWriteBetweenTwoLineBytes) {
    int sent = 0;
    line.onSend = [&](QByteArrayView) {
        if (++sent == 30)
            sequence.Abort();
        return true;
    };
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::Aborted);
    EXPECT_EQ(sent, 30);
    EXPECT_FALSE(sequence.Busy());
    EXPECT_FALSE(view.log.contains("ended")) << "nothing deferred starts while ending";
}

} // namespace
