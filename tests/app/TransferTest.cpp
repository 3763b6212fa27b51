#include "WindowFixture.h"

#include "app/MatrixBild.h"
#include "desktop/UMsgHook.h"
#include "device/FrameCodec.h"
#include "device/PacedSend.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    EXPECT_EQ(w->Transfer->TimeoutLeft(), 10);
    EXPECT_TRUE(enabledControls().isEmpty()) << "locked while reading";
    antworte(Grundblock(1, 93, 8));
    EXPECT_EQ(calls, QStringList({"send 83 08 00 00"}));
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Endgerätekonfiguration wird gelesen"));
    EXPECT_EQ(w->MSNTabelle[4]->text(), "123");
    EXPECT_EQ(w->Transfer->TimeoutLeft(), 10);
    antworte(Endgeraeteblock());
    EXPECT_EQ(calls.last(), "send 83 06 00 00");
    EXPECT_EQ(w->statusText(0), QString::fromUtf8("1:Gebühreninformationen werden gelesen"));
    EXPECT_EQ(w->Transfer->TimeoutLeft(), 5);
    EXPECT_EQ(w->BerechtigungTabelle[2]->text(), QString::fromUtf8("Ortsgespräch"));
    EXPECT_FALSE(w->MessageHook->Active());
    antworte(Gebuehrenblock());
    EXPECT_EQ(w->Image.UnitCounterValue(1), 7);
    EXPECT_EQ(w->Transfer->TimeoutLeft(), -1);
    EXPECT_TRUE(w->MessageHook->Active());
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_TRUE(w->ZuordnungTabelle[7]->isEnabled());
    EXPECT_EQ(calls.size(), 2);
}

TEST_F(TransferFixture, OtherFirmwareStopsAfterTheBasicBlock) {
    antworte(Grundblock(1, 92, 8));
    EXPECT_EQ(w->Firmware->text(), "1.92");
    EXPECT_EQ(w->statusText(0),
              QString::fromUtf8("2:WinVarno ist nur für Firmware-Version 1.93 geeignet"));
    EXPECT_GT(pixelsOf(*w, Qt::red), 10);
    EXPECT_EQ(enabledControls(), QList<QWidget*>({w->HilfeButton, w->BeendenButton}));
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(w->Transfer->TimeoutLeft(), -1);
}

TEST_F(TransferFixture, SilenceTimesOutAndALateAnswerStillContinues) {
    antworte(Grundblock(1, 93, 8));
    antworte(Endgeraeteblock());
    ticks(4);
    EXPECT_TRUE(enabledControls().isEmpty());
    ticks(1);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_EQ(w->BerechtigungTabelle[2]->text(), QString::fromUtf8("Ortsgespräch"));
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
    EXPECT_EQ(w->Transfer->TimeoutLeft(), 10);
    ticks(10);
    EXPECT_EQ(w->statusText(0), "2:Kommunikationsfehler");
    EXPECT_FALSE(enabledControls().isEmpty());
}

TEST_F(TransferFixture, WriteSendsEveryMessageFramedAndIgnoresAnswers) {
    antworte(Grundblock(1, 93, 2));
    antworte(Endgeraeteblock());
    antworte(Gebuehrenblock());
    calls.clear();
    w->ZyklusZaehler = 1;
    w->ZyklischNeuLesen->setChecked(true);
    int nachTransfer = 0;
    w->NachTransfer = [&] { ++nachTransfer; };

    // Watch the line byte by byte, and disturb the write from inside it.
    QByteArray wire;
    QStringList statuses;
    QList<bool> lockedWhileSending;
    line->onSend = [&](QByteArrayView bytes) {
        EXPECT_EQ(bytes.size(), 1) << "each line byte by itself";
        wire += bytes;
        if (statuses.isEmpty() || statuses.last() != w->statusText(0))
            statuses << w->statusText(0);
        lockedWhileSending << !w->LesenButton->isEnabled();
        if (wire.size() == 200) {
            const config::ConfigImage before = w->Image;
            antworte(Grundblock(1, 92, 8)); // dropped
            EXPECT_TRUE(w->Image == before);
            w->OnSekunde(); // the cyclic read falls due: skipped, not sent
        }
        return true;
    };
    w->OnSchreibenClick();
    line->onSend = nullptr;

    QByteArray basic(reinterpret_cast<const char*>(w->Image.BasicBlock().data()), 107);
    EXPECT_EQ(basic[0], 9);
    auto port = [&](int p) {
        return QByteArray(1, 7) +
               QByteArray(reinterpret_cast<const char*>(w->Image.Port(p).Bytes().data()), 21);
    };
    QByteArray charges(reinterpret_cast<const char*>(w->Image.ChargeBlock().data()), 129);
    EXPECT_EQ(charges[0], 5);
    const QByteArray expected = device::FrameLineBytes(basic) + device::FrameLineBytes(port(1)) +
                                device::FrameLineBytes(port(2)) +
                                device::FrameLineBytes(QByteArray(1, 12)) +
                                device::FrameLineBytes(charges);
    EXPECT_EQ(wire.toHex(' '), expected.toHex(' '));
    EXPECT_EQ(wire.size(), 144 + 32 + 32 + 4 + 172);
    EXPECT_EQ(statuses, QStringList({QString::fromUtf8("1:Grundkonfiguration wird übertragen"),
                                     QString::fromUtf8("1:Anschluß 21 wird konfiguriert"),
                                     QString::fromUtf8("1:Anschluß 22 wird konfiguriert"),
                                     QString::fromUtf8("1:Gebühreneinheiten werden geschrieben")}));
    EXPECT_FALSE(lockedWhileSending.contains(false));
    EXPECT_EQ(w->statusText(0), "0:");
    EXPECT_EQ(w->Firmware->text(), "1.93");
    EXPECT_TRUE(calls.isEmpty()) << "no read request cut into the write";
    EXPECT_EQ(w->ZyklusZaehler, w->ZyklusSekunden) << "the period re-armed";
    EXPECT_EQ(enabledControls().size(), 11);
    EXPECT_EQ(nachTransfer, 1);
    EXPECT_EQ(w->Transfer->CurrentState(), 3);
    antworte(Grundblock(1, 92, 8));
    EXPECT_EQ(w->Firmware->text(), "1.93") << "data after a write is dropped";
}
