#include "support/WindowFixture.h"

#include "app/MatrixBild.h"
#include "app/ZeitEdit.h"
#include "config/ParameterFile.h"
#include "desktop/UMsgHook.h"
#include "device/PacedSend.h"
#include "protocol/FrameCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

QByteArray Antwort(const QByteArray& data) {
    return WindowFixture::DeviceAnswer(data);
}

QByteArray Grundblock(int major, int minor, int ports) {
    QByteArray data(113, '\0');
    data[2] = char(ports);
    data[3] = 1;
    data[4] = char(major);
    data[5] = char(minor);
    for (int m = 0; m < 10; ++m)
        data.replace(7 + 5 * m, 5, QByteArray::fromHex("21f3ffffff"));
    data[84] = 0x03; // MSN 0 on 21 and 22
    return Antwort(data);
}

QByteArray Endgeraeteblock() {
    QByteArray data(195, '\0');
    for (int p = 0; p < 8; ++p) {
        data[1 + 24 * p + 1] = char(p % 5);
        data[1 + 24 * p + 4] = 1;
    }
    return Antwort(data);
}

QByteArray Gebuehrenblock() {
    QByteArray data(132, '\0');
    data[1] = 7; // port 21: 7 units
    return Antwort(data);
}

struct TransferFixture : WindowFixture {
    std::unique_ptr<THauptFenster> w;
    void SetUp() override {
        device::SetPacingStep(std::chrono::milliseconds(1));
        settings("[Allgemein]\nAnschluß=COM2\n");
        w = make();
        calls.clear();
    }
    void TearDown() override { device::SetPacingStep(std::chrono::milliseconds(50)); }
    void antworte(const QByteArray& bytes) { line->Deliver(bytes); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            w->OnSekunde();
    }
    QList<QWidget*> enabledControls() { return EnabledControls(*w); }
};

} // namespace

TEST_F(TransferFixture, FullReadRequestsEachBlockInTurn) {
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), 10);
    EXPECT_TRUE(enabledControls().isEmpty()) << "locked while reading";
    antworte(Grundblock(1, 93, 8));
    EXPECT_EQ(calls, QStringList({"send 83 08 00 00"}));
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Endgerätekonfiguration wird gelesen"));
    EXPECT_EQ(MSNTabelle(*w, 4)->text(), "123");
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), 10);
    antworte(Endgeraeteblock());
    EXPECT_EQ(calls.last(), "send 83 06 00 00");
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Gebühreninformationen werden gelesen"));
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), 5);
    EXPECT_EQ(BerechtigungTabelle(*w, 2)->text(), QString::fromUtf8("Ortsgespräch"));
    EXPECT_FALSE(Control<TMessageHook>(*w, "MessageHook")->Active());
    antworte(Gebuehrenblock());
    EXPECT_EQ(w->Sitzung().Image().UnitCounterValue(1), 7);
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), -1);
    EXPECT_TRUE(Control<TMessageHook>(*w, "MessageHook")->Active());
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_TRUE(ZuordnungTabelle(*w, 7)->isEnabled());
    EXPECT_EQ(calls.size(), 2);
}

TEST_F(TransferFixture, OtherFirmwareStopsAfterTheBasicBlock) {
    antworte(Grundblock(1, 92, 8));
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.92");
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:WinVarno ist nur für Firmware-Version 1.93 geeignet"));
    EXPECT_GT(pixelsOf(*w, Qt::red), 10);
    EXPECT_EQ(enabledControls(), QList<QWidget*>({Control<QPushButton>(*w, "LesenButton"),
                                                  Control<QPushButton>(*w, "HilfeButton"),
                                                  Control<QPushButton>(*w, "BeendenButton")}));
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), -1);

    // "Lesen" reads the exchange anew without a restart, a 1.93 one to its end.
    Control<QPushButton>(*w, "LesenButton")->click();
    antworte(Grundblock(1, 93, 8));
    antworte(Endgeraeteblock());
    antworte(Gebuehrenblock());
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_EQ(enabledControls().size(), 11);
}

TEST_F(TransferFixture, SchreibenWaitsForACompleteRead) {
    LetReadTimeOut(*w); // the exchange never answered
    EXPECT_FALSE(Control<QPushButton>(*w, "SchreibenButton")->isEnabled());
    EXPECT_EQ(
        Control<QPushButton>(*w, "SchreibenButton")->toolTip(),
        QString::fromUtf8("Nicht geschrieben: erst vollständig lesen oder eine Datei öffnen"));
    EXPECT_EQ(enabledControls().size(), 10);

    // Every other way to start a write (the schedule calls the handler) is refused.
    calls.clear();
    w->OnSchreibenClick();
    EXPECT_TRUE(calls.isEmpty()) << "nothing reached the line";
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("2:Nicht geschrieben: erst vollständig "
                                                  "lesen oder eine Datei öffnen"));

    w->LesenButtonClick();
    antworte(Grundblock(1, 93, 0)); // no port
    antworte(Endgeraeteblock());
    antworte(Gebuehrenblock());
    EXPECT_FALSE(Control<QPushButton>(*w, "SchreibenButton")->isEnabled());
    EXPECT_EQ(Control<QPushButton>(*w, "SchreibenButton")->toolTip(),
              QString::fromUtf8("Nicht geschrieben: 0 a/b-Schnittstellen sind ungültig"));

    w->LesenButtonClick();
    antworte(Grundblock(1, 93, 2));
    antworte(Endgeraeteblock());
    LetReadTimeOut(*w); // the counters need not come
    EXPECT_TRUE(Control<QPushButton>(*w, "SchreibenButton")->isEnabled());
    EXPECT_TRUE(Control<QPushButton>(*w, "SchreibenButton")->toolTip().isEmpty());
}

TEST_F(TransferFixture, SilenceTimesOutAndALateAnswerStillContinues) {
    antworte(Grundblock(1, 93, 8));
    antworte(Endgeraeteblock());
    ticks(4);
    EXPECT_TRUE(enabledControls().isEmpty());
    ticks(1);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_EQ(BerechtigungTabelle(*w, 2)->text(), QString::fromUtf8("Ortsgespräch"));
    ticks(10);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler") << "reported once";

    // A basic block that comes 12 s late still starts the terminal request.
    calls.clear();
    w->LesenButtonClick();
    ticks(12);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    antworte(Grundblock(1, 93, 8));
    EXPECT_EQ(calls, QStringList({"send 83 0a 00 00", "send 83 08 00 00"}));
}

TEST_F(TransferFixture, RequestThatCannotBeHandedOver) {
    LetReadTimeOut(*w);
    line->sendSucceeds = false;
    w->LesenButtonClick();
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:Schnittstelle COM2 kann nicht beschrieben werden"));
    EXPECT_EQ(w->Sitzung().Transfer().TimeoutLeft(), 10);
    ticks(10);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_FALSE(enabledControls().isEmpty());
}

TEST_F(TransferFixture, WriteSendsEveryMessageFramedAndIgnoresAnswers) {
    antworte(Grundblock(1, 93, 2));
    antworte(Endgeraeteblock());
    antworte(Gebuehrenblock());
    calls.clear();
    w->Sitzung().SetZyklusZaehler(1);
    Control<QCheckBox>(*w, "ZyklischNeuLesen")->setChecked(true);
    int nachTransfer = 0;
    w->Sitzung().NachTransfer = [&] { ++nachTransfer; };

    // Watch the line byte by byte, and disturb the write from inside it.
    QByteArray wire;
    QStringList statuses;
    QList<bool> lockedWhileSending;
    int freshReads = 0;
    int readBacks = 0;
    line->onSend = [&](QByteArrayView bytes) {
        if (bytes == QByteArrayView("\x83\x06\x00\x00", 4)) {
            ++freshReads; // the write's own read of the counters, answered a moment later
            line->Post(Gebuehrenblock());
            return true;
        }
        if (const QByteArray back = line->BlockAnswer(bytes, w->Sitzung().Image());
            !back.isEmpty()) {
            ++readBacks; // and its read-back: the exchange took it all
            line->Post(back);
            return true;
        }
        EXPECT_EQ(bytes.size(), 1) << "each line byte by itself";
        wire += bytes;
        if (statuses.isEmpty() || statuses.last() != w->statusText(0))
            statuses << w->statusText(0);
        lockedWhileSending << !Control<QPushButton>(*w, "LesenButton")->isEnabled();
        if (wire.size() == 200) {
            const config::ConfigImage before = w->Sitzung().Image();
            antworte(Grundblock(1, 92, 8)); // dropped
            EXPECT_TRUE(w->Sitzung().Image() == before);
            w->OnSekunde(); // the cyclic read falls due: skipped, not sent
        }
        return true;
    };
    w->OnSchreibenClick();
    line->onSend = nullptr;

    QByteArray basic(reinterpret_cast<const char*>(w->Sitzung().Image().BasicBlock().data()), 107);
    EXPECT_EQ(basic[0], 9);
    auto port = [&](int p) {
        return QByteArray(1, 7) +
               QByteArray(
                   reinterpret_cast<const char*>(w->Sitzung().Image().Port(p).Bytes().data()), 21);
    };
    QByteArray charges(reinterpret_cast<const char*>(w->Sitzung().Image().ChargeBlock().data()),
                       129);
    EXPECT_EQ(charges[0], 5);
    const QByteArray expected = device::FrameLineBytes(basic) + device::FrameLineBytes(port(1)) +
                                device::FrameLineBytes(port(2)) +
                                device::FrameLineBytes(QByteArray(1, 12)) +
                                device::FrameLineBytes(charges);
    EXPECT_EQ(wire.toHex(' '), expected.toHex(' '));
    EXPECT_EQ(wire.size(), 144 + 32 + 32 + 4 + 172);
    EXPECT_EQ(freshReads, 1);
    EXPECT_EQ(readBacks, 2);
    statuses.removeAll("0:");
    EXPECT_EQ(statuses, QStringList({QString::fromUtf8("1:Grundkonfiguration wird übertragen"),
                                     QString::fromUtf8("1:Anschluß 21 wird konfiguriert"),
                                     QString::fromUtf8("1:Anschluß 22 wird konfiguriert"),
                                     QString::fromUtf8("1:Gebühreneinheiten werden geschrieben")}));
    EXPECT_FALSE(lockedWhileSending.contains(false));
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Konfiguration geschrieben und geprüft"));
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93");
    EXPECT_TRUE(calls.isEmpty()) << "no read request cut into the write";
    EXPECT_EQ(w->Sitzung().ZyklusZaehler(), w->Sitzung().ZyklusSekunden()) << "the period re-armed";
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_EQ(nachTransfer, 1);
    EXPECT_EQ(w->Sitzung().Transfer().CurrentState(), 3);
    antworte(Grundblock(1, 92, 8));
    EXPECT_EQ(Control<QLabel>(*w, "Firmware")->text(), "1.93") << "data after a write is dropped";
}

// A due cyclic read and a due schedule entry forced into every event processing,
// nested ones included, while the exchange answers each request a moment later.
TEST_F(TransferFixture, DueReadsAndEntriesInsideEveryStepNeverInterleave) {
    // Byte 1 of each block names where its bytes came from: a read or the file.
    auto block = [](int size, char marker) {
        QByteArray data(size, marker);
        data[2] = 8;
        data[4] = 1;
        data[5] = 93;
        return data;
    };
    config::ConfigImage prepared;
    for (int i = 0; i < 113; ++i)
        prepared.BasicBlock()[i] = std::uint8_t(block(113, 0x50)[i]);
    prepared.TerminalBlock()[1] = 0x60;
    ASSERT_TRUE(config::SaveParameterFile(home.file("tag.vrn"), prepared));
    EditUhrzeit(*w, 0)->setZeitText(now.toString("HHmm"));
    EditDateiname(*w, 0)->setText(home.file("tag.vrn"));
    Control<QCheckBox>(*w, "ZyklischNeuLesen")->setChecked(true);
    LetReadTimeOut(*w);

    const std::map<int, std::pair<QByteArray, config::Region>> answers{
        {0x0a, {Antwort(block(113, 0x10)), config::Region::Basic}},
        {0x08, {Antwort(block(195, 0x20)), config::Region::Terminal}},
        {0x06, {Antwort(block(132, 0x30)), config::Region::Charge}}};
    const std::map<config::Region, QList<int>> allowed{{config::Region::Basic, {0, 0x10, 0x50}},
                                                       {config::Region::Terminal, {0, 0x20, 0x60}},
                                                       {config::Region::Charge, {0, 0x30}}};
    QStringList faults;
    QList<int> insideWrites; // the requests sent while a write ran
    int outstanding = 0, reads = 0, writes = 0;
    line->onSend = [&](QByteArrayView bytes) {
        if (bytes.size() != 4) {
            if (!w->Sitzung().Transfer().Writing())
                faults << "a line byte outside a write";
            return true;
        }
        const int code = bytes[1];
        if (w->Sitzung().Transfer().Writing())
            insideWrites << code;
        if (outstanding)
            faults << QString("request %1 while %2 is outstanding").arg(code).arg(outstanding);
        outstanding = code;
        QTimer::singleShot(0, w.get(), [&, code] {
            outstanding = 0;
            line->Deliver(answers.at(code).first);
            for (const auto& [region, markers] : allowed)
                if (!markers.contains(w->Sitzung().Image().Block(region)[1]))
                    faults << QString("block %1 holds bytes of another").arg(int(region));
        });
        return true;
    };
    w->Sitzung().NachTransfer = [&] {
        reads += w->Sitzung().Transfer().CurrentState() == device::TTransferSequence::ChargeBlock;
        writes += w->Sitzung().Transfer().CurrentState() == device::TTransferSequence::WriteRan;
    };
    bool forcing = true;
    QObject context;
    int busyRuns = 0; // forced from inside a running transfer
    std::function<void()> force = [&] {
        if (!forcing)
            return;
        busyRuns += w->Sitzung().Transfer().Busy();
        w->Sitzung().SetZyklusZaehler(1);
        now = now.addDays(1); // the entry falls due again
        // Posted first, so the event processing inside this tick runs it again.
        QTimer::singleShot(0, &context, force);
        w->OnSekunde();
    };
    QTimer::singleShot(0, &context, force);
    // The read that the first forced tick starts, then the scheduled writes.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return reads >= 1 && writes >= 2; }, 60000))
        << reads << " reads, " << writes << " writes";
    EXPECT_GT(busyRuns, 100);
    forcing = false;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !w->Sitzung().Transfer().Busy(); }, 20000));
    line->onSend = nullptr;
    // Inside a write only its own requests: the counters read afresh, then the read-back.
    for (qsizetype i = 0; i < insideWrites.size(); ++i)
        if (insideWrites[i] != QList<int>({0x06, 0x0a, 0x08})[i % 3])
            faults << QString("request %1 inside a write").arg(insideWrites[i]);
    EXPECT_EQ(insideWrites.size() % 3, 0);
    EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
}
