// The read and write sequences on a fake line, without a window.
#include "device/TransferSequence.h"
#include "device/PacedSend.h"
#include "support/FakeLine.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

using device::TTransferSequence;

// Records what the sequence does to the window, and lets a test act from inside
// each call, where the real window processes events.
struct TRecordingView final : device::TTransferView {
    QStringList log;
    std::function<void()> inside;
    void ShowMessage(int number, int severity, const QString& argument) override {
        log << QStringLiteral("message %1/%2%3").arg(number).arg(severity).arg(argument);
        if (inside)
            inside();
    }
    bool lineReady = true;
    bool LineReady() override {
        log << "line";
        if (inside)
            inside();
        return lineReady;
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
    void CounterEditKept(int port, std::uint16_t value) override {
        log << QStringLiteral("kept %1=%2").arg(port).arg(value);
    }
    void FirmwareRefused() override { log << "refused"; }
    void WriteChecked(const std::optional<config::ConfigImage>& back) override {
        log << (back ? "checked" : "unchecked");
        readBack = back;
    }
    void TransferEnded() override { log << "ended"; }
    std::optional<config::ConfigImage> readBack;
};

using testsupport::TFakeLine;

QByteArray Answer(int dataBytes, std::uint8_t marker, int firmwareMinor = 93) {
    QByteArray data(dataBytes, char(marker));
    data[2] = 8; // ports
    data[4] = 1;
    data[5] = char(firmwareMinor);
    return testsupport::TFakeLine::Frame(data);
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
    // As a loaded parameter file leaves it: fit to write, with eight ports.
    void loadImage() {
        image.BasicBlock()[2] = 8;
        sequence.ImageLoaded();
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
    int chargeRequests = 0;
    line.onSend = [&](QByteArrayView bytes) {
        // Paced line bytes, the write's own fresh read of the counters, and its read-back.
        if (const QByteArray back = TFakeLine::BlockAnswer(bytes, image); !back.isEmpty()) {
            line.Post(back);
        } else if (bytes.size() == 4) {
            EXPECT_EQ(bytes.toByteArray().toHex(' '), "83 06 00 00");
            ++chargeRequests;
            line.Post(kCharge);
        } else {
            EXPECT_EQ(bytes.size(), 1);
        }
        EXPECT_TRUE(sequence.Writing());
        EXPECT_FALSE(sequence.StartRead());
        return true;
    };
    EXPECT_EQ(sequence.Write(2), device::TWriteResult::Written);
    EXPECT_EQ(chargeRequests, 1);
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
    for (const int minor : {92, 94}) {
        view.log.clear();
        line.calls.clear();
        ASSERT_TRUE(sequence.StartRead());
        line.Deliver(Answer(113, 0x11, minor));
        EXPECT_EQ(view.log.filter("refused").size(), 1) << minor;
        EXPECT_TRUE(view.log.contains("message 31/2")) << minor;
        EXPECT_FALSE(sequence.Busy());
        EXPECT_EQ(requests().size(), 1) << "no terminal request";
        EXPECT_EQ(sequence.WriteBlocker(), device::TWriteBlocker::NotRead);
    }
}

QByteArray Counters(std::initializer_list<std::pair<int, int>> units) {
    QByteArray data(132, '\0');
    for (const auto& [port, value] : units) {
        data[2 * port - 1] = char(value & 0xFF);
        data[2 * port] = char(value >> 8);
    }
    return testsupport::TFakeLine::Frame(data);
}
const QByteArray kNoise = QByteArray::fromHex("55aa00ff");

TEST_F(SequenceFixture, NoiseInFrontOfEachAnswerNeverChangesAStoredCounter) {
    ASSERT_TRUE(sequence.StartRead());
    line.Deliver(kNoise + kBasic);
    line.Deliver(kNoise + kTerminal);
    line.Deliver(kNoise); // noise alone is no answer
    line.Deliver(kNoise + Counters({{1, 12}, {3, 345}, {8, 1}}));
    EXPECT_TRUE(view.log.contains("complete"));
    EXPECT_EQ(image.BasicBlock()[1], 0x11);
    EXPECT_EQ(image.TerminalBlock()[1], 0x22);
    EXPECT_EQ(image.UnitCounterValue(1), 12);
    EXPECT_EQ(image.UnitCounterValue(3), 345);
    EXPECT_EQ(image.UnitCounterValue(8), 1);
    EXPECT_EQ(line.logged.filter("Skipped 4 bytes of noise").size(), 3);
    EXPECT_EQ(line.logged.filter("Refused 4 bytes").size(), 1);

    // The write's fresh read of the counters, with noise in front of its answer too.
    QByteArray wire;
    line.onSend = [&](QByteArrayView bytes) {
        wire += bytes.toByteArray();
        if (const QByteArray back = TFakeLine::BlockAnswer(bytes, image); !back.isEmpty()) {
            line.Post(kNoise + back);
        } else if (bytes.size() == 4) {
            line.Post(kNoise);
            line.Post(kNoise + Counters({{1, 13}, {3, 345}, {8, 2}}));
        }
        return true;
    };
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::Written);
    EXPECT_EQ(image.UnitCounterValue(1), 13);
    EXPECT_EQ(image.UnitCounterValue(8), 2);
    EXPECT_EQ(line.flushes, 6) << "before each of the six requests";
}

TEST_F(SequenceFixture, StrayBytesNeverStandInFrontOfAnAnswer) {
    line.Deliver(QByteArray(1, '\0')); // before anything was asked
    EXPECT_EQ(line.logged, QStringList({"Dropped 1 bytes: no answer awaited"}));
    ASSERT_TRUE(sequence.StartRead());
    EXPECT_EQ(line.flushes, 1);
    line.Deliver(QByteArray(1, char(0xFF)) + kBasic);
    EXPECT_EQ(image.BasicBlock()[1], 0x11);
    EXPECT_FALSE(view.log.contains("refused")) << "firmware 1.93 was read as it is";
    EXPECT_EQ(sequence.CurrentState(), TTransferSequence::TerminalBlock);

    // A block that is no answer counts as none: the time-out says so.
    line.Deliver(kTerminal.left(200));
    EXPECT_TRUE(line.logged.contains("Refused 200 bytes: no framed block of 195 data bytes"));
    for (int i = 0; i < TTransferSequence::kTerminalTimeout; ++i)
        sequence.Tick();
    EXPECT_TRUE(view.log.contains("message 4/2"));
    EXPECT_EQ(image.TerminalBlock()[1], 0);
}

TEST_F(SequenceFixture, NothingIsWrittenThatWasNotRead) {
    int sent = 0;
    line.onSend = [&](QByteArrayView) {
        ++sent;
        return true;
    };
    // The exchange did not answer: the image holds zeros.
    ASSERT_TRUE(sequence.StartRead());
    for (int i = 0; i < TTransferSequence::kBasicTimeout; ++i)
        sequence.Tick();
    sent = 0;
    view.log.clear();
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::Refused);
    EXPECT_EQ(view.log, QStringList({"message 55/20"}));
    EXPECT_FALSE(sequence.Busy());

    // Half a read is not enough either, nor a port count outside 1..8.
    auto readWithPorts = [&](int ports, bool terminal) {
        QByteArray data(113, '\0');
        data[2] = char(ports);
        data[4] = 1;
        data[5] = 93;
        line.onSend = nullptr;
        ASSERT_TRUE(sequence.StartRead());
        line.Deliver(testsupport::TFakeLine::Frame(data));
        if (terminal)
            line.Deliver(kTerminal);
        while (sequence.Busy())
            sequence.Tick();
        line.onSend = [&](QByteArrayView) {
            ++sent;
            return true;
        };
    };
    readWithPorts(8, false);
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::Refused);
    for (const int ports : {0, 9, 255}) {
        readWithPorts(ports, true);
        view.log.clear();
        EXPECT_EQ(sequence.Write(8), device::TWriteResult::Refused) << ports;
        EXPECT_EQ(view.log, QStringList({QString("message 56/2%1").arg(ports)}));
    }
    EXPECT_EQ(sent, 0) << "nothing reached the line";

    readWithPorts(1, true);
    sequence.ForgetImage(); // the port leads to another device now
    EXPECT_EQ(sequence.Write(1), device::TWriteResult::Refused);
    EXPECT_EQ(sent, 0);
    sequence.ImageLoaded();
    EXPECT_EQ(sequence.WriteBlocker(), device::TWriteBlocker::None);
}

// The data bytes of the charge message as they went over the line: every line byte
// after the last charge request, headers removed.
QByteArray ChargeMessage(const QByteArray& wire) {
    const QByteArray line = wire.mid(wire.lastIndexOf(QByteArray("\x83\x06\x00\x00", 4)) + 4);
    QByteArray data;
    for (qsizetype i = 0; i < line.size(); ++i)
        if (i % 4 != 0)
            data += line[i];
    return data;
}

TEST_F(SequenceFixture, AWriteSendsTheCountersReadAfreshWithTheUsersEditsOver) {
    loadImage();
    image.SetUnitCounterValue(1, 100); // as last read
    image.SetUnitCounterValue(2, 200);
    QByteArray fresh(132, '\0');
    fresh[1] = char(150); // the exchange counted on: 150 and 250
    fresh[3] = char(250);
    QByteArray wire;
    line.onSend = [&](QByteArrayView bytes) {
        wire += bytes.toByteArray();
        if (const QByteArray back = TFakeLine::BlockAnswer(bytes, image); !back.isEmpty()) {
            line.Post(back);
        } else if (bytes.size() == 4) {
            EXPECT_TRUE(view.log.contains("message 1/1"));
            line.Post(Answer(195, 0)); // a late terminal answer is no charge block
            line.Post(testsupport::TFakeLine::Frame(fresh));
        }
        return true;
    };
    device::TCounterEdits edits;
    edits[1] = 0;    // the user resets port 22
    edits[7] = 4660; // and sets port 28
    EXPECT_EQ(sequence.Write(2, edits), device::TWriteResult::Written);
    const QByteArray sent = ChargeMessage(wire);
    ASSERT_GE(sent.size(), 129);
    EXPECT_EQ(quint8(sent[0]), 5);
    EXPECT_EQ(quint8(sent[1]) + 256 * quint8(sent[2]), 150) << "the exchange's own count";
    EXPECT_EQ(quint8(sent[3]) + 256 * quint8(sent[4]), 0) << "the user's edit";
    EXPECT_EQ(quint8(sent[15]) + 256 * quint8(sent[16]), 4660) << "the last port's edit";
    EXPECT_TRUE(view.log.contains("stored 2")) << "evaluated and logged as any read";
    EXPECT_TRUE(view.log.contains("kept 2=0"));
    EXPECT_TRUE(view.log.contains("message 90/1"));
}

TEST_F(SequenceFixture, WithoutAFreshReadTheCountersAreNotWritten) {
    loadImage();
    image.SetUnitCounterValue(1, 100);
    QByteArray wire;
    line.onSend = [&](QByteArrayView bytes) {
        wire += bytes.toByteArray();
        line.Post(TFakeLine::BlockAnswer(bytes, image)); // the counters stay unanswered
        return true;
    };
    device::TCounterEdits edits;
    edits[0] = 0;
    QTimer seconds; // the one-second timer, quickened
    QObject::connect(&seconds, &QTimer::timeout, [&] { sequence.Tick(); });
    seconds.start(1);
    EXPECT_EQ(sequence.Write(8, edits), device::TWriteResult::ChargesNotWritten);
    EXPECT_TRUE(wire.endsWith(QByteArray("\x83\x06\x00\x00\x83\x0a\x00\x00\x83\x08\x00\x00", 12)))
        << "no charge message, only the read-back after the charge request";
    EXPECT_EQ(image.UnitCounterValue(1), 100) << "the edit stays pending";
    EXPECT_FALSE(view.log.filter("kept").size());
    EXPECT_TRUE(view.log.contains("message 40/2"));
}

TEST_F(SequenceFixture, AWriteIsReadBackAndComparedWithWhatWasSent) {
    loadImage();
    image.SetMsnText(2, u"0221");
    config::ConfigImage held;
    QStringList asked;
    line.onSend = [&](QByteArrayView bytes) {
        if (bytes.size() == 4)
            asked << QString::fromLatin1(bytes.toByteArray().toHex(' '));
        line.Post(bytes == QByteArray::fromHex("83060000") ? kCharge
                                                           : TFakeLine::BlockAnswer(bytes, held));
        return true;
    };
    QTimer seconds; // the one-second timer, quickened
    QObject::connect(&seconds, &QTimer::timeout, [&] { sequence.Tick(); });
    seconds.start(1);

    // Taken as sent; the firmware is the exchange's own and not compared.
    held = image;
    held.BasicBlock()[5] = 94;
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::Written);
    EXPECT_EQ(asked, QStringList({"83 06 00 00", "83 0a 00 00", "83 08 00 00"}));
    EXPECT_EQ(view.log.mid(view.log.indexOf("message 97/1")),
              QStringList({"message 97/1", "message 90/1", "checked", "enabled", "ended"}));
    ASSERT_TRUE(view.readBack);
    EXPECT_EQ(view.readBack->FirmwareMinor(), 94);

    // A message the exchange lost: named, with how many more differ; the pages keep
    // what was written, to be written again.
    held.SetMsnText(2, u"0222");
    held.Port(3).Bytes()[1] = 4;
    view.log.clear();
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::Differs);
    EXPECT_TRUE(view.log.contains(
        QString::fromUtf8("message 91/2MSN 2: 0221 → 0222 und 1 weitere Änderung")))
        << view.log.join('\n').toStdString();
    EXPECT_EQ(image.MsnText(2), "0221");
    EXPECT_EQ(view.readBack->MsnText(2), "0222");

    // No answer to the basic block: the terminal block is not asked for.
    held = image;
    asked.clear();
    line.onSend = [&](QByteArrayView bytes) {
        if (bytes.size() == 4)
            asked << QString::fromLatin1(bytes.toByteArray().toHex(' '));
        if (bytes == QByteArray::fromHex("83060000"))
            line.Post(kCharge);
        return true;
    };
    view.log.clear();
    EXPECT_EQ(sequence.Write(8), device::TWriteResult::NotChecked);
    EXPECT_EQ(asked, QStringList({"83 06 00 00", "83 0a 00 00"}));
    EXPECT_TRUE(view.log.contains("message 92/2"));
    EXPECT_TRUE(view.log.contains("unchecked"));
}

TEST_F(SequenceFixture, AbortStopsAWriteBetweenTwoLineBytes) {
    loadImage();
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
